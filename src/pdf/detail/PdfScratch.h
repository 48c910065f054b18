#pragma once
// Internal to the PDF writer: the file that holds the bodies of image objects
// while a document is built, so that memory does not grow with the pictures.
//
// The file never has a name (or loses it at once where the file system cannot
// make nameless files): nothing of it is left on disk when the document is
// freed, written or not, nor when the program ends in any way.

#include "platform/core/Classes.h"

namespace PdfDetail {

class ScratchFile {
public:
    // A new empty file in the program's scratch folder. EFCreateError when it
    // cannot be made (the folder's own failure is EInOutError).
    ScratchFile();
    ~ScratchFile();
    ScratchFile(const ScratchFile &) = delete;
    ScratchFile &operator=(const ScratchFile &) = delete;

    // Adds Size bytes at the end and returns where they begin. EWriteError
    // when they cannot all be written (a full disk); the file is then as it
    // was before.
    qint64 Append(const char *Data, qint64 Size);
    // Writes the Size bytes at Offset to Out. EReadError when they cannot be
    // read back.
    void CopyTo(qint64 Offset, qint64 Size, TStream *Out) const;
    qint64 Size() const { return FSize; }

private:
    int FHandle = -1;
    qint64 FSize = 0;
};

} // namespace PdfDetail
