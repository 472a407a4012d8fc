// Shared main of every test program: a QApplication when the program links Qt Widgets (the
// widget tests), a QGuiApplication for programs that draw pictures (ZORVIDEO_TEST_GUI), a
// QCoreApplication otherwise, so that Qt objects have their event loop.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <memory>

#if __has_include(<QApplication>) && defined(ZORVIDEO_TEST_WIDGETS)
#include <QApplication>
#elif defined(ZORVIDEO_TEST_GUI)
#include <QGuiApplication>
#endif

int main(int argc, char **argv) {
    ::testing::InitGoogleTest(&argc, argv);
#if __has_include(<QApplication>) && defined(ZORVIDEO_TEST_WIDGETS)
    QApplication app(argc, argv);
#elif defined(ZORVIDEO_TEST_GUI)
    QGuiApplication app(argc, argv);
#else
    QCoreApplication app(argc, argv);
#endif
    return RUN_ALL_TESTS();
}
