#pragma once
// The settings dialog: names the collection that opens by itself at every start.
// The presence of the value "AutoLoadFile" is the switch.

#include "dialogs/FixedDialog.h"

class QCheckBox;
class QGroupBox;
class QLineEdit;
class QPushButton;

namespace dorvanta {

class TSettingsStore;

class TSettingsDialog : public TFixedDialog {
    Q_OBJECT
  public:
    // `settings`: the program's open settings key; null when it could not be opened.
    TSettingsDialog(QWidget* parent, TSettingsStore* settings);

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
    TSettingsStore* settings_;
};

}  // namespace dorvanta
