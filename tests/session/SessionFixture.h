#pragma once
// The session tests' fixture: a session, a scratch folder and decisions that
// answer from queues.
#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <functional>

#include "session/DocumentSession.h"
#include "store/AgeFile.h"
#include "store/FileStamp.h"
#include "store/PdtFile.h"
#include "support/TempDir.h"

namespace dorvanta {
namespace {

using testing::ReadBytes;
using testing::TempDir;
using testing::WriteBytes;
using TFormat = TDocument::TFormat;
using TChanged = TSessionDecisions::TChangedFile;

// Answers from queues; every question and report is logged, and a question
// without a queued answer fails the test.
class TScriptedDecisions final : public TSessionDecisions {
  public:
    std::deque<std::optional<std::string>> passwords;  // opening and new passwords
    std::deque<TChanged> changed;
    std::deque<std::optional<TSaveTarget>> targets;
    std::deque<bool> deletes;            // the plain file left beside an encrypted one
    std::deque<TConflictCopies> copies;  // the sync tools' conflict copies found at an open
    std::deque<TRecovery> recoveries;    // a recovery file found at an open
    std::string deleteAsked;
    std::vector<std::string> log;

    std::optional<std::string> AskOpenPassword(const std::string&) override {
        return Next(passwords, "open password");
    }
    void ShowWrongPassword() override { log.push_back("wrong password"); }
    std::optional<std::string> AskNewPassword() override { return Next(passwords, "new password"); }
    TChangedFile AskChangedFile(const std::string&) override {
        return changed.empty() ? Unanswered("changed file", TChanged::Cancel)
                               : Next(changed, "changed file");
    }
    TConflictCopies AskMergeConflictCopies(const std::string&,
                                           const std::vector<std::string>& found) override {
        log.push_back("conflict copies " + std::to_string(found.size()));
        if (copies.empty()) return Unanswered("conflict copies", TConflictCopies::Later);
        const TConflictCopies answer = copies.front();
        copies.pop_front();
        return answer;
    }
    TRecovery AskRecovery(const std::string&, std::int64_t) override {
        log.push_back("recovery");
        if (recoveries.empty()) return Unanswered("recovery", TRecovery::Later);
        const TRecovery answer = recoveries.front();
        recoveries.pop_front();
        return answer;
    }
    void ReportMergeConflicts(const std::vector<std::string>& lines) override {
        log.push_back("conflicts " + std::to_string(lines.size()));
    }
    std::optional<TSaveTarget> AskSaveTarget(const std::string&, TFormat) override {
        return Next(targets, "save target");
    }
    bool AskDeletePlainFile(const std::string& path) override {
        deleteAsked = path;
        return Next(deletes, "delete plain file");
    }
    void ReportDeleteFailed(const std::string&) override { log.push_back("delete failed"); }
    void ReportBackupFailed(const std::string&) override { log.push_back("backup failed"); }
    void ReportLoadError(std::exception_ptr error) override {
        try {
            std::rethrow_exception(error);
        } catch (const std::exception& e) {
            log.push_back(std::string("error: ") + e.what());
        }
    }
    void RunBusy(const std::function<void()>& work) override {
        work();
        if (afterBusy) afterBusy();
    }
    std::function<void()> afterBusy;  // runs after each slow piece of work

  private:
    template <typename T>
    T Next(std::deque<T>& queue, const char* what) {
        log.push_back(what);
        if (queue.empty()) return Unanswered(what, T{});
        T answer = queue.front();
        queue.pop_front();
        return answer;
    }
    template <typename T>
    static T Unanswered(const char* what, T fallback) {
        ADD_FAILURE() << "unanswered: " << what;
        return fallback;
    }
};

class DocumentSessionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        SetEncryptionWorkFactor(1);
        auto note = [this](const std::string& s) { heard.push_back(s); };
        QObject::connect(&session, &TDocumentSession::AboutToReplaceDocument,
                         [note] { note("about to replace"); });
        QObject::connect(&session, &TDocumentSession::DocumentReset, [note] { note("reset"); });
        QObject::connect(&session, &TDocumentSession::DocumentLoaded, [note] { note("loaded"); });
        QObject::connect(&session, &TDocumentSession::KeysChanged,
                         [note](int select, const std::string& parent) {
                             note("keys " + std::to_string(select) + " " + parent);
                         });
        QObject::connect(&session, &TDocumentSession::EntriesChanged,
                         [note](int key, TDocumentSession::TEntryChange change, int row) {
                             note("entries " + std::to_string(key) + " " +
                                  std::to_string(static_cast<int>(change)) + " " +
                                  std::to_string(row));
                         });
        QObject::connect(&session, &TDocumentSession::FileNameChanged, [note](const QString& f) {
            note("name " + (f.isEmpty()
                                ? std::string("-")
                                : std::filesystem::path(f.toStdString()).filename().string()));
        });
        QObject::connect(&session, &TDocumentSession::AboutToLock,
                         [note] { note("about to lock"); });
        QObject::connect(&session, &TDocumentSession::LockedChanged,
                         [note](bool locked) { note(locked ? "locked" : "unlocked"); });
        QObject::connect(&session, &TDocumentSession::ModifiedChanged,
                         [note](bool m) { note(m ? "modified" : "unmodified"); });
    }
    void TearDown() override { SetEncryptionWorkFactor(age::kWriteWorkFactor); }

    // A file holding one sub-category `name`, under `password`, in `format`.
    std::string Collection(const std::string& file, const std::string& name,
                           const std::string& password = {}, TFormat format = TFormat::Plain) {
        TDocument doc;
        doc.Password = password;
        doc.Format = format;
        doc.Keys = {{name, "Bank", {{"IBAN", "DE12 \xE4", "Haus", 1.5}}}};
        const std::string path = dir.File(file);
        SaveDocument(doc, path);
        return path;
    }
    std::string KeyIn(const std::string& path, const std::string& password = {}) {
        TDocument doc;
        TLoadHooks hooks;
        hooks.AskPassword = [&](const std::string&) { return std::optional(password); };
        if (!LoadDocument(doc, path, hooks) || doc.Keys.empty()) return {};
        return doc.Keys[0].Name;
    }
    std::string Name() const {
        return session.FileName().empty()
                   ? "-"
                   : std::filesystem::path(session.FileName()).filename().string();
    }

    TempDir dir;
    TDocumentSession session;
    TScriptedDecisions ask;
    std::vector<std::string> heard;
};

}  // namespace
}  // namespace dorvanta
