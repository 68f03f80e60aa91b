// The main window by keyboard alone, and the names a screen reader reads for its
// controls and those of its dialogs.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QToolButton>
#include <functional>

#include "dialogs/AboutBox.h"
#include "dialogs/CategoryDialog.h"
#include "dialogs/ImportDialog.h"
#include "dialogs/SearchDialog.h"
#include "dialogs/SettingsDialog.h"
#include "mainwindow/KeyListBox.h"
#include "mainwindow/MainWindow.h"
#include "support/MainWindowFixture.h"
#include "support/ModalDriver.h"

namespace dorvanta {
namespace {

const char* const kDeleteEntry = "Soll der markierte Eintrag wirklich gelöscht werden?";
const char* const kDeleteKey = "Soll die markierte Rubrik wirklich gelöscht werden?";
const char* const kSaveQuestion = "Wollen Sie die aktuelle Datei speichern?";

class KeyboardAccessTest : public testing::MainWindowFixture {
  protected:
    void SetUp() override {
        StartWindow();
        ShowKeys({{"Giro", "Bank", {{"IBAN", "DE12", "", 1.0}, {"PIN", "4711", "", 2.0}}},
                  {"Privat", "Mail", {{"Adresse", "a@b.c", "", 3.0}}}});
        Form().CategoryPane().SelectKeyRow(0);
        Form().CategoryPane().ListBox_KeysClick();
        Form().EntryPane().SelectEntryRow(0);
        Form().activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&Form()));
        Messages().ClearLog();
    }
    QWidget* Focused() const { return QApplication::focusWidget(); }
    QString LastQuestion() const {
        return Messages().Asked().empty() ? QString() : Messages().Asked().back().text;
    }
};

TEST_F(KeyboardAccessTest, TabWalksTheWindowAndLeavesTheEntryList) {
    const std::vector<std::pair<QWidget*, const char*>> order = {
        {Form().CategoryPane().List(), "category list"},
        {Form().EntryPane().List(), "entry list"},
        {Form().EntryPane().NameEdit(), "Name"},
        {Form().EntryPane().ValueEdit(), "Wert"},
        {Form().EntryPane().InfoEdit(), "Info"},
        {Form().EntryPane().ApplyButton(), "apply button"},
    };
    Form().CategoryPane().List()->setFocus();
    for (std::size_t i = 1; i <= order.size(); ++i) {
        QTest::keyClick(Focused(), Qt::Key_Tab);
        EXPECT_EQ(Focused(), order[i % order.size()].first)
            << "Tab number " << i << " should reach the " << order[i % order.size()].second
            << ", not " << Focused()->metaObject()->className() << " "
            << Focused()->objectName().toStdString();
    }
    for (std::size_t i = order.size(); i-- > 0;) {
        QTest::keyClick(Focused(), Qt::Key_Backtab, Qt::ShiftModifier);
        EXPECT_EQ(Focused(), order[i].first) << "Shift+Tab back to the " << order[i].second;
    }
    // The selected entry stays selected: Tab does not walk its cells.
    EXPECT_EQ(Form().EntryPane().SelectedEntryRow(), 0);
}

