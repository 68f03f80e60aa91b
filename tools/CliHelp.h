#pragma once
// The command-line tool's help text (German), shown by --help and after a wrong call.

namespace dorvanta::cli {

extern const char* const kHelp;

}  // namespace dorvanta::cli
