// The wizard against hostile update servers (data/server.py on 127.0.0.1): huge
// and endless answers, answers that never stall yet never end, a user who cancels
// the check, and "File" values that name something other than a file in
// "/Updates/". The limits are shortened through the wizard's fields, so every case
// ends in well under two seconds.
#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>

#include "platform/MessageService.h"
#include "platform/Settings.h"
#include "store/DateTime.h"
#include "tests/update/TestSupport.h"
#include "update/HttpClient.h"
#include "update/UpdateComponent.h"
#include "update/UpdateWizard.h"

namespace dorvanta {
namespace {

constexpr const char* kNoConnection = "Es besteht keine Internetverbindung.";

void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

class UpdateHardeningTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(work_.isValid());
        MessageService::Instance().ClearLog();
        qputenv("XDG_RUNTIME_DIR", work_.filePath("run").toUtf8());
        ASSERT_TRUE(QDir().mkpath(work_.filePath("run")));
        QFile::setPermissions(work_.filePath("run"),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        ASSERT_TRUE(QDir().mkpath(work_.filePath("site/Updates")));
        server_ = std::make_unique<testing::ScriptedServer>(work_.filePath("site"));
        ASSERT_TRUE(server_->Running());
    }

    // "Updates.ini" naming `file` as the archive of a release newer than the program.
    void Release(const QByteArray& file) {
        WriteFile(work_.filePath("site/Updates.ini"),
                  "[Dorvanta]\r\nDate=01.01.2099\r\nFile=" + file + "\r\n");
    }
    // The test's server, its log cleared; `routes` answer a path with a scripted one.
    testing::ScriptedServer& Server(const QStringList& routes = {}) {
        server_->SetRoutes(routes);
        server_->ClearRequests();
        return *server_;
    }
    // A wizard with short limits, shown, for a program released a year ago.
    std::unique_ptr<TUpdateWizard> Wizard() {
        auto wizard = std::make_unique<TUpdateWizard>();
        Setup(*wizard);
        wizard->show();
        return wizard;
    }
    void Setup(TUpdateWizard& wizard) {
        wizard.ProgramName = "Dorvanta";
        wizard.ZIPFileName = "Dorvanta.zip";
        wizard.RegistryKey = "Dorvanta";
        wizard.HKCU = true;
        wizard.ProgramDate = NowDateTime() - 365;
        wizard.UpdateKey = testing::TestUpdateKey();
        wizard.HTTP->Host = server_->Host();
        wizard.HTTP->TimeoutMs = 500;
        wizard.CheckDeadlineMs = 400;
        wizard.ArchiveMaxBytes = 4 << 20;
        wizard.DownloadMinBytesPerSecond = 1024;
        wizard.DownloadRateWindowMs = 300;
        wizard.PartialDeleteDelayMs = 0;
    }
    // The files in the private temporary folder.
    QStringList TempFiles(const TUpdateWizard& wizard) const {
        return QDir(wizard.TempDir).entryList(QDir::Files | QDir::Hidden | QDir::System);
    }
    // Runs `step`; a transfer under it that has not ended after 5 s is aborted, so
    // a limit that does not work fails the test instead of holding it up.
    static void Guarded(TUpdateWizard& wizard, const std::function<void()>& step) {
        QTimer guard;
        guard.setSingleShot(true);
        QObject::connect(&guard, &QTimer::timeout, [&wizard] { wizard.HTTP->Abort(); });
        guard.start(5000);
        step();
    }
    static QStringList MessagesAsked() {
        QStringList texts;
        for (const auto& q : MessageService::Instance().Asked())
            if (q.kind == AskedQuestion::Kind::Message) texts << q.text;
        return texts;
    }

