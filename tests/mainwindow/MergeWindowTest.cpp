// Merging in the window: the changed-file question's "Zusammenführen" and the
// question about a sync tool's conflict copies, remembered when it is "Nie".
#include <gtest/gtest.h>

#include <QApplication>
#include <QStatusBar>
#include <filesystem>

#include "mainwindow/MainWindow.h"
#include "platform/MessageService.h"
#include "store/PdtFile.h"
#include "support/MainWindowFixture.h"
#include "support/TempDir.h"

namespace dorvanta {
namespace {

namespace fs = std::filesystem;

class MergeWindowTest : public testing::MainWindowFixture {
  protected:
    static TDocument Collection(std::initializer_list<const char*> titles) {
        TDocument doc;
        doc.Keys = {{"Giro", "Bank", {}}};
        for (const char* title : titles) doc.Keys[0].Data.push_back({title, "1", "", 46000.0});
        return doc;
    }
    // The questions asked with `caption`: their buttons, default and Escape.
    static std::vector<AskedQuestion> Asked(const QString& caption) {
        std::vector<AskedQuestion> found;
        for (const auto& q : Messages().Asked()) {
            if (q.caption == caption) found.push_back(q);
        }
        return found;
    }
    testing::TempDir dir;
};

TEST_F(MergeWindowTest, ZusammenfuehrenTellsWhatWasTakenInTheStatusBar) {
    const std::string path = dir.File("Konten.pdt");
    SaveDocument(Collection({"Konto"}), path);
    Form().OpenFile(QString::fromStdString(path));
    Session().AddEntry(0, "PIN", "1234", "");
    SaveDocument(Collection({"Konto", "Karte"}), path);
    Messages().QueueAnswer(QStringLiteral("Zusammenführen"));
    EXPECT_TRUE(Form().MenuItem_SaveClick());
    EXPECT_EQ(Asked(QStringLiteral("Datei wurde geändert")).size(), 1u);
    EXPECT_EQ(Form().statusBar()->currentMessage(), QStringLiteral("1 Eintrag übernommen"));
    TDocument saved;
    ASSERT_TRUE(LoadDocument(saved, path));
    ASSERT_EQ(saved.Keys.size(), 1u);
    EXPECT_EQ(saved.Keys[0].Data.size(), 3u);
}

TEST_F(MergeWindowTest, NieFuerDieseDateiIsRememberedAcrossStarts) {
    const std::string path = dir.File("Konten.pdt");
    SaveDocument(Collection({"Konto"}), path);
    SaveDocument(Collection({"Konto", "PIN"}),
                 dir.File("Konten.sync-conflict-20261208-101500-ABCDEF7.pdt"));
    // A second collection, its path beyond Windows-1252.
    const std::string zloty = dir.File("Złoty.pdt");
    SaveDocument(Collection({"Konto"}), zloty);
    SaveDocument(Collection({"PIN"}), dir.File("Złoty (conflicted copy 2026-12-08 101500).pdt"));
    const QString caption = QStringLiteral("Konfliktkopien");
    for (const std::string& file : {path, zloty}) {
        Messages().QueueAnswer(QStringLiteral("Nie für diese Datei"));
        Form().OpenFile(QString::fromStdString(file));
    }
    ASSERT_EQ(Asked(caption).size(), 2u);
    EXPECT_EQ(Asked(caption)[0].choices,
              (QStringList{"Zusammenführen", "Später", "Nie für diese Datei"}));
    EXPECT_EQ(Doc().Keys[0].Data.size(), 1u);
    // The next start of the program does not ask again; another file still would.
    CloseWindow();
    Messages().ClearLog();
    StartWindow(false);
    Form().OpenFile(QString::fromStdString(path));
    Form().OpenFile(QString::fromStdString(zloty));
    EXPECT_TRUE(Asked(caption).empty());
    const std::string other = dir.File("Andere.pdt");
    SaveDocument(Collection({"Konto"}), other);
    SaveDocument(Collection({"PIN"}), dir.File("Andere (conflicted copy 2026-12-08 101500).pdt"));
    Messages().QueueAnswer(QStringLiteral("Zusammenführen"));
    Form().OpenFile(QString::fromStdString(other));
    EXPECT_EQ(Asked(caption).size(), 1u);
    EXPECT_EQ(Doc().Keys[0].Data.size(), 2u);
    EXPECT_TRUE(Session().Modified());
}

}  // namespace
}  // namespace dorvanta
