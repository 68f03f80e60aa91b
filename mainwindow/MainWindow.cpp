#include "mainwindow/MainWindow.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDate>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QTableView>
#include <QTime>
#include <QToolButton>
#include <QVBoxLayout>

#include "dialogs/CategoryDialog.h"
#include "mainwindow/EntryModel.h"
#include "mainwindow/Icons.h"
#include "mainwindow/KeyListBox.h"
#include "mainwindow/PageScroller.h"
#include "platform/Application.h"
#include "platform/Cp1252Validator.h"
#include "platform/MessageService.h"
#include "platform/Settings.h"
#include "platform/System.h"
#include "platform/TextConv.h"
#include "setup/Setup.h"
#include "store/DateTime.h"
#include "store/PdtFile.h"

namespace dorvanta {

const QColor TForm1::kHeaderColors[2] = {QColor(200, 200, 185), QColor(255, 157, 157)};

namespace {

const char* const kSettingsKey = "Software\\QZ\\Dorvanta";
const QString kTitle = QStringLiteral("Dorvanta");
const QString kFileFilter = QStringLiteral("Private Daten (*.pdt)");
const QString kInvalidInput = QStringLiteral("Ungültige oder unvollständige Eingaben");
const QString kUnstorableText =
    QStringLiteral("Der Text enthält Zeichen, die in der Datei nicht gespeichert werden können.");

struct ToolButtonDef {
    QToolButton* TForm1::*member;
    int left;
    int width;
    const char* caption;
    const char* hint;
    IconId icon;
};

// Converts a field's text; the fields accept only what Windows-1252 holds.
std::string Text(const QLineEdit* edit) {
    return FromQString(edit->text()).value_or(std::string());
}

}  // namespace

TForm1::TForm1(const QStringList& arguments, QWidget* parent) : QMainWindow(parent) {
    setWindowTitle(kTitle);
    // The window is designed for an 8-point font in the system's message typeface.
    QFont designFont = font();
    if (!MessageFontFamily().isEmpty()) designFont.setFamily(MessageFontFamily());
    designFont.setPointSize(8);
    setFont(designFont);
    setWindowIcon(AppIcon());
    BuildToolBar();
    BuildMenus();
    BuildClientArea();
    Form2 = new TForm2(*this);
    // The setup component uninstalls during its construction when asked to.
    QZSetup = new TQZSetup(arguments, this);
    QZSetup->QZUpdateUsed = true;
    uninstallRun_ = QZSetup->UninstallRun();
    FormCreate();
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - QPoint(width() / 2, height() / 2));
    }
}

TForm1::~TForm1() {
    RunGuarded([this] { FormDestroy(); });
}

// ---------------------------------------------------------------- construction

void TForm1::BuildToolBar() {
    Panel_Main = new QWidget;
    Panel_Main->setFixedSize(790, 63);
    const ToolButtonDef buttons[] = {
        {&TForm1::SpeedButton_New, 4, 69, "Neu", "Erstellt eine neue Datei.", IconId::New},
        {&TForm1::SpeedButton_Open, 76, 69, "Öffnen", "Öffnet eine vorhandene Datei.",
         IconId::Open},
        {&TForm1::SpeedButton_Save, 148, 69, "Speichern", "Speichert die aktuelle Datei neu.",
         IconId::Save},
        {&TForm1::SpeedButton_NewKey, 228, 77, "Neue Rubrik", "Erstellt eine neue Rubrik",
         IconId::NewKey},
        {&TForm1::SpeedButton_DelKey, 308, 77, "Rubrik löschen", "Löscht die markierte Rubrik.",
         IconId::DelKey},
        {&TForm1::SpeedButton_ShowData, 396, 77, "Daten zeigen...",
         "Legt fest, ob in der Rubrikliste die Daten zu allen Rubriken angezeigt werden sollen.",
         IconId::ShowData},
        {&TForm1::SpeedButton_CompressView, 476, 77, "Ansicht filtern",
         "Legt fest, ob nur die Daten der aktuellen Oberrubrik angezeigt werden.",
         IconId::CompressView},
        {&TForm1::SpeedButton_Exit, 564, 77, "Beenden", "Beendet das Programm.", IconId::Exit},
    };
    for (const ToolButtonDef& def : buttons) {
        auto* button = new QToolButton(Panel_Main);
        button->setObjectName(QString::fromUtf8(def.caption));
        button->setGeometry(def.left, 2, def.width, 59);
        button->setText(QString::fromUtf8(def.caption));
        button->setStatusTip(QString::fromUtf8(def.hint));
        button->setIcon(ToolIcon(def.icon));
        button->setIconSize(QSize(24, 24));
        button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        button->setAutoRaise(true);
        button->setFocusPolicy(Qt::NoFocus);
        // The captions must fit the designed widths; a slightly narrower face does it.
        QFont captionFont = button->font();
        captionFont.setStretch(QFont::Condensed);
        button->setFont(captionFont);
        button->setStyleSheet(QStringLiteral("QToolButton { padding: 0px; }"));
        this->*def.member = button;
    }
    SpeedButton_DelKey->setEnabled(false);
    SpeedButton_ShowData->setCheckable(true);
    SpeedButton_CompressView->setCheckable(true);

    connect(SpeedButton_New, &QToolButton::clicked, this, [this] { MenuItem_NewClick(); });
    connect(SpeedButton_Open, &QToolButton::clicked, this, [this] { MenuItem_OpenClick(); });
    connect(SpeedButton_Save, &QToolButton::clicked, this, [this] { MenuItem_SaveClick(); });
    connect(SpeedButton_NewKey, &QToolButton::clicked, this, [this] { SpeedButton_NewKeyClick(); });
    connect(SpeedButton_DelKey, &QToolButton::clicked, this, [this] { SpeedButton_DelKeyClick(); });
    connect(SpeedButton_ShowData, &QToolButton::clicked, this,
            [this] { SpeedButton_ShowDataClick(); });
    connect(SpeedButton_CompressView, &QToolButton::clicked, this,
            [this] { SpeedButton_ShowDataClick(); });
    connect(SpeedButton_Exit, &QToolButton::clicked, this, [this] { close(); });

    PageScroller_Main = new TPageScroller(Panel_Main);
    PageScroller_Main->setFixedHeight(65);
}

