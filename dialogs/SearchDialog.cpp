#include "dialogs/SearchDialog.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QTreeView>
#include <exception>
#include <limits>

#include "platform/Application.h"
#include "platform/Cp1252Validator.h"
#include "platform/FreedMemory.h"
#include "platform/MessageService.h"
#include "platform/NoPrimaryLineEdit.h"
#include "platform/SecretClipboard.h"
#include "platform/TextConv.h"
#include "session/DocumentSession.h"

namespace dorvanta {

namespace {

// Rows are cleared whenever the document changes under them; this keeps a row
// from ever reaching outside the document all the same.
bool HitInDocument(const TDocument& doc, const TSearchHit& hit) {
    if (hit.KeyIndex < 0 || hit.KeyIndex >= static_cast<int>(doc.Keys.size())) return false;
    if (hit.Source == TSearchSource::Name) return true;
    return hit.DataIndex >= 0 &&
           hit.DataIndex < static_cast<int>(doc.Keys[hit.KeyIndex].Data.size());
}

std::size_t MaxHits(const TDocument& doc, const TSearchOptions& options) {
    const std::size_t perEntry = std::size_t{options.Titles} + options.Values + options.Info;
    std::size_t count = options.Names ? doc.Keys.size() : 0;
    for (const TDataKey& key : doc.Keys) count += perEntry * key.Data.size();
    return count;
}

}  // namespace

TSearchResultModel::TSearchResultModel(const TDocument& doc, QObject* parent)
    : QAbstractTableModel(parent), doc_(doc) {
    for (std::size_t i = 0; i < sourceNames_.size(); ++i) {
        sourceNames_[i] = QString::fromUtf8(kSourceNames[i]);
    }
}

int TSearchResultModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(hits_.size());
}

int TSearchResultModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 2;
}

QVariant TSearchResultModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rowCount()) return {};
    const TSearchHit& hit = hits_[static_cast<std::size_t>(index.row())];
    if (index.column() == 0) return sourceNames_[static_cast<std::size_t>(hit.Source)];
    if (!HitInDocument(doc_, hit)) return QString();
    return ShownText(HitText(doc_, hit));
}

QVariant TSearchResultModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    if (section == 0) return QStringLiteral("Quelle");
    if (section == 1) return QStringLiteral("Wert");
    return {};
}

Qt::ItemFlags TSearchResultModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    return Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemNeverHasChildren;
}

void TSearchResultModel::SetHits(std::vector<TSearchHit> hits) {
    beginResetModel();
    hits_ = std::move(hits);
    hits_.shrink_to_fit();  // the room reserved for the search can be far more than it found
    endResetModel();
}

void TSearchResultModel::Clear() {
    beginResetModel();
    std::vector<TSearchHit>().swap(hits_);
    endResetModel();
}

