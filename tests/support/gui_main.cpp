// Test main for widget suites: real widgets on the offscreen platform.
#include <QApplication>
#include <gtest/gtest.h>

#include "support/ScratchCache.h"

int main(int argc, char** argv) {
    const TScratchCache cache;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
