#pragma once
// The main of a GUI test that reads its windows over AT-SPI: Qt's accessibility bridge switched on,
// the application, a client on the accessibility bus (exit code 77, skipped, when there is none),
// then the tests, which reach the client through `client`.
#include "AtSpiClient.h"

#include <QApplication>
#include <gtest/gtest.h>

#include <cstdio>

namespace mirota::test {

inline int AtSpiTestMain(int argc, char** argv, AtSpiClient*& client) {
    ::testing::InitGoogleTest(&argc, argv);
    qputenv("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1");
    QApplication app(argc, argv);
    AtSpiClient atspi;
    if (const QString why = atspi.Connect(); !why.isEmpty()) {
        std::fprintf(stderr, "%s: skipped\n", qPrintable(why));
        return 77;
    }
    client = &atspi;
    return RUN_ALL_TESTS();
}

} // namespace mirota::test
