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
    explicit TaskPool(int Threads);
    ~TaskPool();
    TaskPool(const TaskPool &) = delete;
    TaskPool &operator=(const TaskPool &) = delete;

    void Submit(std::function<void()> Task);
    void Stop();

private:
    void Work();

    std::mutex FLock;
    std::condition_variable FWake;
    std::deque<std::function<void()>> FQueue;
    bool FStop = false;
    std::vector<std::thread> FThreads;
};

} // namespace ZipDetail
