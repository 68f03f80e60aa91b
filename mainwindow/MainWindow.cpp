// The main window: start-up, settings, size rules and shut-down.
#include "mainwindow/MainWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QTableView>
#include <QTimer>
#include <QToolButton>
#include <algorithm>

#include "dialogs/AboutBox.h"
#include "dialogs/CategoryDialog.h"
#include "dialogs/ImportDialog.h"
#include "dialogs/SearchDialog.h"
#include "dialogs/SettingsDialog.h"
#include "mainwindow/KeyListBox.h"
#include "mainwindow/MainWindowShared.h"
#include "mainwindow/WindowDecisions.h"
#include "platform/Application.h"
#include "platform/FreedMemory.h"
#include "platform/MessageService.h"
#include "platform/SecretClipboard.h"
#include "platform/Settings.h"
#include "platform/SettingsKeys.h"
#include "platform/System.h"
#include "platform/TextConv.h"
#include "resources/Icons.h"
#include "setup/Setup.h"
#include "update/UpdateComponent.h"

namespace dorvanta {

using namespace mainwindow;

namespace {
// Wider and higher than any desktop; far enough from INT_MAX for any frame or menu.
constexpr int kMaxStoredClientSize = 16384;
}  // namespace

const QColor TMainWindow::kHeaderColors[2] = {QColor(200, 200, 185), QColor(255, 157, 157)};

TMainWindow::TMainWindow(TDocumentSession& session, const QStringList& arguments, QWidget* parent)
    : QMainWindow(parent),
      session_(session),
      decisions_(std::make_unique<TWindowDecisions>(this)),
      clipboard_(std::make_unique<TSecretClipboard>()) {
    setWindowTitle(kTitle);
    ConnectSession();
    // The window is designed for an 8-point font in the message typeface (one with
    // Arial's metrics where installed).
    QFont designFont = font();
    if (!MessageFontFamily().isEmpty()) designFont.setFamily(MessageFontFamily());
    designFont.setPointSize(8);
    setFont(designFont);
    setWindowIcon(AppIcon());
    BuildToolBar();
    BuildMenus();
    BuildClientArea();
    LayoutToolBar();
    UpdateComponent = new TUpdateComponent(this, arguments);
    // Ending the program from the wizard goes through the close question.
    UpdateComponent->OnRequestEnd = [this] { close(); };
    // The setup component uninstalls during its construction when asked to.
    Setup = new TSetup(arguments, this);
    Setup->UpdateComponentUsed = true;
    uninstallRun_ = Setup->UninstallRun();
    // A file manager passes the file to open; any further argument is ignored.
    if (!arguments.isEmpty() && arguments.first() != QStringLiteral("/uninstall") &&
        !arguments.first().isEmpty()) {
        startFile_ = QFileInfo(arguments.first()).absoluteFilePath();
    }
    FormCreate();
    // The dialogs, created once in this order and hidden between uses.
    CategoryDialog = new TCategoryDialog(this, session_);
    SettingsDialog = new TSettingsDialog(this, settings_.get());
    SearchDialog = new TSearchDialog(this, session_, *clipboard_);
    connect(SearchDialog, &TSearchDialog::SearchEnded, this, &TMainWindow::LockIfPending,
            Qt::QueuedConnection);
    // Creating the about box gives the windows made so far the system's typeface.
    AboutBox = new TAboutBox(this);
    ImportDialog = new TImportDialog(this, session_);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        // A window larger than the screen keeps its title bar and menu on it.
        const QPoint centred = area.center() - QPoint(width() / 2, height() / 2);
        move(std::max(centred.x(), area.left()), std::max(centred.y(), area.top()));
    }
}

TMainWindow::~TMainWindow() {
    // An update-only start ends without the window's own closing work.
    if (!UpdateComponent->OnlyUpdateRun()) RunGuarded([this] { FormDestroy(); });
    // The search dialog's list reads the document as it goes (a view may still lay
    // itself out while it is taken down), so it goes before the document does. (The
    // entry list's model, an earlier child, goes before its view.)
    delete SearchDialog;
    SearchDialog = nullptr;
}

bool TMainWindow::ExitRequested() const {
    return Setup->ExitRequested() || UpdateComponent->ExitRequested();
}

// ---------------------------------------------------------------- life cycle