    QTemporaryDir work_;
    std::unique_ptr<testing::ScriptedServer> server_;
};

// Item 2: "Updates.ini" is cut off as soon as it passes the 1 MiB the reader
// accepts, and no temporary file stays after any check, failed or not.
TEST_F(UpdateHardeningTest, TheCheckStopsAtTheReadersLimitAndLeavesNoFile) {
    struct Case {
        const char* route;  // what answers "/Updates.ini"; empty: the file itself
        bool fetched;       // the check gets to the result page
    } const cases[] = {
        {"/endless", false},
        {"/huge?bytes=900000000", false},
        {"/nolength?bytes=3000000&delay=0&chunk=65536", false},
        {"/huge?bytes=1048577", false},
        {"/huge?bytes=1048576", true},  // exactly the limit: read (no section, no update)
        {"/status/404", false},
        {"/stall", false},
        {"", true},
    };
    Release("Dorvanta.zip");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.route);
        MessageService::Instance().ClearLog();
        Server(*c.route ? QStringList{QString("/Updates.ini=") + c.route} : QStringList());
        auto wizard = Wizard();
        wizard->CheckDeadlineMs = 60000;  // the real one: the size limit ends it
        wizard->Button_NextClick();
        QElapsedTimer timer;
        timer.start();
        wizard->Button_CheckClick();
        EXPECT_LT(timer.elapsed(), 1500);
        EXPECT_LE(wizard->HTTP->Received(), 1 << 20);
        EXPECT_EQ(wizard->Step, c.fetched ? 2 : 1);
        EXPECT_EQ(MessagesAsked(), c.fetched ? QStringList() : QStringList{kNoConnection});
        EXPECT_EQ(TempFiles(*wizard), QStringList());
        EXPECT_TRUE(wizard->IniFileName.isEmpty());
    }
}

// Item 3: a check that never stalls ends at its deadline; a download ends when
// the rate falls below the minimum, but not while it is useful.
TEST_F(UpdateHardeningTest, TransfersEndAtTheirDeadlines) {
    Server({"/Updates.ini=/drip?delay=0.02"});
    auto wizard = Wizard();
    wizard->Button_NextClick();
    QElapsedTimer timer;
    timer.start();
    Guarded(*wizard, [&] { wizard->Button_CheckClick(); });
    EXPECT_GE(timer.elapsed(), 350);
    EXPECT_LT(timer.elapsed(), 1500);
    EXPECT_EQ(wizard->Step, 1);
    EXPECT_EQ(MessagesAsked(), QStringList{kNoConnection});
    EXPECT_EQ(TempFiles(*wizard), QStringList());

    struct Case {
        const char* file;
        bool complete;
        int maxMs;
    } const cases[] = {
        {"drip?delay=0.02", false, 1500},                         // 50 bytes a second
        {"slow?bytes=2000000&delay=0.02&chunk=10", false, 1500},  // 500 bytes a second
        {"slow?bytes=20000&delay=0.01&chunk=500", true, 2000},    // 50 KB a second
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        Release(c.file);
        Server();
        auto download = Wizard();
        download->Button_NextClick();
        download->Button_CheckClick();
        ASSERT_EQ(download->Step, 2);
        timer.restart();
        Guarded(*download, [&] { download->Button_NextClick(); });
        EXPECT_LT(timer.elapsed(), c.maxMs);
        EXPECT_FALSE(download->Downloading);
        EXPECT_EQ(QFile(download->TempDir + "Dorvanta.zip").size(), c.complete ? 20000 : 0);
        // A download that failed surfaces at the installation step.
        if (!c.complete) {
            download->Button_NextClick();
            download->Button_NextClick();
            EXPECT_EQ(download->Label3->text(), QString::fromUtf8(kMsgArchiveNotFound));
        }
    }
}

