// Test main for suites that need Qt's event loop but no widgets.
#include <QCoreApplication>
#include <gtest/gtest.h>

#include "support/ScratchCache.h"

int main(int argc, char** argv) {
    const TScratchCache cache;
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
