// main() for tests without widgets: a QCoreApplication for the test's lifetime.
#include <QCoreApplication>
#include <gmock/gmock.h>

int main(int argc, char **argv)
{
    QCoreApplication App(argc, argv);
    ::testing::InitGoogleMock(&argc, argv);
    return RUN_ALL_TESTS();
}
