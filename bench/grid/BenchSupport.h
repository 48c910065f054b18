#pragma once
// Timing and key helpers shared by the grid benchmarks.

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QWidget>

#include <algorithm>
#include <functional>
#include <vector>

namespace GridBench {

constexpr int Runs = 5;

inline double Seconds(const std::function<void()> &Run)
{
    QElapsedTimer T;
    T.start();
    Run();
    return double(T.nsecsElapsed()) / 1e9;
}

// Median of Count timings of Run, each after an untimed Prepare.
inline double Median(const std::function<void()> &Prepare, const std::function<void()> &Run, int Count = Runs)
{
    std::vector<double> Times;
    for (int I = 0; I < Count; ++I) {
        if (Prepare)
            Prepare();
        Times.push_back(Seconds(Run));
    }
    std::sort(Times.begin(), Times.end());
    return Times[Times.size() / 2];
}

inline void SendKey(QWidget *Target, int Key, Qt::KeyboardModifiers Mods = Qt::NoModifier)
{
    QKeyEvent Press(QEvent::KeyPress, Key, Mods);
    QApplication::sendEvent(Target, &Press);
    QKeyEvent Release(QEvent::KeyRelease, Key, Mods);
    QApplication::sendEvent(Target, &Release);
}

} // namespace GridBench
