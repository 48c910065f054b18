// Compression of GIF frames. The LZW encoder finds strings through an 8009-slot
// hash table and clears the table when its next free code reaches 4095, so the
// decoder's table never fills. The run-length coder sends only codes whose
// strings it knows the decoder holds: it models the decoder's table (next free
// slot, code width) exactly and clears often enough that the width stays small.

#include "detail/GIFEncoder.h"
#include "GIFException.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace gifdetail {

namespace {
constexpr int MaxCode = 4096;
}

// ------------------------------------------------------------ streams

[[noreturn]] static void InvalidStreamOperation()
{
    throw Exception(QStringLiteral("Invalid stream operation"));
}

qint64 TGIFStream::Read(void *, qint64) { InvalidStreamOperation(); }
qint64 TGIFStream::Seek(qint64, TSeekOrigin) { InvalidStreamOperation(); }
qint64 TGIFStream::Size() { InvalidStreamOperation(); }
void TGIFStream::SetSize(qint64) { InvalidStreamOperation(); }

qint64 TGIFWriter::Write(const void *Buffer, qint64 Count)
{
    const auto *P = static_cast<const uint8_t *>(Buffer);
    for (qint64 I = 0; I < Count; ++I)
        WriteByte(P[I]);
    return Count;
}

void TGIFWriter::FlushBuffer()
{
    if (FCount == 0)
        return;
    FBuffer[0] = uint8_t(FCount);
    FStream->WriteBuffer(FBuffer.data(), FCount + 1);
    FCount = 0;
}

// ------------------------------------------------------------ hash table

void THashTable::Clear()
{
    std::memset(FSlots.data(), 0xFF, sizeof(FSlots));
}

void THashTable::Insert(uint32_t Key, int Code)
{
    int H = Hash(Key);
    const int D = H == 0 ? 1 : HashSize - H;
    while (FSlots[size_t(H)] != Empty) {
        H -= D;
        if (H < 0)
            H += HashSize;
    }
    FSlots[size_t(H)] = (Key << 12) | uint32_t(Code & 0xFFF);
}

// ------------------------------------------------------------ encoder base

void TGIFEncoder::ColorNotInTable()
{
    throw GIFException(QStringLiteral("Color not in color table"));
}

template <class F>
void TGIFEncoder::ForEachRow(F &&Visit)
{
    const size_t W = size_t(FWidth);
    if (!FInterlace) {
        for (int Y = 0; Y < FHeight; ++Y)
            Visit(FData + size_t(Y) * W);
        return;
    }
    static constexpr int Start[4] = {0, 4, 2, 1};
    static constexpr int Step[4] = {8, 8, 4, 2};
    for (int Pass = 0; Pass < 4; ++Pass)
        for (int Y = Start[Pass]; Y < FHeight; Y += Step[Pass])
            Visit(FData + size_t(Y) * W);
}

void TGIFEncoder::Compress(TStream *Stream, int BitsPerPixel, int ColorCount, int Width, int Height,
                           bool Interlace, const uint8_t *Data)
{
    FStream = Stream;
    FColorCount = ColorCount;
    FWidth = Width;
    FHeight = Height;
    FInterlace = Interlace;
    FData = Data;
    FInitCodeSize = std::max(BitsPerPixel, 2);
    const uint8_t CodeSize = uint8_t(FInitCodeSize);
    Stream->WriteBuffer(&CodeSize, 1);
    FInitBitsPerCode = FBitsPerCode = FInitCodeSize + 1;
    CodeLimit = (1 << FBitsPerCode) - 1;
    ClearCode = 1 << FInitCodeSize;
    EOICode = ClearCode + 1;
    FirstFreeCode = ClearCode + 2;
    FNextCode = FirstFreeCode;
    FBitBuffer = 0;
    FBitCount = 0;
    FClearFlag = false;
    FWriter = std::make_unique<TGIFWriter>(Stream);
    if (Data && Width >= 1 && Height >= 1)
        EncodePixels();
    PutCode(EOICode);
    FWriter->FlushBuffer();
    const uint8_t Terminator = 0;
    Stream->WriteBuffer(&Terminator, 1);
}

