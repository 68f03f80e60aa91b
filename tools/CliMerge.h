#pragma once
// dorvanta-cli merge: the three-way merge of collections (store/Merge.h) as a
// command, shaped for git's merge driver ("merge %O %A %B %A").

#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "tools/Cli.h"

namespace dorvanta {
class TDocument;
}

namespace dorvanta::cli {

// The exit status of a merge that kept conflicts: git then reports a conflict.
inline constexpr int kConflicts = 1;

// The prompt of `input`, asked at most once: every later file of the command
// gets the first answer. The typed text is wiped when this goes.
class TAskOnce {
  public:
    explicit TAskOnce(const TPasswordInput& input);
    ~TAskOnce();
    TAskOnce(const TAskOnce&) = delete;
    TAskOnce& operator=(const TAskOnce&) = delete;

    const TPasswordInput& Input() const { return once_; }

  private:
    TPasswordInput once_;
    std::optional<TPrompted> answer_;
};

// Loads one input the way the other commands do; false when its password is
// missing or wrong.
using TLoadInput = std::function<bool(TDocument& doc, const std::string& path)>;

// merge BASE OURS THEIRS OUT (`files`): loads the three, merges them and saves
// the result as OUT in the format of OURS (OUT may be OURS). An empty BASE means
// there is no common version (git's add/add). kOk; kConflicts, each conflict and
// the summary on `err`; kWrongPassword when an input did not open. An error is
// raised as an exception. Nothing is written unless all three inputs were read.
int RunMerge(const std::vector<std::string>& files, std::ostream& err, const TLoadInput& load);

}  // namespace dorvanta::cli
