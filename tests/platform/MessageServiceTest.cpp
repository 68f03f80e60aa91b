#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDateTime>
#include <QDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>
#include <QTreeView>
#include <algorithm>
#include <functional>
#include <map>
#include <new>
#include <sstream>
#include <stdexcept>

#include "PlatformTestApp.h"
#include "platform/Application.h"
#include "platform/MessageService.h"
#include "platform/System.h"
#include "store/StoreError.h"
#include "support/ModalDriver.h"
#include "support/TempDir.h"

namespace dorvanta {
namespace {

TApplication& App() {
    return testing::PlatformTestApp();
}

class MessageServiceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        App();
        service().SetTestMode(true);
        service().ClearLog();
    }
    void TearDown() override {
        service().SetTestMode(true);
        service().ClearLog();
    }
    static MessageService& service() { return MessageService::Instance(); }
};

TEST_F(MessageServiceTest, QueuedAnswersAreUsedInOrderAndQuestionsLogged) {
    service().QueueAnswer(MsgButton::No);
    service().QueueAnswer(MsgButton::Yes);
    EXPECT_FALSE(
        service().Confirm(QStringLiteral("Soll der markierte Eintrag wirklich gelöscht werden?")));
    EXPECT_EQ(
        service().ConfirmWithCancel(QStringLiteral("Wollen Sie die aktuelle Datei speichern?")),
        MsgButton::Yes);

    ASSERT_EQ(service().Asked().size(), 2u);
    const AskedQuestion& q = service().Asked()[0];
    EXPECT_EQ(q.kind, AskedQuestion::Kind::Message);
    EXPECT_EQ(q.caption, "Warnung");
    EXPECT_EQ(q.icon, MsgIcon::Warning);
    EXPECT_EQ(q.buttons, (std::vector<MsgButton>{MsgButton::Yes, MsgButton::No}));
    EXPECT_EQ(q.defaultButton, MsgButton::Yes);
    EXPECT_EQ(q.escapeButton, MsgButton::No);
    EXPECT_TRUE(q.beep);
    EXPECT_TRUE(q.answered);
    EXPECT_EQ(service().Asked()[1].escapeButton, MsgButton::Cancel);
    EXPECT_EQ(service().Asked()[1].buttons.size(), 3u);
}

TEST_F(MessageServiceTest, UnansweredQuestionsNeverBlockAndTakeTheEscapeAnswer) {
    EXPECT_EQ(service().ConfirmWithCancel(QStringLiteral("?")), MsgButton::Cancel);
    EXPECT_FALSE(service().Confirm(QStringLiteral("?")));
    EXPECT_EQ(service().InputText(QStringLiteral("Passwort"), QStringLiteral("Passwort:"), {}),
              std::nullopt);
    EXPECT_EQ(service().OpenFileName(nullptr, {}, QStringLiteral("Private Daten (*.pdt)"),
                                     QStringLiteral("pdt")),
              std::nullopt);
    // An answer the box does not offer is a test fault: logged as unanswered.
    service().QueueAnswer(MsgButton::Retry);
    EXPECT_EQ(service().ConfirmWithCancel(QStringLiteral("?")), MsgButton::Cancel);
    ASSERT_EQ(service().Asked().size(), 5u);
    for (const auto& q : service().Asked()) EXPECT_FALSE(q.answered);
}

TEST_F(MessageServiceTest, InputsAndFileNames) {
    service().QueueInput(QStringLiteral("geheimgeheim"));
    service().QueueInput(std::nullopt);
    EXPECT_EQ(service().InputText(QStringLiteral("Passwort"), QStringLiteral("Bitte eingeben:"),
                                  QStringLiteral("alt"), 6, true),
              "geheim");
    EXPECT_EQ(service().InputText({}, {}, {}), std::nullopt);
    EXPECT_TRUE(service().Asked()[0].password);
    EXPECT_EQ(service().Asked()[0].initial, "<hidden>");  // a password too
    EXPECT_EQ(service().Asked()[0].text, "Bitte eingeben:");

    const QString filter = QStringLiteral("Private Daten (*.pdt)");
    service().QueueFileName(QStringLiteral("/home/u/daten"));
    service().QueueFileName(QStringLiteral("/home/u/daten.txt"));
    service().QueueFileName(std::nullopt);
    EXPECT_EQ(service().SaveFileName(nullptr, {}, filter, QStringLiteral("pdt")),
              "/home/u/daten.pdt");
    EXPECT_EQ(service().OpenFileName(nullptr, {}, filter, QStringLiteral("pdt")),
              "/home/u/daten.txt");
    EXPECT_EQ(service().OpenFileName(nullptr, {}, filter, QStringLiteral("pdt")), std::nullopt);
    EXPECT_EQ(service().Asked()[2].kind, AskedQuestion::Kind::SaveFile);
    EXPECT_EQ(service().Asked()[3].filter, filter);
    EXPECT_TRUE(service().Asked()[4].answered);
}