// Placed by the base: over the main window at first, later where the closing left it.
TSearchDialog::TSearchDialog(QWidget* parent, TDocumentSession& session,
                             TSecretClipboard& clipboard)
    : TFixedDialog(parent, QSize(kNarrowWidth, kClientHeight)),
      session_(session),
      clipboard_(clipboard) {
    setWindowTitle(QStringLiteral("Suchen"));
    setModal(false);

    auto* label = new QLabel(QStringLiteral("Suchen &nach:"), this);
    label->setGeometry(8, 10, 78, 17);
    // What is searched for is often a secret itself: no primary selection.
    Edit_SearchFor = new TNoPrimaryLineEdit(this);
    Edit_SearchFor->setGeometry(88, 8, 177, 21);
    // Qt's default of 32,767 characters would cut a pasted text without a word; the
    // validator's limit says so. A limit there must be: the field lays out its
    // whole text at each repaint (every blink of its cursor), a second of work for
    // 10 MB.
    RestrictToCp1252(Edit_SearchFor, kMaxSearchChars);
    Edit_SearchFor->setMaxLength(std::numeric_limits<int>::max());
    label->setBuddy(Edit_SearchFor);

    GroupBox1 = new QGroupBox(QStringLiteral("Suchen &in"), this);
    GroupBox1->setGeometry(8, 34, 257, 64);
    CheckBox_SubKeys = new QCheckBox(QStringLiteral("Unterrubriknamen"), GroupBox1);
    CheckBox_SubKeys->setGeometry(10, 18, 122, 19);
    CheckBox_Titles = new QCheckBox(QStringLiteral("Titel der Einträge"), GroupBox1);
    CheckBox_Titles->setGeometry(134, 18, 120, 19);
    CheckBox_Values = new QCheckBox(QStringLiteral("Werte"), GroupBox1);
    CheckBox_Values->setGeometry(10, 40, 122, 19);
    CheckBox_Info = new QCheckBox(QStringLiteral("Info"), GroupBox1);
    CheckBox_Info->setGeometry(134, 40, 120, 19);
    CheckBox_Titles->setChecked(true);
    CheckBox_Values->setChecked(true);
    CheckBox_Info->setChecked(true);

    CheckBox_Exact = new QCheckBox(QStringLiteral("&Groß-/Kleinschreibung"), this);
    CheckBox_Exact->setGeometry(8, 104, 170, 19);
    CheckBox_Wildcard = new QCheckBox(QStringLiteral("Platz&halter (*; ?)"), this);
    CheckBox_Wildcard->setGeometry(8, 126, 170, 19);
    CheckBox_Wildcard->setChecked(true);

    Button_Search = new QPushButton(QStringLiteral("&Suchen"), this);
    Button_Search->setGeometry(186, 102, 79, 23);
    Button_Search->setDefault(true);
    Button_Search->setEnabled(false);
    Button_Close = new QPushButton(QStringLiteral("Sch&ließen"), this);
    Button_Close->setGeometry(186, 126, 79, 23);
    Button_Close->setAutoDefault(false);

    Label_Searching = new QLabel(QStringLiteral("Suche läuft…"), this);
    Label_Searching->setGeometry(CheckBox_Wildcard->geometry());
    Label_Searching->hide();

    GroupBox2 = new QGroupBox(QStringLiteral("Suchergebnisse"), this);
    GroupBox2->setGeometry(280, 8, 329, 137);
    ResultModel = new TSearchResultModel(session_.Document(), this);
    ListView_Results = NewResultView();

    connect(Edit_SearchFor, &QLineEdit::textChanged, this,
            Guarded([this](const QString& text) { Button_Search->setEnabled(!text.isEmpty()); }));
    connect(Button_Search, &QPushButton::clicked, this, Guarded([this] { Button_SearchClick(); }));
    // Escape and the close box end in reject(), which runs FormClose through done().
    connect(Button_Close, &QPushButton::clicked, this, &QDialog::reject);
    // A change that moves sub-categories or entries empties the hits, so that none
    // can point at the wrong one.
    for (auto changed :
         {&TDocumentSession::AboutToReplaceDocument, &TDocumentSession::DocumentReset}) {
        connect(&session_, changed, this, &TSearchDialog::ClearSearch);
    }
    connect(&session_, &TDocumentSession::KeysChanged, this, &TSearchDialog::ClearSearch);
    connect(&session_, &TDocumentSession::EntriesChanged, this, &TSearchDialog::ClearSearch);

    setTabOrder(Edit_SearchFor, CheckBox_SubKeys);
    setTabOrder(CheckBox_SubKeys, CheckBox_Titles);
    setTabOrder(CheckBox_Titles, CheckBox_Values);
    setTabOrder(CheckBox_Values, CheckBox_Info);
    setTabOrder(CheckBox_Info, CheckBox_Exact);
    setTabOrder(CheckBox_Exact, Button_Close);
    setTabOrder(Button_Close, Button_Search);
    setTabOrder(Button_Search, CheckBox_Wildcard);
    setTabOrder(CheckBox_Wildcard, ListView_Results);
}

QTreeView* TSearchDialog::NewResultView() {
    auto* view = new QTreeView(GroupBox2);
    view->setGeometry(16, 24, 297, 102);
    view->setModel(ResultModel);
    // A screen reader names the list by the frame around it.
    view->setAccessibleName(GroupBox2->title());
    view->setRootIsDecorated(false);
    // Every row as high as the first: the view never measures the others.
    view->setUniformRowHeights(true);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    view->header()->setStretchLastSection(false);
    // The hit's whole text, whichever column is current: the list shows only the
    // beginning of a long one.
    clipboard_.RouteCopies(view, [this]() -> std::optional<QString> {
        const std::optional<TSearchHit> hit = SelectedHit();
        if (!hit) return std::nullopt;
        return ToQString(HitText(session_.Document(), *hit));
    });
    view->show();  // a child added to a shown dialog stays hidden otherwise
    view->installEventFilter(this);
    connect(view, &QTreeView::clicked, this, Guarded([this] { ListView_ResultsClick(); }));
    // A row becoming selected, by mouse or keyboard; losing the selection does nothing.
    connect(view->selectionModel(), &QItemSelectionModel::currentChanged, this,
            Guarded([this](const QModelIndex& current) {
                if (current.isValid()) ListView_ResultsClick();
            }));
    return view;
}

void TSearchDialog::SetClientWidth(int width) {
    SetClientSize(QSize(width, kClientHeight));
}

void TSearchDialog::Open() {
    show();
    raise();
    activateWindow();
    Edit_SearchFor->setFocus();
}

void TSearchDialog::ClearSearch() {
    ResultModel->Clear();
}

