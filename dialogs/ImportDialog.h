#pragma once
// The import dialog: adds one entry per line of a text file to the sub-category
// selected in the main window.

#include "dialogs/FixedDialog.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace dorvanta {

class TDocumentSession;

class TImportDialog : public TFixedDialog {
    Q_OBJECT
  public:
    TImportDialog(QWidget* parent, TDocumentSession& session);

    QGroupBox* GroupBox1 = nullptr;
    QLineEdit* Edit_File = nullptr;
    QPushButton* Button_Search = nullptr;
    QGroupBox* GroupBox2 = nullptr;
    QLabel* Label1 = nullptr;
    QRadioButton* RadioButton_Tab = nullptr;
    QRadioButton* RadioButton_Space = nullptr;
    QRadioButton* RadioButton_OtherChar = nullptr;
    QLineEdit* Edit_OtherChar = nullptr;
    QLabel* Label2 = nullptr;
    QPushButton* Button_OK = nullptr;
    QPushButton* Button_Cancel = nullptr;

    void FormShow();
    void Button_SearchClick();
    void RadioButtonClick();
    void Button_OKClick();

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    TDocumentSession& session_;
};

// The message of an import that has no sub-category to go to.
extern const char* const kMsgNoSubCategory;

}  // namespace dorvanta