// Save as with the two types: the type chosen decides the suffix, whatever the
// name held; the scripted dialog gives the same name as the rule.
TEST_F(MessageServiceTest, TheTypeChosenDecidesTheSuffixOfTheSavedName) {
    const QString types =
        QStringLiteral("Private Daten (*.pdt);;Private Daten, verschlüsselt (*.pdt.age)");
    const QString plain = QStringLiteral("Private Daten (*.pdt)");
    const QString sealed = QStringLiteral("Private Daten, verschlüsselt (*.pdt.age)");
    struct Case {
        const char* typed;
        const char* asPlain;
        const char* asEncrypted;
    };
    const Case cases[] = {
        {"/d/Meine Daten", "/d/Meine Daten.pdt", "/d/Meine Daten.pdt.age"},
        {"/d/Meine Daten.pdt", "/d/Meine Daten.pdt", "/d/Meine Daten.pdt.age"},
        {"/d/Meine Daten.age", "/d/Meine Daten.pdt", "/d/Meine Daten.pdt.age"},
        {"/d/Meine Daten.pdt.age", "/d/Meine Daten.pdt", "/d/Meine Daten.pdt.age"},
        // What Qt's type switch makes of "x.pdt.age" and "x.pdt".
        {"/d/x.pdt.pdt", "/d/x.pdt", "/d/x.pdt.age"},
        {"/d/x.PDT.AGE", "/d/x.pdt", "/d/x.pdt.age"},
        {"/d/Konto.2024", "/d/Konto.2024.pdt", "/d/Konto.2024.pdt.age"},
        {"/d.pdt/x", "/d.pdt/x.pdt", "/d.pdt/x.pdt.age"},
        {"Daten.age", "Daten.pdt", "Daten.pdt.age"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        const QString typed = QString::fromUtf8(c.typed);
        EXPECT_EQ(NameForFileType(typed, types, plain), c.asPlain);
        EXPECT_EQ(NameForFileType(typed, types, sealed), c.asEncrypted);
        for (const QString& type : {plain, sealed}) {
            service().QueueFileName(typed);
            service().QueueFileFilter(type);
            QString chosen;
            EXPECT_EQ(service().SaveFileName(nullptr, {}, types, {}, plain, &chosen),
                      type == plain ? c.asPlain : c.asEncrypted);
            EXPECT_EQ(chosen, type);
        }
    }
    // A type without a suffix leaves the name alone.
    EXPECT_EQ(NameForFileType(QStringLiteral("/d/x.age"), types, QStringLiteral("Alle (*)")),
              "/d/x.age");
}

// A passphrase box takes one queued input a field; what was typed reaches no log.
TEST_F(MessageServiceTest, PassphraseBoxesTakeOneInputAFieldAndLogNoText) {
    testing::TempDir dir;
    const std::string log = dir.File("asked.log");
    ::setenv("DORVANTA_TEST_LOG", log.c_str(), 1);
    service().LoadTestAnswersFromEnvironment();
    ::unsetenv("DORVANTA_TEST_LOG");
    using Inputs = std::vector<std::optional<QString>>;
    struct Case {
        const char* name;
        bool repeat;
        Inputs queued;
        std::optional<QString> text;
        std::optional<QString> repeated;
        bool answered;
        std::size_t left;  // queued inputs the box did not take
        const char* logged;
    };
    const Case cases[] = {
        {"one field", false, {"geheim", "next"}, "geheim", std::nullopt, true, 1, "<hidden>"},
        {"two fields", true, {"geheim", "Geheim", "next"}, "geheim", "Geheim", true, 1, "<hidden>"},
        {"cut to the length",
         true,
         {"1234567", "12345678"},
         "123456",
         "123456",
         true,
         0,
         "<hidden>"},
        {"the first cancelled",
         true,
         {std::nullopt, "next"},
         std::nullopt,
         std::nullopt,
         true,
         1,
         "<cancel>"},
        {"the repeat cancelled",
         true,
         {"geheim", std::nullopt},
         std::nullopt,
         std::nullopt,
         true,
         0,
         "<cancel>"},
        {"the repeat not queued",
         true,
         {"geheim"},
         std::nullopt,
         std::nullopt,
         false,
         0,
         "<cancel> (unanswered)"},
        {"nothing queued",
         false,
         {},
         std::nullopt,
         std::nullopt,
         false,
         0,
         "<cancel> (unanswered)"},
    };
    std::string expectedLog;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        service().ClearLog();
        for (const auto& input : c.queued) service().QueueInput(input);
        const auto answer = service().AskPassphrase(QStringLiteral("Passwort"),
                                                    QStringLiteral("Neu:"), c.repeat, 6);
        EXPECT_EQ(answer ? std::optional(answer->text) : std::nullopt, c.text);
        if (c.repeat && answer) {
            EXPECT_EQ(answer->repeat, c.repeated);
        }
        ASSERT_EQ(service().Asked().size(), 1u);
        const AskedQuestion& q = service().Asked()[0];
        EXPECT_EQ(q.kind, AskedQuestion::Kind::Input);
        EXPECT_TRUE(q.password);
        EXPECT_EQ(q.repeat, c.repeat);
        EXPECT_TRUE(q.initial.isEmpty());
        EXPECT_EQ(q.answered, c.answered);
        EXPECT_EQ(q.textAnswer, c.text ? std::optional<QString>("<hidden>") : std::nullopt);
        EXPECT_EQ(q.repeatAnswer, c.repeated ? std::optional<QString>("<hidden>") : std::nullopt);
        std::size_t left = 0;
        while (service().InputText({}, {}, {})) ++left;
        EXPECT_EQ(left, c.left);
        expectedLog += std::string("Input\tPasswort\tNeu:\t") + c.logged + "\n";
    }
    // The plain inputs that emptied each queue are logged too; only the boxes matter.
    std::string boxes;
    std::istringstream lines(testing::ReadBytes(log));
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("Input\tPasswort\t", 0) == 0) boxes += line + "\n";
    }
    EXPECT_EQ(boxes, expectedLog);
    EXPECT_EQ(testing::ReadBytes(log).find("geheim"), std::string::npos);
}