// Item 3: "Abbrechen" (or any close) during the check stops the transfer at once,
// so whoever showed the wizard goes on.
TEST_F(UpdateHardeningTest, CancellingTheCheckEndsItAtOnce) {
    Server({"/Updates.ini=/drip?delay=0.02"});
    const std::pair<const char*, std::function<void(TUpdateWizard&)>> ways[] = {
        {"Abbrechen", [](TUpdateWizard& w) { w.Button_Cancel->click(); }},
        {"Escape", [](TUpdateWizard& w) { QTest::keyClick(&w, Qt::Key_Escape); }},
        {"close", [](TUpdateWizard& w) { w.close(); }},
    };
    for (const auto& [name, cancel] : ways) {
        SCOPED_TRACE(name);
        MessageService::Instance().ClearLog();
        TUpdateWizard wizard;
        Setup(wizard);
        wizard.CheckDeadlineMs = 60000;  // the real one: only the cancel can end it
        wizard.HTTP->TimeoutMs = 10000;
        QElapsedTimer timer;
        qint64 checkEnded = -1;
        QTimer::singleShot(0, &wizard, [&] {
            wizard.Button_NextClick();
            wizard.Button_CheckClick();
            checkEnded = timer.elapsed();
        });
        QTimer::singleShot(200, &wizard, [&] { cancel(wizard); });
        // Should the cancel not work, the test still ends.
        QTimer::singleShot(5000, &wizard, [&] { wizard.HTTP->Abort(); });
        timer.start();
        wizard.exec();
        EXPECT_LT(timer.elapsed(), 1000);
        EXPECT_GE(checkEnded, 0);
        EXPECT_LT(checkEnded, 1000);
        EXPECT_FALSE(wizard.isVisible());
        EXPECT_FALSE(wizard.HTTP->Busy());
        EXPECT_EQ(MessagesAsked(), QStringList());  // no "keine Internetverbindung"
        EXPECT_EQ(wizard.Step, 1);
        EXPECT_EQ(TempFiles(wizard), QStringList());
    }

    // At start-up: the program goes on to its main window.
    MessageService::Instance().ClearLog();
    TSettingsStore(Hive::CurrentUser).DeleteKey("\\Software\\QZ\\DorvantaHardening");
    QWidget owner;
    TUpdateComponent component(&owner, {});
    component.HKCU = true;
    component.RegistryKey = "DorvantaHardening";
    component.ProgramFile = [] { return QStringLiteral("/opt/dorvanta/dorvanta"); };
    component.DriveOf = [](const QString&) { return DriveType::Fixed; };
    component.ProgramFileDate = [] { return NowDateTime() - 365; };
    component.Packaged = false;
    Setup(*component.UpdateWizard());
    MessageService::Instance().QueueDialogDriver([](QDialog& dialog) {
        auto& wizard = static_cast<TUpdateWizard&>(dialog);
        QTimer::singleShot(200, &wizard, [&wizard] { wizard.Button_Cancel->click(); });
        QTimer::singleShot(5000, &wizard, [&wizard] { wizard.HTTP->Abort(); });
        wizard.Button_NextClick();
        wizard.Button_CheckClick();
    });
    QElapsedTimer timer;
    timer.start();
    component.AutomaticUpdate({}, false, 0);  // a first start: the wizard is due
    EXPECT_LT(timer.elapsed(), 1000);
    EXPECT_FALSE(component.ExitRequested());
    EXPECT_EQ(MessagesAsked(), QStringList());
    TSettingsStore(Hive::CurrentUser).DeleteKey("\\Software\\QZ\\DorvantaHardening");
}

// Item 4: the archive streams to the file through a bounded buffer, capped at the
// size the server announced, else at the wizard's limit.
TEST_F(UpdateHardeningTest, TheArchiveIsCappedAndStreamed) {
    struct Case {
        const char* file;
        qint64 size;  // of the archive afterwards, 0: none
    } const cases[] = {
        {"endless", 0},                     // past the limit: stopped, deleted
        {"huge?bytes=5000000000", 0},       // announced over the limit: no body read
        {"endless?length=100000", 100000},  // no more than announced
        {"huge?bytes=3000000", 3000000},    // under the limit: whole
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        Release(c.file);
        Server();
        auto wizard = Wizard();
        wizard->Button_NextClick();
        wizard->Button_CheckClick();
        ASSERT_EQ(wizard->Step, 2);
        // The progress display processes events on every packet; the client's
        // reading must not nest under it (each level would pin a block of the body).
        // And no packet brings more than the client's bounded buffer holds.
        int depth = 0, maxDepth = 0;
        qint64 last = 0, maxPacket = 0;
        QObject::connect(wizard->HTTP, &THttpClient::PacketReceived, wizard.get(), [&] {
            maxDepth = std::max(maxDepth, ++depth);
            maxPacket = std::max(maxPacket, wizard->HTTP->Received() - last);
            last = wizard->HTTP->Received();
            QCoreApplication::processEvents();
            --depth;
        });
        QElapsedTimer timer;
        timer.start();
        wizard->Button_NextClick();
        EXPECT_LT(timer.elapsed(), 1500);
        EXPECT_LE(maxDepth, 1);
        EXPECT_LE(maxPacket, testing::kBoundedPacket);
        EXPECT_LE(wizard->HTTP->Received(), wizard->ArchiveMaxBytes);
        EXPECT_EQ(QFile(wizard->TempDir + "Dorvanta.zip").size(), c.size);
    }
}

