// The main window: its controls, menus and tool bar.
#include <QActionGroup>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPushButton>
#include <QShortcut>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

#include "mainwindow/EntryModel.h"
#include "mainwindow/KeyListBox.h"
#include "mainwindow/ListAccessibility.h"
#include "mainwindow/MainWindow.h"
#include "mainwindow/MainWindowShared.h"
#include "mainwindow/PageScroller.h"
#include "platform/Application.h"
#include "platform/Cp1252Validator.h"
#include "platform/SecretClipboard.h"
#include "platform/SettingsKeys.h"
#include "resources/Icons.h"

namespace dorvanta {

using namespace mainwindow;

namespace {

struct ToolButtonDef {
    QToolButton* TMainWindow::*member;
    int left;
    int width;
    const char* caption;
    const char* hint;
    IconId icon;
};

// The designed places, for an 8-point face with Arial's metrics.
const ToolButtonDef kToolButtons[] = {
    {&TMainWindow::SpeedButton_New, 4, 69, "Neu", "Erstellt eine neue Datei.", IconId::New},
    {&TMainWindow::SpeedButton_Open, 76, 69, "Öffnen", "Öffnet eine vorhandene Datei.",
     IconId::Open},
    {&TMainWindow::SpeedButton_Save, 148, 69, "Speichern", "Speichert die aktuelle Datei neu.",
     IconId::Save},
    {&TMainWindow::SpeedButton_NewKey, 228, 77, "Neue Rubrik", "Erstellt eine neue Rubrik",
     IconId::NewKey},
    {&TMainWindow::SpeedButton_DelKey, 308, 77, "Rubrik löschen", "Löscht die markierte Rubrik.",
     IconId::DelKey},
    {&TMainWindow::SpeedButton_ShowData, 396, 77, "Daten zeigen...",
     "Legt fest, ob in der Rubrikliste die Daten zu allen Rubriken angezeigt werden sollen.",
     IconId::ShowData},
    {&TMainWindow::SpeedButton_CompressView, 476, 77, "Ansicht filtern",
     "Legt fest, ob nur die Daten der aktuellen Oberrubrik angezeigt werden.",
     IconId::CompressView},
    {&TMainWindow::SpeedButton_Exit, 564, 77, "Beenden", "Beendet das Programm.", IconId::Exit},
};

}  // namespace

// ---------------------------------------------------------------- construction

int TMainWindow::ToolButtonTextSpace(const QToolButton* button) {
    // The style draws the caption inside the button's frame and elides what is wider.
    return button->width() -
           2 * button->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, button);
}

void TMainWindow::BuildToolBar() {
    Panel_Main = new QWidget;
    Panel_Main->setFixedSize(kDesignClientWidth, 63);
    for (const ToolButtonDef& def : kToolButtons) {
        auto* button = new QToolButton(Panel_Main);
        button->setObjectName(QString::fromUtf8(def.caption));
        button->setGeometry(def.left, 2, def.width, 59);
        button->setText(QString::fromUtf8(def.caption));
        button->setStatusTip(QString::fromUtf8(def.hint));
        // The caption is the name a screen reader announces, also where it is elided.
        button->setAccessibleName(QString::fromUtf8(def.caption));
        button->setIcon(ToolIcon(def.icon));
        button->setIconSize(QSize(24, 24));
        button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        button->setAutoRaise(true);
        button->setFocusPolicy(Qt::NoFocus);
        button->setStyleSheet(QStringLiteral("QToolButton { padding: 0px; }"));
        this->*def.member = button;
    }
    SpeedButton_DelKey->setEnabled(false);
    SpeedButton_ShowData->setCheckable(true);
    SpeedButton_CompressView->setCheckable(true);

    connect(SpeedButton_New, &QToolButton::clicked, this, Guarded([this] { MenuItem_NewClick(); }));
    connect(SpeedButton_Open, &QToolButton::clicked, this,
            Guarded([this] { MenuItem_OpenClick(); }));
    connect(SpeedButton_Save, &QToolButton::clicked, this,
            Guarded([this] { MenuItem_SaveClick(); }));
    connect(SpeedButton_NewKey, &QToolButton::clicked, this,
            Guarded([this] { SpeedButton_NewKeyClick(); }));
    connect(SpeedButton_DelKey, &QToolButton::clicked, this,
            Guarded([this] { SpeedButton_DelKeyClick(); }));
    connect(SpeedButton_ShowData, &QToolButton::clicked, this,
            Guarded([this] { SpeedButton_ShowDataClick(); }));
    connect(SpeedButton_CompressView, &QToolButton::clicked, this,
            Guarded([this] { SpeedButton_ShowDataClick(); }));
    connect(SpeedButton_Exit, &QToolButton::clicked, this, Guarded([this] { close(); }));

    PageScroller_Main = new TPageScroller(Panel_Main);
    PageScroller_Main->setFixedHeight(65);
}

