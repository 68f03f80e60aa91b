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

#include "mainwindow/CategoryPane.h"
#include "mainwindow/EntryPane.h"
#include "mainwindow/KeyListBox.h"
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
    const char* name;
    int left;
    int width;
    const char* caption;
    const char* hint;
    IconId icon;
};

// The designed places, for an 8-point face with Arial's metrics.
const ToolButtonDef kToolButtons[] = {
    {"SpeedButton_New", 4, 69, "Neu", "Erstellt eine neue Datei.", IconId::New},
    {"SpeedButton_Open", 76, 69, "Öffnen", "Öffnet eine vorhandene Datei.", IconId::Open},
    {"SpeedButton_Save", 148, 69, "Speichern", "Speichert die aktuelle Datei neu.", IconId::Save},
    {"SpeedButton_NewKey", 228, 77, "Neue Rubrik", "Erstellt eine neue Rubrik", IconId::NewKey},
    {"SpeedButton_DelKey", 308, 77, "Rubrik löschen", "Löscht die markierte Rubrik.",
     IconId::DelKey},
    {"SpeedButton_ShowData", 396, 77, "Daten zeigen...",
     "Legt fest, ob in der Rubrikliste die Daten zu allen Rubriken angezeigt werden sollen.",
     IconId::ShowData},
    {"SpeedButton_CompressView", 476, 77, "Ansicht filtern",
     "Legt fest, ob nur die Daten der aktuellen Oberrubrik angezeigt werden.",
     IconId::CompressView},
    {"SpeedButton_Exit", 564, 77, "Beenden", "Beendet das Programm.", IconId::Exit},
};
enum ToolButtonIndex { kNew, kOpen, kSave, kNewKey, kDelKey, kShowData, kCompressView, kExit };

// A tool button that stands for a pane's action: it runs the action and shows
// whether the action is enabled (and checked).
void Mirror(QToolButton* button, QAction* action) {
    const auto follow = [button, action] {
        button->setEnabled(action->isEnabled());
        button->setChecked(action->isChecked());
    };
    button->setCheckable(action->isCheckable());
    follow();
    QObject::connect(action, &QAction::changed, button, follow);
    QObject::connect(action, &QAction::toggled, button, follow);
    QObject::connect(button, &QToolButton::clicked, action, [action] { action->trigger(); });
}

}  // namespace

// ---------------------------------------------------------------- construction

int TMainWindow::ToolButtonTextSpace(const QToolButton* button) {
    // The style draws the caption inside the button's frame and elides what is wider.
    return button->width() -
           2 * button->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, button);
}

void TMainWindow::BuildToolBar() {
    toolBar_ = new QWidget;
    toolBar_->setObjectName(QStringLiteral("Panel_Main"));
    toolBar_->setFixedSize(kDesignClientWidth, 63);
    for (std::size_t i = 0; i < std::size(kToolButtons); ++i) {
        const ToolButtonDef& def = kToolButtons[i];
        auto* button = new QToolButton(toolBar_);
        button->setObjectName(QString::fromLatin1(def.name));
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
        toolButtons_[i] = button;
    }
    connect(toolButtons_[kNew], &QToolButton::clicked, this,
            Guarded([this] { MenuItem_NewClick(); }));
    connect(toolButtons_[kOpen], &QToolButton::clicked, this,
            Guarded([this] { MenuItem_OpenClick(); }));
    connect(toolButtons_[kSave], &QToolButton::clicked, this,
            Guarded([this] { MenuItem_SaveClick(); }));
    Mirror(toolButtons_[kNewKey], categoryPane_->NewKeyAction());
    Mirror(toolButtons_[kDelKey], categoryPane_->DeleteKeyAction());
    Mirror(toolButtons_[kShowData], categoryPane_->ShowDataAction());
    Mirror(toolButtons_[kCompressView], categoryPane_->CompressViewAction());
    connect(toolButtons_[kExit], &QToolButton::clicked, this, Guarded([this] { close(); }));
}

