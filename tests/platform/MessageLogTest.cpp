// What the message service keeps of its questions: no password in either log,
// nothing at all outside test mode, and a log it can be made to forget.
#include <gtest/gtest.h>

#include <QDialog>
#include <QLineEdit>
#include <QTest>
#include <functional>
#include <optional>

#include "PlatformTestApp.h"
#include "platform/MessageService.h"
#include "support/ModalDriver.h"
#include "support/TempDir.h"

namespace dorvanta {
namespace {

class MessageLogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        testing::PlatformTestApp();
        service().SetTestMode(true);
        service().ClearLog();
    }
    void TearDown() override {
        service().SetTestMode(true);
        service().ClearLog();
    }
    static MessageService& service() { return MessageService::Instance(); }
};

TEST_F(MessageLogTest, NoPasswordReachesEitherLogMaskedOrShown) {
    testing::TempDir dir;
    const std::string log = dir.File("asked.log");
    ::setenv("DORVANTA_TEST_LOG", log.c_str(), 1);
    service().LoadTestAnswersFromEnvironment();
    ::unsetenv("DORVANTA_TEST_LOG");
    struct Case {
        const char* name;
        std::function<void()> ask;
        std::optional<QString> initial;  // as logged
        std::optional<QString> answer;
    };
    const auto input = [](const char* initial, bool password, bool secret) {
        return [=] {
            service().InputText(QStringLiteral("Passwort"), QStringLiteral("Text:"), initial, 255,
                                password, secret);
        };
    };
    const Case cases[] = {
        {"masked", input("", true, false), "", "<hidden>"},
        {"shown, a password", input("Alt-1", false, true), "<hidden>", "<hidden>"},
        {"shown, cancelled", input("Alt-1", false, true), "<hidden>", std::nullopt},
        {"passphrase",
         [] { service().AskPassphrase(QStringLiteral("Passwort"), QStringLiteral("Text:"), true); },
         "", "<hidden>"},
        {"a name", input("Bank", false, false), "Bank", "Neu-1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        service().QueueInput(c.answer ? std::optional<QString>("Neu-1") : std::nullopt);
        service().QueueInput(QStringLiteral("Neu-1"));  // a passphrase's repeat
        c.ask();
        ASSERT_FALSE(service().Asked().empty());
        EXPECT_EQ(service().Asked().back().initial, c.initial);
        EXPECT_EQ(service().Asked().back().textAnswer, c.answer);
        service().ClearLog();
    }
    EXPECT_EQ(testing::ReadBytes(log),
              "Input\tPasswort\tText:\t<hidden>\n"
              "Input\tPasswort\tText:\t<hidden>\n"
              "Input\tPasswort\tText:\t<cancel>\n"
              "Input\tPasswort\tText:\t<hidden>\n"
              "Input\tPasswort\tText:\tNeu-1\n");
}

TEST_F(MessageLogTest,
       ForgettingKeepsTheQuestionsWithoutTheirTextsAndOutsideTestModeNothingIsKept) {
    service().QueueAnswer(MsgButton::No);
    service().QueueAnswer(MsgButton::Yes);
    EXPECT_FALSE(service().Confirm(QStringLiteral("„Bank / Giro“: „PIN“ geändert")));
    service().ForgetTexts();
    EXPECT_TRUE(service().Confirm(QStringLiteral("Weiter?")));
    ASSERT_EQ(service().Asked().size(), 2u);
    const AskedQuestion& forgotten = service().Asked()[0];
    EXPECT_TRUE(forgotten.text.isEmpty());
    EXPECT_EQ(forgotten.caption, "Warnung");
    EXPECT_EQ(forgotten.answer, MsgButton::No);
    EXPECT_EQ(service().Asked()[1].text, "Weiter?");

    // The real box, as in normal use: the caller has the answer, the log nothing.
    service().ClearLog();
    service().SetTestMode(false);
    int seen = 0;
    service().SetAskedHook([&](const AskedQuestion&) { ++seen; });
    const testing::TModalDriver<QDialog> driver([](QDialog& box) {
        auto* field = box.findChild<QLineEdit*>();
        QTest::keyClicks(field, QStringLiteral("Post"));
        QTest::keyClick(field, Qt::Key_Return);
    });
    EXPECT_EQ(service().InputText(QStringLiteral("Neuer Rubrikname"), QStringLiteral("Name:"),
                                  QStringLiteral("Bank")),
              "Post");
    EXPECT_EQ(seen, 1);
    EXPECT_TRUE(service().Asked().empty());
}

}  // namespace
}  // namespace dorvanta
