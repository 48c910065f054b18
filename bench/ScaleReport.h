#pragma once
// Timing and the printed line of the benchmarks that run each case at N and 4N.

#include <chrono>
#include <cstdio>
#include <functional>

namespace ScaleReport {

inline double Millis(const std::function<void()> &Run)
{
    const auto Start = std::chrono::steady_clock::now();
    Run();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - Start).count();
}

// One case: its times at N and 4N and their ratio, and the peer's beside them when it ran.
inline void Report(const char *Name, int N, double Small, double Large, const char *Peer = nullptr,
                   double PeerSmall = -1, double PeerLarge = -1)
{
    std::printf("%-48s N=%-7d %9.2f ms  4N %9.2f ms  x%5.2f", Name, N, Small, Large, Large / Small);
    if (Peer && PeerSmall >= 0)
        std::printf("   %s %8.2f / %8.2f ms  ours/%s at 4N %.2f", Peer, PeerSmall, PeerLarge, Peer, Large / PeerLarge);
    std::printf("\n");
    std::fflush(stdout);
}

} // namespace ScaleReport