// The real box: masked fields that start empty; "Passwort anzeigen" shows and
// hides what is typed; OK returns both texts.
TEST_F(MessageServiceTest, TheRealPassphraseBoxIsMaskedUntilShown) {
    service().SetTestMode(false);
    for (const bool repeat : {false, true}) {
        SCOPED_TRACE(repeat);
        service().ClearLog();
        std::vector<AskedQuestion> asked;  // outside test mode only the hook sees them
        service().SetAskedHook([&](const AskedQuestion& q) { asked.push_back(q); });
        QString showCaption;
        std::vector<std::vector<QLineEdit::EchoMode>> modes;  // at start, shown, hidden again
        QStringList initial;
        const testing::TModalDriver<QDialog> driver([&](QDialog& dialog) {
            const auto fields = dialog.findChildren<QLineEdit*>();
            auto* show = dialog.findChild<QCheckBox*>();
            const auto echo = [&] {
                std::vector<QLineEdit::EchoMode> now;
                for (QLineEdit* field : fields) now.push_back(field->echoMode());
                modes.push_back(now);
            };
            for (QLineEdit* field : fields) initial << field->text();
            echo();
            if (show) {
                showCaption = show->text();
                show->click();
                echo();
                show->click();
                echo();
            }
            for (int i = 0; i < fields.size(); ++i) {
                fields[i]->setText(QStringLiteral("pw%1").arg(i));
            }
            QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
            QCoreApplication::sendEvent(fields.back(), &enter);
        });
        const auto answer =
            service().AskPassphrase(QStringLiteral("Passwort"), QStringLiteral("Neu:"), repeat);
        const std::size_t n = repeat ? 2 : 1;
        using Modes = std::vector<QLineEdit::EchoMode>;
        EXPECT_EQ(showCaption, "Passwort anzeigen");
        EXPECT_EQ(initial, QStringList(n, QString()));
        EXPECT_EQ(modes,
                  (std::vector<Modes>{Modes(n, QLineEdit::Password), Modes(n, QLineEdit::Normal),
                                      Modes(n, QLineEdit::Password)}));
        ASSERT_TRUE(answer);
        EXPECT_EQ(answer->text, "pw0");
        EXPECT_EQ(answer->repeat, repeat ? "pw1" : "");
        EXPECT_TRUE(service().Asked().empty());
        ASSERT_EQ(asked.size(), 1u);
        EXPECT_TRUE(asked[0].answered);
        EXPECT_EQ(asked[0].textAnswer, "<hidden>");
    }
}