void TMainWindow::LayoutToolBar() {
    if (!Panel_Main) return;
    // A caption wider than its designed button widens it; the buttons after it
    // move right by as much, so the gaps stay as designed.
    int shift = 0;
    int right = 0;
    for (const ToolButtonDef& def : kToolButtons) {
        QToolButton* button = this->*def.member;
        // A widget with a style sheet keeps the font it was polished with; the
        // buttons follow the window's font explicitly.
        button->setFont(font());
        const int frame = button->width() - ToolButtonTextSpace(button);
        const int needed = button->fontMetrics().horizontalAdvance(button->text()) + frame;
        const int width = std::max(def.width, needed);
        button->setGeometry(def.left + shift, button->y(), width, button->height());
        shift += width - def.width;
        right = button->geometry().right() + 1;
    }
    Panel_Main->setFixedWidth(std::max(kDesignClientWidth, right + 4));
}

void TMainWindow::BuildMenus() {
    // The menu shows the first of the keys; every one of them works.
    auto add = [this](QMenu* menu, const char* text, const QList<QKeySequence>& keys,
                      auto handler) {
        QAction* action = menu->addAction(QString::fromUtf8(text));
        action->setShortcuts(keys);
        action->setShortcutContext(Qt::WindowShortcut);
        connect(action, &QAction::triggered, this, Guarded(handler));
        return action;
    };
    QMenu* file = menuBar()->addMenu(QStringLiteral("&Datei"));
    MenuItem_New =
        add(file, "&Neu", {QKeySequence(Qt::CTRL | Qt::Key_N)}, [this] { MenuItem_NewClick(); });
    MenuItem_Open = add(file, "Ö&ffnen", {QKeySequence(Qt::CTRL | Qt::Key_O)},
                        [this] { MenuItem_OpenClick(); });
    MenuItem_Save = add(file, "&Speichern", {QKeySequence(Qt::CTRL | Qt::Key_S)},
                        [this] { MenuItem_SaveClick(); });
    MenuItem_SaveUnder =
        add(file, "Speichern &unter", {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S)},
            [this] { MenuItem_SaveUnderClick(); });
    file->addSeparator();
    // Ctrl+Q is the desktop's key to quit; Alt+F4 stays for those used to it.
    MenuItem_Exit = add(file, "Be&enden",
                        {QKeySequence(Qt::CTRL | Qt::Key_Q), QKeySequence(Qt::ALT | Qt::Key_F4)},
                        [this] { close(); });

    QMenu* edit = menuBar()->addMenu(QStringLiteral("Be&arbeiten"));
    MenuItem_Search =
        add(edit, "&Suchen", {QKeySequence(Qt::Key_F3), QKeySequence(Qt::CTRL | Qt::Key_F)},
            [this] { MenuItem_SearchClick(); });
    edit->addSeparator();
    MenuItem_Import = add(edit, "Einträge &importieren", {QKeySequence(Qt::CTRL | Qt::Key_I)},
                          [this] { EintrgefrUnterrubrikimportieren1Click(); });

    QMenu* options = menuBar()->addMenu(QStringLiteral("&Optionen"));
    MenuItem_Password = add(options, "Pass&wort...", {QKeySequence(Qt::CTRL | Qt::Key_P)},
                            [this] { MenuItem_PasswordClick(); });
    BuildClipboardOptions(options);
    // Read at start and kept at the end like the clipboard option; the session's saves follow it.
    MenuItem_BackupOnSave = options->addAction(QStringLiteral("Sicherungskopie beim Speichern"));
    MenuItem_BackupOnSave->setCheckable(true);
    connect(MenuItem_BackupOnSave, &QAction::toggled, this,
            Guarded([this](bool on) { session_.SetBackupOnSave(on); }));
    options->addSeparator();
    BuildLockOptions(options);
    options->addSeparator();
    MenuItem_Settings = add(options, "&Einstellungen", {QKeySequence(Qt::Key_F2)},
                            [this] { MenuItem_SettingsClick(); });

    QMenu* help = menuBar()->addMenu(QStringLiteral("&?"));
    MenuItem_Info =
        add(help, "&Info", {QKeySequence(Qt::Key_F1)}, [this] { MenuItem_InfoClick(); });

    PopupMenu_Clipboard = new QMenu(this);
    PopupMenu_Clipboard->addAction(QStringLiteral("&Titel kopieren"), this,
                                   [this] { CopyField(0); });
    PopupMenu_Clipboard->addAction(QStringLiteral("&Wert kopieren"), this,
                                   [this] { CopyField(1); });
    PopupMenu_Clipboard->addAction(QStringLiteral("&Info kopieren"), this,
                                   [this] { CopyField(2); });

    PopupMenu_Key = new QMenu(this);
    MenuItem_ChangeKeyName = PopupMenu_Key->addAction(QStringLiteral("&Rubriknamen ändern"), this,
                                                      [this] { MenuItem_ChangeKeyNameClick(); });
}