TEST_F(KeyboardAccessTest, DeleteAsksAsTheButtonsDoWhereTheFocusIs) {
    struct Case {
        const char* name;
        enum { Entries, Keys, Field } target;
        MsgButton answer;
        const char* question;  // nullptr: none is asked
        std::size_t keys, entries;
    };
    const Case cases[] = {
        {"entry, no", Case::Entries, MsgButton::No, kDeleteEntry, 2, 2},
        {"entry, yes", Case::Entries, MsgButton::Yes, kDeleteEntry, 2, 1},
        {"category, no", Case::Keys, MsgButton::No, kDeleteKey, 2, 2},
        {"category, yes", Case::Keys, MsgButton::Yes, kDeleteKey, 1, 1},
        {"in a field it deletes a character", Case::Field, MsgButton::Yes, nullptr, 2, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        QWidget* const targets[] = {Form().EntryPane().List(), Form().CategoryPane().List(),
                                    Form().EntryPane().NameEdit()};
        QWidget* target = targets[c.target];
        target->setFocus();
        if (c.question) Messages().QueueAnswer(c.answer);
        Form().EntryPane().NameEdit()->setCursorPosition(0);
        QTest::keyClick(target, Qt::Key_Delete);
        EXPECT_EQ(LastQuestion(), c.question ? QString::fromUtf8(c.question) : QString());
        EXPECT_EQ(Doc().Keys.size(), c.keys);
        EXPECT_EQ(Doc().Keys.front().Data.size(), c.entries);
        EXPECT_EQ(Form().EntryPane().NameEdit()->text(),
                  c.question ? (c.entries == 1 ? "" : "IBAN") : "BAN");
        EXPECT_TRUE(Unanswered().isEmpty()) << Unanswered().toStdString();
        CloseWindow(false);
    }
    SetUp();
    // Without a selection the key asks nothing, as the disabled buttons do not.
    Form().EntryPane().SelectEntryRow(-1);
    Form().EntryPane().List()->setFocus();
    QTest::keyClick(Form().EntryPane().List(), Qt::Key_Delete);
    EXPECT_TRUE(Messages().Asked().empty());
}

TEST_F(KeyboardAccessTest, SearchAndQuitKeys) {
    EXPECT_EQ(Named<QAction>(Form(), "MenuItem_Search")->shortcut(), QKeySequence(Qt::Key_F3));
    EXPECT_EQ(Named<QAction>(Form(), "MenuItem_Exit")->shortcut(),
              QKeySequence(Qt::CTRL | Qt::Key_Q));
    for (const QKeyCombination key : {QKeyCombination(Qt::Key_F3), Qt::CTRL | Qt::Key_F}) {
        SCOPED_TRACE(QKeySequence(key).toString().toStdString());
        Form().EntryPane().List()->setFocus();
        QTest::keyClick(Focused(), key.key(), key.keyboardModifiers());
        EXPECT_TRUE(Form().Dialogs().SearchDialog()->isVisible());
        Form().Dialogs().CloseSearchDialog();
        Form().activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&Form()));
    }

    struct Quit {
        const char* name;
        bool modified;
        std::optional<MsgButton> answer;
        bool closed;
    };
    const Quit quits[] = {
        {"unchanged: no question", false, std::nullopt, true},
        {"changed, cancel: stays", true, MsgButton::Cancel, false},
        {"changed, no: ends", true, MsgButton::No, true},
    };
    for (const Quit& q : quits) {
        SCOPED_TRACE(q.name);
        SetUp();
        Doc().Modified = q.modified;
        if (q.answer) Messages().QueueAnswer(*q.answer);
        Form().EntryPane().InfoEdit()->setFocus();
        // Closing overwrites the log's texts: the question is read as it is asked.
        QString asked;
        Messages().SetAskedHook([&](const AskedQuestion& question) { asked = question.text; });
        QTest::keyClick(Focused(), Qt::Key_Q, Qt::ControlModifier);
        Messages().SetAskedHook(nullptr);
        EXPECT_EQ(asked, q.answer ? QString::fromUtf8(kSaveQuestion) : QString());
        EXPECT_EQ(Form().isVisible(), !q.closed);
        CloseWindow();
    }
    SetUp();
}

TEST_F(KeyboardAccessTest, NewCategoriesAndEntriesHaveKeysOfTheirOwn) {
    // The menu shows the keys, and the new-entry button's tip names its key.
    QAction* newKey = Form().CategoryPane().NewKeyAction();
    QAction* newEntry = Form().EntryPane().NewEntryAction();
    EXPECT_EQ(newKey->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_R));
    EXPECT_EQ(newEntry->shortcut(), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_N));
    const QList<QAction*> edit = Form().menuBar()->actions().at(1)->menu()->actions();
    EXPECT_TRUE(edit.contains(newKey) && edit.contains(newEntry));
    EXPECT_EQ(
        Form().EntryPane().NewButton()->toolTip(),
        "Neuer Eintrag (" + QKeySequence("Ctrl+Shift+N").toString(QKeySequence::NativeText) + ")");

    struct Case {
        const char* name;
        enum { Entries, Keys, Field } focus;
        QKeyCombination key;
        bool category;  // opens the category dialog; otherwise a new entry
    };
    const Case cases[] = {
        {"Ctrl+R in the entry list", Case::Entries, Qt::CTRL | Qt::Key_R, true},
        {"Ctrl+R in a field", Case::Field, Qt::CTRL | Qt::Key_R, true},
        {"Insert in the category list", Case::Keys, QKeyCombination(Qt::Key_Insert), true},
        {"Ctrl+Shift+N in the entry list", Case::Entries, Qt::CTRL | Qt::SHIFT | Qt::Key_N, false},
        {"Ctrl+Shift+N in a field", Case::Field, Qt::CTRL | Qt::SHIFT | Qt::Key_N, false},
        {"Insert in the entry list", Case::Entries, QKeyCombination(Qt::Key_Insert), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        QWidget* const targets[] = {Form().EntryPane().List(), Form().CategoryPane().List(),
                                    Form().EntryPane().ValueEdit()};
        targets[c.focus]->setFocus();
        int opened = 0;
        QPoint offCentre;
        testing::TModalDriver<TCategoryDialog> driver([&](TCategoryDialog& dialog) {
            opened += dialog.Tag == -1 ? 1 : 100;  // -1: a new sub-category
            offCentre = dialog.frameGeometry().center() - Form().frameGeometry().center();
            dialog.reject();
        });
        QTest::keyClick(Focused(), c.key.key(), c.key.keyboardModifiers());
        EXPECT_EQ(opened, c.category ? 1 : 0);
        // Over the main window, though the dialog belongs to the category pane.
        EXPECT_LE(offCentre.manhattanLength(), 4) << offCentre.x() << "," << offCentre.y();
        if (!c.category) {
            // The selected entry is left alone; the editor is empty for a new one.
            EXPECT_EQ(Form().EntryPane().SelectedEntryRow(), -1);
            EXPECT_EQ(Focused(), Form().EntryPane().NameEdit());
            EXPECT_EQ(Form().EntryPane().ValueEdit()->text(), "");
            QTest::keyClicks(Focused(), "TAN");
            QTest::keyClick(Focused(), Qt::Key_Return);
            ASSERT_EQ(Doc().Keys.front().Data.size(), 3u);
            EXPECT_EQ(Doc().Keys.front().Data[0].Value, "DE12");
            EXPECT_EQ(Doc().FindEntry(0, "TAN"), 2);
        }
        CloseWindow(false);
    }
    SetUp();
}