void TMainWindow::FormCreate() {
    // A failed registration is reported; the window still reads its settings.
    RunGuarded([this] { Setup->RegisterUninstall(); });
    session_.SetShownKey(-1);
    SetClientSize(QSize(kDesignClientWidth, kDesignClientHeight));
    if (!uninstallRun_) ReadSettings();
    // Last: a due update wizard shows before the window does.
    RunGuarded([this] { UpdateComponent->AutomaticUpdate({}, false, 0); });
}

void TMainWindow::ReadSettings() {
    settings_ = std::make_unique<TSettingsStore>(Hive::CurrentUser);
    RunGuarded([this] {
        if (!settings_->OpenKey(settings::kProgramKey, true)) {
            settings_.reset();
            return;
        }
        if (settings_->ValueExists(settings::kShowData.name)) {
            SpeedButton_ShowData->setChecked(settings_->ReadBool(settings::kShowData.name));
        }
        if (settings_->ValueExists(settings::kCompressView.name)) {
            SpeedButton_CompressView->setChecked(settings_->ReadBool(settings::kCompressView.name));
        }
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
        ReadClipboardSettings();
        ReadLockSettings();
        // Last: a value of the wrong type is reported without losing the others
        // (a wrong ClearClipboard leaves BackupOnSave off, as it starts).
        if (settings_->ValueExists(settings::kClearClipboard.name)) {
            MenuItem_ClearClipboard->setChecked(
                settings_->ReadInteger(settings::kClearClipboard.name) != 0);
        }
        if (settings_->ValueExists(settings::kBackupOnSave.name)) {
            MenuItem_BackupOnSave->setChecked(
                settings_->ReadInteger(settings::kBackupOnSave.name) != 0);
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
    lineHeight_ = QFontMetrics(font()).height() + 1;
    UpdateMinimumSize();
    QString start = startFile_;
    if (start.isEmpty() && settings_ && settings_->ValueExists(settings::kAutoLoadFile.name)) {
        start = QString::fromStdString(settings_->ReadPath(settings::kAutoLoadFile.name));
    }
    // A large collection takes a while: the window shows first.
    if (!start.isEmpty()) {
        startLoading_ = true;
        QTimer::singleShot(0, this, [this, start] { OpenStartFile(start); });
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
    settings_->WriteBool(settings::kShowData.name, SpeedButton_ShowData->isChecked());
    settings_->WriteBool(settings::kCompressView.name, SpeedButton_CompressView->isChecked());
    settings_->WriteInteger(settings::kClearClipboard.name,
                            MenuItem_ClearClipboard->isChecked() ? 1 : 0);
    WriteClipboardSettings();
    WriteLockSettings();
    settings_->WriteInteger(settings::kBackupOnSave.name,
                            MenuItem_BackupOnSave->isChecked() ? 1 : 0);
    settings_->WriteInteger(settings::kWindowWidth.name, ClientSize().width());
    settings_->WriteInteger(settings::kWindowHeight.name, ClientSize().height());
}

void TMainWindow::OpenStartFile(const QString& path) {
    repaint();  // on screen before the first byte is read
    OpenFile(path, true);
    startLoading_ = false;
    LockIfPending();
}

void TMainWindow::closeEvent(QCloseEvent* event) {
    // The window system may ask while the start file is read; the load ends first.
    if (startLoading_) {
        event->ignore();
        return;
    }
    // Or while the search dialog reads the document: the search stops, the window stays.
    if (SearchDialog && SearchDialog->Searching()) {
        SearchDialog->StopSearch();
        event->ignore();
        return;
    }
    bool ok = false;
    // A failed save must keep the window open, or the changes would be lost.
    RunGuarded([&] { ok = QuerySave(); });
    if (ok) {
        CloseSearchDialog();
        // Nothing of the collection outlives the window in memory.
        session_.Forget();
        ScrubFreedMemory();
        event->accept();
    } else {
        event->ignore();
    }
}

bool TMainWindow::QuerySave() {
    if (!session_.Modified()) return true;
    // Unsaved changes of a locked collection can only be saved once it is open again.
    if (session_.Locked() && !UnlockWithPrompt()) return false;
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
    ListBox_Keys->setMinimumWidth(std::clamp(listWidth_, 1, kMinDragWidth));
    const int rest = std::max(0, Splitter1->width() - listWidth_ - Splitter1->handleWidth());
    Splitter1->setSizes({listWidth_, rest});
    UpdateMinimumSize();
}

// Lets the window system refuse what FormCanResize would undo.
void TMainWindow::UpdateMinimumSize() {
    const int minWidth = listWidth_ < kMinListShrink || dividerDragged_ ? listWidth_ + kMinRightPart
                                                                        : kMinRightPart + 1;
    setMinimumSize(minWidth, kMinClientHeight + MenuHeight());
}

void TMainWindow::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    // The about box gives the window the message font after construction.
    if (event->type() == QEvent::FontChange) LayoutToolBar();
}

void TMainWindow::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    int w = width(), h = height();
    FormCanResize(w, h);
    if (w != width() || h != height()) resize(w, h);
    UpdateMinimumSize();
    SizeEntryColumns();
}

void TMainWindow::Splitter1Moved() {
    listWidth_ = Splitter1->sizes().value(0);
    ListBox_Keys->setMinimumWidth(std::clamp(listWidth_, 1, kMinDragWidth));
    UpdateMinimumSize();
    ListBox_Keys->viewport()->update();
}

bool TMainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (Splitter1 && watched == Splitter1->handle(1)) {
        if (event->type() == QEvent::MouseButtonPress) {
            dividerDragged_ = true;
            UpdateMinimumSize();
        } else if (event->type() == QEvent::MouseButtonRelease) {
            dividerDragged_ = false;
            UpdateMinimumSize();
        }
        return QMainWindow::eventFilter(watched, event);
    }
    if (watched == ListView_Data->viewport()) {
        if (event->type() == QEvent::Resize) {
            SizeEntryColumns();
        } else if (event->type() == QEvent::MouseMove) {
            ListView_DataMouseMove(static_cast<QMouseEvent*>(event)->position().toPoint());
        } else if (event->type() == QEvent::Leave) {
            statusBar()->clearMessage();
        }
    } else if (watched == Panel3 && event->type() == QEvent::Resize) {
        LayoutEditorStrip();
    } else if ((watched == Edit_DataName || watched == Edit_Value || watched == Edit_Info) &&
               event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        // Enter is taken only when there is a sub-category to write into.
        if ((key == Qt::Key_Return || key == Qt::Key_Enter) && Button_ApplyData->isEnabled()) {
            Edit_DatasKeyPress();
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void TMainWindow::LayoutEditorStrip() {
    // The fields stretch with the window; the button stays at the right edge.
    const int w = Panel3->width();
    Button_ApplyData->move(w - 94, 0);
    for (QLineEdit* edit : {Edit_DataName, Edit_Value, Edit_Info}) {
        edit->resize(std::max(20, w - 40 - 95), edit->height());
    }
}

void TMainWindow::SizeEntryColumns() {
    // Three equal columns; the remainder of the division goes to the first.
    const int w = ListView_Data->viewport()->width();
    const int third = w / 3;
    ListView_Data->setColumnWidth(0, w - 2 * third);
    ListView_Data->setColumnWidth(1, third);
    ListView_Data->setColumnWidth(2, third);
}

void TMainWindow::ConnectSession() {
    connect(&session_, &TDocumentSession::AboutToReplaceDocument, this,
            [this] {
                ListBox_Keys->SetItemIndex(-1);
                DropTexts();
            });
    connect(&session_, &TDocumentSession::DocumentReset, this, &TMainWindow::DocumentReset);
    connect(&session_, &TDocumentSession::DocumentLoaded, this, &TMainWindow::DocumentLoaded);
    connect(&session_, &TDocumentSession::Merged, this,
            [this](const QString& summary) { statusBar()->showMessage(summary); });
    connect(&session_, &TDocumentSession::FileNameChanged, this, &TMainWindow::FileNameChanged);
    connect(&session_, &TDocumentSession::KeysChanged, this, &TMainWindow::KeysChanged);
    connect(&session_, &TDocumentSession::EntriesChanged, this, &TMainWindow::EntriesChanged);
    connect(&session_, &TDocumentSession::AboutToLock, this, &TMainWindow::DropTexts);
    connect(&session_, &TDocumentSession::LockedChanged, this, &TMainWindow::ShowLocked);
    connect(&session_, &TDocumentSession::BusyEnded, this, &TMainWindow::LockIfPending,
            Qt::QueuedConnection);
    connect(&session_, &TDocumentSession::ShowRequested, this, [this](int key, int entry) {
        SelectKeyRow(key);
        ListBox_KeysClick();
        if (entry >= 0) SelectEntryRow(entry);
    });
}

void TMainWindow::CloseSearchDialog() {
    if (SearchDialog && SearchDialog->isVisible()) SearchDialog->close();
}

}  // namespace dorvanta