void TMainWindow::BuildClipboardOptions(QMenu* options) {
    MenuItem_ClearClipboard = options->addAction(QString());
    MenuItem_ClearClipboard->setCheckable(true);
    connect(MenuItem_ClearClipboard, &QAction::toggled, this,
            Guarded([this](bool on) { clipboard_->SetClearEnabled(on); }));
    Menu_ClearClipboardDelay = options->addMenu(QStringLiteral("Zwischenablage leeren nach"));
    auto* choices = new QActionGroup(Menu_ClearClipboardDelay);
    for (const int seconds : settings::kClearClipboardChoices) {
        QAction* choice =
            Menu_ClearClipboardDelay->addAction(QStringLiteral("%1 Sekunden").arg(seconds));
        choice->setCheckable(true);
        choice->setData(seconds);
        choices->addAction(choice);
        connect(choice, &QAction::triggered, this,
                Guarded([this, seconds] { SetClearClipboardSeconds(seconds); }));
    }
    SetClearClipboardSeconds(settings::kClearClipboardSeconds.defaultValue);
}

void TMainWindow::BuildEntryList() {
    EntryModel = new TEntryModel(session_.Document(), this);
    ListView_Data = new QTableView;
    ListView_Data->setModel(EntryModel);
    ListView_Data->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListView_Data->setSelectionMode(QAbstractItemView::SingleSelection);
    ListView_Data->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Tab leaves the list for the next field; the arrow keys move inside it.
    ListView_Data->setTabKeyNavigation(false);
    ListView_Data->setAccessibleName(QStringLiteral("Einträge"));
    FocusCurrentCellForReaders(ListView_Data);
    ListView_Data->verticalHeader()->hide();
    ListView_Data->verticalHeader()->setDefaultSectionSize(ListView_Data->fontMetrics().height() +
                                                           4);
    ListView_Data->horizontalHeader()->setHighlightSections(false);
    ListView_Data->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    ListView_Data->setShowGrid(false);
    ListView_Data->setWordWrap(false);
    ListView_Data->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    ListView_Data->setMouseTracking(true);
    ListView_Data->viewport()->installEventFilter(this);
    {
        // The selection stays visible when the list has no focus.
        QPalette pal = ListView_Data->palette();
        pal.setColor(QPalette::Inactive, QPalette::Highlight,
                     pal.color(QPalette::Active, QPalette::Highlight));
        pal.setColor(QPalette::Inactive, QPalette::HighlightedText,
                     pal.color(QPalette::Active, QPalette::HighlightedText));
        ListView_Data->setPalette(pal);
    }
    connect(ListView_Data->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            Guarded([this] { ListView_DataClick(); }));
    connect(ListView_Data, &QTableView::clicked, this, Guarded([this] { ListView_DataClick(); }));
    clipboard_->RouteCopies(ListView_Data, [this] { return CurrentEntryText(); });
    OnDeleteKey(ListView_Data, [this] {
        if (SpeedButton_DeleteData->isEnabled()) SpeedButton_DeleteDataClick();
    });
}

