// The HTTP client against the scripted server in data/server.py, on 127.0.0.1 only.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QSignalSpy>
#include <QTcpServer>

#include "tests/support/TempDir.h"
#include "update/HttpClient.h"

namespace dorvanta {
namespace {

// What the server generates (and file.bin holds): byte i is i % 251, so a lost chunk shows.
std::string Pattern(size_t size) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i % 251);
    return bytes;
}
constexpr size_t kFile = 300000;

class HttpClientTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        testing::WriteBytes(root_.File("file.bin"), Pattern(kFile));
        server_ = std::make_unique<QProcess>();
        server_->start("python3",
                       {DORVANTA_UPDATE_TEST_DATA "/server.py", "--root",
                        QString::fromStdString(root_.Path().string()), "--lifetime", "120"});
        while (!server_->canReadLine() && server_->waitForReadyRead(10000)) {
        }
        port_ = server_->readLine().trimmed().toInt();
    }
    static void TearDownTestSuite() {
        server_->terminate();
        if (!server_->waitForFinished(5000)) server_->kill();
        server_.reset();
    }
    void SetUp() override {
        ASSERT_NE(port_, 0) << "the test server did not start";
        client_.Host = QStringLiteral("127.0.0.1:%1").arg(port_);
        client_.BodyFile = QString::fromStdString(body_.File("body"));
        client_.TimeoutMs = 1000;
    }
    std::string Body() const { return testing::ReadBytes(body_.File("body")); }

    static inline testing::TempDir root_;
    static inline std::unique_ptr<QProcess> server_;
    static inline int port_ = 0;
    testing::TempDir body_;
    THttpClient client_;
    QSignalSpy failures_{&client_, &THttpClient::Failure};
    QSignalSpy connectionFailures_{&client_, &THttpClient::ConnectionFailed};
};

TEST_F(HttpClientTest, OutcomesAndProgress) {
    QTcpServer closed;  // a port nobody listens on any more
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
    const QString refused = QStringLiteral("http://127.0.0.1:%1/file.bin").arg(closed.serverPort());
    closed.close();

    enum Signal { kNone, kFailure, kConnectionFailed };
    struct Case {
        QString url;
        bool ok;
        Signal signal;
        size_t body;     // the file then holds Pattern(body)
        qint64 total;    // TotalSize() at every packet
        int minPackets;  // with Received() growing each time
    } const cases[] = {
        {"/file.bin", true, kNone, kFile, kFile, 1},
        {"/redirect?to=/file.bin", true, kNone, kFile, kFile, 1},
        {"/slow?bytes=20000&delay=0.02", true, kNone, 20000, 20000, 4},
        {"/nolength?bytes=20000&delay=0.02", true, kNone, 20000, 0, 4},
        {"/status/404", false, kFailure, 0, 0, 0},
        {"/status/500", false, kFailure, 0, 0, 0},
        {"/status/302", false, kFailure, 0, 0, 0},  // a redirect without a target
        {"file:///etc/hostname", false, kFailure, 0, 0, 0},
        {refused, false, kConnectionFailed, 0, 0, 0},
        {"/stall", false, kConnectionFailed, 0, 0, 0},
    };
    std::vector<std::pair<qint64, qint64>> packets;  // Received, TotalSize
    QObject::connect(&client_, &THttpClient::PacketReceived,
                     [&] { packets.emplace_back(client_.Received(), client_.TotalSize()); });
    for (const Case& c : cases) {
        SCOPED_TRACE(c.url.toStdString());
        packets.clear();
        failures_.clear();
        connectionFailures_.clear();
        QElapsedTimer timer;
        timer.start();
        EXPECT_EQ(client_.Get(c.url), c.ok);
        EXPECT_LT(timer.elapsed(), 3000);
        EXPECT_FALSE(client_.Busy());
        EXPECT_EQ(failures_.count(), int(c.signal == kFailure));
        for (const auto& args : failures_) EXPECT_EQ(args[0].toString(), "get");
        EXPECT_EQ(connectionFailures_.count(), int(c.signal == kConnectionFailed));
        EXPECT_TRUE(Body() == Pattern(c.body)) << Body().size() << " bytes";
        EXPECT_EQ(client_.Received(), qint64(c.body));
        EXPECT_GE(int(packets.size()), c.minPackets);
        for (size_t i = 0; i < packets.size(); ++i) {
            EXPECT_EQ(packets[i].second, c.total);
            EXPECT_GT(packets[i].first, i > 0 ? packets[i - 1].first : 0);
        }
    }
}

TEST_F(HttpClientTest, AbortFromPacketHandler) {
    int packets = 0;
    bool nested = true;
    auto connection = QObject::connect(&client_, &THttpClient::PacketReceived, [&] {
        ++packets;
        nested = client_.Get("/file.bin");  // busy: refused at once
        client_.Abort();
    });
    QElapsedTimer timer;
    timer.start();
    EXPECT_FALSE(client_.Get("/slow?bytes=1000000&delay=0.05"));  // a minute if not aborted
    EXPECT_LT(timer.elapsed(), 2000);
    EXPECT_EQ(packets, 1);
    EXPECT_FALSE(nested);
    EXPECT_FALSE(client_.Busy());
    EXPECT_EQ(failures_.count() + connectionFailures_.count(), 0);
    EXPECT_EQ(Body(), "");

    // Nothing of the aborted fetch lingers.
    QObject::disconnect(connection);
    EXPECT_TRUE(client_.Get("/file.bin"));
    EXPECT_TRUE(Body() == Pattern(kFile));
}

}  // namespace
}  // namespace dorvanta
