// The whole update against a web server that we did not write (Python's
// http.server on 127.0.0.1): a release made with dorvanta-release is found,
// downloaded, checked, unpacked and installed by the completed script into a
// throw-away installation folder whose path holds a blank, a quote and a '$'.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTimer>

#include "platform/MessageService.h"
#include "platform/Settings.h"
#include "store/DateTime.h"
#include "tests/update/TestSupport.h"
#include "update/HttpClient.h"
#include "update/UpdateWizard.h"

namespace dorvanta {
namespace {

void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QByteArray ReadFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class UpdateFlowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(work_.isValid());
        MessageService::Instance().ClearLog();
        // The private temporary folder of the update lies below the test's folder.
        qputenv("XDG_RUNTIME_DIR", work_.filePath("run").toUtf8());
        QDir().mkpath(work_.filePath("run"));
        // Private (0700), or the update would use a shared folder instead.
        QFile::setPermissions(work_.filePath("run"),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        install_ = work_.filePath("inst dir's $HOME `x`/");
        QDir().mkpath(install_);
        WriteFile(install_ + "dorvanta", "old release");
        QDir().mkpath(work_.filePath("new"));
        WriteFile(work_.filePath("new/dorvanta"), "new release");
        QDir().mkpath(work_.filePath("site"));
        const QString today = QDate::currentDate().toString("dd.MM.yyyy");
        QProcess release;
        release.start(
            DORVANTA_RELEASE_TOOL,
            {"pack", "--key", DORVANTA_UPDATE_TEST_DATA "/TEST-ONLY-update-key.sec", "--program",
             work_.filePath("new/dorvanta"), "--version", "1.6.0.0", "--date", today, "--news",
             today + ": Neue Suche", "--news", "01.01.2001: Alt", "--out", work_.filePath("site")});
        ASSERT_TRUE(release.waitForFinished(30000));
        ASSERT_EQ(release.exitCode(), 0) << release.readAllStandardError().toStdString();

        server_.setWorkingDirectory(work_.filePath("site"));
        server_.start("python3", {"-u", "-m", "http.server", "--bind", "127.0.0.1", "0"});
        ASSERT_TRUE(server_.waitForStarted(10000));
        // "Serving HTTP on 127.0.0.1 port 43567 (http://127.0.0.1:43567/) ..."
        QByteArray line;
        for (int i = 0; i < 100 && !line.contains("port"); ++i) {
            server_.waitForReadyRead(100);
            line += server_.readAllStandardOutput();
        }
        const int at = line.indexOf("port ");
        ASSERT_GE(at, 0) << line.toStdString();
        host_ = "127.0.0.1:" + QString::fromLatin1(line.mid(at + 5).split(' ').first());
    }
    void TearDown() override {
        server_.kill();
        server_.waitForFinished(5000);
    }

    // A wizard for a program released a year ago, shown and at its first step; it
    // trusts the TEST key the release was signed with.
    std::unique_ptr<TUpdateWizard> Wizard() {
        auto wizard = std::make_unique<TUpdateWizard>();
        wizard->UpdateKey = testing::TestUpdateKey();
        wizard->ProgramName = "Dorvanta";
        wizard->ZIPFileName = "Dorvanta.zip";
        wizard->RegistryKey = "Dorvanta";
        wizard->HKCU = true;
        wizard->ProgramDate = NowDateTime() - 365;
        wizard->ProgramFile = [this] { return install_ + "dorvanta"; };
        wizard->HTTP->Host = host_;
        wizard->show();
        return wizard;
    }