void TMainWindow::OnDeleteKey(QWidget* list, std::function<void()> handler) {
    // Only while the list has the focus: in a field the key deletes a character.
    auto* key =
        new QShortcut(QKeySequence(Qt::Key_Delete), list, nullptr, nullptr, Qt::WidgetShortcut);
    connect(key, &QShortcut::activated, this, Guarded(std::move(handler)));
}

void TMainWindow::BuildEditorStrip() {
    Panel3 = new QWidget;
    Panel3->setFixedHeight(71);
    Panel3->installEventFilter(this);
    auto makeEdit = [this](int top, const char* label) {
        auto* edit = new TFieldEdit(Panel3);
        edit->SetClipboard(clipboard_.get());
        edit->setGeometry(40, top, 430, 21);
        edit->installEventFilter(this);
        auto* caption = new QLabel(QString::fromUtf8(label), Panel3);
        caption->setBuddy(edit);
        caption->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        caption->setGeometry(0, top, 40 - 4, 21);
        // A screen reader names the field by its label, without the mnemonic and colon.
        edit->setAccessibleName(caption->text().remove(QLatin1Char('&')).remove(QLatin1Char(':')));
        return edit;
    };
    Edit_DataName = makeEdit(0, "&Name:");
    Edit_Value = makeEdit(24, "&Wert:");
    Edit_Info = makeEdit(48, "&Info:");
    Button_ApplyData = new QPushButton(QStringLiteral("Er&stellen"), Panel3);
    Button_ApplyData->setGeometry(471, 0, 93, 70);
    Button_ApplyData->setEnabled(false);
    connect(Button_ApplyData, &QPushButton::clicked, this,
            Guarded([this] { Button_ApplyDataClick(); }));
}

