#include <gtest/gtest.h>

#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include "mainwindow/CategoryPane.h"
#include "mainwindow/EntryPane.h"
#include "mainwindow/MainWindow.h"
#include "platform/MessageService.h"
#include "platform/Settings.h"
#include "platform/System.h"
#include "session/DocumentSession.h"
#include "setup/Setup.h"

namespace dorvanta {
namespace {

const std::string kEntryKey = std::string(TSetup::kUninstallListKey) + "\\Dorvanta";

class SetupTest : public ::testing::Test {
  protected:
    void SetUp() override {
        MessageService::Instance().ClearLog();
        for (Hive hive : {Hive::CurrentUser, Hive::LocalMachine}) {
            TSettingsStore reg(hive);
            reg.DeleteKey("\\SOFTWARE");
        }
    }

    static bool KeyExists(Hive hive, const std::string& path) {
        return TSettingsStore(hive).KeyExists("\\" + path);
    }
    // Puts program settings into both hives, as a used installation has them.
    static void PlantSettings() {
        for (Hive hive : {Hive::CurrentUser, Hive::LocalMachine}) {
            TSettingsStore reg(hive);
            ASSERT_TRUE(reg.OpenKey("SOFTWARE\\QZ\\Dorvanta\\Sub", true));
            reg.WriteInteger("x", 1);
        }
    }
    static const std::vector<AskedQuestion>& Asked() { return MessageService::Instance().Asked(); }
};

TEST_F(SetupTest, RegisterWritesTheEntryAndDeletesEmptyValues) {
    {
        TSettingsStore reg(Hive::LocalMachine);
        ASSERT_TRUE(reg.OpenKey(kEntryKey, true));
        reg.WriteString("Readme", "old");  // an empty property removes its value
    }
    TSetup setup({}, nullptr);
    setup.UpdateComponentUsed = true;
    setup.URLUpdateInfo = "ignored while the update is used";
    setup.RegisterUninstall();

    TSettingsStore reg(Hive::LocalMachine);
    ASSERT_TRUE(reg.OpenKey(kEntryKey, false));
    const std::string program = ProgramPath().toStdString();
    EXPECT_EQ(reg.ReadString("DisplayName"), "Dorvanta");
    EXPECT_EQ(reg.ReadString("DisplayIcon"), program);
    EXPECT_EQ(reg.ReadString("DisplayVersion"), "1.5.0.0");
    EXPECT_EQ(reg.ReadString("UninstallString"), "\"" + program + "\" /uninstall");
    EXPECT_EQ(reg.ReadString("Publisher"), "QZ-Software");
    EXPECT_EQ(reg.ReadString("URLInfoAbout").substr(reg.ReadString("URLInfoAbout").size() - 14),
              "/Programme.htm");
    EXPECT_EQ(reg.ReadString("URLUpdateInfo"),
              "Strg+U im Programm dr\xFC"
              "cken");
    EXPECT_EQ(reg.ReadString("HelpLink").back(), '/');
    EXPECT_EQ(reg.ReadInteger("NoModify"), 1);
    EXPECT_EQ(reg.ReadInteger("NoRepair"), 1);
    EXPECT_FALSE(reg.ValueExists("Readme"));
    EXPECT_FALSE(reg.ValueExists("ModifyPath"));
    EXPECT_EQ(reg.GetValueNames().size(), 10u);
    EXPECT_FALSE(KeyExists(Hive::CurrentUser, kEntryKey));

    setup.NoRepair = false;
    setup.HKCU = true;
    setup.RegisterUninstall();
    TSettingsStore user(Hive::CurrentUser);
    ASSERT_TRUE(user.OpenKey(kEntryKey, false));
    EXPECT_FALSE(user.ValueExists("NoRepair"));
}

TEST_F(SetupTest, EmptyUninstallStringRegistersNothing) {
    TSetup setup({}, nullptr);
    setup.UninstallString.clear();
    setup.RegisterUninstall();
    EXPECT_FALSE(KeyExists(Hive::LocalMachine, kEntryKey));
    EXPECT_FALSE(KeyExists(Hive::LocalMachine, TSetup::kUninstallListKey));
}

TEST_F(SetupTest, UninstallAnsweredYesRemovesEntryAndSettingsOfBothHives) {
    TSetup({}, nullptr).RegisterUninstall();
    PlantSettings();
    MessageService::Instance().QueueAnswer(MsgButton::Yes);
    MessageService::Instance().QueueAnswer(MsgButton::Ok);
    TSetup setup({"/uninstall"}, nullptr);
    EXPECT_TRUE(setup.ExitRequested());
    ASSERT_EQ(Asked().size(), 2u);
    EXPECT_EQ(Asked()[0].text, "Soll Dorvanta wirklich deinstalliert werden?");
    EXPECT_EQ(Asked()[0].caption, "Warnung");
    EXPECT_EQ(Asked()[1].caption, "Deinstallation abgeschlossen");
    EXPECT_TRUE(Asked()[1].text.startsWith("Dorvanta wurde erfolgreich entfernt."));
    EXPECT_FALSE(KeyExists(Hive::LocalMachine, kEntryKey));
    for (Hive hive : {Hive::CurrentUser, Hive::LocalMachine}) {
        EXPECT_FALSE(KeyExists(hive, "SOFTWARE\\QZ\\Dorvanta"));
        EXPECT_TRUE(KeyExists(hive, "SOFTWARE\\QZ"));  // left behind, empty
    }
    // The uninstall run registers nothing again.
    setup.RegisterUninstall();
    EXPECT_FALSE(KeyExists(Hive::LocalMachine, kEntryKey));
}

TEST_F(SetupTest, UninstallAnsweredNoRemovesNothingButStillEnds) {
    PlantSettings();
    MessageService::Instance().QueueAnswer(MsgButton::No);
    TSetup setup({"/uninstall"}, nullptr);
    EXPECT_TRUE(setup.ExitRequested());
    EXPECT_EQ(Asked().size(), 1u);
    EXPECT_TRUE(KeyExists(Hive::CurrentUser, "SOFTWARE\\QZ\\Dorvanta"));
}

TEST_F(SetupTest, NoCompletionMessageWhenSwitchedOff) {
    PlantSettings();
    TSetup setup({}, nullptr);
    EXPECT_FALSE(setup.ExitRequested());
    setup.UninstallMessage = false;
    MessageService::Instance().QueueAnswer(MsgButton::Yes);
    setup.Uninstall();
    EXPECT_EQ(Asked().size(), 1u);
    EXPECT_FALSE(KeyExists(Hive::LocalMachine, "SOFTWARE\\QZ\\Dorvanta"));
    EXPECT_TRUE(setup.ExitRequested());
}

TEST_F(SetupTest, MainWindowRegistersOnAnyOtherArgument) {
    {
        TDocumentSession session;
        TMainWindow form(session, QStringList{"/UNINSTALL"});
    }
    // No uninstall question (the first start's update wizard is only logged).
    for (const auto& q : Asked()) EXPECT_EQ(q.kind, AskedQuestion::Kind::Dialog);
    EXPECT_TRUE(KeyExists(Hive::LocalMachine, kEntryKey));
    TSettingsStore reg(Hive::LocalMachine);
    ASSERT_TRUE(reg.OpenKey(kEntryKey, false));
    EXPECT_EQ(reg.ReadString("URLUpdateInfo"),
              "Strg+U im Programm dr\xFC"
              "cken");
    EXPECT_TRUE(KeyExists(Hive::CurrentUser, "SOFTWARE\\QZ\\Dorvanta"));  // window settings
}

TEST_F(SetupTest, UninstallRunOfTheMainWindowWritesNoSettingsOnItsWayOut) {
    PlantSettings();
    MessageService::Instance().QueueAnswer(MsgButton::Yes);
    MessageService::Instance().QueueAnswer(MsgButton::Ok);
    {
        TDocumentSession session;
        TMainWindow form(session, QStringList{"/uninstall"});
        EXPECT_TRUE(form.Setup()->ExitRequested());
    }
    for (Hive hive : {Hive::CurrentUser, Hive::LocalMachine}) {
        EXPECT_FALSE(KeyExists(hive, "SOFTWARE\\QZ\\Dorvanta"));
        EXPECT_FALSE(KeyExists(hive, kEntryKey));
    }
}

// The real program, answering through the test switches of the message service.
TEST_F(SetupTest, RealProgramUninstallsAndRegistersAgainOnTheNextStart) {
    QTemporaryDir dir;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DORVANTA_REGISTRY_DIR", dir.path());
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("DORVANTA_TEST_ANSWERS", "Yes,Ok");
    env.insert("DORVANTA_TEST_LOG", dir.filePath("asked.log"));
    const QString hklm = dir.filePath("HKEY_LOCAL_MACHINE.reg");

    QProcess first;
    first.setProcessEnvironment(env);
    first.start(DORVANTA_APP_PATH, {});
    // A normal start registers; then it is ended from outside.
    for (int i = 0; i < 100 && !QFile(hklm).exists(); ++i) QThread::msleep(50);
    QThread::msleep(200);
    first.kill();
    first.waitForFinished();
    QFile registered(hklm);
    ASSERT_TRUE(registered.open(QIODevice::ReadOnly));
    EXPECT_TRUE(registered.readAll().contains("UninstallString"));
    registered.close();

    QProcess run;
    run.setProcessEnvironment(env);
    run.start(DORVANTA_APP_PATH, {"/uninstall"});
    ASSERT_TRUE(run.waitForFinished(20000));
    EXPECT_EQ(run.exitCode(), 0);
    QFile log(dir.filePath("asked.log"));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QString asked = QString::fromUtf8(log.readAll());
    EXPECT_TRUE(asked.contains("Soll Dorvanta wirklich deinstalliert werden?"));
    EXPECT_TRUE(asked.contains("Deinstallation abgeschlossen"));
    ASSERT_TRUE(registered.open(QIODevice::ReadOnly));
    const QByteArray machine = registered.readAll();
    EXPECT_FALSE(machine.contains("UninstallString"));
    EXPECT_TRUE(machine.contains("[HKEY_LOCAL_MACHINE\\SOFTWARE\\QZ]"));
    QFile user(dir.filePath("HKEY_CURRENT_USER.reg"));
    ASSERT_TRUE(user.open(QIODevice::ReadOnly));
    EXPECT_FALSE(user.readAll().contains("Dorvanta]"));
}

}  // namespace
}  // namespace dorvanta
