#include "BlockPool.h"

#include "zip/ZipObj.h"

#include <cerrno>
#include <unistd.h>
#include <zlib.h>

namespace ZipDetail {

namespace {

// Reads up to Count bytes at Offset; fewer only at the end of the file.
qint64 ReadAt(int Fd, char *Data, qint64 Count, qint64 Offset)
{
    qint64 Got = 0;
    while (Got < Count) {
        const ssize_t N = ::pread(Fd, Data + Got, size_t(Count - Got), off_t(Offset + Got));
        if (N < 0 && errno == EINTR)
            continue;
        if (N < 0)
            throw EFatalUnzipError(QStringLiteral("读取文件失败"));
        if (N == 0)
            break;
        Got += N;
    }
    return Got;
}

// One deflate state per thread and setting, reset for every block. A small
// input gets a smaller hash table: resetting the full one costs more than
// compressing a tiny file, and a small file gains nothing from it.
struct Deflater {
    z_stream Z {};
    int Level = -1;
    int MemLevel = 0;
    ~Deflater()
    {
        if (Level >= 0)
            deflateEnd(&Z);
    }
    void Start(int NewLevel, int NewMemLevel)
    {
        if (Level != NewLevel || MemLevel != NewMemLevel) {
            if (Level >= 0)
                deflateEnd(&Z);
            Z = z_stream {};
            Level = -1;
            if (deflateInit2(&Z, NewLevel, Z_DEFLATED, -15, NewMemLevel, Z_DEFAULT_STRATEGY) != Z_OK)
                throw EZCompressionError(QStringLiteral("error"));
            Level = NewLevel;
            MemLevel = NewMemLevel;
        } else if (deflateReset(&Z) != Z_OK) {
            throw EZCompressionError(QStringLiteral("error"));
        }
    }
};

int MemLevelFor(qint64 Size)
{
    return Size <= 4096 ? 4 : Size <= 16384 ? 6 : 8;
}

} // namespace

BlockPool::BlockPool(int Threads)
{
    for (int I = 0; I < Threads; ++I)
        FThreads.emplace_back([this] { Work(); });
}

BlockPool::~BlockPool()
{
    {
        std::lock_guard<std::mutex> G(FLock);
        FStop = true;
    }
    FWork.notify_all();
    for (std::thread &T : FThreads)
        T.join();
}

void BlockPool::Submit(const std::shared_ptr<PackBlock> &Block)
{
    Submit(std::vector<std::shared_ptr<PackBlock>>{Block});
}

void BlockPool::Submit(std::vector<std::shared_ptr<PackBlock>> Blocks)
{
    bool Wake = false;
    {
        std::lock_guard<std::mutex> G(FLock);
        for (const auto &B : Blocks)
            B->Handed = true;
        FQueue.push_back(std::move(Blocks));
        // A busy worker takes the task when it is done: waking one costs a
        // switch per task.
        Wake = FIdle > 0;
    }
    if (Wake)
        FWork.notify_one();
}

void BlockPool::Wait(PackBlock &Block)
{
    std::unique_lock<std::mutex> G(FLock);
    ++FWaiting;
    FDone.wait(G, [&] { return Block.Done; });
    --FWaiting;
}

void BlockPool::Work()
{
    for (;;) {
        std::vector<std::shared_ptr<PackBlock>> Task;
        {
            std::unique_lock<std::mutex> G(FLock);
            ++FIdle;
            FWork.wait(G, [&] { return FStop || !FQueue.empty(); });
            --FIdle;
            if (FStop)
                return;
            Task = std::move(FQueue.front());
            FQueue.pop_front();
        }
        for (const auto &B : Task) {
            try {
                Process(*B);
            } catch (...) {
                B->Error = std::current_exception();
            }
            // The file's last block closes it here, on the worker's time.
            B->Keep.reset();
            bool Wake = false;
            {
                std::lock_guard<std::mutex> G(FLock);
                B->Done = true;
                Wake = FWaiting > 0;
            }
            if (Wake)
                FDone.notify_all();
        }
    }
}

void BlockPool::Run(PackBlock &B)
{
    try {
        Process(B);
    } catch (...) {
        B.Error = std::current_exception();
    }
    B.Done = true;
}

void BlockPool::Process(PackBlock &B)
{
    QByteArray Data(B.Length, Qt::Uninitialized);
    B.Read = ReadAt(B.Fd, Data.data(), B.Length, B.Offset);
    Data.truncate(B.Read);
    B.Crc = quint32(crc32(0, reinterpret_cast<const Bytef *>(Data.constData()), uInt(Data.size())));
    B.Tail = Data.right(WindowSize);
    if (B.Level == 0) {
        B.Out = Data;
        return;
    }
    if (B.Offset > 0) {
        const qint64 From = std::max<qint64>(0, B.Offset - WindowSize);
        B.Dictionary = QByteArray(B.Offset - From, Qt::Uninitialized);
        B.Dictionary.truncate(ReadAt(B.Fd, B.Dictionary.data(), B.Dictionary.size(), From));
    }
    // Small files keep one state per size class, so each class is reset, not rebuilt.
    thread_local Deflater States[3];
    const int Mem = B.Offset == 0 && B.Last ? MemLevelFor(B.Length) : 8;
    Deflater &D = States[Mem == 4 ? 0 : Mem == 6 ? 1 : 2];
    D.Start(B.Level, Mem);
    if (!B.Dictionary.isEmpty()
        && deflateSetDictionary(&D.Z, reinterpret_cast<const Bytef *>(B.Dictionary.constData()), uInt(B.Dictionary.size())) != Z_OK)
        throw EZCompressionError(QStringLiteral("error"));
    B.Out = QByteArray(qsizetype(deflateBound(&D.Z, uLong(Data.size())) + 64), Qt::Uninitialized);
    D.Z.next_in = reinterpret_cast<Bytef *>(Data.data());
    D.Z.avail_in = uInt(Data.size());
    D.Z.next_out = reinterpret_cast<Bytef *>(B.Out.data());
    D.Z.avail_out = uInt(B.Out.size());
    const int Flush = B.Last ? Z_FINISH : Z_SYNC_FLUSH;
    const int Rc = deflate(&D.Z, Flush);
    if (Rc < 0 || (B.Last && Rc != Z_STREAM_END) || D.Z.avail_in != 0 || D.Z.avail_out == 0)
        throw EZCompressionError(QStringLiteral("error"));
    B.Out.truncate(B.Out.size() - qsizetype(D.Z.avail_out));
}

} // namespace ZipDetail