TEST_F(KeyboardAccessTest, TheViewOptionsFollowMenuButtonAndScreenReaderAlike) {
    QToolButton* button = Named<QToolButton>(Form(), "SpeedButton_ShowData");
    QAction* option = Form().CategoryPane().ShowDataAction();
    const int plain = Form().CategoryPane().List()->RowHeight(0);
    const std::pair<const char*, std::function<void()>> ways[] = {
        {"menu item", [&] { option->trigger(); }},
        {"click", [&] { button->click(); }},
        {"a reader's toggle", [&] { button->toggle(); }},
    };
    for (const auto& [name, toggle] : ways) {
        SCOPED_TRACE(name);
        toggle();
        EXPECT_TRUE(option->isChecked());
        EXPECT_TRUE(button->isChecked());
        // Giro's row now shows its two entries below its name.
        EXPECT_EQ(Form().CategoryPane().List()->RowHeight(0),
                  plain + 2 * Form().CategoryPane().LineHeight());
        toggle();
        EXPECT_FALSE(button->isChecked());
        EXPECT_EQ(Form().CategoryPane().List()->RowHeight(0), plain);
    }
}

// Controls a person works with; the parts inside a compound one (a combo box's
// field, a table's header) are named by the compound.
bool Interactive(const QWidget* w) {
    return qobject_cast<const QAbstractButton*>(w) || qobject_cast<const QLineEdit*>(w) ||
           qobject_cast<const QComboBox*>(w) || qobject_cast<const QAbstractItemView*>(w) ||
           qobject_cast<const TKeyListBox*>(w) || qobject_cast<const QAbstractSpinBox*>(w);
}

QString NameOf(QWidget* w) {
    if (!w->accessibleName().trimmed().isEmpty()) return w->accessibleName();
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
    return a ? a->text(QAccessible::Name).trimmed() : QString();
}

QStringList Unnamed(QWidget* root) {
    QStringList out;
    for (QWidget* w : root->findChildren<QWidget*>()) {
        if (!Interactive(w)) continue;
        bool part = false;
        for (QWidget* p = w->parentWidget(); p && p != root; p = p->parentWidget()) {
            part = part || Interactive(p) || qobject_cast<const QMenuBar*>(p);
        }
        if (!part && NameOf(w).isEmpty()) {
            out << QStringLiteral("%1 %2 in %3")
                       .arg(QString::fromLatin1(w->metaObject()->className()), w->objectName(),
                            QString::fromLatin1(w->parentWidget()->metaObject()->className()));
        }
    }
    return out;
}

TEST_F(KeyboardAccessTest, EveryControlHasAName) {
    TAboutBox about;
    const std::vector<std::pair<const char*, QWidget*>> roots = {
        {"main window", &Form()},
        {"category dialog", Form().CategoryPane().Dialog()},
        {"settings", Form().Dialogs().SettingsDialog()},
        {"search", Form().Dialogs().SearchDialog()},
        {"import", Form().Dialogs().ImportDialog()},
        {"about box", &about},
    };
    for (const auto& [name, root] : roots) {
        ASSERT_NE(root, nullptr) << name;
        EXPECT_EQ(Unnamed(root).join(QStringLiteral("; ")).toStdString(), "") << name;
    }
    // Spot checks of the names read aloud, icon-only buttons and fields above all.
    const std::vector<std::pair<QWidget*, const char*>> names = {
        {Form().EntryPane().NewButton(), "Neuer Eintrag"},
        {Form().EntryPane().DeleteButton(), "Eintrag löschen"},
        {Form().EntryPane().CopyButton(), "Kopieren"},
        {Named<QToolButton>(Form(), "SpeedButton_DelKey"), "Rubrik löschen"},
        {Form().EntryPane().ValueEdit(), "Wert"},
        {Form().EntryPane().List(), "Einträge"},
        {Form().CategoryPane().List(), "Rubriken"},
    };
    for (const auto& [widget, name] : names) EXPECT_EQ(NameOf(widget), QString::fromUtf8(name));
    EXPECT_EQ(Form().EntryPane().DeleteButton()->toolTip(), "Eintrag löschen");
}

}  // namespace
}  // namespace dorvanta
