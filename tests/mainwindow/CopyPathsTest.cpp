// Every way of copying a text of the collection: the copy keys of the lists and
// of the search hits and the copy menu all go through the window's one secret
// clipboard, and the clearing delay is chosen in the options menu.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QProcess>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QTreeView>
#include <functional>

#include "dialogs/SearchDialog.h"
#include "mainwindow/EntryModel.h"
#include "mainwindow/KeyListBox.h"
#include "mainwindow/MainWindow.h"
#include "platform/SecretClipboard.h"
#include "platform/Settings.h"
#include "support/MainWindowFixture.h"

namespace dorvanta {
namespace {

class CopyPathsTest : public testing::MainWindowFixture {
  protected:
    // Bank/Giro with a value of 1,500 characters, which the lists shorten to 1,000.
    void ShowSample() {
        longValue_ = std::string(1200, 'a') + std::string(300, 'z');
        ShowKeys({{"Giro",
                   "Bank",
                   {{"IBAN", "DE12", "Haus", 1.5}, {"Lang", longValue_, "lang-info", 2.0}}},
                  {"Privat", "Mail", {{"Adresse", "a@b.c", "", 4.0}}}});
    }

    // The entry list, its cell at `row`, `column` selected as a click selects it.
    QWidget* SelectEntryCell(int row, int column) {
        Form().CategoryPane().SelectKeyRow(0);
        Form().CategoryPane().ListBox_KeysClick();
        QTableView* list = Form().EntryPane().List();
        list->setFocus();
        list->selectionModel()->setCurrentIndex(
            Form().EntryPane().Model()->index(row, column),
            QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        return list;
    }

    // Searches the search dialog for `text` and makes hit `row`'s `column` current.
    QTreeView* SelectHit(const char* text, int row, int column) {
        TSearchDialog& search = *Form().Dialogs().SearchDialog();
        search.Open();
        search.Edit_SearchFor->setText(QString::fromUtf8(text));
        search.Button_Search->click();
        QTreeView* view = search.ListView_Results;
        view->setFocus();
        view->selectionModel()->setCurrentIndex(
            search.ResultModel->index(row, column),
            QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        return view;
    }

    static bool MarkedSecret() {
        const QMimeData* data = QGuiApplication::clipboard()->mimeData();
        return data && data->data("x-kde-passwordManagerHint") == "secret";
    }

    // Opens the field's context menu as a right click does and chooses an item by
    // its German text.
    static void TriggerContextMenuAction(QLineEdit* field, const char* name) {
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(2, 2),
                                field->mapToGlobal(QPoint(2, 2)));
        QApplication::sendEvent(field, &event);
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        ASSERT_NE(menu, nullptr);
        QAction* chosen = nullptr;
        for (QAction* a : menu->actions()) {
            if (a->text().remove('&').section('\t', 0, 0) == QLatin1String(name)) chosen = a;
        }
        ASSERT_NE(chosen, nullptr) << name;
        chosen->trigger();
        menu->close();
    }

    static QAction* FindAction(const QMenu* menu, const QString& text) {
        for (QAction* a : menu->actions()) {
            if (a->text() == text) return a;
        }
        return nullptr;
    }

    std::string longValue_;
};

TEST_F(CopyPathsTest, EveryCopyPutsTheWholeMarkedTextOnTheClipboardAndStartsTheClearing) {
    ShowSample();
    const QString longValue = QString::fromStdString(longValue_);
    const QKeyCombination ctrlC(Qt::ControlModifier, Qt::Key_C);
    const QKeyCombination ctrlIns(Qt::ControlModifier, Qt::Key_Insert);
    struct Case {
        const char* what;
        std::function<QWidget*()> select;  // the widget that gets the key; null: a menu
        QKeyCombination key;
        QString copied;  // empty: nothing is copied
    };
    const Case cases[] = {
        {"entry title", [&] { return SelectEntryCell(0, 0); }, ctrlC, "IBAN"},
        {"entry value", [&] { return SelectEntryCell(0, 1); }, ctrlC, "DE12"},
        {"entry info", [&] { return SelectEntryCell(0, 2); }, ctrlC, "Haus"},
        {"long entry value", [&] { return SelectEntryCell(1, 1); }, ctrlC, longValue},
        {"long entry value, Ctrl+Insert", [&] { return SelectEntryCell(1, 1); }, ctrlIns,
         longValue},
        {"entry list without a selection",
         [&] {
             SelectEntryCell(0, 1);
             Form().EntryPane().List()->clearSelection();
             return Form().EntryPane().List();
         },
         ctrlC, ""},
        {"category list",
         [&] {
             Form().CategoryPane().SelectKeyRow(1);
             Form().CategoryPane().List()->setFocus();
             return Form().CategoryPane().List();
         },
         ctrlC, "Privat"},
        {"category list without a selection",
         [&] {
             Form().CategoryPane().SelectKeyRow(-1);
             return Form().CategoryPane().List();
         },
         ctrlC, ""},
        {"search hit, source column", [&] { return SelectHit("aaaz", 0, 0); }, ctrlC, longValue},
        {"search hit, text column", [&] { return SelectHit("-info", 0, 1); }, ctrlC, "lang-info"},
        {"value field, its selection",
         [&] {
             SelectEntryCell(0, 1);
             Form().EntryPane().ValueEdit()->setSelection(0, 3);
             return Form().EntryPane().ValueEdit();
         },
         ctrlC, "DE1"},
        {"value field, cut",
         [&] {
             SelectEntryCell(0, 1);
             Form().EntryPane().ValueEdit()->selectAll();
             return Form().EntryPane().ValueEdit();
         },
         QKeyCombination(Qt::ControlModifier, Qt::Key_X), "DE12"},
        {"name field, Ctrl+Insert",
         [&] {
             SelectEntryCell(0, 0);
             Form().EntryPane().NameEdit()->selectAll();
             return Form().EntryPane().NameEdit();
         },
         ctrlIns, "IBAN"},
        {"info field, Shift+Delete",
         [&] {
             SelectEntryCell(0, 2);
             Form().EntryPane().InfoEdit()->selectAll();
             return Form().EntryPane().InfoEdit();
         },
         QKeyCombination(Qt::ShiftModifier, Qt::Key_Delete), "Haus"},
        {"value field, context menu's copy",
         [&]() -> QWidget* {
             SelectEntryCell(0, 1);
             Form().EntryPane().ValueEdit()->setSelection(1, 3);
             TriggerContextMenuAction(Form().EntryPane().ValueEdit(), "Kopieren");
             return nullptr;
         },
         {},
         "E12"},
        {"info field, context menu's cut",
         [&]() -> QWidget* {
             SelectEntryCell(0, 2);
             Form().EntryPane().InfoEdit()->selectAll();
             TriggerContextMenuAction(Form().EntryPane().InfoEdit(), "Ausschneiden");
             return nullptr;
         },
         {},
         "Haus"},
        {"info field, nothing selected",
         [&] {
             SelectEntryCell(0, 2);
             Form().EntryPane().InfoEdit()->deselect();
             return Form().EntryPane().InfoEdit();
         },
         ctrlC, ""},
        {"copy menu",
         [&]() -> QWidget* {
             SelectEntryCell(1, 0);
             FindAction(Form().EntryPane().CopyMenu(), "&Wert kopieren")->trigger();
             return nullptr;
         },
         {},
         longValue},
    };
    QClipboard* clipboard = QGuiApplication::clipboard();
    Named<QAction>(Form(), "MenuItem_ClearClipboard")->setChecked(true);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Form().Clipboard().ClearOwnText();
        clipboard->setText("vorher");
        if (QWidget* target = c.select())
            QTest::keyClick(target, c.key.key(), c.key.keyboardModifiers());
        if (c.copied.isEmpty()) {
            EXPECT_EQ(clipboard->text(), "vorher");
            EXPECT_FALSE(MarkedSecret());
            EXPECT_FALSE(Form().Clipboard().ClearPending());
        } else {
            EXPECT_EQ(clipboard->text().size(), c.copied.size());
            EXPECT_TRUE(clipboard->text() == c.copied);
            EXPECT_TRUE(MarkedSecret());
            EXPECT_TRUE(Form().Clipboard().ClearPending());
            EXPECT_TRUE(Form().Clipboard().HoldsOwnText());
        }
        Form().Dialogs().CloseSearchDialog();
    }
    Messages().ClearLog();
}

// Selecting in an editor field or the search field offers nothing as X11's
// primary selection: by mouse (drag, double click) or by keys. Only where the
// platform has one (under X11; ctest runs this under Xvfb too).
TEST_F(CopyPathsTest, TheEditorFieldsOfferNoPrimarySelection) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard->supportsSelection()) GTEST_SKIP() << "no primary selection here";
    ShowSample();
    SelectEntryCell(0, 0);
    struct Case {
        const char* what;
        std::function<void(QLineEdit*)> select;
    };
    const Case cases[] = {
        {"drag",
         [](QLineEdit* e) {
             QTest::mousePress(e, Qt::LeftButton, {}, QPoint(3, e->height() / 2));
             QMouseEvent move(QEvent::MouseMove, QPointF(e->width() - 3, e->height() / 2),
                              e->mapToGlobal(QPointF(e->width() - 3, e->height() / 2)),
                              Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
             QApplication::sendEvent(e, &move);
             QTest::mouseRelease(e, Qt::LeftButton, {}, QPoint(e->width() - 3, e->height() / 2));
         }},
        {"double click",
         [](QLineEdit* e) { QTest::mouseDClick(e, Qt::LeftButton, {}, QPoint(5, 5)); }},
        {"Shift+End",
         [](QLineEdit* e) {
             QTest::keyClick(e, Qt::Key_Home);
             QTest::keyClick(e, Qt::Key_End, Qt::ShiftModifier);
         }},
        {"Ctrl+A", [](QLineEdit* e) { QTest::keyClick(e, Qt::Key_A, Qt::ControlModifier); }},
    };
    // The search field too: what is searched for is often a value.
    Form().Dialogs().MenuItem_SearchClick();
    QLineEdit* search = Form().Dialogs().SearchDialog()->Edit_SearchFor;
    search->setText(QStringLiteral("Gesuchte PIN"));
    for (QLineEdit* field : {static_cast<QLineEdit*>(Form().EntryPane().NameEdit()),
                             static_cast<QLineEdit*>(Form().EntryPane().ValueEdit()),
                             static_cast<QLineEdit*>(Form().EntryPane().InfoEdit()), search}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.what) + " in " + field->text().toStdString());
            clipboard->setText("vorher", QClipboard::Selection);
            field->setFocus();
            field->deselect();
            c.select(field);
            EXPECT_TRUE(field->hasSelectedText());
            EXPECT_NE(clipboard->text(QClipboard::Selection), field->selectedText());
        }
    }
}

