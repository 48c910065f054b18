// LZW decoding of GIF frame data. The decoder works on a bit buffer filled one
// data sub-block at a time, rebuilds strings from the prefix/suffix tables onto
// a stack and hands them out one pixel per call.
//
// Damaged data never makes it read or write outside its buffers: a code size
// the tables cannot hold, a code beyond the next free table slot, a first code
// after a clear that is not a root code, or a string longer than the stack
// ends pixel placement with a warning, and the remaining sub-blocks are skipped.

#include "detail/GIFDecoder.h"
#include "detail/GIFStrings.h"
#include "GIFException.h"

#include <QtEndian>
#include <algorithm>
#include <cstring>

namespace gifdetail {

namespace {

constexpr int MaxCodeBits = 12;
constexpr int TableSize = 1 << MaxCodeBits;   // 4096
constexpr int StackSize = 2 * TableSize;      // 8192

// Negative results of GetCode/ReadByte.
constexpr int NoMoreData = -1;   // the data ran out
constexpr int EndOfData = -2;    // the end code was met
constexpr int Corrupt = -3;      // the data is damaged; placement stops

class LZWDecoder {
public:
    LZWDecoder(TStream *Stream, const WarnFunc &Warn) : FStream(Stream), FWarn(Warn)
    {
        FStreamEnd = Stream->Size();
    }

    // Reads the initial code size; false when the frame has no data to decode.
    bool Start()
    {
        uint8_t Size = 0;
        if (FStream->Read(&Size, 1) != 1)
            return false;
        if (Size == 0 || Size > MaxCodeBits - 1) {
            // clear_code = 1 shl size must leave room in the 4096-entry tables.
            FWarn(QString::fromLatin1(gifstr::InvalidData));
            FCorrupt = true;
            return true;
        }
        FSetCodeSize = Size;
        FCodeSize = Size + 1;
        FClearCode = 1 << Size;
        FEndCode = FClearCode + 1;
        FMaxCodeSize = 2 * FClearCode;
        FMaxCode = FClearCode + 2;
        return true;
    }

    bool IsCorrupt() const { return FCorrupt; }
    bool SawTerminator() const { return FZeroBlock; }

    // One pixel, or a negative value when placement must stop.
    inline int ReadByte()
    {
        if (FSp > 0)
            return FStack[--FSp];
        uint8_t Pixel = 0;
        const int N = DecodeInto(&Pixel, 1);
        if (N < 0)
            return N;
        if (N == 1)
            return Pixel;
        return FStack[--FSp];
    }

    // Places up to Count pixels; returns how many were placed before the data
    // ended or turned out damaged.
    size_t Fill(uint8_t *Dest, size_t Count)
    {
        size_t Placed = 0;
        while (Placed < Count) {
            if (FSp > 0) {
                // The stack holds the string reversed.
                size_t N = std::min(size_t(FSp), Count - Placed);
                const uint8_t *Top = FStack + FSp;
                for (size_t I = 0; I < N; ++I)
                    Dest[Placed + I] = *--Top;
                FSp -= int(N);
                Placed += N;
                continue;
            }
            Placed += FastRun(Dest + Placed, Count - Placed);
            if (Placed >= Count || FSp > 0)
                continue;
            // Strings that fit are written straight into place; a longer one
            // waits on the stack and is handed out from there.
            const int N = DecodeInto(Dest + Placed, Count - Placed);
            if (N < 0)
                break;
            Placed += size_t(N);
        }
        return Placed;
    }

