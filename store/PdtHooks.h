#pragma once
// What loading and saving a pdt file ask of their caller (the window, the
// command-line tool, tests): prompts, resets and a way to run slow work.

#include <functional>
#include <optional>
#include <string>

namespace dorvanta {

// How often an encrypted file's passphrase may be typed before the file is refused.
inline constexpr int kPassphraseTries = 3;

// What a load asks of its caller. Every hook is optional.
struct TLoadHooks {
    // Removes the category list's selection before the document is emptied.
    std::function<void()> ClearSelection;
    // Asks for the password of a protected file; nothing when cancelled.
    std::function<std::optional<std::string>(const std::string& path)> AskPassword;
    // Asks for the passphrase of an encrypted file; `attempt` counts the tries from
    // 1, a later one following a wrong passphrase. Nothing when cancelled. With it
    // an encrypted file gets kPassphraseTries tries, without it one, through
    // AskPassword (a caller that has one fixed password gains nothing from more).
    std::function<std::optional<std::string>(const std::string& path, int attempt)> AskPassphrase;
    // Tells the user that the typed password was wrong.
    std::function<void()> ShowWrongPassword;
    // The New command's reset after a refused file; without it ClearDocument.
    std::function<void()> ResetToNew;
    // Rebuilds the views from the document once loading has ended.
    std::function<void()> RebuildViews;
    // Runs the slow part of opening an encrypted file (key derivation and
    // decryption); the window shows the wait cursor meanwhile and keeps painting.
    // Without it the work runs directly.
    std::function<void(const std::function<void()>&)> RunBusy;
};

// The same for saving an encrypted file.
using TBusyRunner = std::function<void(const std::function<void()>&)>;

// Runs `work` through the runner (directly without one) and raises its error
// again on the calling thread.
void RunCaptured(const TBusyRunner& runBusy, const std::function<void()>& work);

}  // namespace dorvanta