    QTemporaryDir work_;
    QString install_;
    QProcess server_;
    QString host_;
};

TEST_F(UpdateFlowTest, ANewReleaseIsDownloadedCheckedAndInstalled) {
    auto wizard = Wizard();
    wizard->Button_NextClick();
    EXPECT_FALSE(wizard->Button_Next->isEnabled());
    wizard->Button_CheckClick();
    ASSERT_EQ(wizard->Step, 2) << MessageService::Instance().Asked().size();
    ASSERT_TRUE(wizard->UpdateAvailable);
    // Only the news of the program's day or later are listed.
    EXPECT_TRUE(wizard->Label_CheckResult->text().contains(": Neue Suche"));
    EXPECT_FALSE(wizard->Label_CheckResult->text().contains("Alt"));
    wizard->Button_NextClick();  // the download runs
    EXPECT_FALSE(wizard->DownloadFailed);
    EXPECT_TRUE(wizard->Button_Next->isEnabled());
    wizard->Button_NextClick();
    wizard->CheckBox_Restart->setChecked(false);
    wizard->Button_NextClick();  // preparation
    ASSERT_TRUE(wizard->InstallReady);
    EXPECT_EQ(wizard->Pages->currentIndex(), 5);
    EXPECT_EQ(wizard->Button_Next->text(), "Beenden");
    const QString script = wizard->TempDir + "Update.bat";
    EXPECT_FALSE(QFile::exists(wizard->TempDir + "Dorvanta.zip"));
    const QStringList lines = QString::fromUtf8(ReadFile(script)).split('\n', Qt::SkipEmptyParts);
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_EQ(lines.last(), "rm -f -- '" + wizard->TempDir + "Update.bat'");

    // The script, run as it will be after the program's end, replaces the program
    // file and removes itself; the odd folder name runs nothing.
    QProcess sh;
    sh.setWorkingDirectory(wizard->TempDir);
    sh.start("/bin/sh", {script});
    ASSERT_TRUE(sh.waitForFinished(30000));
    EXPECT_EQ(sh.exitCode(), 0) << sh.readAllStandardError().toStdString();
    EXPECT_EQ(ReadFile(install_ + "dorvanta"), "new release");
    EXPECT_FALSE(QFile::exists(script));

    // The end of the program records the next due date: today + 7 - 1.
    wizard.reset();
    TSettingsStore reg(Hive::CurrentUser);
    ASSERT_TRUE(reg.OpenKey("Software\\QZ\\Dorvanta", false));
    EXPECT_DOUBLE_EQ(reg.ReadDateTime("Update"), std::floor(NowDateTime()) + 6);
}

// A build without a key of its own: the check and the news work, the downloaded
// archive is deleted at once and nothing can be installed.
TEST_F(UpdateFlowTest, ABuildWithoutAKeyInstallsNothing) {
    auto wizard = Wizard();
    wizard->UpdateKey.clear();
    wizard->Button_NextClick();
    wizard->Button_CheckClick();
    ASSERT_EQ(wizard->Step, 2);
    ASSERT_TRUE(wizard->UpdateAvailable);
    EXPECT_TRUE(wizard->Label_CheckResult->text().contains(": Neue Suche"));
    wizard->Button_NextClick();  // the download runs
    EXPECT_EQ(wizard->Step, 3);
    EXPECT_EQ(wizard->Label_Download->text(), QString::fromUtf8(kMsgNoUpdateKey));
    EXPECT_FALSE(wizard->Button_Next->isEnabled());
    EXPECT_FALSE(wizard->CancelDownload->isVisible());
    EXPECT_TRUE(wizard->Button_Cancel->isEnabled());
    EXPECT_EQ(QDir(wizard->TempDir).entryList(QDir::Files | QDir::Hidden), QStringList());
    EXPECT_EQ(ReadFile(install_ + "dorvanta"), "old release");
    // Even if the step were reached: an empty key passes no archive.
    wizard->Button_NextClick();
    wizard->Button_NextClick();
    EXPECT_FALSE(wizard->InstallReady);
    EXPECT_FALSE(QFile::exists(wizard->TempDir + "Update.bat"));
}

TEST_F(UpdateFlowTest, AForgedArchiveOrAMissingFileIsRefused) {
    // A byte changed on its way: the signature no longer fits.
    const QString archive = work_.filePath("site/Updates/Dorvanta-1.6.0.0.zip");
    QByteArray bytes = ReadFile(archive);
    ASSERT_FALSE(bytes.isEmpty());
    bytes[bytes.size() / 2] = static_cast<char>(bytes[bytes.size() / 2] ^ 0x01);
    WriteFile(archive, bytes);
    auto wizard = Wizard();
    wizard->Button_NextClick();
    wizard->Button_CheckClick();
    wizard->Button_NextClick();
    wizard->Button_NextClick();
    wizard->Button_NextClick();
    EXPECT_FALSE(wizard->InstallReady);
    EXPECT_EQ(wizard->Pages->currentIndex(), 4);
    EXPECT_TRUE(
        wizard->Label3->text().startsWith("Die Installationsdateien wurden nicht gefunden."));
    EXPECT_FALSE(wizard->Button_Next->isEnabled());
    EXPECT_FALSE(QFile::exists(wizard->TempDir + "Dorvanta.zip"));
    EXPECT_FALSE(QFile::exists(wizard->TempDir + "dorvanta"));  // never extracted
    wizard->InstallReady = false;

    // No "Updates.ini" on the server: the connection message, the check page stays.
    QFile::remove(work_.filePath("site/Updates.ini"));
    auto again = Wizard();
    MessageService::Instance().QueueAnswer(MsgButton::Ok);
    again->Button_NextClick();
    again->Button_CheckClick();
    EXPECT_EQ(again->Step, 1);
    EXPECT_EQ(MessageService::Instance().Asked().back().text,
              "Es besteht keine Internetverbindung.");
}

// The release tool makes no archive name the program would refuse ("File" must be
// a bare file name without "..").
TEST(ReleaseToolTest, RefusesNamesThatAreNoBareFileName) {
    QTemporaryDir work;
    WriteFile(work.filePath("dorvanta"), "program");
    struct Case {
        const char* version;
        const char* programName;
        int exitCode;
    } const cases[] = {
        {"1.6.", "Dorvanta", 2}, {"1..6", "Dorvanta", 2},    {"1.6", "Dor..vanta", 2},
        {"1.6", "Dorvanta.", 2}, {"1.6.0.0", "Dorvanta", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.version + std::string(" ") + c.programName);
        QProcess release;
        release.start(
            DORVANTA_RELEASE_TOOL,
            {"pack", "--key", DORVANTA_UPDATE_TEST_DATA "/TEST-ONLY-update-key.sec", "--program",
             work.filePath("dorvanta"), "--version", c.version, "--program-name", c.programName,
             "--date", "01.06.2026", "--news", "01.06.2026: x", "--out", work.filePath("site")});
        ASSERT_TRUE(release.waitForFinished(30000));
        EXPECT_EQ(release.exitCode(), c.exitCode) << release.readAllStandardError().toStdString();
    }
}

// A download the user aborts: the partial archive goes after a pause, and
// "Erneut versuchen" starts the download again. Served by the scripted server.
TEST(UpdateDownloadTest, AnAbortedDownloadIsDeletedAndCanBeRetried) {
    QTemporaryDir root;
    qputenv("XDG_RUNTIME_DIR", root.filePath("run").toUtf8());
    QDir().mkpath(root.filePath("run"));
    QFile::setPermissions(root.filePath("run"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    WriteFile(root.filePath("Updates.ini"),
              "[Dorvanta]\r\nDate=01.01.2099\r\nFile=slow?bytes=400000&delay=0.05\r\n");
    QProcess server;
    server.start("python3", {DORVANTA_UPDATE_TEST_DATA "/server.py", "--root", root.path(),
                             "--lifetime", "60"});
    ASSERT_TRUE(server.waitForReadyRead(10000));
    const QString port = QString::fromLatin1(server.readLine()).trimmed();

    TUpdateWizard wizard;
    wizard.ProgramName = "Dorvanta";
    wizard.ZIPFileName = "Dorvanta.zip";
    wizard.RegistryKey = "Dorvanta";
    wizard.HKCU = true;
    wizard.ProgramDate = NowDateTime();
    wizard.HTTP->Host = "127.0.0.1:" + port;
    wizard.PartialDeleteDelayMs = 200;
    wizard.show();
    wizard.Button_NextClick();
    wizard.Button_CheckClick();
    ASSERT_EQ(wizard.Step, 2);
    for (int attempt = 0; attempt < 2; ++attempt) {
        bool sawTransfer = false;
        QTimer::singleShot(400, &wizard, [&] {
            sawTransfer = wizard.Downloading && QFile::exists(wizard.TempDir + "Dorvanta.zip");
            MessageService::Instance().QueueAnswer(MsgButton::Yes);
            wizard.CancelDownload->click();  // "Soll der Download wirklich abgebrochen werden?"
        });
        if (attempt == 0) {
            wizard.Button_NextClick();
        } else {
            wizard.CancelDownload->click();  // "Erneut versuchen"
        }
        EXPECT_TRUE(sawTransfer) << attempt;
        EXPECT_EQ(wizard.Step, 3);
        EXPECT_TRUE(wizard.DownloadFailed);
        EXPECT_EQ(wizard.CancelDownload->text(), "Erneut versuchen");
        EXPECT_FALSE(wizard.Button_Next->isEnabled());
        EXPECT_TRUE(
            wizard.Label_Download->text().startsWith("Der Download wurde nicht vollendet."));
        EXPECT_FALSE(QFile::exists(wizard.TempDir + "Dorvanta.zip"));
    }
    server.terminate();
    server.waitForFinished(5000);
}

}  // namespace
}  // namespace dorvanta
