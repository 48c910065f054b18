#pragma once
// Workers that read and deflate pieces of files for the archive writer.
// Internal to the zip library.
//
// A member's data is cut into blocks of BlockSize bytes. Each block is read
// and compressed on its own: with the 32 KB of file data in front of it as
// the preset dictionary, ended by a sync flush (the last block by the end of
// the stream), so the blocks joined in order are one ordinary deflate stream.
// Blocks are handed out in the order they were submitted; the writer waits
// for them in the same order, so what it writes does not depend on timing.

#include <QByteArray>
#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace ZipDetail {

struct PackBlock {
    // Set by the writer before submitting.
    int Fd = -1;
    std::shared_ptr<void> Keep;   // keeps the file open while the block is out
    qint64 Offset = 0;
    qint64 Length = 0;
    bool Last = false;
    int Level = 6;          // 0: stored, the data as read
    // Results, valid once Done.
    QByteArray Out;         // compressed (or stored) bytes
    QByteArray Dictionary;  // the data in front of the block it was compressed with
    QByteArray Tail;        // the last 32 KB of its own data
    qint64 Read = 0;        // bytes read (less than Length when the file shrank)
    quint32 Crc = 0;        // CRC-32 of the bytes read
    std::exception_ptr Error;
    bool Done = false;
    bool Handed = false;    // given to the workers (known to the writer only)
};

class BlockPool {
public:
    static constexpr qint64 BlockSize = 1 << 20;
    static constexpr qint64 WindowSize = 32768;

    explicit BlockPool(int Threads);
    ~BlockPool();
    BlockPool(const BlockPool &) = delete;
    BlockPool &operator=(const BlockPool &) = delete;

    void Submit(const std::shared_ptr<PackBlock> &Block);
    // Blocks of tiny files go to one worker together: one hand-over for many files.
    void Submit(std::vector<std::shared_ptr<PackBlock>> Blocks);
    // Reads and compresses a block on the calling thread (for tiny files,
    // where handing the block over would cost more than the work).
    static void Run(PackBlock &Block);
    // Waits until Block is done.
    void Wait(PackBlock &Block);

private:
    void Work();
    static void Process(PackBlock &B);

    std::mutex FLock;
    std::condition_variable FWork;
    std::condition_variable FDone;
    std::deque<std::vector<std::shared_ptr<PackBlock>>> FQueue;
    bool FStop = false;
    int FIdle = 0;      // workers waiting for a block
    int FWaiting = 0;   // the writer waiting for a block
    std::vector<std::thread> FThreads;
};

} // namespace ZipDetail