void TMainWindow::BuildClientArea() {
    auto* central = new QWidget;
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(PageScroller_Main);

    ListBox_Keys = new TKeyListBox;
    ListBox_Keys->setMinimumWidth(kMinDragWidth);
    ListBox_Keys->setAccessibleName(QStringLiteral("Rubriken"));
    OnDeleteKey(ListBox_Keys, [this] {
        if (SpeedButton_DelKey->isEnabled()) SpeedButton_DelKeyClick();
    });
    ListBox_Keys->SetDrawItem([this](QPainter& p, int i, const QRect& r, bool selected) {
        ListBox_KeysDrawItem(p, i, r, selected);
    });
    // A screen reader reads a row as "Oberrubrik – Unterrubrik".
    ListBox_Keys->SetItemText([this](int i) {
        const auto& keys = Doc().Keys;
        return i < static_cast<int>(keys.size())
                   ? ShownText(keys[i].Parent) + QStringLiteral(" – ") + ShownText(keys[i].Name)
                   : QString();
    });
    connect(ListBox_Keys, &TKeyListBox::ItemIndexChanged, this,
            Guarded([this](int row) { KeyRowSelected(row); }));
    connect(ListBox_Keys, &TKeyListBox::Clicked, this, Guarded([this] { ListBox_KeysClick(); }));
    connect(ListBox_Keys, &TKeyListBox::DoubleClicked, this,
            Guarded([this] { ListBox_KeysDblClick(); }));
    clipboard_->RouteCopies(ListBox_Keys, [this] { return SelectedKeyName(); });
    connect(ListBox_Keys, &TKeyListBox::ContextMenuRequested, this,
            Guarded([this](const QPoint& pos) {
                // The rename item is there only with a selection; a menu without a visible
                // item is not opened at all (it would swallow the next click).
                MenuItem_ChangeKeyName->setVisible(ListBox_Keys->ItemIndex() >= 0);
                if (MenuItem_ChangeKeyName->isVisible()) PopupMenu_Key->popup(pos);
            }));

    Panel1 = new QWidget;
    Panel1->setMinimumWidth(kMinRightPart - 8);
    auto* right = new QVBoxLayout(Panel1);
    right->setContentsMargins(0, 0, 0, 0);
    right->setSpacing(0);
    auto* upper = new QHBoxLayout;
    upper->setContentsMargins(0, 0, 0, 0);
    upper->setSpacing(0);

    BuildEntryList();
    upper->addWidget(ListView_Data, 1);

    Panel4 = new QWidget;
    Panel4->setFixedWidth(59);
    auto makeToolButton = [this](int top, const char* name, const char* hint, IconId icon) {
        auto* b = new QToolButton(Panel4);
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
    SpeedButton_NewData =
        makeToolButton(4, "Neuer Eintrag", "Fügt einen neuen Eintrag hinzu.", IconId::NewData);
    SpeedButton_DeleteData = makeToolButton(60, "Eintrag löschen",
                                            "Löscht den ausgewählten Eintrag.", IconId::DeleteData);
    SpeedButton_Copy = makeToolButton(
        116, "Kopieren", "Kopiert den markierten Wert in die Zwischenablage.", IconId::Copy);
    connect(SpeedButton_NewData, &QToolButton::clicked, this,
            Guarded([this] { SpeedButton_NewDataClick(); }));
    connect(SpeedButton_DeleteData, &QToolButton::clicked, this,
            Guarded([this] { SpeedButton_DeleteDataClick(); }));
    connect(SpeedButton_Copy, &QToolButton::clicked, this,
            Guarded([this] { SpeedButton_CopyClick(); }));
    upper->addWidget(Panel4);
    right->addLayout(upper, 1);

    BuildEditorStrip();
    right->addWidget(Panel3);

    Splitter1 = new QSplitter(Qt::Horizontal);
    Splitter1->setChildrenCollapsible(false);
    Splitter1->setOpaqueResize(true);
    Splitter1->setHandleWidth(8);
    Splitter1->addWidget(ListBox_Keys);
    Splitter1->addWidget(Panel1);
    Splitter1->setStretchFactor(0, 0);
    Splitter1->setStretchFactor(1, 1);
    Splitter1->setSizes({listWidth_, kDesignClientWidth - listWidth_ - 8});
    Splitter1->handle(1)->installEventFilter(this);
    connect(Splitter1, &QSplitter::splitterMoved, this, Guarded([this] { Splitter1Moved(); }));
    column->addWidget(Splitter1, 1);
    // The keyboard walks the window as it reads: categories, entries, the editor.
    setTabOrder(ListBox_Keys, ListView_Data);
    setTabOrder(ListView_Data, Edit_DataName);
    setTabOrder(Edit_DataName, Edit_Value);
    setTabOrder(Edit_Value, Edit_Info);
    setTabOrder(Edit_Info, Button_ApplyData);
    BuildLockPage(central);

    statusBar()->setSizeGripEnabled(true);
    statusBar()->setFixedHeight(19);
}

}  // namespace dorvanta
