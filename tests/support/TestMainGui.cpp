// main() for tests with widgets: a QApplication on the offscreen platform.
#include <QApplication>
#include "TestSupport.h"

#include <unistd.h>

#include <gmock/gmock.h>

int main(int argc, char **argv)
{
    TestSupport::PrepareEnvironment();
    // As the program does: the browser engine runs without its sandbox as root
    // and shares its rendering contexts, said before the application exists.
    if (::geteuid() == 0)
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication App(argc, argv);
    ::testing::InitGoogleMock(&argc, argv);
    return RUN_ALL_TESTS();
}

// The test process's own sanitizer options (read before main runs).
extern "C" const char *__asan_default_options()
{
    return "detect_leaks=0:new_delete_type_mismatch=0";
}
