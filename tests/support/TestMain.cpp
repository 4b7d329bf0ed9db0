#include <gtest/gtest.h>

// Every suite gets an application object so Qt objects behave as they do in the
// app: the plain core one, or the GUI one for suites that draw text or widgets.
#if defined(BACKBEACON_TEST_WIDGETS)
#include <QApplication>
using TestApplication = QApplication;
#elif defined(BACKBEACON_TEST_GUI)
#include <QGuiApplication>
using TestApplication = QGuiApplication;
#else
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#endif

#if defined(BACKBEACON_TEST_WIDGETS) || defined(BACKBEACON_TEST_GUI)
#include <QFont>
#endif

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    TestApplication app(argc, argv);
#if defined(BACKBEACON_TEST_WIDGETS) || defined(BACKBEACON_TEST_GUI)
    // Drawn text must not depend on the machine's default font.
    TestApplication::setFont(QFont(QStringLiteral("DejaVu Sans")));
#endif
    return RUN_ALL_TESTS();
}
