#pragma once
// dorvanta-cli: reads, writes, sorts and checks pdt files without the GUI.

#include <ostream>
#include <string>
#include <vector>

namespace dorvanta::cli {

enum ExitCode { kOk = 0, kNoMatch = 1, kError = 2, kWrongPassword = 3 };

// Runs one command line (without the program name); texts are UTF-8.
int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace dorvanta::cli