TEST_F(MessageServiceTest, ApplicationErrorBoxAndItsFullStop) {
    EXPECT_EQ(ApplicationErrorText(QStringLiteral("Datei a.pdt kann nicht geöffnet werden")),
              "Datei a.pdt kann nicht geöffnet werden.");
    EXPECT_EQ(ApplicationErrorText(QStringLiteral("Schon zu Ende.")), "Schon zu Ende.");
    EXPECT_EQ(ApplicationErrorText(QStringLiteral("Wirklich?")), "Wirklich?.");
    EXPECT_EQ(ApplicationErrorText(QStringLiteral("Ende!")), "Ende!");
    EXPECT_EQ(ApplicationErrorText(QStringLiteral("für 'ShowData'")), "für 'ShowData'");
    EXPECT_EQ(ApplicationErrorText(QStringLiteral("Größe ü")), "Größe ü.");
    EXPECT_EQ(ApplicationErrorText(QString()), "");

    service().ShowApplicationError(QStringLiteral("Ungültiges Passwort"));
    ASSERT_EQ(service().Asked().size(), 1u);
    const AskedQuestion& q = service().Asked()[0];
    EXPECT_EQ(q.caption, "Dorvanta");
    EXPECT_EQ(q.text, "Ungültiges Passwort.");
    EXPECT_EQ(q.icon, MsgIcon::Error);
    EXPECT_EQ(q.buttons, std::vector<MsgButton>{MsgButton::Ok});
}

// A receiver whose handler fails like a command that raises an error.
class Failing : public QObject {
  public:
    bool event(QEvent* e) override {
        if (e->type() == QEvent::User) throw EStoreError("Datei x.pdt kann nicht geöffnet werden");
        return QObject::event(e);
    }
};

TEST_F(MessageServiceTest, TheCentralCatchShowsTheErrorAndTheProgramGoesOn) {
    Failing receiver;
    QEvent event(QEvent::User);
    QCoreApplication::sendEvent(&receiver, &event);
    QCoreApplication::postEvent(&receiver, new QEvent(QEvent::User));
    QCoreApplication::processEvents();
    ASSERT_EQ(service().Asked().size(), 2u);
    for (const auto& q : service().Asked()) {
        EXPECT_EQ(q.text, "Datei x.pdt kann nicht geöffnet werden.");
        EXPECT_EQ(q.caption, "Dorvanta");
    }
    EXPECT_TRUE(RunGuarded([] {}));
    // Library errors never show their English texts.
    const std::vector<std::pair<std::function<void()>, QString>> foreign = {
        {[] { throw 42; }, "Unbekannter Fehler."},
        {[] { throw std::bad_alloc(); }, "Zu wenig Arbeitsspeicher."},
    };
    for (const auto& [action, text] : foreign) {
        EXPECT_FALSE(RunGuarded(action));
        EXPECT_EQ(service().Asked().back().text, text);
    }
}