    // Skips data sub-blocks up to and including the terminator (or the end).
    void SkipRemainingBlocks()
    {
        if (FZeroBlock)
            return;
        uint8_t Count = 0;
        uint8_t Skip[255];
        while (FStream->Read(&Count, 1) == 1 && Count != 0) {
            if (FStream->Read(Skip, Count) != Count)
                break;
        }
        FZeroBlock = true;
        FDone = true;
    }

private:
    int GetCode(int Size)
    {
        if (FFresh) {
            FFresh = false;
            return FClearCode;
        }
        // Refill until the whole code lies inside the valid bits; a short
        // sub-block may need more than one refill.
        while (FCurBit + Size > FLastBit) {
            if (FDone) {
                if (FCurBit >= FLastBit)
                    FWarn(QString::fromLatin1(gifstr::BitBufferUnderrun));
                return NoMoreData;
            }
            // The unread bits of a pending code lie within the last two bytes.
            FBuf[0] = FBuf[FLastByte - 2];
            FBuf[1] = FBuf[FLastByte - 1];
            uint8_t Count = 0;
            if (FStream->Read(&Count, 1) != 1)
                return NoMoreData;
            if (Count == 0) {
                FZeroBlock = true;
                FDone = true;
            }
            qint64 Left = FStreamEnd - FStream->Position();
            if (Left < 0)
                Left = 0;
            if (Count > Left) {
                FWarn(QString::fromLatin1(gifstr::PrematureEnd));
                Count = uint8_t(Left);
            }
            qint64 Got = Count ? FStream->Read(FBuf + 2, Count) : 0;
            if (Got < 0)
                Got = 0;
            FLastByte = int(Got) + 2;
            FCurBit = FCurBit - FLastBit + 16;
            FLastBit = FLastByte * 8;
            if (Got < Count)
                FDone = true;   // the stream gave less than it held: no more blocks
        }
        // The code lies in at most three bytes below FLastByte; the buffer has
        // room for a whole 32-bit load and the bits beyond the code are masked.
        const int Pos = FCurBit >> 3;
        const uint32_t Bits = uint32_t(FBuf[Pos]) | (uint32_t(FBuf[Pos + 1]) << 8) | (uint32_t(FBuf[Pos + 2]) << 16);
        int Code = int((Bits >> (FCurBit & 7)) & ((1u << Size) - 1));
        FCurBit += Size;
        return Code;
    }

    void Reset()
    {
        for (int I = 0; I < FClearCode; ++I) {
            FPrefix[I] = 0;
            FSuffix[I] = uint8_t(I);
            FLength[I] = 1;
        }
        std::memset(FPrefix + FClearCode, 0, sizeof(FPrefix[0]) * size_t(TableSize - FClearCode));
        std::memset(FSuffix + FClearCode, 0, size_t(TableSize - FClearCode));
        FCodeSize = FSetCodeSize + 1;
        FMaxCodeSize = 2 * FClearCode;
        FMaxCode = FClearCode + 2;
        FSp = 0;
    }

    int MarkCorrupt()
    {
        FWarn(QString::fromLatin1(gifstr::InvalidData));
        FCorrupt = true;
        return Corrupt;
    }

    // Decodes codes while each lies wholly in the buffered sub-block, is a
    // table entry (not a clear or end code, not beyond the table) and its
    // string fits in Room; returns the pixels placed. Everything else is left
    // to DecodeInto. The state lives in locals here: stores through Out may
    // alias any member, which would reload them after every pixel.
    size_t FastRun(uint8_t *Dest, size_t Room)
    {
        if (!FHaveOld || FCorrupt || FFresh)
            return 0;
        int CurBit = FCurBit;
        const int LastBit = FLastBit;
        int CodeSize = FCodeSize, MaxCode = FMaxCode, MaxCodeSize = FMaxCodeSize;
        int OldCode = FOldCode, FirstCode = FFirstCode;
        const int Clear = FClearCode;
        const uint8_t *const Buf = FBuf;
        uint16_t *const Prefix = FPrefix;
        uint8_t *const Suffix = FSuffix;
        uint16_t *const Length = FLength;
        uint8_t *Out = Dest;
        uint32_t Mask = (1u << CodeSize) - 1;
        while (Room > 0 && CurBit + CodeSize <= LastBit) {
            // Four bytes at once: the buffer has room past its last valid byte,
            // and the bits beyond the code are masked off.
            uint32_t Bits;
            std::memcpy(&Bits, Buf + (CurBit >> 3), 4);
            Bits = qFromLittleEndian(Bits);
            const int Code = int((Bits >> (CurBit & 7)) & Mask);
            int Root;
            size_t Len;
            if (Code < Clear) {
                *Out = uint8_t(Code);
                Root = Code;
                Len = 1;
            } else {
                if (Code <= Clear + 1 || Code > MaxCode)
                    break;
                const bool Repeat = Code == MaxCode;
                const int Base = Repeat ? OldCode : Code;
                Len = size_t(Length[Base]) + (Repeat ? 1 : 0);
                if (Len > Room)
                    break;
                uint8_t *P = Out + Len - 1;
                if (Repeat)
                    *P-- = uint8_t(FirstCode);
                int C = Base;
                while (C >= Clear) {
                    *P-- = Suffix[C];
                    C = Prefix[C];
                }
                *P = uint8_t(C);
                Root = C;
            }
            CurBit += CodeSize;
            FirstCode = Root;
            if (MaxCode < TableSize) {
                Prefix[MaxCode] = uint16_t(OldCode);
                Suffix[MaxCode] = uint8_t(Root);
                Length[MaxCode] = uint16_t(Length[OldCode] + 1);
                ++MaxCode;
                if (MaxCode >= MaxCodeSize && MaxCodeSize < TableSize) {
                    MaxCodeSize *= 2;
                    ++CodeSize;
                    Mask = (1u << CodeSize) - 1;
                }
            }
            OldCode = Code;
            Out += Len;
            Room -= Len;
        }
        FCurBit = CurBit;
        FCodeSize = CodeSize;
        FMaxCode = MaxCode;
        FMaxCodeSize = MaxCodeSize;
        FOldCode = OldCode;
        FFirstCode = FirstCode;
        return size_t(Out - Dest);
    }

