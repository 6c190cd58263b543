// Test entry point with a Qt application object, so QSettings, QStandardPaths and (for GUI tests) widgets
// work as they do in the program.

#include "app/AppIdentity.h"

#include <gtest/gtest.h>

#ifdef LUMORA_TEST_GUI
#include <QApplication>
using TestApplication = QApplication;
#else
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#endif

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
#ifdef LUMORA_TEST_GUI
    // Windows are real but drawn off screen, so GUI tests run without a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
#endif
    TestApplication app(argc, argv);
    lumora::applyIdentity(app);
    return RUN_ALL_TESTS();
}
