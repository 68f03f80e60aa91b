// The entry pane: its controls and their layout.
#include <QAction>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QShortcut>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

#include "mainwindow/EntryModel.h"
#include "mainwindow/EntryPane.h"
#include "mainwindow/FieldEdit.h"
#include "mainwindow/ListAccessibility.h"
#include "platform/Application.h"
#include "platform/SecretClipboard.h"
#include "resources/Icons.h"

namespace dorvanta {

TEntryPane::TEntryPane(TDocumentSession& session, TSecretClipboard& clipboard, QWidget* parent)
    : QWidget(parent), session_(session), clipboard_(clipboard) {
    setMinimumWidth(kMinWidth);
    auto* right = new QVBoxLayout(this);
    right->setContentsMargins(0, 0, 0, 0);
    right->setSpacing(0);
    auto* upper = new QHBoxLayout;
    upper->setContentsMargins(0, 0, 0, 0);
    upper->setSpacing(0);
    BuildList(clipboard);
    upper->addWidget(list_, 1);
    auto* column = new QWidget;
    column->setObjectName(QStringLiteral("Panel4"));
    column->setFixedWidth(59);
    BuildButtons(column);
    upper->addWidget(column);
    right->addLayout(upper, 1);
    right->addWidget(BuildEditorStrip(clipboard));
    // The keyboard walks the pane as it reads: the list, then the editor.
    setTabOrder(list_, editName_);
    setTabOrder(editName_, editValue_);
    setTabOrder(editValue_, editInfo_);
    setTabOrder(editInfo_, applyButton_);
    ConnectSession();
}

void TEntryPane::BuildList(TSecretClipboard& clipboard) {
    model_ = new TEntryModel(session_.Document(), this);
    list_ = new QTableView;
    list_->setObjectName(QStringLiteral("ListView_Data"));
    list_->setModel(model_);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Tab leaves the list for the next field; the arrow keys move inside it.
    list_->setTabKeyNavigation(false);
    list_->setAccessibleName(QStringLiteral("Einträge"));
    FocusCurrentCellForReaders(list_);
    list_->verticalHeader()->hide();
    list_->verticalHeader()->setDefaultSectionSize(list_->fontMetrics().height() + 4);
    list_->horizontalHeader()->setHighlightSections(false);
    list_->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    list_->setShowGrid(false);
    list_->setWordWrap(false);
    list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list_->setMouseTracking(true);
    list_->viewport()->installEventFilter(this);
    {
        // The selection stays visible when the list has no focus.
        QPalette pal = list_->palette();
        pal.setColor(QPalette::Inactive, QPalette::Highlight,
                     pal.color(QPalette::Active, QPalette::Highlight));
        pal.setColor(QPalette::Inactive, QPalette::HighlightedText,
                     pal.color(QPalette::Active, QPalette::HighlightedText));
        list_->setPalette(pal);
    }
    connect(list_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            Guarded([this] { ListView_DataClick(); }));
    connect(list_, &QTableView::clicked, this, Guarded([this] { ListView_DataClick(); }));
    clipboard.RouteCopies(list_, [this] { return CurrentEntryText(); });
}

void TEntryPane::BuildButtons(QWidget* column) {
    auto makeToolButton = [column](int top, const char* name, const char* hint, IconId icon) {
        auto* b = new QToolButton(column);
        b->setGeometry(4, top, 52, 52);
        b->setIcon(ToolIcon(icon));
        b->setIconSize(QSize(32, 32));
        b->setStatusTip(QString::fromUtf8(hint));
        // The button shows only its icon: the tip and the name say what it does.
        b->setToolTip(QString::fromUtf8(name));
        b->setAccessibleName(QString::fromUtf8(name));
        b->setAutoRaise(true);
        b->setFocusPolicy(Qt::NoFocus);
        b->setEnabled(false);
        return b;
    };
    newButton_ =
        makeToolButton(4, "Neuer Eintrag", "Fügt einen neuen Eintrag hinzu.", IconId::NewData);
    deleteButton_ = makeToolButton(60, "Eintrag löschen", "Löscht den ausgewählten Eintrag.",
                                   IconId::DeleteData);
    copyButton_ = makeToolButton(
        116, "Kopieren", "Kopiert den markierten Wert in die Zwischenablage.", IconId::Copy);
    newButton_->setObjectName(QStringLiteral("SpeedButton_NewData"));
    deleteButton_->setObjectName(QStringLiteral("SpeedButton_DeleteData"));
    copyButton_->setObjectName(QStringLiteral("SpeedButton_Copy"));

    // The one command behind the button, the menu item and the keys.
    newEntry_ = new QAction(QStringLiteral("Neuer &Eintrag"), this);
    newEntry_->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_N));
    newEntry_->setStatusTip(newButton_->statusTip());
    newEntry_->setEnabled(false);
    newButton_->setToolTip(QStringLiteral("Neuer Eintrag (%1)")
                               .arg(newEntry_->shortcut().toString(QKeySequence::NativeText)));
    connect(newEntry_, &QAction::changed, newButton_,
            [this] { newButton_->setEnabled(newEntry_->isEnabled()); });
    connect(newEntry_, &QAction::triggered, this, Guarded([this] { SpeedButton_NewDataClick(); }));
    connect(newButton_, &QToolButton::clicked, newEntry_, &QAction::trigger);
    connect(deleteButton_, &QToolButton::clicked, this,
            Guarded([this] { SpeedButton_DeleteDataClick(); }));
    connect(copyButton_, &QToolButton::clicked, this, Guarded([this] { SpeedButton_CopyClick(); }));
    // In the list, Insert starts a new entry and Delete deletes the selected one; in
    // a field they stay the field's keys.
    const auto listKey = [this](Qt::Key key, QAbstractButton* button, auto handler) {
        auto* shortcut =
            new QShortcut(QKeySequence(key), list_, nullptr, nullptr, Qt::WidgetShortcut);
        connect(shortcut, &QShortcut::activated, this, Guarded([button, handler] {
                    if (button->isEnabled()) handler();
                }));
    };
    listKey(Qt::Key_Insert, newButton_, [this] { SpeedButton_NewDataClick(); });
    listKey(Qt::Key_Delete, deleteButton_, [this] { SpeedButton_DeleteDataClick(); });

    copyMenu_ = new QMenu(this);
    copyMenu_->addAction(QStringLiteral("&Titel kopieren"), this, [this] { CopyField(0); });
    copyMenu_->addAction(QStringLiteral("&Wert kopieren"), this, [this] { CopyField(1); });
    copyMenu_->addAction(QStringLiteral("&Info kopieren"), this, [this] { CopyField(2); });
}