void TGIFEncoder::PutCode(int Code)
{
    EmitBits(Code, FBitsPerCode);
    if (Code == EOICode && FBitCount > 0) {
        FWriter->WriteByte(uint8_t(FBitBuffer));
        FBitBuffer = 0;
        FBitCount = 0;
    }
}

void TGIFEncoder::Restart()
{
    FClearFlag = true;
    PutCode(ClearCode);
    FNextCode = FirstFreeCode;
}

// ------------------------------------------------------------ LZW

inline void TLZWEncoder::Put(int Code)
{
    EmitBits(Code, FBitsPerCode);
    if (Code == EOICode && FBitCount > 0) {
        FWriter->WriteByte(uint8_t(FBitBuffer));
        FBitBuffer = 0;
        FBitCount = 0;
    }
    if (FNextCode > CodeLimit || FClearFlag) {
        if (FClearFlag) {
            FBitsPerCode = FInitBitsPerCode;
            CodeLimit = (1 << FBitsPerCode) - 1;
            FClearFlag = false;
        } else {
            ++FBitsPerCode;
            CodeLimit = FBitsPerCode == 12 ? MaxCode : (1 << FBitsPerCode) - 1;
        }
    }
}

void TLZWEncoder::PutCode(int Code)
{
    Put(Code);
}

void TLZWEncoder::Restart()
{
    FClearFlag = true;
    Put(ClearCode);
    FHashTable->Clear();
    FNextCode = FirstFreeCode;
}

void TLZWEncoder::EncodePixels()
{
    // A new table is empty: the data begins with a clear code, and there is
    // nothing to empty yet.
    FHashTable = std::make_unique<THashTable>();
    FClearFlag = true;
    Put(ClearCode);
    FNextCode = FirstFreeCode;
    const bool Check = FColorCount < 256;
    const int Colors = FColorCount;
    const int W = FWidth;
    THashTable &Table = *FHashTable;
    // Locals keep the hot loop in registers: the byte writes of the code
    // writer may alias anything reached through members.
    int Prefix = -1;
    int NextCode = FNextCode;
    struct Child {
        int16_t Pixel, Code;
    };
    constexpr Child NoChild{-1, 0};
    // Only the entries of codes in use are read (a prefix is always below the
    // next free code), so only those are set: the entries of the pixel values
    // and of each code as it is made. A small frame then pays for a few
    // entries, not for all 4096.
    const std::unique_ptr<Child[]> RecentStore(new Child[MaxCode]);
    Child *const Recent = RecentStore.get();   // a local pointer no store can move
    std::fill_n(Recent, FirstFreeCode, NoChild);
    ForEachRow([&](const uint8_t *Row) {
        int X = 0;
        int P = Prefix;
        if (P < 0) {
            if (Check && Row[0] >= Colors)
                ColorNotInTable();
            P = Row[0];
            X = 1;
        }
        for (; X < W; ++X) {
            const int C = Row[X];
            if (Check && C >= Colors)
                ColorNotInTable();
            // Flat areas meet the same string again and again: the last child
            // found for each code answers most lookups without the table.
            if (Recent[size_t(P)].Pixel == C) {
                P = Recent[size_t(P)].Code;
                continue;
            }
            const uint32_t Key = (uint32_t(P) << 8) | uint32_t(C);
            int Slot = 0;
            const int Code = Table.Find(Key, Slot);
            if (Code >= 0) {
                Recent[size_t(P)] = {int16_t(C), int16_t(Code)};
                P = Code;
                continue;
            }
            FNextCode = NextCode;
            Put(P);
            P = C;
            if (NextCode >= MaxCode - 1) {
                Restart();
                NextCode = FNextCode;
                std::fill_n(Recent, FirstFreeCode, NoChild);
            } else {
                Recent[Key >> 8] = {int16_t(C), int16_t(NextCode)};
                Recent[NextCode] = NoChild;
                Table.Store(Slot, Key, NextCode++);
            }
        }
        Prefix = P;
    });
    FNextCode = NextCode;
    Put(Prefix);
}

// ------------------------------------------------------------ RLE

void TRLEEncoder::PutCode(int Code)
{
    TGIFEncoder::PutCode(Code);
}

