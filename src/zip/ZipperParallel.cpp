// Packing on several cores: TZipper::ZipParallel.
//
// The caller's thread plans each member (every event that may refuse it, in
// member order), hands the member's data to the block workers and writes
// what they return in member order, firing the progress and end events as
// it writes. Blocks in flight are bounded in bytes and number, so memory
// and open files stay bounded whatever the sizes; tiny files travel to the
// workers in batches, so a hand-over costs little beside the work. A file that changes while its blocks are read
// (a block short of its length, or a block whose preset dictionary no longer
// matches the data before it) is zipped again the ordinary way.

#include "Zipper.h"

#include "detail/BlockPool.h"
#include "detail/ByteIO.h"

#include <QFile>

#include <algorithm>
#include <deque>
#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>

using namespace ZipDetail;

namespace {

// Files up to this size go to the workers in batches of up to BatchCount
// files or BatchSize bytes.
constexpr qint64 BatchFileSize = 65536;
constexpr size_t BatchCount = 64;
constexpr qint64 BatchSize = 512 * 1024;

struct FileHandle {
    int Fd = -1;
    FileHandle() = default;
    FileHandle(const FileHandle &) = delete;
    FileHandle &operator=(const FileHandle &) = delete;
    ~FileHandle()
    {
        if (Fd >= 0)
            ::close(Fd);
    }
};

} // namespace

