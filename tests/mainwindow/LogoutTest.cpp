// The end of the desktop session (logout, shutdown, SIGTERM) with unsaved
// changes: kept in the recovery file where nobody can answer or the collection
// is locked, the usual question where someone can; offered at the next open.
#include <gtest/gtest.h>

#include <QRegularExpression>
#include <QTest>
#include <csignal>
#include <filesystem>

#include "mainwindow/LockPane.h"
#include "platform/TerminationWatch.h"
#include "store/AgeFile.h"
#include "store/PdtEncrypted.h"
#include "store/PdtFile.h"
#include "support/MainWindowFixture.h"
#include "support/TempDir.h"

namespace dorvanta {
namespace {

using testing::ReadBytes;
using testing::TempDir;

class LogoutTest : public testing::MainWindowFixture {
  protected:
    void SetUp() override {
        SetEncryptionWorkFactor(1);
        MainWindowFixture::SetUp();
    }
    void TearDown() override {
        CloseWindow(false);
        SetEncryptionWorkFactor(age::kWriteWorkFactor);
    }
};

TEST_F(LogoutTest, UnsavedChangesAtTheEndAreKeptOrAskedAboutAndOfferedAgain) {
    enum class TEnd { Signal, NobodyAsked, UserAsked };
    struct Case {
        const char* name;
        TEnd end;
        bool changed;
        bool locked;
        std::optional<MsgButton> answer;  // "Wollen Sie die aktuelle Datei speichern?"
        bool closes;
        bool kept;
    };
    const Case cases[] = {
        {"SIGTERM, locked", TEnd::Signal, true, true, {}, true, true},
        {"SIGTERM, unlocked", TEnd::Signal, true, false, {}, true, true},
        {"SIGTERM, unchanged", TEnd::Signal, false, false, {}, true, false},
        {"no interaction, locked", TEnd::NobodyAsked, true, true, {}, true, true},
        {"no interaction, unlocked", TEnd::NobodyAsked, true, false, {}, true, true},
        {"interaction, locked", TEnd::UserAsked, true, true, {}, true, true},
        {"interaction, cancelled", TEnd::UserAsked, true, false, MsgButton::Cancel, false, false},
        {"interaction, not saved", TEnd::UserAsked, true, false, MsgButton::No, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StartWindow();
        TempDir dir;
        TDocument doc;
        doc.Password = "pw";
        doc.Keys = {{"Giro", "Bank", {{"Konto", "alt", "", 46000.0}}}};
        const std::string path = dir.File("Konten.pdt");
        SaveDocument(doc, path);
        Messages().QueueInput(QStringLiteral("pw"));
        Form().OpenFile(QString::fromStdString(path));
        ASSERT_EQ(Doc().Keys.size(), 1u);
        if (c.changed) Session().AddEntry(0, "PIN", "1234", "");
        if (c.locked) {
            Form().LockPane().MenuItem_LockClick();
            ASSERT_TRUE(Session().Locked());
        }
        Messages().ClearLog();
        if (c.answer) Messages().QueueAnswer(*c.answer);
        if (c.end == TEnd::Signal) {
            // As the program wires it: the handler only wakes the event loop.
            TTerminationWatch watch;
            QObject::connect(&watch, &TTerminationWatch::Terminated, &Form(),
                             [this] { Form().EndOfSession(false); });
            std::raise(SIGTERM);
            for (int i = 0; i < 500 && Form().isVisible(); ++i) QTest::qWait(10);
        } else {
            EXPECT_EQ(Form().EndOfSession(c.end == TEnd::UserAsked), c.closes);
        }
        EXPECT_EQ(Form().isVisible(), !c.closes);
        EXPECT_EQ(Messages().Asked().size(), c.answer ? 1u : 0u);
        EXPECT_TRUE(Unanswered().isEmpty()) << Unanswered().toStdString();
        const std::string recovery = path + ".wiederherstellen.age";
        ASSERT_EQ(std::filesystem::exists(recovery), c.kept);
        if (!c.kept) continue;
        EXPECT_EQ(ReadBytes(recovery).rfind("age-encryption.org/v1\n", 0), 0u);

        // The next start offers it; restored, the changes are back, unsaved.
        CloseWindow(false);
        StartWindow();
        Messages().QueueInput(QStringLiteral("pw"));
        Messages().QueueAnswer(QStringLiteral("Wiederherstellen"));
        // Read as it is asked: the restore then wipes the questions' texts.
        QStringList asked;
        Messages().SetAskedHook([&](const AskedQuestion& q) { asked << q.text; });
        Form().OpenFile(QString::fromStdString(path));
        Messages().SetAskedHook(nullptr);
        ASSERT_GE(asked.size(), 2);
        const QString question = asked[1];
        EXPECT_TRUE(question.startsWith(QStringLiteral("Ungespeicherte Änderungen vom ")))
            << question.toStdString();
        EXPECT_TRUE(question.contains(
            QRegularExpression(QStringLiteral("^.{30}\\d\\d\\.\\d\\d\\.\\d{4} \\d\\d:\\d\\d "))))
            << question.toStdString();
        EXPECT_TRUE(Session().Modified());
        ASSERT_EQ(Doc().Keys.size(), 1u);
        EXPECT_EQ(Doc().Keys[0].Data.size(), 2u);
        EXPECT_FALSE(std::filesystem::exists(recovery));
    }
}

}  // namespace
}  // namespace dorvanta