void TRLEEncoder::Restart()
{
    TGIFEncoder::PutCode(ClearCode);
    FBitsPerCode = FInitBitsPerCode;
    FDecoderNext = FirstFreeCode;
    FDecoderLimit = 2 * ClearCode;
    FOutCount = 0;
    FTableColor = -1;
    FChainMax = 0;
    FLastColor = -1;
    FLastLength = 0;
}

// Sends Code, a run of Length pixels of Color, and follows the decoder: every
// code after the first since a clear adds the previous string plus this
// code's first pixel at the next free slot.
void TRLEEncoder::EmitRun(int Color, int Length, int Code)
{
    PutCode(Code);
    if (FOutCount == 0) {
        FTableColor = Color;
        FChainMax = 1;
    } else if (FDecoderNext < MaxCode) {
        if (FLastColor == FTableColor && Color == FTableColor && FLastLength == FChainMax
            && FDecoderNext == FirstFreeCode + FChainMax - 1)
            ++FChainMax;   // the new slot holds the next longer run
        ++FDecoderNext;
        if (FDecoderNext >= FDecoderLimit && FDecoderLimit < MaxCode) {
            FDecoderLimit *= 2;
            ++FBitsPerCode;
        }
    }
    ++FOutCount;
    FLastColor = Color;
    FLastLength = Length;
}

void TRLEEncoder::EncodeRun(int Color, int64_t Length)
{
    while (Length > 0) {
        if (FOutCount >= FMaxCodes)
            Restart();
        if (FOutCount == 0) {
            EmitRun(Color, 1, Color);
            --Length;
            continue;
        }
        if (Color == FTableColor) {
            if (FLastColor == Color && FLastLength == FChainMax && FDecoderNext == FirstFreeCode + FChainMax - 1
                && FDecoderNext < MaxCode && Length >= FChainMax + 1) {
                // The next free slot itself: the last run followed by its own first pixel.
                const int N = FChainMax + 1;
                EmitRun(Color, N, FDecoderNext);
                Length -= N;
            } else {
                const int N = int(std::min<int64_t>(Length, FChainMax));
                EmitRun(Color, N, N == 1 ? Color : FirstFreeCode + N - 2);
                Length -= N;
            }
            continue;
        }
        // Another colour than the table's: single pixels, or a clear and a
        // new chain 1, 2, 3, ... k of this colour (k(k + 1) / 2 pixels in k codes).
        const int64_t K = std::min<int64_t>(
            int64_t((std::sqrt(double(8 * Length + 1)) - 1) / 2), int64_t(FMaxCodes));
        const int64_t Rest = Length - K * (K + 1) / 2;
        const int64_t Fresh = 1 + K + (Rest > 0 ? (Rest + K - 1) / std::max<int64_t>(K, 1) : 0);
        if (Fresh < Length) {
            Restart();
            continue;
        }
        EmitRun(Color, 1, Color);
        --Length;
    }
}

void TRLEEncoder::EncodePixels()
{
    FMaxCodes = std::min(FInitCodeSize <= 3 ? 9 : ClearCode - 2, MaxCode - FirstFreeCode);
    Restart();
    const bool Check = FColorCount < 256;
    int RunColor = -1;
    int64_t RunLength = 0;
    const int W = FWidth;
    ForEachRow([&](const uint8_t *Row) {
        for (int X = 0; X < W; ++X) {
            const int C = Row[X];
            if (Check && C >= FColorCount)
                ColorNotInTable();
            if (C == RunColor) {
                ++RunLength;
                continue;
            }
            if (RunLength > 0)
                EncodeRun(RunColor, RunLength);
            RunColor = C;
            RunLength = 1;
        }
    });
    if (RunLength > 0)
        EncodeRun(RunColor, RunLength);
}

// ------------------------------------------------------------ driver

void CompressFrame(TStream *Stream, int Compression, int BitsPerPixel, int ColorCount, int Width, int Height,
                   bool Interlace, const uint8_t *Data)
{
    std::unique_ptr<TGIFEncoder> Encoder;
    if (Compression == 1)
        Encoder = std::make_unique<TRLEEncoder>();
    else
        Encoder = std::make_unique<TLZWEncoder>();
    Encoder->Compress(Stream, BitsPerPixel, ColorCount, Width, Height, Interlace, Data);
}

} // namespace gifdetail
