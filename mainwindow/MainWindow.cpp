// The main window: start-up, settings, size rules and shut-down.
#include "mainwindow/MainWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QMenuBar>
#include <QScreen>
#include <QSessionManager>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <algorithm>
#include <cstdio>

#include "mainwindow/CategoryPane.h"
#include "mainwindow/ClipboardOptions.h"
#include "mainwindow/DialogCommands.h"
#include "mainwindow/EntryPane.h"
#include "mainwindow/KeyListBox.h"
#include "mainwindow/MainWindowShared.h"
#include "mainwindow/ToolBar.h"
#include "mainwindow/WindowDecisions.h"
#include "platform/Application.h"
#include "platform/FreedMemory.h"
#include "platform/MessageService.h"
#include "platform/ScreenFit.h"
#include "platform/Settings.h"
#include "platform/SettingsKeys.h"
#include "platform/System.h"
#include "resources/Icons.h"
#include "setup/Setup.h"
#include "update/UpdateComponent.h"

namespace dorvanta {

using namespace mainwindow;

namespace {
// Wider and higher than any desktop; far enough from INT_MAX for any frame or menu.
constexpr int kMaxStoredClientSize = 16384;

// A list squeezed by the window may stay narrower than a drag could make it.
void SetListMinimumWidth(TCategoryPane& pane, int width) {
    pane.setMinimumWidth(width);
    pane.List()->setMinimumWidth(width);
}
}  // namespace

TMainWindow::TMainWindow(TDocumentSession& session, const QStringList& arguments, QWidget* parent)
    : QMainWindow(parent),
      session_(session),
      decisions_(std::make_unique<TWindowDecisions>(this)),
      clipboardOptions_(std::make_unique<TClipboardOptions>(this)) {
    setWindowTitle(kTitle);
    // The frame's menus follow the lock before the panes show the collection
    // again, so that a pane's own commands end as it sets them.
    connect(&session_, &TDocumentSession::LockedChanged, this, &TMainWindow::ShowLocked);
    // The desktop session ends: the session manager asks first (with or without
    // leave to ask the user); a quit nobody asked about keeps what it can.
    connect(qApp, &QGuiApplication::commitDataRequest, this, [this](QSessionManager& manager) {
        const bool canAsk = manager.allowsInteraction();
        bool closed = false;
        RunGuarded([&] { closed = EndOfSession(canAsk); });
        if (canAsk) manager.release();
        if (!closed) manager.cancel();
    });
    connect(qApp, &QCoreApplication::aboutToQuit, this,
            [this] { RunGuarded([this] { EndOfSession(false); }); });
    // The window is designed for an 8-point font in the message typeface (one with
    // Arial's metrics where installed).
    QFont designFont = font();
    if (!MessageFontFamily().isEmpty()) designFont.setFamily(MessageFontFamily());
    designFont.setPointSize(8);
    setFont(designFont);
    setWindowIcon(AppIcon());
    // The lock first: its page is in front before the panes take the focus back.
    // The panes are made in the window, so that their dialogs take its font.
    lockPane_ = new TLockPane(session_, *decisions_, *this, this);
    categoryPane_ = new TCategoryPane(session_, Clipboard(), this);
    entryPane_ = new TEntryPane(session_, Clipboard(), this);
    ConnectSession();
    toolBar_ = new TToolBar(this);
    ConnectToolBar();
    BuildMenus();
    BuildClientArea();
    updateComponent_ = new TUpdateComponent(this, arguments);
    // Ending the program from the wizard goes through the close question.
    updateComponent_->OnRequestEnd = [this] { close(); };
    // The setup component uninstalls during its construction when asked to.
    setup_ = new TSetup(arguments, this);
    setup_->UpdateComponentUsed = true;
    uninstallRun_ = setup_->UninstallRun();
    // A file manager passes the file to open; any further argument is ignored.
    if (!arguments.isEmpty() && arguments.first() != QStringLiteral("/uninstall") &&
        !arguments.first().isEmpty()) {
        startFile_ = QFileInfo(arguments.first()).absoluteFilePath();
    }
    FormCreate();
    // The dialogs, created once (after the category pane's) and hidden between uses.
    dialogs_ = std::make_unique<TDialogCommands>(this, session_, settings_.get(), Clipboard());
    connect(dialogs_.get(), &TDialogCommands::SearchEnded, lockPane_, &TLockPane::LockIfPending,
            Qt::QueuedConnection);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        // A window larger than the screen keeps its title bar and menu on it.
        const QPoint centred = area.center() - QPoint(width() / 2, height() / 2);
        move(std::max(centred.x(), area.left()), std::max(centred.y(), area.top()));
    }
}

TMainWindow::~TMainWindow() {
    // An update-only start ends without the window's own closing work.
    if (!updateComponent_->OnlyUpdateRun()) RunGuarded([this] { FormDestroy(); });
    // The search dialog goes before the document does. (The entry list's model, an
    // earlier child, goes before its view.)
    dialogs_.reset();
}