void TForm1::BuildMenus() {
    auto add = [this](QMenu* menu, const char* text, const QKeySequence& keys, auto handler) {
        QAction* action = menu->addAction(QString::fromUtf8(text));
        action->setShortcut(keys);
        action->setShortcutContext(Qt::WindowShortcut);
        connect(action, &QAction::triggered, this, handler);
        return action;
    };
    QMenu* file = menuBar()->addMenu(QStringLiteral("&Datei"));
    MenuItem_New =
        add(file, "&Neu", QKeySequence(Qt::CTRL | Qt::Key_N), [this] { MenuItem_NewClick(); });
    MenuItem_Open =
        add(file, "Ö&ffnen", QKeySequence(Qt::CTRL | Qt::Key_O), [this] { MenuItem_OpenClick(); });
    MenuItem_Save = add(file, "&Speichern", QKeySequence(Qt::CTRL | Qt::Key_S),
                        [this] { MenuItem_SaveClick(); });
    MenuItem_SaveUnder =
        add(file, "Speichern &unter", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S),
            [this] { MenuItem_SaveUnderClick(); });
    file->addSeparator();
    MenuItem_Exit = add(file, "Be&enden", QKeySequence(Qt::ALT | Qt::Key_F4), [this] { close(); });

    QMenu* edit = menuBar()->addMenu(QStringLiteral("Be&arbeiten"));
    MenuItem_Search = add(edit, "&Suchen", QKeySequence(Qt::Key_F3), [this] {
        if (OnSearch) OnSearch();
    });
    edit->addSeparator();
    MenuItem_Import =
        add(edit, "Einträge &importieren", QKeySequence(Qt::CTRL | Qt::Key_I), [this] {
            if (OnImport) OnImport();
        });

    QMenu* options = menuBar()->addMenu(QStringLiteral("&Optionen"));
    MenuItem_Password = add(options, "Pass&wort...", QKeySequence(Qt::CTRL | Qt::Key_P),
                            [this] { MenuItem_PasswordClick(); });
    options->addSeparator();
    MenuItem_Settings = add(options, "&Einstellungen", QKeySequence(Qt::Key_F2), [this] {
        if (!Loading() && OnSettings) OnSettings();
    });

    QMenu* help = menuBar()->addMenu(QStringLiteral("&?"));
    MenuItem_Info = add(help, "&Info", QKeySequence(Qt::Key_F1), [this] {
        if (OnInfo) OnInfo();
    });

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