void TMainWindow::LayoutToolBar() {
    if (!toolBar_) return;
    // A caption wider than its designed button widens it; the buttons after it
    // move right by as much, so the gaps stay as designed.
    int shift = 0;
    int right = 0;
    for (std::size_t i = 0; i < std::size(kToolButtons); ++i) {
        const ToolButtonDef& def = kToolButtons[i];
        QToolButton* button = toolButtons_[i];
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
    toolBar_->setFixedWidth(std::max(kDesignClientWidth, right + 4));
}

void TMainWindow::BuildMenus() {
    // The menu shows the first of the keys; every one of them works.
    auto add = [this](QMenu* menu, const char* name, const char* text,
                      const QList<QKeySequence>& keys, auto handler) {
        QAction* action = menu->addAction(QString::fromUtf8(text));
        action->setObjectName(QString::fromLatin1(name));
        action->setShortcuts(keys);
        action->setShortcutContext(Qt::WindowShortcut);
        connect(action, &QAction::triggered, this, Guarded(handler));
        return action;
    };
    QMenu* file = menuBar()->addMenu(QStringLiteral("&Datei"));
    add(file, "MenuItem_New", "&Neu", {QKeySequence(Qt::CTRL | Qt::Key_N)},
        [this] { MenuItem_NewClick(); });
    add(file, "MenuItem_Open", "Ö&ffnen", {QKeySequence(Qt::CTRL | Qt::Key_O)},
        [this] { MenuItem_OpenClick(); });
    add(file, "MenuItem_Save", "&Speichern", {QKeySequence(Qt::CTRL | Qt::Key_S)},
        [this] { MenuItem_SaveClick(); });
    add(file, "MenuItem_SaveUnder", "Speichern &unter",
        {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S)}, [this] { MenuItem_SaveUnderClick(); });
    file->addSeparator();
    // Ctrl+Q is the desktop's key to quit; Alt+F4 stays for those used to it.
    add(file, "MenuItem_Exit", "Be&enden",
        {QKeySequence(Qt::CTRL | Qt::Key_Q), QKeySequence(Qt::ALT | Qt::Key_F4)},
        [this] { close(); });

    QMenu* edit = menuBar()->addMenu(QStringLiteral("Be&arbeiten"));
    add(edit, "MenuItem_Search", "&Suchen",
        {QKeySequence(Qt::Key_F3), QKeySequence(Qt::CTRL | Qt::Key_F)},
        [this] { MenuItem_SearchClick(); });
    edit->addSeparator();
    edit->addAction(categoryPane_->NewKeyAction());
    edit->addAction(entryPane_->NewEntryAction());
    edit->addSeparator();
    add(edit, "MenuItem_Import", "Einträge &importieren", {QKeySequence(Qt::CTRL | Qt::Key_I)},
        [this] { EintrgefrUnterrubrikimportieren1Click(); });

    QMenu* options = menuBar()->addMenu(QStringLiteral("&Optionen"));
    add(options, "MenuItem_Password", "Pass&wort...", {QKeySequence(Qt::CTRL | Qt::Key_P)},
        [this] { MenuItem_PasswordClick(); });
    BuildClipboardOptions(options);
    // Read at start and kept at the end like the clipboard option; the session's saves follow it.
    backupOnSave_ = options->addAction(QStringLiteral("Sicherungskopie beim Speichern"));
    backupOnSave_->setObjectName(QStringLiteral("MenuItem_BackupOnSave"));
    backupOnSave_->setCheckable(true);
    connect(backupOnSave_, &QAction::toggled, this,
            Guarded([this](bool on) { session_.SetBackupOnSave(on); }));
    options->addSeparator();
    lockPane_->AddOptions(options);
    options->addSeparator();
    add(options, "MenuItem_Settings", "&Einstellungen", {QKeySequence(Qt::Key_F2)},
        [this] { MenuItem_SettingsClick(); });

    QMenu* help = menuBar()->addMenu(QStringLiteral("&?"));
    add(help, "MenuItem_Info", "&Info", {QKeySequence(Qt::Key_F1)},
        [this] { MenuItem_InfoClick(); });
}

void TMainWindow::BuildClipboardOptions(QMenu* options) {
    clearClipboard_ = options->addAction(QString());
    clearClipboard_->setObjectName(QStringLiteral("MenuItem_ClearClipboard"));
    clearClipboard_->setCheckable(true);
    connect(clearClipboard_, &QAction::toggled, this,
            Guarded([this](bool on) { clipboard_->SetClearEnabled(on); }));
    clearClipboardDelay_ = options->addMenu(QStringLiteral("Zwischenablage leeren nach"));
    clearClipboardDelay_->setObjectName(QStringLiteral("Menu_ClearClipboardDelay"));
    auto* choices = new QActionGroup(clearClipboardDelay_);
    for (const int seconds : settings::kClearClipboardChoices) {
        QAction* choice =
            clearClipboardDelay_->addAction(QStringLiteral("%1 Sekunden").arg(seconds));
        choice->setCheckable(true);
        choice->setData(seconds);
        choices->addAction(choice);
        connect(choice, &QAction::triggered, this,
                Guarded([this, seconds] { SetClearClipboardSeconds(seconds); }));
    }
    SetClearClipboardSeconds(settings::kClearClipboardSeconds.defaultValue);
}

void TMainWindow::BuildClientArea() {
    auto* central = new QWidget;
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    auto* scroller = new TPageScroller(toolBar_);
    scroller->setFixedHeight(65);
    column->addWidget(scroller);

    splitter_ = new QSplitter(Qt::Horizontal);
    splitter_->setObjectName(QStringLiteral("Splitter1"));
    splitter_->setChildrenCollapsible(false);
    splitter_->setOpaqueResize(true);
    splitter_->setHandleWidth(8);
    splitter_->addWidget(categoryPane_);
    splitter_->addWidget(entryPane_);
    splitter_->setStretchFactor(0, 0);
    splitter_->setStretchFactor(1, 1);
    splitter_->setSizes({listWidth_, kDesignClientWidth - listWidth_ - 8});
    splitter_->handle(1)->installEventFilter(this);
    connect(splitter_, &QSplitter::splitterMoved, this, Guarded([this] { Splitter1Moved(); }));
    column->addWidget(splitter_, 1);
    // The keyboard walks the window as it reads: categories, entries, the editor.
    setTabOrder(categoryPane_->List(), entryPane_->List());
    lockPane_->SetUnlockedPage(central);
    setCentralWidget(lockPane_);
    connect(categoryPane_, &TCategoryPane::EditStarting, this, &TMainWindow::CloseSearchDialog);
    connect(entryPane_, &TEntryPane::EditStarting, this, &TMainWindow::CloseSearchDialog);
    connect(entryPane_, &TEntryPane::StatusText, this, [this](const QString& text) {
        if (text.isEmpty()) {
            statusBar()->clearMessage();
        } else {
            statusBar()->showMessage(text);
        }
    });

    statusBar()->setSizeGripEnabled(true);
    statusBar()->setFixedHeight(19);
}

}  // namespace dorvanta
