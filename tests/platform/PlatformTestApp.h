#pragma once
// The platform tests' one application object, made on first use by whichever test needs it.

#include "platform/Application.h"

namespace dorvanta::testing {

inline TApplication& PlatformTestApp() {
    static int argc = 1;
    static char name[] = "platform_tests";
    static char* argv[] = {name, nullptr};
    static TApplication* app = new TApplication(argc, argv);
    return *app;
}

}  // namespace dorvanta::testing
