#pragma once
// The search dialog: finds a text in sub-category names and entry fields, lists
// the hits and, on activating one, selects its sub-category and entry in the main
// window. It is not modal and stays above the main window.

#include <vector>

#include "dialogs/FixedDialog.h"
#include "store/Search.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;

namespace dorvanta {

class TForm1;

class TForm4 : public TFixedDialog {
    Q_OBJECT
  public:
    static constexpr int kNarrowWidth = 273;
    static constexpr int kWideWidth = 617;
    static constexpr int kClientHeight = 149;

    explicit TForm4(TForm1& owner);

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
    QGroupBox* GroupBox2 = nullptr;
    QTreeWidget* ListView_Results = nullptr;

    // The hits of the last search, one per row of ListView_Results.
    const std::vector<TSearchHit>& SearchResults() const { return results_; }

    void ClearSearch();
    void Button_SearchClick();
    void ListView_ResultsClick();

  protected:
    void done(int result) override;

  private:
    void FormClose();
    void SetClientWidth(int width);
    void AddRow(const TSearchHit& hit);

    TForm1& owner_;
    std::vector<TSearchHit> results_;
};

}  // namespace dorvanta