    // Decodes the next code. Its string goes to Out when it is at most Room
    // long (the result is its length), else onto the stack (the result is 0).
    // Negative results: the data ended or is damaged.
    int DecodeInto(uint8_t *Out, size_t Room)
    {
        if (FCorrupt)
            return Corrupt;
        int Code = GetCode(FCodeSize);
        if (Code < FClearCode && Code >= 0 && FHaveOld && Room > 0) {
            // A single pixel: the commonest code in busy pictures.
            Out[0] = uint8_t(Code);
            AddEntry(Code);
            FOldCode = Code;
            return 1;
        }
        if (Code < 0)
            return Code;
        if (Code == FEndCode) {
            SkipRemainingBlocks();
            return EndOfData;
        }
        if (Code == FClearCode) {
            Reset();
            do {
                Code = GetCode(FCodeSize);
            } while (Code == FClearCode);
            if (Code < 0)
                return Code;
            if (Code == FEndCode) {
                SkipRemainingBlocks();
                return EndOfData;
            }
            if (Code > FClearCode)
                return MarkCorrupt();   // a string before any table entry exists
            FFirstCode = FOldCode = Code;
            FHaveOld = true;
            // The next code may already be the next free slot (a string
            // followed by its own first byte), so it must be wide enough to
            // say it. That matters only for 1-bit colours, whose first free
            // slot 4 needs 3 bits: the width grows here, before any entry.
            if (FMaxCode >= FMaxCodeSize && FMaxCodeSize < TableSize) {
                FMaxCodeSize *= 2;
                ++FCodeSize;
            }
            if (Room == 0) {
                FStack[FSp++] = uint8_t(Code);
                return 0;
            }
            Out[0] = uint8_t(Code);
            return 1;
        }
        if (!FHaveOld)
            return MarkCorrupt();
        const int InCode = Code;
        if (Code > FMaxCode || Code >= TableSize)
            return MarkCorrupt();
        // A code one past the table is the previous string followed by its
        // own first byte.
        const bool Repeat = Code == FMaxCode;
        const int Base = Repeat ? FOldCode : Code;
        const int Length = FLength[Base] + (Repeat ? 1 : 0);
        int Root;
        if (size_t(Length) <= Room) {
            uint8_t *P = Out + Length - 1;
            if (Repeat)
                *P-- = uint8_t(FFirstCode);
            int C = Base;
            while (C >= FClearCode) {
                *P-- = FSuffix[C];
                C = FPrefix[C];
            }
            *P = uint8_t(C);
            Root = C;
        } else {
            if (Repeat)
                FStack[FSp++] = uint8_t(FFirstCode);
            int C = Base;
            while (C >= FClearCode) {
                if (FSp >= StackSize - 1)
                    return MarkCorrupt();
                FStack[FSp++] = FSuffix[C];
                if (FPrefix[C] == C)
                    throw GIFException(QString::fromLatin1(gifstr::CircularTableEntry));
                C = FPrefix[C];
            }
            FStack[FSp++] = uint8_t(C);
            Root = C;
        }
        AddEntry(Root);
        FOldCode = InCode;
        return size_t(Length) <= Room ? Length : 0;
    }

