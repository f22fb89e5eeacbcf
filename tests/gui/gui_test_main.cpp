// Widget tests run on Qt's offscreen platform so that they need no display.
#include <gtest/gtest.h>

#include <QApplication>

// Under LeakSanitizer: the font and bus libraries that Qt loads keep caches for the life of the
// process by design; their allocations are not ours to free.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\nleak:libdbus-1.so\nleak:libglib-2.0.so\n";
}

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
