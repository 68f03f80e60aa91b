#pragma once
// Runs the command-line tool in-process and keeps what it printed.

#include <sstream>
#include <string>
#include <vector>

#include "tools/Cli.h"

namespace dorvanta::testing {

struct CliResult {
    int code;
    std::string out;
    std::string err;
};

inline CliResult Cli(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    const int code = cli::Run(args, out, err);
    return {code, out.str(), err.str()};
}

}  // namespace dorvanta::testing
