#pragma once
// The category dialog: creates a sub-category or edits one, with its parent
// category chosen from the existing ones or typed anew.

#include "dialogs/FixedDialog.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace dorvanta {

class TDocumentSession;

class TCategoryDialog : public TFixedDialog {
    Q_OBJECT
  public:
    TCategoryDialog(QWidget* parent, TDocumentSession& session);

    // -1: create a new sub-category; otherwise the position of the one to edit.
    int Tag = -1;
    // A new sub-category starts with the parent of this one (-1: none).
    int ParentFrom = -1;

    QLabel* Label1 = nullptr;
    QComboBox* ComboBox_Key = nullptr;
    QLineEdit* Edit_Title = nullptr;
    QPushButton* Button_Cancel = nullptr;
    QPushButton* Button_OK = nullptr;

    void FormShow();
    void Button_OKClick();
    // Empties the fields and the list of parents, their texts overwritten: the
    // dialog is kept between uses, and a lock, New or Open leaves no name behind.
    void Forget();

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    TDocumentSession& session_;
};

}  // namespace dorvanta