// The search dialog's copies share the window's delay: a short one clears them,
// unless another program copied since.
TEST_F(CopyPathsTest, TheWindowsClearingTakesASearchHitsCopyOffOnlyWhileItIsOurs) {
    ShowSample();
    QClipboard* clipboard = QGuiApplication::clipboard();
    Named<QAction>(Form(), "MenuItem_ClearClipboard")->setChecked(true);
    Form().ClipboardOptions().SetClipboardClearDelay(50);
    // The other program's copy: none, another text, or the same text with the same hint.
    for (const char* otherCopy : {"", "fremd", "DE12"}) {
        SCOPED_TRACE(otherCopy);
        QTest::keyClick(SelectHit("DE12", 0, 1), Qt::Key_C, Qt::ControlModifier);
        ASSERT_EQ(clipboard->text(), "DE12");
        if (*otherCopy) clipboard->setMimeData(TSecretClipboard::SecretMimeData(otherCopy));
        EXPECT_TRUE(QTest::qWaitFor([&] { return !Form().Clipboard().ClearPending(); }, 5000));
        EXPECT_EQ(clipboard->text(), otherCopy);
        EXPECT_EQ(MarkedSecret(), *otherCopy != 0);
        Form().Dialogs().CloseSearchDialog();
    }
}

// Another program copies the same text with the same hint: the clearing leaves it.
// Only where the clipboard has an owner (under X11).
TEST_F(CopyPathsTest, TheClearingLeavesAnotherProgramsCopyOfTheSameText) {
    ShowSample();
    QClipboard* clipboard = QGuiApplication::clipboard();
    Named<QAction>(Form(), "MenuItem_ClearClipboard")->setChecked(true);
    Form().ClipboardOptions().SetClipboardClearDelay(300);
    QTest::keyClick(SelectEntryCell(0, 1), Qt::Key_C, Qt::ControlModifier);
    if (!clipboard->ownsClipboard()) GTEST_SKIP() << "the clipboard has no owner here";
    QProcess other;
    other.start(DORVANTA_CLIPBOARD_HOLDER, {"DE12"});
    ASSERT_TRUE(other.waitForReadyRead(10000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !clipboard->ownsClipboard(); }, 5000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !Form().Clipboard().ClearPending(); }, 5000));
    QTest::qWait(100);
    EXPECT_FALSE(clipboard->ownsClipboard());
    EXPECT_EQ(clipboard->text(), "DE12");
    EXPECT_TRUE(MarkedSecret());
    other.kill();
    other.waitForFinished();
}

