#include "pdf/detail/PdfScratch.h"

#include "platform/core/FileUtils.h"
#include "platform/core/SysUtils.h"

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

namespace PdfDetail {

namespace {

// The texts the platform's streams give for the same failures.
const char WriteFailedText[] = "写入数据时出错，磁盘可能已满。";
const char ReadFailedText[] = "读取数据时出错。";

// Bodies are copied out in pieces of this size: large enough for few calls,
// small enough to cost nothing beside the document.
constexpr qint64 CopyPiece = 1024 * 1024;

int OpenNameless(const QString &Folder)
{
    const QByteArray Path = QFile::encodeName(Folder);
    int Handle = ::open(Path.constData(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (Handle >= 0 || (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL))
        return Handle;
    // A file system without nameless files: a new name, taken away at once.
    QByteArray Template = Path;
    if (!Template.endsWith('/'))
        Template += '/';
    Template += "pdf-XXXXXX";
    Handle = ::mkostemp(Template.data(), O_CLOEXEC);
    if (Handle >= 0)
        ::unlink(Template.constData());
    return Handle;
}

} // namespace

ScratchFile::ScratchFile()
{
    const QString Folder = ScratchFolder();
    FHandle = OpenNameless(Folder);
    if (FHandle < 0)
        throw EFCreateError(CannotCreateFileText(Folder, errno));
}

ScratchFile::~ScratchFile()
{
    if (FHandle >= 0)
        ::close(FHandle);
}

qint64 ScratchFile::Append(const char *Data, qint64 Size)
{
    const qint64 Start = FSize;
    qint64 Done = 0;
    while (Done < Size) {
        const ssize_t N = ::pwrite(FHandle, Data + Done, size_t(std::min<qint64>(Size - Done, 1 << 30)),
                                   off_t(Start + Done));
        if (N < 0 && errno == EINTR)
            continue;
        if (N <= 0) {
            // What was written of these bytes lies beyond the end and is
            // written over by the next ones.
            throw EWriteError(QString::fromUtf8(WriteFailedText));
        }
        Done += N;
    }
    FSize = Start + Size;
    return Start;
}

void ScratchFile::CopyTo(qint64 Offset, qint64 Size, TStream *Out) const
{
    if (Offset < 0 || Size < 0 || Offset + Size > FSize)
        throw EReadError(QString::fromUtf8(ReadFailedText));
    const qint64 PieceSize = std::min(Size, CopyPiece);
    if (PieceSize == 0)
        return;
    const std::unique_ptr<char[]> Piece(new char[size_t(PieceSize)]);
    while (Size > 0) {
        const qint64 Want = std::min(Size, PieceSize);
        qint64 Got = 0;
        while (Got < Want) {
            const ssize_t N = ::pread(FHandle, Piece.get() + Got, size_t(Want - Got), off_t(Offset + Got));
            if (N < 0 && errno == EINTR)
                continue;
            if (N <= 0)
                throw EReadError(QString::fromUtf8(ReadFailedText));
            Got += N;
        }
        Out->WriteBuffer(Piece.get(), Want);
        Offset += Want;
        Size -= Want;
    }
}

} // namespace PdfDetail