void TZipper::ZipParallel(int First, int Threads)
{
    struct Member {
        QString Path;
        std::unique_ptr<TZipHeaderInfo> H;
        std::shared_ptr<FileHandle> File;
        qint64 Size = 0;
        qint64 Submitted = 0;       // bytes of the file handed to the workers
        std::deque<std::shared_ptr<PackBlock>> Blocks;
        bool Folder = false;
        bool Started = false;       // local header written
        bool Final = false;         // ... with its final sizes and CRC
        qint64 HeaderAt = 0;
        qint64 DataStart = 0;
        qint64 Done = 0;            // bytes read and written
        quint32 Crc = 0;
        QByteArray Tail;            // the last 32 KB written, for the next block's check
        bool AllSubmitted() const { return Folder || Submitted >= Size; }
    };

    // The members go after the workers: no file is closed under a worker.
    std::deque<Member> Queue;
    BlockPool Pool(Threads);
    // Blocks read or compressed and not yet written: bounded in bytes, and
    // in number, since each member holds its file open until it is written.
    // Four blocks a worker keep every core busy; past 24 blocks more cores
    // add memory, not speed, since the writer drains them in order.
    const qint64 WindowBytes = std::min<qint64>(qint64(Threads) * 4, 24) * BlockPool::BlockSize;
    const int WindowBlocks = 512;
    int InFlight = 0;
    qint64 InFlightBytes = 0;
    // Tiny files go to the workers in batches.
    std::vector<std::shared_ptr<PackBlock>> Batch;
    qint64 BatchBytes = 0;
    auto FlushBatch = [&] {
        if (!Batch.empty())
            Pool.Submit(std::move(Batch));
        Batch.clear();
        BatchBytes = 0;
    };
    int Next = First;
    const int Count = FFilesList.Count();

    auto SubmitBlock = [&](Member &M) {
        auto B = std::make_shared<PackBlock>();
        B->Fd = M.File->Fd;
        B->Keep = M.File;
        B->Offset = M.Submitted;
        B->Length = std::min(BlockPool::BlockSize, M.Size - M.Submitted);
        B->Last = M.Submitted + B->Length >= M.Size;
        B->Level = M.H->CompressionMethod == 8 ? FPackLevel : 0;
        M.Submitted += B->Length;
        // The blocks keep the file open from now on: the worker done with
        // the last one closes it, not this thread.
        if (M.AllSubmitted())
            M.File.reset();
        M.Blocks.push_back(B);
        ++InFlight;
        InFlightBytes += B->Length;
        if (M.Size <= BatchFileSize) {
            Batch.push_back(B);
            BatchBytes += B->Length;
            if (Batch.size() >= BatchCount || BatchBytes >= BatchSize)
                FlushBatch();
        } else {
            Pool.Submit(B);
        }
    };
    auto Plan = [&](const QString &Path) {
        Member M;
        M.Path = Path;
        M.Folder = Path.endsWith(QLatin1Char('/')) || Path.endsWith(QLatin1Char('\\'));
        auto File = std::make_shared<FileHandle>();
        auto TryOpen = [&] {
            File->Fd = ::open(QFile::encodeName(Path).constData(), O_RDONLY | O_CLOEXEC);
            return File->Fd >= 0;
        };
        M.H = PlanMember(Path, TryOpen, M.Size);
        if (!M.H)
            return;
        // Its name is taken from now on: a second file of the name is a duplicate.
        FNewNames.insert(M.H->StoredName());
        M.File = File;
        M.Crc = quint32(crc32(0, nullptr, 0));
        // As on one thread: any method but stored means deflated.
        if (!M.Folder && M.H->CompressionMethod != 0)
            M.H->CompressionMethod = 8;
        if (!M.Folder && M.Size == 0) {
            // An empty file still gets its (empty) deflate stream from a worker.
            auto B = std::make_shared<PackBlock>();
            B->Fd = File->Fd;
            B->Keep = File;
            B->Last = true;
            B->Level = M.H->CompressionMethod == 8 ? FPackLevel : 0;
            M.Blocks.push_back(B);
            ++InFlight;
            BlockPool::Run(*B);
        }
        Queue.push_back(std::move(M));
    };
    auto WriteHeader = [&](Member &M) {
        M.HeaderAt = FOut->Position();
        M.H->WriteLocalHeader(FOut);
        M.DataStart = FOut->Position();
        FZipSize = M.DataStart;
        M.Started = true;
    };
    auto Finish = [&](Member &M) {
        if (M.Folder) {
            if (!M.Started)
                WriteHeader(M);
            if (OnEndZip)
                OnEndZip(this, M.Path, 0, 0, 0);
            AddToNewList(std::move(M.H));
            ++FAdded;
            return;
        }
        if (M.Done < M.Size)
            ShowLibraryMessage(208, ZipResourceString(208) + M.Path, ZipResourceString(198), ZMB_OK);
        const qint64 End = FOut->Position();
        if (!M.Final) {
            M.H->SetUncompressedSize(M.Done);
            M.H->SetCompressedSize(End - M.DataStart);
            M.H->CRC32 = M.Crc;
            FOut->Seek(M.HeaderAt, soBeginning);
            M.H->WriteLocalHeader(FOut);
            FOut->Seek(End, soBeginning);
        }
        FZipSize = End;
        if (OnEndZip)
            OnEndZip(this, M.Path, M.H->UncompressedSize(), M.H->CompressedSize(), FZipSize);
        AddToNewList(std::move(M.H));
        if (Dispose)
            FDisposeList << M.Path;
        ++FAdded;
    };
    auto Redo = [&](Member &M) {
        // Drop what was written of the member and its pending blocks, then
        // zip it again on this thread.
        FlushBatch();
        for (auto &B : M.Blocks) {
            Pool.Wait(*B);
            --InFlight;
            InFlightBytes -= B->Length;
        }
        M.Blocks.clear();
        if (M.Started) {
            FOut->SetSize(M.HeaderAt);
            FOut->Seek(M.HeaderAt, soBeginning);
            FZipSize = M.HeaderAt;
        }
        FTotalDone -= M.Done;
        FNewNames.remove(M.H->StoredName());
        ZipOne(M.Path);
    };

    for (;;) {
        // Keep the workers busy: more blocks of the last member, or the next member.
        while (InFlight < WindowBlocks && InFlightBytes < WindowBytes) {
            if (!Queue.empty() && !Queue.back().AllSubmitted()) {
                SubmitBlock(Queue.back());
                continue;
            }
            if (Next >= Count)
                break;
            Plan(FFilesList.Strings(Next++));
            CheckCancel();
        }
        if (Queue.empty()) {
            FlushBatch();
            break;
        }

        Member &M = Queue.front();
        if (M.Folder || (M.Blocks.empty() && M.AllSubmitted())) {
            Finish(M);
            Queue.pop_front();
            continue;
        }
        if (M.Blocks.empty())
            continue;   // its next blocks are submitted above
        PackBlock &B = *M.Blocks.front();
        if (!B.Handed && !B.Done)
            FlushBatch();
        Pool.Wait(B);
        if (B.Error)
            std::rethrow_exception(B.Error);
        // The blocks must join into the file's data as it was read.
        if ((B.Read < B.Length && !B.Last) || (B.Level > 0 && B.Offset > 0 && B.Dictionary != M.Tail)) {
            Member Again = std::move(M);
            Queue.pop_front();
            Redo(Again);
            continue;
        }
        if (!M.Started && B.Last && B.Offset == 0) {
            // The whole member is at hand: its header goes out once, final.
            M.H->SetUncompressedSize(B.Read);
            M.H->SetCompressedSize(B.Out.size());
            M.H->CRC32 = B.Crc;
            M.Final = true;
        }
        if (!M.Started)
            WriteHeader(M);
        WriteOut(B.Out.constData(), B.Out.size());
        M.Crc = quint32(crc32_combine(M.Crc, B.Crc, z_off_t(B.Read)));
        M.Done += B.Read;
        M.Tail = (M.Tail + B.Tail).right(BlockPool::WindowSize);
        if (OnFilePercentDone)
            OnFilePercentDone(this, Percent(M.Done, M.Size));
        FTotalDone += B.Read;
        if (OnTotalPercentDone)
            OnTotalPercentDone(this, Percent(FTotalDone, FTotalBytes));
        InFlightBytes -= B.Length;
        M.Blocks.pop_front();
        --InFlight;
    }
}
