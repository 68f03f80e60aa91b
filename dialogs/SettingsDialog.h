#pragma once
// The settings dialog: names the collection that opens by itself at every start.
// The presence of the value "AutoLoadFile" is the switch.

#include "dialogs/FixedDialog.h"

class QCheckBox;
class QGroupBox;
class QLineEdit;
class QPushButton;

namespace dorvanta {

class TMainWindow;

class TSettingsDialog : public TFixedDialog {
    Q_OBJECT
  public:
    explicit TSettingsDialog(TMainWindow& owner);

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
    TMainWindow& owner_;
};

}  // namespace dorvanta
