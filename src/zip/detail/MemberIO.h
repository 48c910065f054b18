#pragma once
// The two steps between a member's decoder and the rest of extraction.
// Internal to the zip library.
//
// A decoder of a compression method takes the member's compressed data from
// Input and gives what it decodes to Output; it never touches the archive or
// the output file itself. Input reads the member's data and nothing past it,
// switches disks of a spanned set and decrypts an encrypted member; Output
// refuses data past the member's size, keeps the CRC-32, reports progress and
// honours a cancel.

#include <QtGlobal>

namespace ZipDetail {

class MemberIO {
public:
    virtual ~MemberIO() = default;
    // Compressed bytes of the member still to come from Input.
    virtual qint64 Remaining() const = 0;
    // The next piece of compressed data (at most 32768 bytes, decrypted);
    // Data points into a buffer of the reader, valid until the next call.
    // Returns the piece's size, 0 at the end of the member's data.
    // EFatalUnzipError "Premature end of file reached" when the archive ends early.
    virtual qint64 Input(const unsigned char *&Data) = 0;
    // Decoded bytes. EBiggerThanUncompressed past the member's size,
    // ECantWriteUCF when the output cannot take them, EUserCanceled on a cancel.
    virtual void Output(const unsigned char *Data, qint64 Count) = 0;
};

} // namespace ZipDetail
