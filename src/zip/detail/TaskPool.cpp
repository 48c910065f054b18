#include "TaskPool.h"

namespace ZipDetail {

TaskPool::TaskPool(int Threads)
{
    for (int I = 0; I < Threads; ++I)
        FThreads.emplace_back([this] { Work(); });
}

TaskPool::~TaskPool()
{
    Stop();
}

void TaskPool::Submit(std::function<void()> Task)
{
    {
        std::lock_guard<std::mutex> G(FLock);
        FQueue.push_back(std::move(Task));
    }
    FWake.notify_one();
}

void TaskPool::Stop()
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

void TaskPool::Work()
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

} // namespace ZipDetail
