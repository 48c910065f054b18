#pragma once
// Compression of one GIF frame's pixels: the sub-block writer, the LZW
// encoder with its hash table and the run-length coder whose codes any LZW
// decoder reads. Internal to the GIF library; frames call CompressFrame.

#include "platform/core/Classes.h"

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

namespace gifdetail {

// A stream that only writes: read, seek and size raise "Invalid stream operation".
class TGIFStream : public TStream {
public:
    qint64 Read(void *Buffer, qint64 Count) override;
    qint64 Seek(qint64 Offset, TSeekOrigin Origin) override;
    qint64 Size() override;
    void SetSize(qint64 NewSize) override;
};

// Cuts what is written into data sub-blocks of at most 255 bytes.
class TGIFWriter : public TGIFStream {
public:
    explicit TGIFWriter(TStream *Stream) : FStream(Stream) {}
    qint64 Write(const void *Buffer, qint64 Count) override;
    inline void WriteByte(uint8_t Value)
    {
        FBuffer[++FCount] = Value;
        if (FCount == 255)
            FlushBuffer();
    }
    // Writes the pending sub-block, if any.
    void FlushBuffer();

private:
    TStream *FStream;
    std::array<uint8_t, 256> FBuffer{};   // count byte, then up to 255 bytes
    int FCount = 0;
};

// 8009 slots of (key shl 12) or code; the key is (prefix shl 8) or pixel.
class THashTable {
public:
    static constexpr int HashSize = 8009;
    THashTable() { Clear(); }
    void Clear();
    // The code stored for Key, or -1.
    inline int Lookup(uint32_t Key) const
    {
        int H = Hash(Key);
        const int D = H == 0 ? 1 : HashSize - H;
        for (;;) {
            const uint32_t Slot = FSlots[size_t(H)];
            if (Slot == Empty)
                return -1;
            if ((Slot >> 12) == Key)
                return int(Slot & 0xFFF);
            H -= D;
            if (H < 0)
                H += HashSize;
        }
    }
    void Insert(uint32_t Key, int Code);
    // As Lookup; when Key is absent, Slot is where Insert would put it.
    inline int Find(uint32_t Key, int &Slot) const
    {
        int H = Hash(Key);
        const int D = H == 0 ? 1 : HashSize - H;
        for (;;) {
            const uint32_t Value = FSlots[size_t(H)];
            if (Value == Empty) {
                Slot = H;
                return -1;
            }
            if ((Value >> 12) == Key)
                return int(Value & 0xFFF);
            H -= D;
            if (H < 0)
                H += HashSize;
        }
    }
    inline void Store(int Slot, uint32_t Key, int Code) { FSlots[size_t(Slot)] = (Key << 12) | uint32_t(Code & 0xFFF); }

private:
    static constexpr uint32_t Empty = 0xFFFFFFFFu;
    static inline int Hash(uint32_t Key) { return int(((Key >> 4) ^ Key) % HashSize); }
    std::array<uint32_t, HashSize> FSlots;
};

// What every encoder shares: the code writer and the pixel order.
class TGIFEncoder {
public:
    virtual ~TGIFEncoder() = default;
    // Writes the code size byte, the codes in sub-blocks and the terminator.
    // Data holds Width x Height colour indexes; a value not below ColorCount
    // raises "Color not in color table".
    void Compress(TStream *Stream, int BitsPerPixel, int ColorCount, int Width, int Height, bool Interlace,
                  const uint8_t *Data);

protected:
    virtual void PutCode(int Code);
    virtual void Restart();
    virtual void EncodePixels() = 0;
    // Hands the rows to Visit in file order (interlace passes included).
    template <class F>
    void ForEachRow(F &&Visit);
    [[noreturn]] static void ColorNotInTable();

    int FColorCount = 0;
    int FInitCodeSize = 0;
    TStream *FStream = nullptr;
    int FWidth = 0, FHeight = 0;
    bool FInterlace = false;
    const uint8_t *FData = nullptr;
    std::unique_ptr<TGIFWriter> FWriter;
    uint32_t FBitBuffer = 0;
    int FBitCount = 0;
    bool FClearFlag = false;
    int FBitsPerCode = 0, FInitBitsPerCode = 0, CodeLimit = 0;
    int ClearCode = 0, EOICode = 0, FirstFreeCode = 0;
    int FNextCode = 0;

    inline void EmitBits(int Code, int Bits)
    {
        FBitBuffer |= uint32_t(Code) << FBitCount;
        FBitCount += Bits;
        while (FBitCount >= 8) {
            FWriter->WriteByte(uint8_t(FBitBuffer));
            FBitBuffer >>= 8;
            FBitCount -= 8;
        }
    }
};

class TLZWEncoder : public TGIFEncoder {
protected:
    void PutCode(int Code) override;
    void Restart() override;
    void EncodePixels() override;

private:
    inline void Put(int Code);
    std::unique_ptr<THashTable> FHashTable;
};

// Runs of one colour as codes that any LZW decoder reads as those runs.
class TRLEEncoder : public TGIFEncoder {
protected:
    void PutCode(int Code) override;
    void Restart() override;
    void EncodePixels() override;

private:
    void EncodeRun(int Color, int64_t Length);
    void EmitRun(int Color, int Length, int Code);
    int FMaxCodes = 0;        // codes allowed between clears
    int FOutCount = 0;        // codes since the last clear
    int FDecoderNext = 0;     // the decoder's next free table slot
    int FDecoderLimit = 0;    // where the decoder widens its codes
    int FTableColor = -1;     // colour whose runs the table holds since the clear
    int FChainMax = 0;        // slot FirstFreeCode + n - 2 holds a run of n for n <= FChainMax
    int FLastColor = -1, FLastLength = 0;
};

// Compresses a frame with the LZW encoder (Compression 0) or the run-length
// coder (1).
void CompressFrame(TStream *Stream, int Compression, int BitsPerPixel, int ColorCount, int Width, int Height,
                   bool Interlace, const uint8_t *Data);

} // namespace gifdetail