void TForm1::BuildClientArea() {
    auto* central = new QWidget;
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(PageScroller_Main);

    ListBox_Keys = new TKeyListBox;
    ListBox_Keys->setMinimumWidth(30);
    ListBox_Keys->SetDrawItem([this](QPainter& p, int i, const QRect& r, bool selected) {
        ListBox_KeysDrawItem(p, i, r, selected);
    });
    connect(ListBox_Keys, &TKeyListBox::Clicked, this, [this] { ListBox_KeysClick(); });
    connect(ListBox_Keys, &TKeyListBox::DoubleClicked, this, [this] { ListBox_KeysDblClick(); });
    connect(ListBox_Keys, &TKeyListBox::ContextMenuRequested, this, [this](const QPoint& pos) {
        // The rename item is there only with a selection.
        MenuItem_ChangeKeyName->setVisible(ListBox_Keys->ItemIndex() >= 0);
        PopupMenu_Key->popup(pos);
    });

    Panel1 = new QWidget;
    Panel1->setMinimumWidth(kMinRightPart - 8);
    auto* right = new QVBoxLayout(Panel1);
    right->setContentsMargins(0, 0, 0, 0);
    right->setSpacing(0);
    auto* upper = new QHBoxLayout;
    upper->setContentsMargins(0, 0, 0, 0);
    upper->setSpacing(0);

    EntryModel = new TEntryModel(document_, this);
    ListView_Data = new QTableView;
    ListView_Data->setModel(EntryModel);
    ListView_Data->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListView_Data->setSelectionMode(QAbstractItemView::SingleSelection);
    ListView_Data->setEditTriggers(QAbstractItemView::NoEditTriggers);
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
            [this] { ListView_DataClick(); });
    connect(ListView_Data, &QTableView::clicked, this, [this] { ListView_DataClick(); });
    upper->addWidget(ListView_Data, 1);

    Panel4 = new QWidget;
    Panel4->setFixedWidth(59);
    auto makeToolButton = [this](int top, const char* hint, IconId icon) {
        auto* b = new QToolButton(Panel4);
        b->setGeometry(4, top, 52, 52);
        b->setIcon(ToolIcon(icon));
        b->setIconSize(QSize(32, 32));
        b->setStatusTip(QString::fromUtf8(hint));
        b->setAutoRaise(true);
        b->setFocusPolicy(Qt::NoFocus);
        b->setEnabled(false);
        return b;
    };
    SpeedButton_NewData = makeToolButton(4, "Fügt einen neuen Eintrag hinzu.", IconId::NewData);
    SpeedButton_DeleteData =
        makeToolButton(60, "Löscht den ausgewählten Eintrag.", IconId::DeleteData);
    SpeedButton_Copy =
        makeToolButton(116, "Kopiert den markierten Wert in die Zwischenablage.", IconId::Copy);
    connect(SpeedButton_NewData, &QToolButton::clicked, this,
            [this] { SpeedButton_NewDataClick(); });
    connect(SpeedButton_DeleteData, &QToolButton::clicked, this,
            [this] { SpeedButton_DeleteDataClick(); });
    connect(SpeedButton_Copy, &QToolButton::clicked, this, [this] { SpeedButton_CopyClick(); });
    upper->addWidget(Panel4);
    right->addLayout(upper, 1);

    Panel3 = new QWidget;
    Panel3->setFixedHeight(71);
    Panel3->installEventFilter(this);
    auto makeEdit = [this](int top, const char* label) {
        auto* edit = new QLineEdit(Panel3);
        edit->setGeometry(40, top, 430, 21);
        RestrictToCp1252(edit);
        edit->installEventFilter(this);
        auto* caption = new QLabel(QString::fromUtf8(label), Panel3);
        caption->setBuddy(edit);
        caption->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        caption->setGeometry(0, top, 40 - 4, 21);
        return edit;
    };
    Edit_DataName = makeEdit(0, "&Name:");
    Edit_Value = makeEdit(24, "&Wert:");
    Edit_Info = makeEdit(48, "&Info:");
    Button_ApplyData = new QPushButton(QStringLiteral("Er&stellen"), Panel3);
    Button_ApplyData->setGeometry(471, 0, 93, 70);
    Button_ApplyData->setEnabled(false);
    connect(Button_ApplyData, &QPushButton::clicked, this, [this] { Button_ApplyDataClick(); });
    setTabOrder(Edit_DataName, Edit_Value);
    setTabOrder(Edit_Value, Edit_Info);
    setTabOrder(Edit_Info, Button_ApplyData);
    right->addWidget(Panel3);

    Splitter1 = new QSplitter(Qt::Horizontal);
    Splitter1->setChildrenCollapsible(false);
    Splitter1->setOpaqueResize(true);
    Splitter1->setHandleWidth(8);
    Splitter1->addWidget(ListBox_Keys);
    Splitter1->addWidget(Panel1);
    Splitter1->setStretchFactor(0, 0);
    Splitter1->setStretchFactor(1, 1);
    Splitter1->setSizes({217, kDesignClientWidth - 217 - 8});
    connect(Splitter1, &QSplitter::splitterMoved, this, [this] { Splitter1Moved(); });
    column->addWidget(Splitter1, 1);
    setCentralWidget(central);

    statusBar()->setSizeGripEnabled(true);
    statusBar()->setFixedHeight(19);
}

// ---------------------------------------------------------------- life cycle

