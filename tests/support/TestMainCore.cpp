// main() for tests without widgets: a QCoreApplication for the test's lifetime.
#include <QCoreApplication>
#include "TestSupport.h"

#include <gmock/gmock.h>

int main(int argc, char **argv)
{
    TestSupport::PrepareEnvironment();
    QCoreApplication App(argc, argv);
    ::testing::InitGoogleMock(&argc, argv);
    return RUN_ALL_TESTS();
}

// The test process's own sanitizer options (read before main runs).
extern "C" const char *__asan_default_options()
{
    return "detect_leaks=0:new_delete_type_mismatch=0";
}
