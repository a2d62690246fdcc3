// The window tests need a QApplication; they run on the offscreen platform, where nobody
// could answer a box or see a window.
#include <gtest/gtest.h>
#include <QApplication>
#include <cstdlib>

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("velmo"));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
