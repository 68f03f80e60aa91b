#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "dialogs/CategoryDialog.h"
#include "mainwindow/KeyListBox.h"
#include "mainwindow/MainWindow.h"
#include "platform/MessageService.h"
#include "support/MainWindowFixture.h"

namespace dorvanta {
namespace {

class CategoryDialogTest : public testing::MainWindowFixture {
  protected:
    void SetUp() override {
        StartWindow(false, false);
        Doc().Keys = {{"Giro", "Bank", {}},
                      {"Spar", "bank", {}},
                      {"Privat", "Mail", {}},
                      {"Arbeit", "Mail", {}}};
        Doc().SortKeys();  // bank/Spar, Bank/Giro, Mail/Arbeit, Mail/Privat
        ShowKeys(Doc().Keys);
    }
    void TearDown() override { CloseWindow(false); }

    // Runs `command`, which opens the dialog modally; `interact` works the open dialog.
    void WithDialog(const std::function<void()>& command,
                    const std::function<void(TCategoryDialog&)>& interact) {
        QTimer::singleShot(0, [this, interact] {
            interact(*form_->CategoryPane().Dialog());
            if (form_->CategoryPane().Dialog()->isVisible())
                form_->CategoryPane().Dialog()->reject();
        });
        command();
    }
};

TEST_F(CategoryDialogTest, NewKeyIsPresetFromTheSelectedRow) {
    form_->CategoryPane().List()->SetItemIndex(3);
    QStringList parents;
    QString preset, caption;
    WithDialog([this] { form_->CategoryPane().SpeedButton_NewKeyClick(); },
               [&](TCategoryDialog& d) {
                   caption = d.windowTitle();
                   preset = d.ComboBox_Key->currentText();
                   for (int i = 0; i < d.ComboBox_Key->count(); ++i)
                       parents << d.ComboBox_Key->itemText(i);
                   d.Edit_Title->setText("Neu");
                   d.Button_OK->click();
               });
    EXPECT_EQ(caption, "Neue Rubrik erstellen");
    EXPECT_EQ(preset, "Mail");
    // Case-insensitively unique, spelled as first met, in key order.
    EXPECT_EQ(parents, (QStringList{"bank", "Mail"}));
    EXPECT_EQ(Form().CategoryPane().Dialog()->ParentFrom, -1);
    const int sel = form_->CategoryPane().List()->ItemIndex();
    ASSERT_GE(sel, 0);
    EXPECT_EQ(Doc().Keys[sel].Name, "Neu");
    EXPECT_EQ(Doc().Keys[sel].Parent, "Mail");
    EXPECT_EQ(Session().ShownKey(), sel);
    EXPECT_TRUE(Doc().Modified);
}

TEST_F(CategoryDialogTest, NewKeyWithoutSelectionStartsEmpty) {
    form_->CategoryPane().List()->SetItemIndex(-1);
    QString preset = "x";
    WithDialog([this] { form_->CategoryPane().SpeedButton_NewKeyClick(); },
               [&](TCategoryDialog& d) { preset = d.ComboBox_Key->currentText(); });
    EXPECT_EQ(preset, "");
    EXPECT_FALSE(Doc().Modified);
}

TEST_F(CategoryDialogTest, EditingWithoutChangesStillMarksModified) {
    form_->CategoryPane().List()->SetItemIndex(1);
    QString caption, parent, name;
    WithDialog([this] { form_->CategoryPane().ListBox_KeysDblClick(); },
               [&](TCategoryDialog& d) {
                   caption = d.windowTitle();
                   parent = d.ComboBox_Key->currentText();
                   name = d.Edit_Title->text();
                   d.Button_OK->click();
               });
    EXPECT_EQ(caption, "Rubrik bearbeiten");
    EXPECT_EQ(parent, "Bank");
    EXPECT_EQ(name, "Giro");
    EXPECT_TRUE(Doc().Modified);
    EXPECT_EQ(form_->CategoryPane().List()->ItemIndex(), 1);
}

TEST_F(CategoryDialogTest, DuplicateKeySelectsTheFirstAndCaseChangeSelectsTheChanged) {
    form_->CategoryPane().List()->SetItemIndex(-1);
    WithDialog([this] { form_->CategoryPane().SpeedButton_NewKeyClick(); },
               [&](TCategoryDialog& d) {
                   d.ComboBox_Key->setEditText("Bank");
                   d.Edit_Title->setText("Giro");
                   d.Button_OK->click();
               });
    EXPECT_EQ(Doc().Keys.size(), 5u);
    EXPECT_EQ(form_->CategoryPane().List()->ItemIndex(), 1);  // the first of the two

    const int spar = 0;
    ASSERT_EQ(Doc().Keys[spar].Name, "Spar");
    form_->CategoryPane().List()->SetItemIndex(spar);
    WithDialog([this] { form_->CategoryPane().ListBox_KeysDblClick(); },
               [&](TCategoryDialog& d) {
                   d.Edit_Title->setText("spar");
                   d.Button_OK->click();
               });
    const int sel = form_->CategoryPane().List()->ItemIndex();
    ASSERT_GE(sel, 0);
    EXPECT_EQ(Doc().Keys[sel].Name, "spar");
}

TEST_F(CategoryDialogTest, CancelChangesNothing) {
    form_->CategoryPane().List()->SetItemIndex(1);
    const auto before = Doc().Keys.size();
    WithDialog([this] { form_->CategoryPane().ListBox_KeysDblClick(); },
               [&](TCategoryDialog& d) {
                   d.Edit_Title->setText("anders");
                   d.Button_Cancel->click();
               });
    EXPECT_EQ(Doc().Keys.size(), before);
    EXPECT_EQ(Doc().Keys[1].Name, "Giro");
    EXPECT_FALSE(Doc().Modified);
}

// Typed with real key events, left with Tab and confirmed with Enter: the parent
// is stored exactly as typed, even where another parent differs only in case.
TEST_F(CategoryDialogTest, TypedTextsAreKeptExactlyThroughFocusChangesAndEnter) {
    struct Case {
        int tag;        // -1 new, else the key to edit
        QString typed;  // typed into the emptied parent field; empty: left as preset
        std::string parent;
    };
    // Edits first, while positions are those of SetUp (0 bank/Spar, 1 Bank/Giro).
    const Case cases[] = {{0, "", "bank"},      {1, "", "Bank"},      {1, "bAnk", "bAnk"},
                          {-1, "bank", "bank"}, {-1, "BANK", "BANK"}, {-1, "ma", "ma"}};
    for (const Case& c : cases) {
        form_->CategoryPane().List()->SetItemIndex(c.tag);
        WithDialog(
            [&] {
                c.tag < 0 ? form_->CategoryPane().SpeedButton_NewKeyClick()
                          : form_->CategoryPane().ListBox_KeysDblClick();
            },
            [&](TCategoryDialog& d) {
                QApplication::setActiveWindow(&d);
                QLineEdit* edit = d.ComboBox_Key->lineEdit();
                edit->setFocus();
                if (!c.typed.isEmpty()) {
                    edit->clear();
                    QTest::keyClicks(edit, c.typed);
                }
                QTest::keyClick(edit, Qt::Key_Tab);
                if (c.tag < 0) QTest::keyClicks(d.Edit_Title, "Neu");
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
            });
        const int sel = form_->CategoryPane().List()->ItemIndex();
        ASSERT_GE(sel, 0) << c.typed.toStdString();
        EXPECT_EQ(Doc().Keys[sel].Parent, c.parent) << c.typed.toStdString();
    }
}

}  // namespace
}  // namespace dorvanta
