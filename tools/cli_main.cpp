#include <iostream>

#include "tools/Cli.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    return dorvanta::cli::Run(args, std::cout, std::cerr);
}
