#pragma once
// The session's questions as the main window asks them: through the message
// service (password and passphrase boxes, the changed-file question, the save
// dialog, the plain file left beside an encrypted one) and with the wait cursor
// while slow work runs.

#include <QString>

#include "session/DocumentSession.h"

class QWidget;

namespace dorvanta {

class TWindowDecisions final : public TSessionDecisions {
  public:
    // `window`: the parent of the file dialogs.
    explicit TWindowDecisions(QWidget* window) : window_(window) {}

    std::optional<std::string> AskOpenPassword(const std::string& path) override;
    std::optional<std::string> AskOpenPassphrase(const std::string& path, int attempt) override;
    void ShowWrongPassword() override;
    std::optional<std::string> AskNewPassword() override;
    TChangedFile AskChangedFile(const std::string& path) override;
    TConflictCopies AskMergeConflictCopies(const std::string& path,
                                           const std::vector<std::string>& copies) override;
    TRecovery AskRecovery(const std::string& path, std::int64_t written) override;
    void ReportMergeConflicts(const std::vector<std::string>& lines) override;
    std::optional<TSaveTarget> AskSaveTarget(const std::string& current, TFormat format) override;
    bool AskDeletePlainFile(const std::string& path) override;
    void ReportDeleteFailed(const std::string& path) override;
    void ReportBackupFailed(const std::string& backupPath) override;
    void ReportLoadError(std::exception_ptr error) override;
    void RunBusy(const std::function<void()>& work) override;

    // The masked password box that unlocks a locked collection; `attempt` counts
    // from 1 (a later one says the password before was wrong).
    static std::optional<QString> AskUnlockPassword(const std::string& path, int attempt);
    // The password box of "Passwort..."; nothing when cancelled.
    static std::optional<QString> AskPassword(const QString& current);
    // A new passphrase of an encrypted collection, typed twice into masked fields;
    // nothing when cancelled, or when it is empty, the two differ or it cannot be
    // stored (each of these said in a warning).
    static std::optional<std::string> AskNewPassphrase();

  private:
    QWidget* window_;
};

}  // namespace dorvanta
