#pragma once
// The search dialog: finds a text in sub-category names and entry fields, lists
// the hits and, on activating one, selects its sub-category and entry in the main
// window. It is not modal and stays above the main window. Its copy key copies the
// selected hit's whole text through the main window's secret clipboard.

#include <QAbstractTableModel>
#include <QPointer>
#include <array>
#include <atomic>
#include <functional>
#include <optional>
#include <vector>

#include "dialogs/FixedDialog.h"
#include "store/Search.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeView;

namespace dorvanta {

class TDocumentSession;
class TSecretClipboard;

// The hits as rows of two columns, "Quelle" (the kind of field) and "Wert" (its
// text). Rows hold only the hit's position: a search over a large collection can
// find millions of fields, and the view asks for the texts of the rows it shows.
class TSearchResultModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    explicit TSearchResultModel(const TDocument& doc, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    const std::vector<TSearchHit>& Hits() const { return hits_; }
    void SetHits(std::vector<TSearchHit> hits);
    // Empties the list and gives its memory back.
    void Clear();

  private:
    const TDocument& doc_;
    std::vector<TSearchHit> hits_;
    std::array<QString, 4> sourceNames_;
};

class TSearchDialog : public TFixedDialog {
    Q_OBJECT
  public:
    // The longest search text; a longer paste keeps its beginning, with a notice.
    static constexpr int kMaxSearchChars = 100000;
    static constexpr int kNarrowWidth = 273;
    static constexpr int kWideWidth = 617;
    static constexpr int kClientHeight = 149;

    // `clipboard`: the main window's, which outlives the dialog.
    TSearchDialog(QWidget* parent, TDocumentSession& session, TSecretClipboard& clipboard);

    // Shows the dialog without blocking, or brings it forward when it is open.
    void Open();

    QLineEdit* Edit_SearchFor = nullptr;
    QGroupBox* GroupBox1 = nullptr;
    QCheckBox* CheckBox_SubKeys = nullptr;
    QCheckBox* CheckBox_Titles = nullptr;
    QCheckBox* CheckBox_Values = nullptr;
    QCheckBox* CheckBox_Info = nullptr;
    QCheckBox* CheckBox_Exact = nullptr;
    QCheckBox* CheckBox_Wildcard = nullptr;
    QPushButton* Button_Close = nullptr;
    QPushButton* Button_Search = nullptr;
    // "Suche läuft…", in the place of CheckBox_Wildcard while a search runs.
    QLabel* Label_Searching = nullptr;
    QGroupBox* GroupBox2 = nullptr;
    QTreeView* ListView_Results = nullptr;
    TSearchResultModel* ResultModel = nullptr;  // the rows of ListView_Results

    // The hits of the last search, one per row of ListView_Results.
    const std::vector<TSearchHit>& SearchResults() const { return ResultModel->Hits(); }

    void ClearSearch();
    // Searches on a worker thread while the dialog stays responsive and the main
    // window takes no input; returns when the search has ended. Escape, "Schließen"
    // or the close box stop it: the hits found so far are kept.
    void Button_SearchClick();
    void ListView_ResultsClick();
    bool Searching() const { return searching_; }
    // Asks a running search to end; Button_SearchClick then returns soon.
    void StopSearch() { stop_ = true; }
    // Runs on the search's thread before the first field is examined, so that a
    // test can stop a search at a known point.
    std::function<void()> BeforeSearching;
    // Closes the dialog and forgets its hits, the searched text and its undo
    // history, all overwritten (a lock, New, Open). Not while a search runs.
    void Forget();

  signals:
    // A search has ended (a lock waiting for it may go on).
    void SearchEnded();

  protected:
    // While a search runs, closing stops it instead.
    void done(int result) override;
    // Enter, Return and Space on a hit show it, as a click does.
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void FormClose();
    void SetClientWidth(int width);
    QTreeView* NewResultView();
    // The selected hit, while it still lies in the document.
    std::optional<TSearchHit> SelectedHit() const;

    // Shows the running search: the label, and the controls that would start
    // another one or change its input disabled.
    void ShowSearching(bool searching);

    TDocumentSession& session_;
    TSecretClipboard& clipboard_;
    // How long a search runs before the dialog shows it.
    static constexpr int kBusyDelayMs = 150;
    QPointer<QWidget> focusBefore_;  // where the keyboard focus was when it began
    bool searching_ = false;
    std::atomic<bool> stop_{false};
};

}  // namespace dorvanta