void TForm1::FormCreate() {
    // A failed registration is reported; the window still reads its settings.
    RunGuarded([this] { QZSetup->RegisterUninstall(); });
    document_.SelectedKey = -1;
    SetClientSize(QSize(kDesignClientWidth, kDesignClientHeight));
    if (uninstallRun_) return;
    settings_ = std::make_unique<TRegistry>(Hive::CurrentUser);
    RunGuarded([this] {
        if (!settings_->OpenKey(kSettingsKey, true)) {
            settings_.reset();
            return;
        }
        if (settings_->ValueExists("ShowData")) {
            SpeedButton_ShowData->setChecked(settings_->ReadBool("ShowData"));
        }
        if (settings_->ValueExists("CompressView")) {
            SpeedButton_CompressView->setChecked(settings_->ReadBool("CompressView"));
        }
        QSize size = ClientSize();
        if (settings_->ValueExists("Form1Width"))
            size.setWidth(settings_->ReadInteger("Form1Width"));
        if (settings_->ValueExists("Form1Height"))
            size.setHeight(settings_->ReadInteger("Form1Height"));
        SetClientSize(size);
    });
    if (settings_ && !settings_->HasCurrentKey()) settings_.reset();
}

void TForm1::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!shown_) {
        shown_ = true;
        RunGuarded([this] { FormShow(); });
    }
}

void TForm1::FormShow() {
    lineHeight_ = QFontMetrics(font()).height() + 1;
    FormCanResize();
    if (settings_ && settings_->ValueExists("AutoLoadFile")) {
        OpenFile(ToQString(settings_->ReadString("AutoLoadFile")));
    }
}

void TForm1::FormDestroy() {
    if (!settings_) return;
    // The first value that cannot be written ends the writing; the caller shows it.
    struct Closer {
        TRegistry* r;
        ~Closer() { r->CloseKey(); }
    } closer{settings_.get()};
    settings_->WriteBool("ShowData", SpeedButton_ShowData->isChecked());
    settings_->WriteBool("CompressView", SpeedButton_CompressView->isChecked());
    settings_->WriteInteger("Form1Width", ClientSize().width());
    settings_->WriteInteger("Form1Height", ClientSize().height());
}

void TForm1::closeEvent(QCloseEvent* event) {
    bool ok = false;
    // A failed save must keep the window open, or the changes would be lost.
    RunGuarded([&] { ok = QuerySave(); });
    if (ok) {
        CloseSearchDialog();
        event->accept();
    } else {
        event->ignore();
    }
}

bool TForm1::QuerySave() {
    if (!document_.Modified) return true;
    switch (MessageService::Instance().ConfirmWithCancel(
        QStringLiteral("Wollen Sie die aktuelle Datei speichern?"))) {
        case MsgButton::Yes:
            MenuItem_SaveClick();
            return true;
        case MsgButton::No:
            return true;
        default:
            return false;
    }
}

// The menu bar lies outside the client area, as a window's menu does.
int TForm1::MenuHeight() const {
    return menuBar()->isVisible() ? menuBar()->height() : menuBar()->sizeHint().height();
}

QSize TForm1::ClientSize() const {
    return QSize(width(), height() - MenuHeight());
}

void TForm1::SetClientSize(const QSize& size) {
    resize(size.width(), std::max(size.height(), kMinClientHeight) + MenuHeight());
}

// The client area never gets lower than 329 pixels; the right part keeps 200
// pixels, taken from the category list while that is at least 100 wide.
void TForm1::FormCanResize() {
    const QList<int> sizes = Splitter1->sizes();
    int list = sizes.value(0);
    const int w = ClientSize().width();
    if (w < list + kMinRightPart && list >= kMinListShrink) {
        list = std::max(kMinListShrink, w - kMinRightPart);
        Splitter1->setSizes({list, w - list - Splitter1->handleWidth()});
    }
    const int minWidth = std::min(list, kMinListShrink) + kMinRightPart;
    setMinimumSize(minWidth, kMinClientHeight + MenuHeight());
}

void TForm1::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    FormCanResize();
    SizeEntryColumns();
}