QWidget* TEntryPane::BuildEditorStrip(TSecretClipboard& clipboard) {
    editorStrip_ = new QWidget;
    editorStrip_->setObjectName(QStringLiteral("Panel3"));
    editorStrip_->setFixedHeight(71);
    editorStrip_->installEventFilter(this);
    auto makeEdit = [this, &clipboard](int top, const char* label, const char* name) {
        auto* edit = new TFieldEdit(editorStrip_);
        edit->setObjectName(QString::fromLatin1(name));
        edit->SetClipboard(&clipboard);
        edit->setGeometry(40, top, 430, 21);
        edit->installEventFilter(this);
        auto* caption = new QLabel(QString::fromUtf8(label), editorStrip_);
        caption->setBuddy(edit);
        caption->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        caption->setGeometry(0, top, 40 - 4, 21);
        // A screen reader names the field by its label, without the mnemonic and colon.
        edit->setAccessibleName(caption->text().remove(QLatin1Char('&')).remove(QLatin1Char(':')));
        return edit;
    };
    editName_ = makeEdit(0, "&Name:", "Edit_DataName");
    editValue_ = makeEdit(24, "&Wert:", "Edit_Value");
    editInfo_ = makeEdit(48, "&Info:", "Edit_Info");
    applyButton_ = new QPushButton(QStringLiteral("Er&stellen"), editorStrip_);
    applyButton_->setObjectName(QStringLiteral("Button_ApplyData"));
    applyButton_->setGeometry(471, 0, 93, 70);
    applyButton_->setEnabled(false);
    connect(applyButton_, &QPushButton::clicked, this,
            Guarded([this] { Button_ApplyDataClick(); }));
    return editorStrip_;
}

void TEntryPane::LayoutEditorStrip() {
    // The fields stretch with the window; the button stays at the right edge.
    const int w = editorStrip_->width();
    applyButton_->move(w - 94, 0);
    for (QLineEdit* edit : {editName_, editValue_, editInfo_}) {
        edit->resize(std::max(20, w - 40 - 95), edit->height());
    }
}

void TEntryPane::SizeColumns() {
    // Three equal columns; the remainder of the division goes to the first.
    const int w = list_->viewport()->width();
    const int third = w / 3;
    list_->setColumnWidth(0, w - 2 * third);
    list_->setColumnWidth(1, third);
    list_->setColumnWidth(2, third);
}

bool TEntryPane::eventFilter(QObject* watched, QEvent* event) {
    if (watched == list_->viewport()) {
        if (event->type() == QEvent::Resize) {
            SizeColumns();
        } else if (event->type() == QEvent::MouseMove) {
            ListView_DataMouseMove(static_cast<QMouseEvent*>(event)->position().toPoint());
        } else if (event->type() == QEvent::Leave) {
            emit StatusText({});
        }
    } else if (watched == editorStrip_ && event->type() == QEvent::Resize) {
        LayoutEditorStrip();
    } else if ((watched == editName_ || watched == editValue_ || watched == editInfo_) &&
               event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        // Enter is taken only when there is a sub-category to write into.
        if ((key == Qt::Key_Return || key == Qt::Key_Enter) && applyButton_->isEnabled()) {
            Edit_DatasKeyPress();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace dorvanta
