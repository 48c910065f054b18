#pragma once
// A few worker threads that run tasks in the order given. Internal to the
// zip library. Stop() (and the destructor) lets the running tasks end and
// drops those not started.

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace ZipDetail {

class TaskPool {
public:
    // Per worker: Setup runs on the worker before its first task, Teardown after its last.
    TaskPool(int Threads, std::function<void()> Setup = {}, std::function<void()> Teardown = {})
    {
        for (int I = 0; I < Threads; ++I)
            FThreads.emplace_back([this, Setup, Teardown] {
                if (Setup)
                    Setup();
                Work();
                if (Teardown)
                    Teardown();
            });
    }
    ~TaskPool() { Stop(); }
    TaskPool(const TaskPool &) = delete;
    TaskPool &operator=(const TaskPool &) = delete;

    void Submit(std::function<void()> Task)
    {
        {
            std::lock_guard<std::mutex> G(FLock);
            FQueue.push_back(std::move(Task));
        }
        FWake.notify_one();
    }

    void Stop()
    {
        {
            std::lock_guard<std::mutex> G(FLock);
            FStop = true;
            FQueue.clear();
        }
        FWake.notify_all();
        for (std::thread &T : FThreads)
            if (T.joinable())
                T.join();
    }

private:
    void Work()
    {
        for (;;) {
            std::function<void()> Task;
            {
                std::unique_lock<std::mutex> G(FLock);
                FWake.wait(G, [&] { return FStop || !FQueue.empty(); });
                if (FStop)
                    return;
                Task = std::move(FQueue.front());
                FQueue.pop_front();
            }
            Task();
        }
    }

    std::mutex FLock;
    std::condition_variable FWake;
    std::deque<std::function<void()>> FQueue;
    bool FStop = false;
    std::vector<std::thread> FThreads;
};

} // namespace ZipDetail
