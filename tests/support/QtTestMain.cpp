// Test main for suites that need a QApplication: headless, with every question
// answered from the message service's queue and settings in a private folder.
#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>
#include <cstdlib>

#include "platform/Application.h"
#include "platform/FreedMemory.h"
#include "platform/MessageService.h"

int main(int argc, char** argv) {
    // As the program does: freed memory is overwritten.
    dorvanta::OverwriteFreedMemory();
    ::testing::InitGoogleTest(&argc, argv);
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QTemporaryDir settings;
    setenv("DORVANTA_REGISTRY_DIR", settings.path().toUtf8().constData(), 1);
    dorvanta::TApplication app(argc, argv);
    dorvanta::MessageService::Instance().SetTestMode(true);
    return RUN_ALL_TESTS();
}
