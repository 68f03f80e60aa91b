#pragma once
// The options the program answers on the terminal, before there is any window:
// --help and --version need no display, and a mistyped option is not taken
// for the name of a collection.

#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace dorvanta {

// Looks at the arguments after the program name. Returns the exit code when the
// program is to end here (0 after --help or --version, 2 for an unknown option);
// nothing when the window is to start. "/uninstall" and file names pass.
std::optional<int> HandleStartOptions(const std::vector<std::string>& args,
                                      const std::string& version, std::ostream& out,
                                      std::ostream& err);

}  // namespace dorvanta