// Qt's signal delivery is not exception-safe. A slot connected through Guarded
// shows its error in the application error box where it happens; nothing leaves
// the emitting call, and the slots after it and the next signal still run.
TEST_F(MessageServiceTest, AGuardedSlotShowsItsErrorAndTheProgramGoesOn) {
    QPushButton button;
    QLineEdit edit;
    bool fail = false;
    int clicks = 0;     // counted by a plain slot connected after the guarded one
    QStringList texts;  // received by a guarded slot that takes the signal's argument
    QObject::connect(&button, &QPushButton::clicked, &button, Guarded([&] {
        if (fail) throw EStoreError("Datei x.pdt kann nicht gespeichert werden");
    }));
    QObject::connect(&button, &QPushButton::clicked, &button, [&] { ++clicks; });
    QObject::connect(&edit, &QLineEdit::textChanged, &edit, Guarded([&](const QString& text) {
        texts << text;
        if (text == "voll") throw std::bad_alloc();
    }));
    struct Case {
        std::function<void()> act;
        const char* shown;  // the error box's text; nullptr: no box
        int clicks;
        QStringList texts;
    };
    const Case cases[] = {
        {[&] {
             fail = true;
             button.click();
         },
         "Datei x.pdt kann nicht gespeichert werden.",
         1,
         {}},
        {[&] {
             fail = false;
             button.click();
         },
         nullptr,
         2,
         {}},
        {[&] { edit.setText("voll"); }, "Zu wenig Arbeitsspeicher.", 2, {"voll"}},
        {[&] { edit.setText("frei"); }, nullptr, 2, {"voll", "frei"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(&c - cases);
        service().ClearLog();
        service().QueueAnswer(MsgButton::Ok);
        EXPECT_NO_THROW(c.act());
        EXPECT_EQ(clicks, c.clicks);
        EXPECT_EQ(texts, c.texts);
        if (!c.shown) {
            EXPECT_TRUE(service().Asked().empty());
            continue;
        }
        ASSERT_EQ(service().Asked().size(), 1u);
        const AskedQuestion& q = service().Asked()[0];
        EXPECT_EQ(q.text, c.shown);
        EXPECT_EQ(q.caption, "Dorvanta");
        EXPECT_EQ(q.icon, MsgIcon::Error);
        EXPECT_EQ(q.buttons, std::vector<MsgButton>{MsgButton::Ok});
        EXPECT_TRUE(q.answered);
    }
}

TEST_F(MessageServiceTest, TheRealBoxCarriesTheGermanButtonsAndEscapeAnswers) {
    service().SetTestMode(false);
    std::vector<AskedQuestion> asked;
    service().SetAskedHook([&](const AskedQuestion& q) { asked.push_back(q); });
    QStringList captions;
    QString defaultCaption;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        poll.stop();
        for (QAbstractButton* b : box->buttons()) captions << b->text();
        if (box->defaultButton()) defaultCaption = box->defaultButton()->text();
        QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QCoreApplication::sendEvent(box, &escape);
    });
    poll.start(20);
    QTimer::singleShot(10000, [] {
        if (auto* w = QApplication::activeModalWidget()) w->close();  // never hang the suite
    });
    const MsgButton answer = service().ConfirmWithCancel(QStringLiteral("Speichern?"));
    EXPECT_EQ(answer, MsgButton::Cancel);
    captions.sort();
    EXPECT_EQ(captions, (QStringList{"&Ja", "&Nein", "Abbrechen"}));
    EXPECT_EQ(defaultCaption, "&Ja");
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_TRUE(asked[0].answered);
}

TEST_F(MessageServiceTest, TheEnvironmentSwitchQueuesAnswersAndLogs) {
    testing::TempDir dir;
    const std::string log = dir.File("asked.log");
    service().SetTestMode(false);
    ::setenv("DORVANTA_TEST_ANSWERS", "no, Yes,Bogus,Überschreiben", 1);
    ::setenv("DORVANTA_TEST_FILES", "/tmp/a.pdt\n<cancel>\n", 1);
    ::setenv("DORVANTA_TEST_LOG", log.c_str(), 1);
    service().LoadTestAnswersFromEnvironment();
    ::unsetenv("DORVANTA_TEST_ANSWERS");
    ::unsetenv("DORVANTA_TEST_FILES");
    ::unsetenv("DORVANTA_TEST_LOG");

    EXPECT_TRUE(service().TestMode());
    EXPECT_FALSE(service().Confirm(QStringLiteral("Erste\nFrage")));
    EXPECT_TRUE(service().Confirm(QStringLiteral("Zweite")));
    EXPECT_FALSE(service().Confirm(QStringLiteral("Dritte")));  // not offered: Escape
    // Any other word is a button's caption.
    EXPECT_EQ(service().AskChoice(QStringLiteral("Vierte"), QStringLiteral("Datei wurde geändert"),
                                  MsgIcon::Warning, {"Überschreiben", "Abbrechen"}, 1, 1),
              0);
    EXPECT_EQ(service().OpenFileName(nullptr, {}, {}, QStringLiteral("pdt")), "/tmp/a.pdt");
    EXPECT_EQ(service().OpenFileName(nullptr, {}, {}, QStringLiteral("pdt")), std::nullopt);
    EXPECT_EQ(testing::ReadBytes(log),
              "Message\tWarnung\tErste\\nFrage\tNo\n"
              "Message\tWarnung\tZweite\tYes\n"
              "Message\tWarnung\tDritte\tNo (unanswered)\n"
              "Message\tDatei wurde geändert\tVierte\tÜberschreiben\n"
              "OpenFile\t\t\t/tmp/a.pdt\n"
              "OpenFile\t\t\t<cancel>\n");
}

