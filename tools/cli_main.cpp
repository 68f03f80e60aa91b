#include <csignal>
#include <iostream>

#include "tools/Cli.h"
#include "tools/TerminalPrompt.h"

int main(int argc, char** argv) {
    // Past a file-size limit (ulimit -f) a write is to fail with EFBIG and be
    // reported like a full disk, not kill the program with SIGXFSZ.
    std::signal(SIGXFSZ, SIG_IGN);
    std::vector<std::string> args(argv + 1, argv + argc);
    const dorvanta::cli::TPasswordInput input{&std::cin, dorvanta::cli::AskOnTerminal};
    return dorvanta::cli::Run(args, std::cout, std::cerr, input);
}