bool TMainWindow::ExitRequested() const {
    return setup_->ExitRequested() || updateComponent_->ExitRequested();
}

// ---------------------------------------------------------------- life cycle

void TMainWindow::FormCreate() {
    // A failed registration is reported; the window still reads its settings.
    RunGuarded([this] { setup_->RegisterUninstall(); });
    session_.SetShownKey(-1);
    // A first start uses the screen sensibly; stored settings then override this.
    const QScreen* screen = QGuiApplication::primaryScreen();
    SetClientSize(FirstWindowSize(screen ? screen->availableGeometry() : QRect(),
                                  QSize(kDesignClientWidth, kDesignClientHeight),
                                  QSize(0, MenuHeight())));
    if (!uninstallRun_) ReadSettings();
    // Last: a due update wizard shows before the window does.
    RunGuarded([this] { updateComponent_->AutomaticUpdate({}, false, 0); });
}

void TMainWindow::ReadSettings() {
    settings_ = std::make_unique<TSettingsStore>(Hive::CurrentUser);
    RunGuarded([this] {
        if (!settings_->OpenKey(settings::kProgramKey, true)) {
            settings_.reset();
            return;
        }
        categoryPane_->ReadSettings(*settings_);
        // The stored size comes from a file anyone can edit: it is kept between the
        // smallest size the window allows and one no desktop exceeds, so adding the
        // menu bar cannot overflow and the window cannot vanish.
        QSize size = ClientSize();
        if (settings_->ValueExists(settings::kWindowWidth.name)) {
            size.setWidth(std::clamp(settings_->ReadInteger(settings::kWindowWidth.name),
                                     kMinRightPart + 1, kMaxStoredClientSize));
        }
        if (settings_->ValueExists(settings::kWindowHeight.name)) {
            size.setHeight(std::clamp(settings_->ReadInteger(settings::kWindowHeight.name),
                                      kMinClientHeight, kMaxStoredClientSize));
        }
        SetClientSize(size);
        clipboardOptions_->ReadDelay(*settings_);
        lockPane_->ReadSettings(*settings_);
        // Last: a value of the wrong type is reported without losing the others
        // (a wrong ClearClipboard leaves BackupOnSave off, as it starts).
        clipboardOptions_->ReadClearing(*settings_);
        if (settings_->ValueExists(settings::kBackupOnSave.name)) {
            backupOnSave_->setChecked(settings_->ReadInteger(settings::kBackupOnSave.name) != 0);
        }
    });
    if (settings_ && !settings_->HasCurrentKey()) settings_.reset();
}

void TMainWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!shown_) {
        shown_ = true;
        RunGuarded([this] { FormShow(); });
    }
}

void TMainWindow::FormShow() {
    categoryPane_->UpdateLineHeight();
    UpdateMinimumSize();
    QString start = startFile_;
    if (start.isEmpty() && settings_ && settings_->ValueExists(settings::kAutoLoadFile.name)) {
        start = QString::fromStdString(settings_->ReadPath(settings::kAutoLoadFile.name));
    }
    // A large collection takes a while: the window shows first.
    if (!start.isEmpty()) {
        startLoading_ = true;
        QTimer::singleShot(0, this, [this, start] { OpenStartFile(start); });
    } else {
        QTimer::singleShot(0, this, [this] { RunGuarded([this] { OfferUntitledRecovery(); }); });
    }
}

void TMainWindow::FormDestroy() {
    if (uninstallRun_) return;
    // A settings key that could not be opened at the start is reported at the end,
    // naming the first value that could not be written.
    if (!settings_) {
        throw ESettingsError(
            FormatMessage("Fehler beim Setzen der Daten für '%s'", settings::kShowData.name));
    }
    // The first value that cannot be written ends the writing; the caller shows it.
    struct Closer {
        TSettingsStore* r;
        ~Closer() { r->CloseKey(); }
    } closer{settings_.get()};
    categoryPane_->WriteSettings(*settings_);
    clipboardOptions_->WriteSettings(*settings_);
    lockPane_->WriteSettings(*settings_);
    settings_->WriteInteger(settings::kBackupOnSave.name, backupOnSave_->isChecked() ? 1 : 0);
    settings_->WriteInteger(settings::kWindowWidth.name, ClientSize().width());
    settings_->WriteInteger(settings::kWindowHeight.name, ClientSize().height());
}

void TMainWindow::OpenStartFile(const QString& path) {
    repaint();  // on screen before the first byte is read
    OpenFile(path, true);
    startLoading_ = false;
    OfferUntitledRecovery();
    lockPane_->LockIfPending();
}

void TMainWindow::closeEvent(QCloseEvent* event) {
    // The window system may ask while the start file is read; the load ends first.
    if (startLoading_) {
        event->ignore();
        return;
    }
    // Or while the search dialog reads the document: the search stops, the window stays.
    if (Searching()) {
        StopSearch();
        event->ignore();
        return;
    }
    bool ok = false;
    // A failed save must keep the window open, or the changes would be lost.
    RunGuarded([&] { ok = sessionEnded_ || QuerySave(); });
    if (ok) {
        dialogs_->CloseSearchDialog();
        // Nothing of the collection outlives the window in memory.
        session_.Forget();
        ScrubFreedMemory();
        event->accept();
    } else {
        event->ignore();
    }
}