// Qt's file list formats sizes and dates by the system locale; under LANG=C that
// was "14 bytes" and "8 Dec 2026". The list shows them German, whatever the
// desktop's language, and so does the list the end-to-end test reads.
TEST_F(MessageServiceTest, TheFileDialogListsSizesAndDatesInGerman) {
    EXPECT_EQ(QLocale().language(), QLocale::German);
    EXPECT_EQ(QLocale().territory(), QLocale::Germany);
    EXPECT_EQ(QLocale().toString(QDate(2026, 12, 8), QStringLiteral("d. MMMM yyyy")),
              "8. Dezember 2026");

    testing::TempDir dir;
    struct File {
        const char* name;
        std::size_t size;
        const char* shown;
    };
    const File files[] = {{"klein.pdt", 14, "14 Bytes"},
                          {"mittel.pdt", 1536, "1,50 KiB"},
                          {"gross.pdt", 123456, "120,56 KiB"}};
    for (const File& f : files) testing::WriteBytes(dir.File(f.name), std::string(f.size, 'x'));
    const QString folder = QString::fromStdString(dir.Path().string());
    const std::string list = dir.File("list.txt");
    ::setenv("DORVANTA_TEST_FILE_LIST", list.c_str(), 1);
    service().LoadTestAnswersFromEnvironment();
    ::unsetenv("DORVANTA_TEST_FILE_LIST");
    service().SetTestMode(false);

    // name -> the row's texts as the dialog's detail view has them.
    std::map<QString, QStringList> rows;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog) return;
        auto* view = dialog->findChild<QTreeView*>(QStringLiteral("treeView"));
        if (!view || !view->model()) return;
        QAbstractItemModel* model = view->model();
        const QModelIndex root = view->rootIndex();
        rows.clear();
        for (int row = 0; row < model->rowCount(root); ++row) {
            QStringList cells;
            for (int column = 0; column < model->columnCount(root); ++column) {
                cells << model->index(row, column, root).data().toString();
            }
            if (!cells.value(1).isEmpty()) rows[cells.front()] = cells;
        }
        // Done once every file is listed and the folder's list has been written
        // (the dialog may read another folder first).
        const QString written = QString::fromStdString(testing::ReadBytes(list));
        int listed = 0;
        for (const File& f : files) {
            listed += written.contains(folder + QLatin1Char('\t') + QLatin1String(f.name) +
                                       QLatin1Char('\t'));
        }
        if (rows.size() < std::size(files) || listed < static_cast<int>(std::size(files))) return;
        poll.stop();
        dialog->reject();
    });
    poll.start(20);
    QTimer::singleShot(10000, [] {
        if (auto* w = QApplication::activeModalWidget()) w->close();  // never hang the suite
    });
    EXPECT_EQ(service().OpenFileName(nullptr, QStringLiteral("Öffnen"),
                                     QStringLiteral("Private Daten (*.pdt)"), QStringLiteral("pdt"),
                                     folder + QStringLiteral("/")),
              std::nullopt);
    service().LoadTestAnswersFromEnvironment();  // the list is no longer written

    const QString log = QString::fromStdString(testing::ReadBytes(list));
    for (const File& f : files) {
        SCOPED_TRACE(f.name);
        const QString name = QString::fromLatin1(f.name);
        ASSERT_EQ(rows.count(name), 1u);
        const QStringList& cells = rows[name];
        ASSERT_EQ(cells.size(), 4);
        EXPECT_EQ(cells[1].toStdString(), f.shown);
        const QDateTime modified = QFileInfo(folder + QLatin1Char('/') + name).lastModified();
        EXPECT_EQ(
            cells[3],
            QLocale(QLocale::German, QLocale::Germany).toString(modified, QLocale::ShortFormat))
            << cells[3].toStdString();
        EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d\\d\\.\\d\\d\\.\\d\\d \\d\\d:\\d\\d$"))
                        .match(cells[3])
                        .hasMatch())
            << cells[3].toStdString();
        EXPECT_TRUE(log.contains(folder + QLatin1Char('\t') + cells.join(QLatin1Char('\t')) +
                                 QLatin1Char('\n')))
            << log.toStdString();
    }
    // The list is filtered by the type: only .pdt files.
    EXPECT_FALSE(log.contains(QStringLiteral("list.txt")));
}

