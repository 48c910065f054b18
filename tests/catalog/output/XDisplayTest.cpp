// Run by the harness on a real X display only (a virtual one): what every test
// there is given. A window shown on X makes Qt's accessibility bridge ask for
// the D-Bus session bus; with no bus address libdbus forks to launch one, and
// a child forked from this threaded process under the sanitizers can hang for
// ever in their allocator, and the test with it.

#include <QAccessible>
#include <QApplication>
#include <QLabel>

#include <atomic>
#include <pthread.h>

#include <gtest/gtest.h>

namespace {

std::atomic<int> Forks{0};

} // namespace

TEST(XDisplay, AWindowShownForksNothing)
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        GTEST_SKIP() << "not on an X display";
    ASSERT_EQ(::pthread_atfork([] { ++Forks; }, nullptr, nullptr), 0);
    QLabel Window(QStringLiteral("窗口"));
    Window.show();
    QApplication::processEvents();
    // The bridge is made, and asks for its bus, here at the latest.
    QAccessible::isActive();
    QApplication::processEvents();
    EXPECT_EQ(Forks.load(), 0) << "a process was forked (a session bus launched?)";
}
