#pragma once
// The platform tests' one application object, made on first use by whichever test needs it.

#include <QTemporaryFile>

#include "platform/Application.h"

namespace dorvanta::testing {

inline TApplication& PlatformTestApp() {
    static int argc = 1;
    static char name[] = "platform_tests";
    static char* argv[] = {name, nullptr};
    static TApplication* app = [] {
        // Headless, the screen is 1920x1080 rather than offscreen's 800x800: windows
        // are fitted into their screen, and the file dialog's columns need more than
        // 800 pixels, as they get on any usual screen. The file is read at start.
        QTemporaryFile screens;
        if (qgetenv("QT_QPA_PLATFORM") == "offscreen" && screens.open()) {
            screens.write(R"({"screens": [{"name": "test", "x": 0, "y": 0, "width": 1920,
                              "height": 1080, "logicalDpi": 96, "logicalBaseDpi": 96}]})");
            screens.flush();
            qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + screens.fileName().toLocal8Bit());
        }
        return new TApplication(argc, argv);
    }();
    return *app;
}

}  // namespace dorvanta::testing