TEST_F(CopyPathsTest, TheDelayIsChosenInTheOptionsMenuAndKeptInTheSettings) {
    QMenu* options = nullptr;
    for (QAction* a : Form().menuBar()->actions()) {
        if (a->text() == "&Optionen") options = a->menu();
    }
    ASSERT_NE(options, nullptr);
    QAction* submenu = FindAction(options, "Zwischenablage leeren nach");
    ASSERT_NE(submenu, nullptr);
    ASSERT_EQ(submenu->menu(), Named<QMenu>(Form(), "Menu_ClearClipboardDelay"));
    QStringList choices;
    for (const QAction* a : Named<QMenu>(Form(), "Menu_ClearClipboardDelay")->actions()) {
        EXPECT_TRUE(a->isCheckable());
        if (a->isChecked())
            choices << "[" + a->text() + "]";
        else
            choices << a->text();
    }
    EXPECT_EQ(choices.join(", "), "10 Sekunden, [30 Sekunden], 60 Sekunden, 120 Sekunden");

    struct Case {
        std::int32_t stored;  // read at the start; 0: the value is missing
        const char* choose;   // chosen afterwards; nullptr: nothing
        const char* checked;  // the choice checked afterwards
        const char* option;   // the clearing option's text
        int delayMs;
        int written;  // at the end
    };
    const Case cases[] = {
        {0, nullptr, "30 Sekunden", "Zwischenablage nach 30 Sekunden leeren", 30000, 30},
        {10, nullptr, "10 Sekunden", "Zwischenablage nach 10 Sekunden leeren", 10000, 10},
        {120, nullptr, "120 Sekunden", "Zwischenablage nach 120 Sekunden leeren", 120000, 120},
        {45, nullptr, "30 Sekunden", "Zwischenablage nach 30 Sekunden leeren", 30000, 30},
        {-30, nullptr, "30 Sekunden", "Zwischenablage nach 30 Sekunden leeren", 30000, 30},
        {60, "10 Sekunden", "10 Sekunden", "Zwischenablage nach 10 Sekunden leeren", 10000, 10},
        {0, "60 Sekunden", "60 Sekunden", "Zwischenablage nach 60 Sekunden leeren", 60000, 60},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.stored) + " " + (c.choose ? c.choose : "-"));
        form_.reset();
        TSettingsStore reg(Hive::CurrentUser);
        ASSERT_TRUE(reg.OpenKey("Software\\QZ\\Dorvanta", true));
        if (c.stored) {
            reg.WriteInteger("ClearClipboardSeconds", c.stored);
        } else {
            reg.DeleteValue("ClearClipboardSeconds");
        }
        NewWindow();
        if (c.choose)
            FindAction(Named<QMenu>(Form(), "Menu_ClearClipboardDelay"), c.choose)->trigger();
        QStringList checked;
        for (const QAction* a : Named<QMenu>(Form(), "Menu_ClearClipboardDelay")->actions()) {
            if (a->isChecked()) checked << a->text();
        }
        EXPECT_EQ(checked, QStringList{c.checked});
        EXPECT_EQ(Named<QAction>(Form(), "MenuItem_ClearClipboard")->text(), c.option);
        EXPECT_EQ(Form().Clipboard().ClearDelay(), c.delayMs);
        EXPECT_FALSE(Named<QAction>(Form(), "MenuItem_ClearClipboard")->isChecked());
        form_.reset();
        EXPECT_EQ(reg.GetDataType("ClearClipboardSeconds"), RegDataType::Integer);
        EXPECT_EQ(reg.ReadInteger("ClearClipboardSeconds"), c.written);
    }
    // An edited value gives no error box, only the default.
    for (const auto& q : Messages().Asked())
        EXPECT_FALSE(q.text.contains("ClearClipboard")) << q.text.toStdString();
    Messages().ClearLog();
    NewWindow();
}

}  // namespace
}  // namespace dorvanta