    // The table gains the previous string followed by the first pixel of the
    // string just decoded.
    inline void AddEntry(int First)
    {
        FFirstCode = First;
        if (FMaxCode < TableSize) {
            FPrefix[FMaxCode] = uint16_t(FOldCode);
            FSuffix[FMaxCode] = uint8_t(First);
            FLength[FMaxCode] = uint16_t(FLength[FOldCode] + 1);
            ++FMaxCode;
            if (FMaxCode >= FMaxCodeSize && FMaxCodeSize < TableSize) {
                FMaxCodeSize *= 2;
                ++FCodeSize;
            }
        }
    }

    TStream *FStream;
    const WarnFunc &FWarn;
    qint64 FStreamEnd = 0;

    // bit reader
    uint8_t FBuf[2 + 255 + 4] = {};
    int FCurBit = 0;
    int FLastBit = 0;
    int FLastByte = 2;
    bool FDone = false;
    bool FZeroBlock = false;
    bool FFresh = true;

    // code reader
    int FSetCodeSize = 0;
    int FCodeSize = 0;
    int FClearCode = 0;
    int FEndCode = 0;
    int FMaxCode = 0;
    int FMaxCodeSize = 0;
    int FFirstCode = 0;
    int FOldCode = 0;
    bool FHaveOld = false;
    bool FCorrupt = false;
    uint16_t FPrefix[TableSize];
    uint8_t FSuffix[TableSize];
    uint16_t FLength[TableSize];   // the length of each entry's string
    uint8_t FStack[StackSize];
    int FSp = 0;
};

} // namespace

void DecodeFramePixels(TStream *Stream, uint8_t *Pixels, int Width, int Height, bool Interlaced,
                       const WarnFunc &Warn)
{
    auto Decoder = std::make_unique<LZWDecoder>(Stream, Warn);
    if (!Decoder->Start())
        return;
    if (!Decoder->IsCorrupt() && Width > 0 && Height > 0) {
        const size_t W = size_t(Width);
        if (!Interlaced) {
            const size_t Total = W * size_t(Height);
            Decoder->Fill(Pixels, Total);
        } else {
            int Row = 0, Step = 8, Pass = 0;
            for (int Y = 0; Y < Height; ++Y) {
                if (Decoder->Fill(Pixels + size_t(Row) * W, W) < W)
                    break;
                Row += Step;
                while (Row >= Height) {
                    if (Pass > 0)
                        Step /= 2;
                    ++Pass;
                    Row = Step / 2;
                    if (Step == 0)
                        break;   // all passes done
                }
            }
        }
    }
    // Meet the end code if it comes next, then make sure the stream is left
    // after this frame's data even when the data held more than the frame.
    if (!Decoder->IsCorrupt())
        Decoder->ReadByte();
    Decoder->SkipRemainingBlocks();
}

int64_t MaxDecodablePixels(int64_t Bytes)
{
    // The smallest code size (1) starts with 2-bit codes and its codes stay
    // the narrowest at every step; after a clear the n-th code can stand for
    // at most n pixels, and once the table is full every 12-bit code for at
    // most the longest string the table can hold.
    int64_t Bits = Bytes * 8;
    int64_t Pixels = 0;
    int Width = 2, NextCode = 4, Limit = 4;
    int64_t Length = 1;
    while (Bits >= Width) {
        if (NextCode >= TableSize)
            return Pixels + (Bits / Width) * Length;
        Pixels += Length;
        Bits -= Width;
        if (Length > 1)
            ++NextCode;   // the first code after a clear adds no entry
        ++Length;
        if (NextCode >= Limit && Limit < TableSize) {
            Limit *= 2;
            ++Width;
        }
    }
    return Pixels;
}

} // namespace gifdetail
