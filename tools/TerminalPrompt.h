#pragma once
// Asks for a password on the controlling terminal (/dev/tty) with the echo off.

#include "tools/Cli.h"

namespace dorvanta::cli {

// Writes `prompt` to /dev/tty and reads one line there without echoing it; the
// terminal's settings are restored afterwards, also when a signal ends the
// program meanwhile. NoTerminal when the process has no controlling terminal.
TPrompted AskOnTerminal(const char* prompt);

}  // namespace dorvanta::cli
