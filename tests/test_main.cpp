#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    // The machine's own settings must not set what the tests expect.
    qputenv("XDG_CONFIG_HOME", "/nonexistent/exam-recorder-tests");
    qputenv("XDG_CONFIG_DIRS", "/nonexistent/exam-recorder-tests");
    ::testing::InitGoogleTest(&argc, argv);
    // Death tests re-run the binary rather than fork a process that already has a QApplication.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    QApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
