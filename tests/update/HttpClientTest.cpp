// The HTTP client against the scripted server in data/server.py, on 127.0.0.1 only.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTcpServer>
#include <QThread>
#include <filesystem>

#include "tests/support/TempDir.h"
#include "tests/update/TestSupport.h"
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
    bool BodyExists() const { return std::filesystem::exists(body_.File("body")); }

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
        EXPECT_EQ(BodyExists(), c.ok);  // a failed fetch leaves no file, not even an empty one
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
    EXPECT_FALSE(BodyExists());

    // Nothing of the aborted fetch lingers.
    QObject::disconnect(connection);
    EXPECT_TRUE(client_.Get("/file.bin"));
    EXPECT_TRUE(Body() == Pattern(kFile));
}

// The limits end a transfer as soon as they are passed: a body over the size limit
// or over what the server announced, an overall deadline, and a minimum rate over a
// window. Bodies are generated by the server while sent, never held whole.
TEST_F(HttpClientTest, LimitsEndTheTransferEarly) {
    enum Signal { kNone, kFailure, kConnectionFailed };
    constexpr qint64 kMiB = 1 << 20;
    struct Case {
        const char* url;
        qint64 maxBody;
        int deadlineMs;
        qint64 minRate;  // bytes per second over the window
        int windowMs;
        bool ok;
        Signal signal;
        qint64 maxReceived;
        int minMs, maxMs;
    } const cases[] = {
        // Size: stopped at the first piece past the limit, or before any body when
        // the announced length is over it; an announced length caps the body.
        {"/endless", kMiB, 0, 0, 0, false, kFailure, kMiB, 0, 1000},
        {"/nolength?bytes=3000000&delay=0&chunk=65536", kMiB, 0, 0, 0, false, kFailure, kMiB, 0,
         1000},
        {"/huge?bytes=3000000000", kMiB, 0, 0, 0, false, kFailure, 0, 0, 1000},
        {"/huge?bytes=1048576", kMiB, 0, 0, 0, true, kNone, kMiB, 0, 1000},
        {"/endless?length=5000", kMiB, 0, 0, 0, true, kNone, 5000, 0, 1000},
        // Time: a byte every 20 ms never stalls, yet the deadline ends it; so does a
        // rate below the minimum, while a useful rate goes on.
        {"/drip?delay=0.02", kMiB, 400, 0, 0, false, kConnectionFailed, 100, 350, 1500},
        {"/slow?bytes=1000000&delay=0.02&chunk=10", kMiB, 0, 2000, 300, false, kConnectionFailed,
         1000, 250, 1500},
        {"/slow?bytes=30000&delay=0.01&chunk=1000", kMiB, 5000, 2000, 100, true, kNone, 30000, 0,
         2000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.url);
        failures_.clear();
        connectionFailures_.clear();
        client_.MaxBodySize = c.maxBody;
        client_.DeadlineMs = c.deadlineMs;
        client_.MinBytesPerSecond = c.minRate;
        client_.RateWindowMs = c.windowMs;
        QElapsedTimer timer;
        timer.start();
        EXPECT_EQ(client_.Get(c.url), c.ok);
        EXPECT_GE(timer.elapsed(), c.minMs);
        EXPECT_LT(timer.elapsed(), c.maxMs);
        EXPECT_EQ(failures_.count(), int(c.signal == kFailure));
        EXPECT_EQ(connectionFailures_.count(), int(c.signal == kConnectionFailed));
        EXPECT_LE(client_.Received(), c.maxReceived);
        EXPECT_EQ(BodyExists(), c.ok);
        if (c.ok) {
            EXPECT_EQ(qint64(Body().size()), c.maxReceived);
        }
    }
}

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif
#else
constexpr bool kAddressSanitizer = false;
#endif

long ResidentKb() {
    QFile statm("/proc/self/statm");
    if (!statm.open(QIODevice::ReadOnly)) return 0;
    return statm.readAll().split(' ').value(1).toLong() * 4;
}

// The body goes to the file through a bounded buffer: a slot that processes events
// on every packet (as the wizard's progress display does) and is slow about it
// neither nests the client's reading nor makes memory grow with the body.
TEST_F(HttpClientTest, MemoryDoesNotGrowWithTheBody) {
    constexpr qint64 kBody = 150 << 20;
    client_.MaxBodySize = kBody;
    int depth = 0, maxDepth = 0;
    qint64 last = 0, maxPacket = 0;
    const long before = ResidentKb();
    long peak = before;
    QObject::connect(&client_, &THttpClient::PacketReceived, [&] {
        maxDepth = std::max(maxDepth, ++depth);
        maxPacket = std::max(maxPacket, client_.Received() - last);
        last = client_.Received();
        peak = std::max(peak, ResidentKb());
        QCoreApplication::processEvents();
        QThread::usleep(300);
        --depth;
    });
    EXPECT_TRUE(client_.Get(QStringLiteral("/huge?bytes=%1").arg(kBody)));
    EXPECT_EQ(client_.Received(), kBody);
    EXPECT_EQ(maxDepth, 1);
    EXPECT_LE(maxPacket, dorvanta::testing::kBoundedPacket);
    // AddressSanitizer keeps freed blocks in quarantine, so there the resident size
    // says nothing about what the client holds.
    if (!kAddressSanitizer) {
        EXPECT_LT(peak - before, 32 * 1024) << "KB more than before the transfer";
    }
}

}  // namespace
}  // namespace dorvanta