void TSearchDialog::Button_SearchClick() {
    if (searching_) return;
    ClearSearch();
    const auto text = FromQString(Edit_SearchFor->text());
    if (!text || text->empty()) return;
    TSearchOptions options;
    options.Names = CheckBox_SubKeys->isChecked();
    options.Titles = CheckBox_Titles->isChecked();
    options.Values = CheckBox_Values->isChecked();
    options.Info = CheckBox_Info->isChecked();
    options.Exact = CheckBox_Exact->isChecked();
    options.Wildcard = CheckBox_Wildcard->isChecked();
    // Room for every field that can match, taken at once: a vector growing by
    // doubling would copy a long list several times and hold up to twice its size,
    // while pages never written to cost no memory.
    std::vector<TSearchHit> hits;
    hits.reserve(MaxHits(session_.Document(), options));
    std::exception_ptr error;
    const std::string& searchText = *text;
    searching_ = true;
    stop_ = false;
    // The controls change only for a search that takes a while: a quick one shows
    // nothing.
    QTimer busy;
    busy.setSingleShot(true);
    connect(&busy, &QTimer::timeout, this, Guarded([this] { ShowSearching(true); }));
    busy.start(kBusyDelayMs);
    RunBeside(this, [&] {
        try {
            if (BeforeSearching) BeforeSearching();
            SearchDocument(session_.Document(), searchText, options, hits, &stop_);
        } catch (...) {
            error = std::current_exception();
        }
    });
    busy.stop();
    ShowSearching(false);
    searching_ = false;
    emit SearchEnded();
    const bool stopped = stop_.exchange(false);
    ResultModel->SetHits(std::move(hits));
    // A malformed mask ends the search; the rows found before it stay.
    if (error) std::rethrow_exception(error);
    if (SearchResults().empty()) {
        if (stopped) return;
        MessageService::Instance().Message(
            QStringLiteral("Die Suche hat keine Ergebnisse geliefert."),
            QStringLiteral("Keine Suchergebnisse"), MsgIcon::Information);
        return;
    }
    for (int column = 0; column < 2; ++column) ListView_Results->resizeColumnToContents(column);
    SetClientWidth(kWideWidth);
    // Widened past the screen's right edge: move left; the top stays.
    if (const QScreen* screen = this->screen()) {
        const int screenWidth = screen->geometry().width();
        const int outer = frameGeometry().width();
        if (x() + outer > screenWidth) move(screenWidth - outer, y());
    }
}

void TSearchDialog::Forget() {
    if (isVisible()) close();  // FormClose empties the hits and the field
    ClearSearch();
    ForgetText(Edit_SearchFor);
    ForgetPaintedItems(ListView_Results);
}

std::optional<TSearchHit> TSearchDialog::SelectedHit() const {
    const QModelIndex current = ListView_Results->currentIndex();
    if (!current.isValid()) return std::nullopt;
    if (!ListView_Results->selectionModel()->isSelected(current.siblingAtColumn(0))) {
        return std::nullopt;
    }
    const int row = current.row();
    if (row >= static_cast<int>(SearchResults().size())) return std::nullopt;
    const TSearchHit hit = SearchResults()[static_cast<std::size_t>(row)];
    if (!HitInDocument(session_.Document(), hit)) return std::nullopt;
    return hit;
}

void TSearchDialog::ListView_ResultsClick() {
    if (const std::optional<TSearchHit> hit = SelectedHit()) {
        session_.RequestShow(hit->KeyIndex, hit->DataIndex);
    }
}

bool TSearchDialog::eventFilter(QObject* watched, QEvent* event) {
    // Taken before the list sees the key: it would pass Enter on to the dialog,
    // whose default button would start a new search and drop the hits.
    if (watched == ListView_Results && event->type() == QEvent::KeyPress) {
        const auto* press = static_cast<QKeyEvent*>(event);
        const bool key = press->key() == Qt::Key_Return || press->key() == Qt::Key_Enter ||
                         press->key() == Qt::Key_Space;
        // Ctrl+Space keeps its meaning in the list (it unselects the row).
        const bool plain = (press->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
        const QModelIndex current = ListView_Results->currentIndex();
        if (key && plain && current.isValid()) {
            // The row the keyboard is on becomes the selected one, as under a click.
            ListView_Results->selectionModel()->select(
                current, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
            RunGuarded([this] { ListView_ResultsClick(); });
            return true;
        }
    }
    return TFixedDialog::eventFilter(watched, event);
}

void TSearchDialog::ShowSearching(bool searching) {
    if (searching != Label_Searching->isHidden()) return;
    if (searching) focusBefore_ = focusWidget();
    for (QWidget* control : std::initializer_list<QWidget*>{
             Edit_SearchFor, GroupBox1, CheckBox_Exact, Button_Search, GroupBox2}) {
        control->setEnabled(!searching);
    }
    CheckBox_Wildcard->setVisible(!searching);
    Label_Searching->setVisible(searching);
    if (!searching && focusBefore_) focusBefore_->setFocus();
}

void TSearchDialog::done(int result) {
    if (searching_) {
        StopSearch();
        return;
    }
    FormClose();
    TFixedDialog::done(result);
}

void TSearchDialog::FormClose() {
    ClearSearch();
    // A view keeps the room of its largest row count for good; only a new view
    // gives the memory of a long hit list back.
    QTreeView* old = ListView_Results;
    ListView_Results = NewResultView();
    setTabOrder(CheckBox_Wildcard, ListView_Results);
    old->hide();
    old->setModel(nullptr);
    // Later: the closing may come from an event the old view is still handling.
    old->deleteLater();
    Edit_SearchFor->clear();
    SetClientWidth(kNarrowWidth);
    // Centred horizontally on the main window again; the top stays.
    const QRect main = parentWidget()->frameGeometry();
    const int outer = frameGeometry().width();
    move(main.x() + (main.width() - outer) / 2, y());
}

}  // namespace dorvanta