void TForm1::Splitter1Moved() {
    FormCanResize();
    ListBox_Keys->viewport()->update();
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
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
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            if (Button_ApplyData->isEnabled()) Edit_DatasKeyPress();
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void TForm1::LayoutEditorStrip() {
    // The fields stretch with the window; the button stays at the right edge.
    const int w = Panel3->width();
    Button_ApplyData->move(w - 94, 0);
    for (QLineEdit* edit : {Edit_DataName, Edit_Value, Edit_Info}) {
        edit->resize(std::max(20, w - 40 - 95), edit->height());
    }
}

void TForm1::SizeEntryColumns() {
    // Three equal columns; the remainder of the division goes to the first.
    const int w = ListView_Data->viewport()->width();
    const int third = w / 3;
    ListView_Data->setColumnWidth(0, w - 2 * third);
    ListView_Data->setColumnWidth(1, third);
    ListView_Data->setColumnWidth(2, third);
}

void TForm1::CloseSearchDialog() {
    if (searchDialog_ && searchDialog_->isVisible()) searchDialog_->close();
}

void TForm1::SetCaptionForFile() {
    setWindowTitle(QStringLiteral("Dorvanta - [") + QString::fromStdString(document_.FileName) +
                   QStringLiteral("]"));
}

// ---------------------------------------------------------------- file commands

void TForm1::ResetToNew() {
    document_.ClearDocument();
    ClearKeyRows();
    EntryModel->Clear();
    Edit_DataName->clear();
    Edit_Value->clear();
    ListBox_KeysClick();
    setWindowTitle(kTitle);
}

void TForm1::MenuItem_NewClick() {
    if (!QuerySave()) return;
    CloseSearchDialog();
    ResetToNew();
}

void TForm1::MenuItem_OpenClick() {
    if (Loading()) return;
    const auto path = MessageService::Instance().OpenFileName(this, QStringLiteral("Öffnen"),
                                                              kFileFilter, QStringLiteral("pdt"));
    if (!path) return;
    CloseSearchDialog();
    if (!QuerySave()) return;
    OpenFile(*path);
}

void TForm1::OpenFile(const QString& path) {
    const std::string file = path.toStdString();
    TLoadHooks hooks;
    hooks.ClearSelection = [this] { ListBox_Keys->SetItemIndex(-1); };
    hooks.AskPassword = [this](const std::string& p) -> std::optional<std::string> {
        const auto typed = MessageService::Instance().InputText(
            QStringLiteral("Passwort"),
            QStringLiteral("Die Datei \"") + QString::fromStdString(p) +
                QStringLiteral("\" ist passwortgeschützt. Geben Sie das erforderliche Passwort "
                               "ein, um die Daten zu laden."),
            QString(), 255, false);
        if (!typed) return std::nullopt;
        // A character the file cannot hold can never match: the empty text never
        // equals a password that is asked for, so it counts as wrong.
        return FromQString(*typed).value_or(std::string());
    };
    hooks.ShowWrongPassword = [] {
        MessageService::Instance().Message(QString::fromUtf8(kMsgWrongPassword),
                                           QStringLiteral("Ungültiges Passwort"), MsgIcon::Error);
    };
    hooks.ResetToNew = [this] { ResetToNew(); };
    hooks.RebuildViews = [this] {
        ListBox_KeysClick();
        UpdtListBox(false, {});
    };
    bool loaded = false;
    try {
        loaded = LoadDocument(document_, file, hooks);
    } catch (...) {
        // Never leave a half-read document that a later save could write over the file.
        document_.Loading = false;
        ResetToNew();
        throw;
    }
    if (loaded) {
        document_.FileName = file;
        SetCaptionForFile();
        document_.Modified = false;
    }
}

void TForm1::MenuItem_SaveClick() {
    if (Loading()) return;
    if (document_.FileName.empty()) {
        MenuItem_SaveUnderClick();
        return;
    }
    SaveDocument(document_, document_.FileName);
    document_.Modified = false;
}

void TForm1::MenuItem_SaveUnderClick() {
    if (Loading()) return;
    const auto path = MessageService::Instance().SaveFileName(
        this, QStringLiteral("Speichern unter"), kFileFilter, QStringLiteral("pdt"),
        QString::fromStdString(document_.FileName));
    if (!path) return;
    document_.FileName = path->toStdString();
    SetCaptionForFile();
    SaveDocument(document_, document_.FileName);
    document_.Modified = false;
}

void TForm1::MenuItem_PasswordClick() {
    if (Loading()) return;
    const QString current = ToQString(document_.Password);
    const QString answer =
        MessageService::Instance()
            .InputText(QStringLiteral("Passwort"),
                       QStringLiteral("Geben Sie ein Passwort ein, um die Daten zu schützen, oder "
                                      "lassen Sie das Feld leer, um kein Passwort zu verwenden."),
                       current, 255, false)
            .value_or(current);
    const auto password = FromQString(answer);
    if (!password) {
        MessageService::Instance().Message(kUnstorableText, kInvalidInput, MsgIcon::Warning);
        return;
    }
    document_.SetPassword(*password);
}

// ---------------------------------------------------------------- category list

void TForm1::UpdtListBox(bool force, const std::string& newParent) {
    const auto& keys = document_.Keys;
    const int selected = ListBox_Keys->ItemIndex();
    std::string p0, n0;
    if (selected >= 0 && selected < static_cast<int>(keyRows_.size())) {
        p0 = keyRows_[selected].first;
        n0 = keyRows_[selected].second;
    }
    if (!force && lastFillIndex_ != -1 && lastFillIndex_ < static_cast<int>(keys.size()) &&
        selected >= 0 && selected < static_cast<int>(keys.size()) &&
        keys[lastFillIndex_].Parent == keys[selected].Parent) {
        return;
    }
    lastFillIndex_ = selected;
    ClearKeyRows();
    keyRows_.reserve(keys.size());
    for (int i = 0; i < static_cast<int>(keys.size()); ++i) {
        keyRows_.emplace_back(keys[i].Parent, keys[i].Name);
        ListBox_Keys->AddRow(ListBox_KeysMeasureItem(i));
    }
    if (lastFillIndex_ >= 0) {
        int match = -1;
        for (int i = 0; i < static_cast<int>(keys.size()); ++i) {
            if (keys[i].Name == n0 && (keys[i].Parent == newParent || keys[i].Parent == p0))
                match = i;
        }
        ListBox_Keys->SetItemIndex(match);
    }
}

int TForm1::ListBox_KeysMeasureItem(int index) const {
    const auto& keys = document_.Keys;
    int height = document_.IsGroupStart(index) ? HeaderHeight() : 0;
    bool shown = true;
    if (SpeedButton_CompressView->isChecked()) {
        shown = lastFillIndex_ >= 0 && lastFillIndex_ < static_cast<int>(keys.size()) &&
                keys[lastFillIndex_].Parent == keys[index].Parent;
    }
    if (shown) {
        height += lineHeight_;
        if (SpeedButton_ShowData->isChecked()) {
            height += static_cast<int>(keys[index].Data.size()) * lineHeight_;
        }
    }
    return height;
}

void TForm1::ListBox_KeysDrawItem(QPainter& painter, int index, const QRect& rect,
                                  bool selected) const {
    const auto& keys = document_.Keys;
    if (index >= static_cast<int>(keys.size())) return;
    const TDataKey& key = keys[index];
    const int left = rect.left();
    const int right = rect.left() + rect.width();  // exclusive
    const QColor background =
        ListBox_Keys->palette().color(selected ? QPalette::Highlight : QPalette::Base);
    const QColor textColor = painter.pen().color();
    QRect area = rect;

    if (document_.IsGroupStart(index)) {
        const int sel = ListBox_Keys->ItemIndex();
        const bool ownGroup =
            sel >= 0 && sel < static_cast<int>(keys.size()) && keys[sel].Parent == key.Parent;
        const QColor c0 = kHeaderColors[ownGroup ? 1 : 0];
        const int span = std::max(1, right - left);
        for (int x = left; x <= right; ++x) {
            const int t = x - left;
            const QColor c(c0.red() + (255 - c0.red()) * t / span,
                           c0.green() + (255 - c0.green()) * t / span,
                           c0.blue() + (255 - c0.blue()) * t / span);
            painter.fillRect(x, rect.top(), 1, HeaderHeight(), c);
        }
        QFont bold = ListBox_Keys->font();
        bold.setBold(true);
        bold.setItalic(true);
        painter.setFont(bold);
        painter.setPen(Qt::black);
        painter.drawText(QRect(left + 2, rect.top() + 1, rect.width() - 2, lineHeight_),
                         Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, ToQString(key.Parent));
        painter.setFont(ListBox_Keys->font());
        area =
            QRect(left, rect.top() + HeaderHeight(), rect.width(), rect.height() - HeaderHeight());
    }
    // Row background below the band, a black line along the band's lower edge.
    if (area.height() > 0) {
        painter.fillRect(area, background);
        painter.setPen(Qt::black);
        painter.drawLine(area.left(), area.top(), area.right(), area.top());
    }
    painter.setPen(background);
    painter.drawRect(rect.adjusted(0, 0, -1, -1));
    painter.setPen(textColor);

    if (SpeedButton_CompressView->isChecked()) {
        const int sk = document_.SelectedKey;
        if (sk < 0 || sk >= static_cast<int>(keys.size()) || keys[sk].Parent != key.Parent) return;
    }
    const bool showData = SpeedButton_ShowData->isChecked();
    QFont nameFont = ListBox_Keys->font();
    nameFont.setBold(showData);
    painter.setFont(nameFont);
    painter.drawText(QRect(left + 2, area.top(), rect.width() - 2, lineHeight_),
                     Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, ToQString(key.Name));
    painter.setFont(ListBox_Keys->font());
    if (!showData) return;

    painter.setPen(Qt::black);
    painter.drawLine(area.left(), area.top(), area.right(), area.top());
    painter.setPen(textColor);
    const int mid = (left + 2) / 2 + right / 2;
    const QFont& font = ListBox_Keys->font();
    const int firstVisible = std::max(
        0, (painter.clipBoundingRect().toRect().top() - area.top()) / std::max(1, lineHeight_) - 1);
    const int lastY = painter.clipBoundingRect().toRect().bottom();
    for (int j = firstVisible; j < static_cast<int>(key.Data.size()); ++j) {
        const int y = area.top() + (j + 1) * lineHeight_;
        if (y > lastY) break;  // below what is being painted
        const TDataRec& rec = key.Data[j];
        painter.drawText(QRect(left + 2, y, mid - 4, lineHeight_),
                         Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                         EllipsisText(ToQString(rec.Title), font, mid - 4));
        painter.drawText(QRect(mid, y, mid, lineHeight_),
                         Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                         EllipsisText(ToQString(rec.Value), font, mid));
    }
}

QString TForm1::EllipsisText(const QString& text, const QFont& font, int maxWidth) {
    const QFontMetrics metrics(font);
    if (metrics.horizontalAdvance(text) <= maxWidth) return text;
    // The longest prefix, at least two characters shorter, that fits with "...".
    const QString dots = QStringLiteral("...");
    int lo = 0;
    int hi = static_cast<int>(text.size()) - 2;
    if (hi <= 0) return dots;
    if (metrics.horizontalAdvance(text.left(hi) + dots) <= maxWidth) return text.left(hi) + dots;
    while (hi - lo > 1) {  // invariant: lo fits (or is 0), hi does not
        const int mid = (lo + hi) / 2;
        if (metrics.horizontalAdvance(text.left(mid) + dots) <= maxWidth) {
            lo = mid;
        } else {
            hi = mid;
        }
    }
    return text.left(lo) + dots;
}

void TForm1::ListBox_KeysClick() {
    if (SpeedButton_CompressView->isChecked()) {
        const int top = ListBox_Keys->TopIndex();
        UpdtListBox(false, {});
        ListBox_Keys->SetTopIndex(top);
    }
    const int selected = ListBox_Keys->ItemIndex();
    const bool has = selected >= 0 && selected < static_cast<int>(document_.Keys.size());
    SpeedButton_DelKey->setEnabled(has);
    SpeedButton_NewData->setEnabled(has);
    Button_ApplyData->setEnabled(has);
    EntryModel->Fill(has ? selected : -1);
    ListView_DataClick();
    document_.SelectedKey = has ? selected : -1;
    ListBox_Keys->viewport()->update();
}

void TForm1::SpeedButton_NewKeyClick() {
    CloseSearchDialog();
    Form2->Tag = -1;
    document_.NewKeyOrigin = ListBox_Keys->ItemIndex();
    Form2->exec();
    document_.NewKeyOrigin = -1;
    ListBox_KeysClick();
}

void TForm1::ListBox_KeysDblClick() {
    if (ListBox_Keys->ItemIndex() < 0) return;
    Form2->Tag = ListBox_Keys->ItemIndex();
    Form2->exec();
    ListBox_KeysClick();
}

void TForm1::SpeedButton_DelKeyClick() {
    const int selected = ListBox_Keys->ItemIndex();
    if (selected < 0) return;
    CloseSearchDialog();
    if (!MessageService::Instance().Confirm(
            QStringLiteral("Soll die markierte Rubrik wirklich gelöscht werden?"))) {
        return;
    }
    document_.DeleteKey(selected);
    document_.Modified = true;
    UpdtListBox(true, {});
    ListBox_KeysClick();
}

void TForm1::MenuItem_ChangeKeyNameClick() {
    const int selected = ListBox_Keys->ItemIndex();
    if (selected < 0 || selected >= static_cast<int>(document_.Keys.size())) return;
    const std::string old = document_.Keys[selected].Parent;
    const auto answer = MessageService::Instance().InputText(
        QStringLiteral("Neuer Rubrikname"), QStringLiteral("Geben Sie den neuen Rubriknamen ein."),
        ToQString(old), 0, false);
    if (!answer) return;
    const auto parent = FromQString(*answer);
    if (!parent) {
        MessageService::Instance().Message(kUnstorableText, kInvalidInput, MsgIcon::Warning);
        return;
    }
    if (*parent == old) return;
    document_.RenameParent(selected, *parent);
    UpdtListBox(true, *parent);
    ListBox_KeysClick();
}

void TForm1::SpeedButton_ShowDataClick() {
    UpdtListBox(true, {});
}

void TForm1::ClearKeyRows() {
    keyRows_.clear();
    ListBox_Keys->Clear();
}

// ---------------------------------------------------------------- entry list

int TForm1::SelectedEntryRow() const {
    const QModelIndexList rows = ListView_Data->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void TForm1::SelectEntryRow(int row) {
    if (row < 0 || row >= EntryModel->rowCount()) {
        ListView_Data->clearSelection();
        return;
    }
    ListView_Data->selectRow(row);
    ListView_Data->scrollTo(EntryModel->index(row, 0));
}

void TForm1::ListView_DataClick() {
    const int row = SelectedEntryRow();
    const TDataRec* rec = EntryModel->Entry(row);
    SpeedButton_DeleteData->setEnabled(rec != nullptr);
    SpeedButton_Copy->setEnabled(rec != nullptr);
    if (!rec) {
        Button_ApplyData->setText(QStringLiteral("Er&stellen"));
        Edit_DataName->clear();
        Edit_Value->clear();
        Edit_Info->clear();
    } else {
        Button_ApplyData->setText(QStringLiteral("Än&dern"));
        Edit_DataName->setText(ToQString(rec->Title));
        Edit_Value->setText(ToQString(rec->Value));
        Edit_Info->setText(ToQString(rec->Info));
    }
}

void TForm1::Button_ApplyDataClick() {
    const int key = document_.SelectedKey;
    if (key < 0 || key >= static_cast<int>(document_.Keys.size())) return;
    const int row = SelectedEntryRow();
    const std::string title = Text(Edit_DataName);
    QString message;
    if (title.empty()) {
        message = QStringLiteral("Sie müssen einen Titel für den Wert eingeben.");
    } else if (row < 0 && document_.FindEntry(key, title) >= 0) {
        message = QStringLiteral(
            "Der eingegebene Titel existiert bereits. Geben Sie einen anderen Titel ein oder "
            "editieren Sie den vorhandenen, unter diesem Titel gespeicherten Eintrag.");
    }
    if (!message.isEmpty()) {
        MessageService::Instance().Message(message, kInvalidInput, MsgIcon::Warning);
        return;
    }
    CloseSearchDialog();
    // Keep the fields' texts: re-selecting a row would overwrite them.
    const QString name = Edit_DataName->text(), value = Edit_Value->text(),
                  info = Edit_Info->text();
    const QSignalBlocker block(ListView_Data->selectionModel());
    if (row < 0) {
        document_.AddEntry(key, title, Text(Edit_Value), Text(Edit_Info));
        EntryModel->Refresh();
        ListView_Data->clearSelection();
    } else {
        const int moved = document_.UpdateEntry(key, row, title, Text(Edit_Value), Text(Edit_Info));
        EntryModel->Refresh();
        SelectEntryRow(moved);
    }
    ListView_Data->viewport()->update();
    Edit_DataName->setText(name);
    Edit_Value->setText(value);
    Edit_Info->setText(info);
    SpeedButton_DeleteData->setEnabled(SelectedEntryRow() >= 0);
    SpeedButton_Copy->setEnabled(SelectedEntryRow() >= 0);
    Button_ApplyData->setText(SelectedEntryRow() >= 0 ? QStringLiteral("Än&dern")
                                                      : QStringLiteral("Er&stellen"));
    if (SpeedButton_ShowData->isChecked()) UpdtListBox(false, {});
    ListBox_Keys->viewport()->update();
}

void TForm1::SpeedButton_NewDataClick() {
    Edit_DataName->clear();
    Edit_Value->clear();
    Edit_Info->clear();
    ListView_Data->clearSelection();
    ListView_DataClick();
    Edit_DataName->setFocus();
}

void TForm1::Edit_DatasKeyPress() {
    Button_ApplyDataClick();
    SpeedButton_NewDataClick();
}

void TForm1::SpeedButton_DeleteDataClick() {
    const int key = document_.SelectedKey;
    const int row = SelectedEntryRow();
    if (key < 0 || !EntryModel->Entry(row)) return;
    if (!MessageService::Instance().Confirm(
            QStringLiteral("Soll der markierte Eintrag wirklich gelöscht werden?"))) {
        return;
    }
    document_.DeleteEntry(key, row);
    EntryModel->RemoveRow(row);
    ListView_Data->clearSelection();
    ListView_DataClick();
    ListBox_Keys->viewport()->update();
}

void TForm1::SpeedButton_CopyClick() {
    PopupMenu_Clipboard->popup(
        SpeedButton_Copy->mapToGlobal(QPoint(0, SpeedButton_Copy->height())));
}

void TForm1::CopyField(int field) {
    const TDataRec* rec = EntryModel->Entry(SelectedEntryRow());
    if (!rec) return;
    const std::string& text = field == 0 ? rec->Title : field == 1 ? rec->Value : rec->Info;
    QGuiApplication::clipboard()->setText(ToQString(text));
}

QString TForm1::EntryDateHint(double date) {
    const DateTimeParts p = DecodeDateTime(date);
    const QLocale locale = QLocale::system();
    QString text = QStringLiteral("Datum des Eintrags: ") +
                   locale.toString(QDate(p.year, p.month, p.day), QLocale::ShortFormat);
    if (p.hour != 0 || p.minute != 0 || p.second != 0 || p.millisecond != 0) {
        // The long time format without a time zone, which entries do not carry.
        QString format = locale.timeFormat(QLocale::LongFormat);
        format.remove(QLatin1Char('t'));
        text +=
            QLatin1Char(' ') + locale.toString(QTime(p.hour, p.minute, p.second), format.trimmed());
    }
    return text;
}

void TForm1::ListView_DataMouseMove(const QPoint& pos) {
    const QModelIndex index = ListView_Data->indexAt(pos);
    const TDataRec* rec = index.isValid() ? EntryModel->Entry(index.row()) : nullptr;
    if (rec) {
        statusBar()->showMessage(EntryDateHint(rec->Date));
    } else {
        statusBar()->clearMessage();
    }
}

}  // namespace dorvanta
