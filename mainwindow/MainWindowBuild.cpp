// The main window: its controls, menus and tool bar.
#include <QMenu>
#include <QMenuBar>
#include <QSplitter>
#include <QStatusBar>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>

#include "mainwindow/CategoryPane.h"
#include "mainwindow/ClipboardOptions.h"
#include "mainwindow/DialogCommands.h"
#include "mainwindow/EntryPane.h"
#include "mainwindow/KeyListBox.h"
#include "mainwindow/MainWindow.h"
#include "mainwindow/MainWindowShared.h"
#include "mainwindow/PageScroller.h"
#include "mainwindow/ToolBar.h"
#include "platform/Application.h"

namespace dorvanta {

using namespace mainwindow;

namespace {

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
    if (action->isCheckable()) {
        // Toggled, not clicked: a screen reader toggles the button without a click.
        QObject::connect(button, &QToolButton::toggled, action, [action](bool on) {
            if (action->isChecked() != on) action->trigger();
        });
    } else {
        QObject::connect(button, &QToolButton::clicked, action, [action] { action->trigger(); });
    }
}

}  // namespace

// ---------------------------------------------------------------- construction

void TMainWindow::ConnectToolBar() {
    const auto button = [this](TToolBar::TButton which) { return toolBar_->Button(which); };
    connect(button(TToolBar::New), &QToolButton::clicked, this,
            Guarded([this] { MenuItem_NewClick(); }));
    connect(button(TToolBar::Open), &QToolButton::clicked, this,
            Guarded([this] { MenuItem_OpenClick(); }));
    connect(button(TToolBar::Save), &QToolButton::clicked, this,
            Guarded([this] { MenuItem_SaveClick(); }));
    Mirror(button(TToolBar::NewKey), categoryPane_->NewKeyAction());
    Mirror(button(TToolBar::DelKey), categoryPane_->DeleteKeyAction());
    Mirror(button(TToolBar::ShowData), categoryPane_->ShowDataAction());
    Mirror(button(TToolBar::CompressView), categoryPane_->CompressViewAction());
    connect(button(TToolBar::Exit), &QToolButton::clicked, this, Guarded([this] { close(); }));
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
        [this] { dialogs_->MenuItem_SearchClick(); });
    edit->addSeparator();
    edit->addAction(categoryPane_->NewKeyAction());
    edit->addAction(entryPane_->NewEntryAction());
    edit->addSeparator();
    add(edit, "MenuItem_Import", "Einträge &importieren", {QKeySequence(Qt::CTRL | Qt::Key_I)},
        [this] { dialogs_->EintrgefrUnterrubrikimportieren1Click(); });

    // The view options of the tool bar, here also for the keyboard.
    QMenu* view = menuBar()->addMenu(QStringLiteral("A&nsicht"));
    view->addAction(categoryPane_->ShowDataAction());
    view->addAction(categoryPane_->CompressViewAction());

    QMenu* options = menuBar()->addMenu(QStringLiteral("&Optionen"));
    add(options, "MenuItem_Password", "Pass&wort...", {QKeySequence(Qt::CTRL | Qt::Key_P)},
        [this] { MenuItem_PasswordClick(); });
    clipboardOptions_->AddOptions(options);
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
        [this] { dialogs_->MenuItem_SettingsClick(); });

    QMenu* help = menuBar()->addMenu(QStringLiteral("&?"));
    add(help, "MenuItem_Info", "&Info", {QKeySequence(Qt::Key_F1)},
        [this] { dialogs_->MenuItem_InfoClick(); });
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
    const auto closeSearch = [this] { dialogs_->CloseSearchDialog(); };
    connect(categoryPane_, &TCategoryPane::EditStarting, this, closeSearch);
    connect(entryPane_, &TEntryPane::EditStarting, this, closeSearch);
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
