#pragma once
// The settings dialog: names the collection that opens by itself at every start.
// The presence of the value "AutoLoadFile" is the switch.

#include "dialogs/FixedDialog.h"

class QCheckBox;
class QGroupBox;
class QLineEdit;
class QPushButton;

namespace dorvanta {

class TForm1;

class TForm3 : public TFixedDialog {
    Q_OBJECT
  public:
    explicit TForm3(TForm1& owner);

    QGroupBox* GroupBox1 = nullptr;
    QCheckBox* CheckBox_AutoFile = nullptr;
    QLineEdit* Edit_AutoFile = nullptr;
    QPushButton* Button_Search = nullptr;
    QPushButton* Button_OK = nullptr;
    QPushButton* Button_Cancel = nullptr;

    void FormShow();
    void Button_SearchClick();
    void Button_OKClick();

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    TForm1& owner_;
};

}  // namespace dorvanta