// A download that the server refuses, cuts off or starves is told as failed, not
// as downloaded, and "Erneut versuchen" fetches the archive once it is served.
TEST_F(UpdateHardeningTest, AFailedDownloadIsToldAndCanBeRetried) {
    WriteFile(work_.filePath("site/Updates/good.zip"), "the archive");
    Release("good.zip");
    const char* const routes[] = {
        "/Updates/good.zip=/status/404",       // an error status
        "/Updates/good.zip=/status/503",       // a server that is down
        "/Updates/good.zip=/endless",          // past the archive limit
        "/Updates/good.zip=/drip?delay=0.02",  // below the minimum rate
        "/Updates/good.zip=/stall",            // silent: the stall time-out
    };
    for (const char* route : routes) {
        SCOPED_TRACE(route);
        Server();
        auto wizard = Wizard();
        wizard->Button_NextClick();
        wizard->Button_CheckClick();
        ASSERT_EQ(wizard->Step, 2);
        Server({route});
        Guarded(*wizard, [&] { wizard->Button_NextClick(); });
        EXPECT_EQ(wizard->Step, 3);
        EXPECT_TRUE(wizard->DownloadFailed);
        EXPECT_TRUE(wizard->Label_Download->text().startsWith(
            "Der Download wurde nicht vollendet.\n\nKlicken Sie auf \"Erneut versuchen\""));
        EXPECT_EQ(wizard->CancelDownload->text(), "Erneut versuchen");
        EXPECT_TRUE(wizard->CancelDownload->isEnabled());
        EXPECT_FALSE(wizard->Button_Next->isEnabled());
        EXPECT_EQ(TempFiles(*wizard), QStringList());

        Server();
        Guarded(*wizard, [&] { wizard->CancelDownload->click(); });
        EXPECT_EQ(wizard->Step, 3);
        EXPECT_TRUE(wizard->isVisible());
        EXPECT_FALSE(wizard->DownloadFailed);
        EXPECT_TRUE(wizard->Label_Download->text().startsWith(
            "Die Update-Dateien wurden erfolgreich heruntergeladen."));
        EXPECT_TRUE(wizard->Button_Next->isEnabled());
        EXPECT_EQ(TempFiles(*wizard), QStringList{"Dorvanta.zip"});
    }
}

// Item 6: a "File" that is no bare file name is refused before any request, with
// the installation step's "nicht gefunden" message; a bare one is sent
// percent-encoded.
TEST_F(UpdateHardeningTest, OnlyABareFileNameIsRequested) {
    const char* const hostile[] = {"../../x",     "..",       "../Updates.ini", "a/b.zip",
                                   "/etc/passwd", "a\\b.zip", "..\\x",          "x..zip",
                                   "a\tb.zip",    "",         "\x7f.zip"};
    for (const char* name : hostile) {
        SCOPED_TRACE(name);
        Release(name);
        auto& server = Server();
        auto wizard = Wizard();
        wizard->Button_NextClick();
        wizard->Button_CheckClick();
        ASSERT_EQ(wizard->Step, 2);
        wizard->Button_NextClick();
        EXPECT_EQ(wizard->Step, 3);
        EXPECT_EQ(wizard->Label_Download->text(), QString::fromUtf8(kMsgArchiveNotFound));
        EXPECT_FALSE(wizard->Button_Next->isEnabled());
        EXPECT_FALSE(wizard->CancelDownload->isVisible());
        EXPECT_EQ(server.Requests(), QStringList{"/Updates.ini"});
        EXPECT_EQ(TempFiles(*wizard), QStringList());
    }

    // No "File" at all: the same.
    WriteFile(work_.filePath("site/Updates.ini"), "[Dorvanta]\r\nDate=01.01.2099\r\n");
    {
        auto& server = Server();
        auto wizard = Wizard();
        wizard->Button_NextClick();
        wizard->Button_CheckClick();
        wizard->Button_NextClick();
        EXPECT_EQ(wizard->Label_Download->text(), QString::fromUtf8(kMsgArchiveNotFound));
        EXPECT_EQ(server.Requests(), QStringList{"/Updates.ini"});
    }

    // Blanks, '#', '?', '%' and umlauts reach the server encoded, as one file name.
    const QString odd = QString::fromUtf8("Dorvanta 1.6 #1?ä%.zip");
    WriteFile(work_.filePath("site/Updates/") + odd, "the archive");
    Release(odd.toUtf8());
    auto& server = Server();
    auto wizard = Wizard();
    wizard->Button_NextClick();
    wizard->Button_CheckClick();
    wizard->Button_NextClick();
    EXPECT_FALSE(wizard->DownloadFailed);
    EXPECT_EQ(server.Requests(),
              QStringList({"/Updates.ini", "/Updates/Dorvanta%201.6%20%231%3F%C3%A4%25.zip"}));
    QFile archive(wizard->TempDir + "Dorvanta.zip");
    ASSERT_TRUE(archive.open(QIODevice::ReadOnly));
    EXPECT_EQ(archive.readAll(), "the archive");
}

}  // namespace
}  // namespace dorvanta