bool TMainWindow::EndOfSession(bool canAsk) {
    if (sessionEnded_) return true;
    // A locked collection is not opened for a question at logout; its seal is kept.
    if (session_.Modified() && !session_.Busy() && (!canAsk || session_.Locked())) {
        try {
            sessionEnded_ = session_.KeepForRecovery(SettingsFolder()).has_value();
        } catch (const std::exception& e) {
            // No box: nobody may be there to close it, and the logout must go on.
            std::fprintf(stderr, "Dorvanta: Ungespeicherte Änderungen nicht aufbewahrt: %s\n",
                         e.what());
        }
    }
    // Nobody can answer: whatever could not be kept is lost, as before.
    if (!canAsk) sessionEnded_ = true;
    if (sessionEnded_) {
        close();
        return true;
    }
    return close();
}

bool TMainWindow::QuerySave() {
    if (!session_.Modified()) return true;
    // Unsaved changes of a locked collection can only be saved once it is open again.
    if (session_.Locked() && !lockPane_->UnlockWithPrompt()) return false;
    switch (MessageService::Instance().ConfirmWithCancel(
        QStringLiteral("Wollen Sie die aktuelle Datei speichern?"))) {
        case MsgButton::Yes:
            // Only a save that wrote the file lets the pending action go on; a
            // cancelled save dialog must not discard what the user wanted kept.
            return MenuItem_SaveClick();
        case MsgButton::No:
            return true;
        default:
            return false;
    }
}

// The menu bar lies outside the client area, as a window's menu does.
int TMainWindow::MenuHeight() const {
    return menuBar()->isVisible() ? menuBar()->height() : menuBar()->sizeHint().height();
}

QSize TMainWindow::ClientSize() const {
    return QSize(width(), height() - MenuHeight());
}

void TMainWindow::SetClientSize(const QSize& size) {
    resize(size.width(), std::max(size.height(), kMinClientHeight) + MenuHeight());
}

// The client area never gets lower than 329 pixels. The right part keeps 200
// pixels: a narrower window takes them from the category list while that is at
// least 100 wide; after that, or while the divider is dragged, the window stops.
void TMainWindow::FormCanResize(int& newWidth, int& newHeight) {
    const int frameHeight = MenuHeight();  // the client area lies below the menu bar
    if (newHeight - frameHeight < kMinClientHeight) newHeight = frameHeight + kMinClientHeight;
    const int s = listWidth_;
    if (newWidth >= s + kMinRightPart) return;
    if (s < kMinListShrink || dividerDragged_) {
        newWidth = s + kMinRightPart;
    } else {
        SetListWidth(newWidth - kMinRightPart);
    }
}

void TMainWindow::SetListWidth(int width) {
    listWidth_ = std::max(0, width);
    // A list squeezed by the window may stay narrower than a drag could make it.
    SetListMinimumWidth(*categoryPane_, std::clamp(listWidth_, 1, TCategoryPane::kMinDragWidth));
    const int rest = std::max(0, splitter_->width() - listWidth_ - splitter_->handleWidth());
    splitter_->setSizes({listWidth_, rest});
    UpdateMinimumSize();
}

// Lets the window system refuse what FormCanResize would undo.
void TMainWindow::UpdateMinimumSize() {
    const int minWidth = listWidth_ < kMinListShrink || dividerDragged_ ? listWidth_ + kMinRightPart
                                                                        : kMinRightPart + 1;
    setMinimumSize(minWidth, kMinClientHeight + MenuHeight());
}

void TMainWindow::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    int w = width(), h = height();
    FormCanResize(w, h);
    if (w != width() || h != height()) resize(w, h);
    UpdateMinimumSize();
}

void TMainWindow::Splitter1Moved() {
    listWidth_ = splitter_->sizes().value(0);
    SetListMinimumWidth(*categoryPane_, std::clamp(listWidth_, 1, TCategoryPane::kMinDragWidth));
    UpdateMinimumSize();
    categoryPane_->List()->viewport()->update();
}

bool TMainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (splitter_ && watched == splitter_->handle(1)) {
        if (event->type() == QEvent::MouseButtonPress) {
            dividerDragged_ = true;
            UpdateMinimumSize();
        } else if (event->type() == QEvent::MouseButtonRelease) {
            dividerDragged_ = false;
            UpdateMinimumSize();
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

TSecretClipboard& TMainWindow::Clipboard() const {
    return clipboardOptions_->Clipboard();
}

bool TMainWindow::Searching() const {
    return dialogs_ && dialogs_->Searching();
}

void TMainWindow::StopSearch() {
    dialogs_->StopSearch();
}

}  // namespace dorvanta