// Qt opened its file dialog so narrow that sizes read "941…tes": it opens at
// least 700x450, with every column's header and texts whole and all columns
// in view.
TEST_F(MessageServiceTest, TheFileDialogOpensWideEnoughForItsColumns) {
    testing::TempDir dir;
    testing::WriteBytes(dir.File("Jahresabrechnung 2025.pdt"), std::string(963000, 'x'));
    const QString folder = QString::fromStdString(dir.Path().string());
    service().SetTestMode(false);
    QSize size;
    QStringList cut;
    int columns = 0;
    int room = 0;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        auto* view = dialog ? dialog->findChild<QTreeView*>(QStringLiteral("treeView")) : nullptr;
        if (!view || !view->model()) return;
        const QModelIndex root = view->rootIndex();
        if (view->model()->rowCount(root) < 1 ||
            view->model()->index(0, 1, root).data().toString().isEmpty())
            return;
        poll.stop();
        QHeaderView* header = view->header();
        const QFontMetrics metrics = view->fontMetrics();
        for (int column = 0; column < header->count(); ++column) {
            const QString texts[] = {view->model()->headerData(column, Qt::Horizontal).toString(),
                                     view->model()->index(0, column, root).data().toString()};
            for (const QString& text : texts) {
                const int needed = metrics.horizontalAdvance(text) + (column == 0 ? 24 : 8);
                if (needed > header->sectionSize(column)) {
                    cut << QStringLiteral("%1 (%2 > %3)")
                               .arg(text)
                               .arg(needed)
                               .arg(header->sectionSize(column));
                }
            }
        }
        size = dialog->size();
        columns = header->length();
        room = view->viewport()->width();
        dialog->reject();
    });
    poll.start(20);
    QTimer::singleShot(10000, [] {
        if (auto* w = QApplication::activeModalWidget()) w->close();  // never hang the suite
    });
    service().OpenFileName(nullptr, QStringLiteral("Öffnen"),
                           QStringLiteral("Private Daten (*.pdt)"), QStringLiteral("pdt"),
                           folder + QStringLiteral("/"));
    EXPECT_GE(size.width(), 700);
    EXPECT_GE(size.height(), 450);
    EXPECT_TRUE(cut.isEmpty()) << cut.join(QLatin1Char('\n')).toStdString();
    EXPECT_GT(columns, 0);
    EXPECT_LE(columns, room);
}

