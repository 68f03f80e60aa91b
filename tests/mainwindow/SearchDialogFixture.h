#pragma once
// The search dialog tests' window: three sub-categories shown, the dialog open.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QHeaderView>
#include <QIdentityProxyModel>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QSemaphore>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <functional>
#include <set>

#include "dialogs/CategoryDialog.h"
#include "dialogs/ImportDialog.h"
#include "dialogs/SearchDialog.h"
#include "mainwindow/KeyListBox.h"
#include "mainwindow/MainWindow.h"
#include "platform/MessageService.h"
#include "platform/TextConv.h"
#include "store/Search.h"
#include "support/MainWindowFixture.h"
#include "support/TempDir.h"

namespace dorvanta {
namespace {

using Rows = std::vector<std::pair<QString, QString>>;

class SearchDialogTest : public testing::MainWindowFixture {
  protected:
    void SetUp() override {
        StartWindow(false, false);
        // Windows-1252 bytes: 0x80 is the euro sign, 0xFC 'ü'.
        ShowKeys({{"Giro", "Bank", {{"IBAN", "DE12 \x80", "Haus", 1.0}, {"PIN", "4711", "", 2.0}}},
                  {"Pin-Ablage", "Bank", {}},
                  {"Privat", "Mail", {{"Adresse", "a@b.c", "PIN-Brief f\xFCr M\xFCller", 3.0}}}});
        Form().Dialogs().MenuItem_SearchClick();
    }
    void TearDown() override { CloseWindow(false); }
    TSearchDialog& Search() { return *form_->Dialogs().SearchDialog(); }
    QAbstractItemModel& Model() { return *Search().ResultModel; }

    // Searches with the dialog's default boxes, sub-category names included.
    void Find(const QString& text) {
        Search().CheckBox_SubKeys->setChecked(true);
        Search().Edit_SearchFor->setText(text);
        Search().Button_Search->click();
    }
    Rows Shown() {
        Rows rows;
        for (int r = 0; r < Model().rowCount(); ++r) {
            rows.emplace_back(Model().index(r, 0).data().toString(),
                              Model().index(r, 1).data().toString());
        }
        return rows;
    }
};

}  // namespace
}  // namespace dorvanta