// A box with buttons of its own captions: answered by a queued caption or by a
// standard button of the same caption, in one queue with the standard boxes.
TEST_F(MessageServiceTest, ChoicesOfOwnButtonsAreAnsweredByCaption) {
    const QStringList buttons{"Überschreiben", "Speichern unter...", "Abbrechen"};
    const auto ask = [&] {
        return service().AskChoice("Text", "Datei wurde geändert", MsgIcon::Warning, buttons, 2, 2,
                                   true);
    };
    struct Case {
        std::function<void()> queue;
        int choice;
        bool answered;
    };
    const Case cases[] = {
        {[] { service().QueueAnswer(QStringLiteral("Überschreiben")); }, 0, true},
        {[] { service().QueueAnswer(QStringLiteral("Speichern unter...")); }, 1, true},
        {[] { service().QueueAnswer(QStringLiteral("Abbrechen")); }, 2, true},
        {[] { service().QueueAnswer(MsgButton::Cancel); }, 2, true},  // its caption
        {[] { service().QueueAnswer(QStringLiteral("&Überschreiben")); }, 0, true},
        // Not offered: a test fault, logged as unanswered, answered like Escape.
        {[] { service().QueueAnswer(MsgButton::Yes); }, 2, false},
        {[] { service().QueueAnswer(QStringLiteral("Ersetzen")); }, 2, false},
        {[] {}, 2, false},  // nothing queued
    };
    for (const Case& c : cases) {
        service().ClearLog();
        c.queue();
        EXPECT_EQ(ask(), c.choice);
        ASSERT_EQ(service().Asked().size(), 1u);
        const AskedQuestion& q = service().Asked()[0];
        EXPECT_EQ(q.kind, AskedQuestion::Kind::Message);
        EXPECT_EQ(q.caption, "Datei wurde geändert");
        EXPECT_EQ(q.icon, MsgIcon::Warning);
        EXPECT_EQ(q.choices, buttons);
        EXPECT_EQ(q.defaultChoice, 2);
        EXPECT_EQ(q.escapeChoice, 2);
        EXPECT_EQ(q.choice, c.choice);
        EXPECT_EQ(q.answered, c.answered);
        EXPECT_TRUE(q.beep);
    }
    // One queue: standard and own boxes take their answers in order, and a caption
    // answers a standard box too.
    service().ClearLog();
    service().QueueAnswer(MsgButton::Yes);
    service().QueueAnswer(QStringLiteral("Abbrechen"));
    service().QueueAnswer(QStringLiteral("Abbrechen"));
    EXPECT_EQ(service().ConfirmWithCancel("?"), MsgButton::Yes);
    EXPECT_EQ(ask(), 2);
    EXPECT_EQ(service().ConfirmWithCancel("?"), MsgButton::Cancel);
    for (const auto& q : service().Asked()) EXPECT_TRUE(q.answered);
}

TEST_F(MessageServiceTest, TheRealChoiceBoxShowsItsButtonsInOrderAndEscapeAnswers) {
    service().SetTestMode(false);
    std::vector<AskedQuestion> asked;
    service().SetAskedHook([&](const AskedQuestion& q) { asked.push_back(q); });
    QStringList captions;
    QString defaultCaption, title;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    int answerWith = -1;  // -1: Escape; else the button to click
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        poll.stop();
        captions.clear();
        // In the order shown, left to right.
        QList<QAbstractButton*> shown = box->buttons();
        std::sort(shown.begin(), shown.end(), [](QAbstractButton* a, QAbstractButton* b) {
            return a->mapToGlobal(QPoint()).x() < b->mapToGlobal(QPoint()).x();
        });
        for (QAbstractButton* b : shown) captions << b->text();
        if (box->defaultButton()) defaultCaption = box->defaultButton()->text();
        title = box->windowTitle();
        icon = box->icon();
        if (answerWith < 0) {
            QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
            QCoreApplication::sendEvent(box, &escape);
        } else {
            shown[answerWith]->click();
        }
    });
    QTimer::singleShot(10000, [] {
        if (auto* w = QApplication::activeModalWidget()) w->close();  // never hang the suite
    });
    const QStringList buttons{"Überschreiben", "Speichern unter...", "Abbrechen"};
    for (int with : {-1, 0, 1}) {
        answerWith = with;
        poll.start(20);
        const int answer =
            service().AskChoice("Text", "Datei wurde geändert", MsgIcon::Warning, buttons, 2, 2);
        EXPECT_EQ(answer, with < 0 ? 2 : with);
        EXPECT_EQ(captions, buttons);
        EXPECT_EQ(defaultCaption, "Abbrechen");
        EXPECT_EQ(title, "Datei wurde geändert");
        EXPECT_EQ(icon, QMessageBox::Warning);
    }
    ASSERT_EQ(asked.size(), 3u);
    EXPECT_TRUE(asked[0].answered);
}

TEST_F(MessageServiceTest, UrlsAreCollectedInTestMode) {
    OpenUrl(QStringLiteral("mailto:info@example.org"));
    EXPECT_EQ(OpenedUrlsInTestMode().back(), "mailto:info@example.org");
    (void)IsConnected();  // must answer without blocking, whatever the backend
    EXPECT_FALSE(MessageFontFamily().isEmpty());
}

}  // namespace
}  // namespace dorvanta
