// Shrink, reduce and implode decoding.
//
// What damaged data can and cannot do here: no read or write leaves a table,
// window, stack or buffer, and every input byte costs a bounded amount of
// work. A shrink code size past 13 bits, a chain of codes through free
// entries or round a cycle, a string longer than the stack, a follower index
// past its set, an invalid implode code or a bad tree ends the member. Past
// the end of the member's data at most LegacyPaddingBytes made-up bytes are
// decoded before the member ends, so a short member cannot be stretched to
// its stored size. Whatever was decoded goes to the output step, and the
// caller's size and CRC check reports the member.

#include "LegacyMethods.h"

#include "zip/ZipObj.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <vector>

namespace ZipDetail {

namespace {

constexpr unsigned OutputBufferSize = 32768;
constexpr uint16_t MaskBits[17] = {0x0000, 0x0001, 0x0003, 0x0007, 0x000F, 0x001F, 0x003F, 0x007F, 0x00FF,
                                   0x01FF, 0x03FF, 0x07FF, 0x0FFF, 0x1FFF, 0x3FFF, 0x7FFF, 0xFFFF};

// Shrink dictionary.
constexpr unsigned ShrinkLimit = 8192;    // codes 0 to 8191; 13 bits at most
constexpr unsigned ShrinkMaxBits = 13;
constexpr uint16_t FreeCode = 0xFFFF;
constexpr unsigned ShrinkClearMark = 0x8000;

constexpr unsigned ReduceWindowSize = 16384;
constexpr unsigned ImplodeWindowSize = 32768;

// Implode decoding table entries. e: 0-14 a leaf with that many extra bits,
// 15 a simple value of 256 or more, 16 a literal, 99 an invalid code, 17-32 a
// pointer to a sub-table indexed by e - 16 further bits. b: the bits this
// entry consumes at its level.
constexpr uint8_t InvalidCode = 99;
constexpr uint8_t LiteralLeaf = 16;
constexpr uint8_t SimpleLeaf = 15;
constexpr int MaxCodeLength = 16;
constexpr int MaxListed = 288;   // entries of a base and extra-bit list

struct DecodeEntry {
    uint8_t e = InvalidCode;
    uint8_t b = 0;
    uint16_t v = 0;
    DecodeEntry *t = nullptr;   // the sub-table; in a block's hidden first entry, the next block
};

// Implode's length and distance code lists.
struct CodeList {
    uint16_t Base[64];
    uint8_t Extra[64];
};

CodeList LengthList(int Minimum)
{
    CodeList L {};
    for (int I = 0; I < 64; ++I) {
        L.Base[I] = uint16_t(Minimum + I);
        L.Extra[I] = I == 63 ? 8 : 0;
    }
    return L;
}

CodeList DistanceList(int Step)
{
    CodeList L {};
    for (int I = 0; I < 64; ++I)
        L.Base[I] = uint16_t(1 + Step * I);
    return L;
}

class LegacyDecoder {
public:
    explicit LegacyDecoder(const LegacyMember &Member) : M(Member), FOut(OutputBufferSize) {}

    void UnShrink();
    void UnReduce();
    void Explode();

private:
    // ---- input and output ----
    bool InputByte(uchar &B)
    {
        if (FIn == FInEnd) {
            if (FInputDone)
                return false;
            const uchar *P = nullptr;
            const qint64 N = M.Input ? M.Input(P) : 0;
            if (N <= 0 || !P) {
                FInputDone = true;
                return false;
            }
            FIn = P;
            FInEnd = P + N;
        }
        B = *FIn++;
        return true;
    }
    void FlushOutput()
    {
        if (FOutPos > 0)
            M.Output(reinterpret_cast<const char *>(FOut.data()), FOutPos);
        FOutPos = 0;
    }
    void PutBytes(const uchar *P, unsigned N)
    {
        while (N > 0) {
            const unsigned Piece = std::min(N, OutputBufferSize - FOutPos);
            std::memcpy(FOut.data() + FOutPos, P, Piece);
            FOutPos += Piece;
            P += Piece;
            N -= Piece;
            if (FOutPos == OutputBufferSize)
                FlushOutput();
        }
    }
    void HandOver(const uchar *Window, unsigned N) { PutBytes(Window, N); }

    // ---- the bit reader of shrink and reduce ----
    unsigned ReadBits(int N)
    {
        if (N > FBitCount) {
            FEnd = true;
            uchar B = 0;
            while (FBitCount < 25 && InputByte(B)) {
                FBitBuf |= uint32_t(B) << FBitCount;
                FBitCount += 8;
                FEnd = false;
            }
            if (N > FBitCount)
                FPadBits += N - FBitCount;
        }
        const unsigned R = FBitBuf & MaskBits[N];
        FBitBuf >>= N;
        FBitCount = std::max(0, FBitCount - N);
        return R;
    }

    // ---- the bit reader of implode ----
    uchar ImplodeByte()
    {
        uchar B = 0;
        if (InputByte(B))
            FLastByte = B;
        else if (++FPadBytes > LegacyPaddingBytes)
            FStopped = true;
        return FLastByte;
    }
    void NeedBits(int N)
    {
        while (FBitCount < N) {
            FBitBuf |= uint32_t(ImplodeByte()) << FBitCount;
            FBitCount += 8;
        }
    }
    void DropBits(int N)
    {
        FBitBuf >>= N;
        FBitCount -= N;
    }
    unsigned RawBits(int N)
    {
        NeedBits(N);
        const unsigned R = FBitBuf & MaskBits[N];
        DropBits(N);
        return R;
    }
    const DecodeEntry *Lookup(const DecodeEntry *Table, int Width);

    // ---- the decoders' helpers ----
    void PartialClear(uint16_t *Prefix);
    using FollowerRows = std::array<std::array<uchar, 64>, 256>;
    void LoadFollowers(FollowerRows &Followers, std::array<uchar, 256> &SetSize);
    int ReadCodeLengths(uint8_t *Lengths, int N);
    int BuildDecodeTable(const uint8_t *Lengths, int N, int Simple, const uint16_t *Base, const uint8_t *Extra,
                         DecodeEntry *&Table, int &Width);
    static void FreeDecodeTable(DecodeEntry *Table);
    void WindowCopy(uchar *Window, unsigned Size, unsigned &Pos, bool &FirstPass, unsigned Distance, unsigned Length);

    const LegacyMember &M;
    const uchar *FIn = nullptr;
    const uchar *FInEnd = nullptr;
    bool FInputDone = false;
    std::vector<uchar> FOut;
    unsigned FOutPos = 0;
    uint32_t FBitBuf = 0;
    int FBitCount = 0;
    bool FEnd = false;        // a read needed input and none was left
    qint64 FPadBits = 0;      // zero bits read past the end (reduce)
    uchar FLastByte = 0;      // implode repeats it past the end
    int FPadBytes = 0;
    bool FStopped = false;    // implode read too far past the end
    unsigned FNextFree = 257;
};

// ------------------------------------------------------------------ shrink

void LegacyDecoder::UnShrink()
{
    std::vector<uint16_t> Prefix(ShrinkLimit + 1, FreeCode);
    std::vector<uchar> Suffix(ShrinkLimit + 1, 0);
    std::vector<uchar> Stack(ShrinkLimit);
    for (unsigned C = 0; C < 256; ++C) {
        Prefix[C] = 0;
        Suffix[C] = uchar(C);
    }
    FNextFree = 257;
    int CodeSize = 9;

    unsigned Code = ReadBits(CodeSize);
    if (FEnd) {
        FlushOutput();
        return;
    }
    uchar First = uchar(Code);
    PutBytes(&First, 1);
    unsigned Previous = Code;
    for (;;) {
        Code = ReadBits(CodeSize);
        bool Damaged = false;
        while (!FEnd && Code == 256) {
            const unsigned Sub = ReadBits(CodeSize);
            if (Sub == 1) {
                // Codes of more than 13 bits do not fit the dictionary.
                if (CodeSize == int(ShrinkMaxBits)) {
                    Damaged = true;
                    break;
                }
                ++CodeSize;
            } else if (Sub == 2) {
                PartialClear(Prefix.data());
            }
            Code = ReadBits(CodeSize);
        }
        if (FEnd || Damaged)
            break;

        // The string is built backwards from the stack's end. A free code
        // stands for the previous string plus its own first byte; a chain
        // that does not end within the stack is damaged (free codes or a cycle).
        const unsigned Incoming = Code;
        unsigned Sp = ShrinkLimit;
        if (Prefix[Code] == FreeCode) {
            Stack[--Sp] = First;
            Code = Previous;
        }
        while (Code >= 257 && Sp > 0) {
            if (Prefix[Code] == FreeCode) {
                Stack[--Sp] = First;
                Code = Previous;
            } else {
                Stack[--Sp] = Suffix[Code];
                Code = Prefix[Code];
            }
        }
        if (Sp == 0)
            break;
        First = Suffix[Code];
        Stack[--Sp] = First;
        PutBytes(Stack.data() + Sp, ShrinkLimit - Sp);

        if (FNextFree < ShrinkLimit) {
            Prefix[FNextFree] = uint16_t(Previous);
            Suffix[FNextFree] = First;
            while (++FNextFree < ShrinkLimit && Prefix[FNextFree] != FreeCode) {
            }
        }
        Previous = Incoming;
    }
    FlushOutput();
}

// Frees every code from 257 up to the next free code that is no other code's
// prefix.
void LegacyDecoder::PartialClear(uint16_t *Prefix)
{
    for (unsigned C = 257; C < FNextFree; ++C)
        if (Prefix[C] != FreeCode)
            Prefix[C] |= ShrinkClearMark;
    for (unsigned C = 257; C < FNextFree; ++C) {
        if (Prefix[C] == FreeCode)
            continue;
        const unsigned P = Prefix[C] & ~ShrinkClearMark;
        if (P >= 257 && P < ShrinkLimit && Prefix[P] != FreeCode)
            Prefix[P] &= uint16_t(~ShrinkClearMark);
    }
    for (unsigned C = 257; C < FNextFree; ++C)
        if (Prefix[C] & ShrinkClearMark)
            Prefix[C] = FreeCode;
    FNextFree = 257;
    while (FNextFree < ShrinkLimit && Prefix[FNextFree] != FreeCode)
        ++FNextFree;
}

// ------------------------------------------------------------------ reduce

void LegacyDecoder::LoadFollowers(FollowerRows &Followers, std::array<uchar, 256> &SetSize)
{
    for (int X = 255; X >= 0; --X) {
        SetSize[size_t(X)] = uchar(ReadBits(6));
        for (unsigned I = 0; I < SetSize[size_t(X)]; ++I)
            Followers[size_t(X)][I] = uchar(ReadBits(8));
    }
}

void LegacyDecoder::UnReduce()
{
    const int Factor = M.Method - 1;
    const unsigned LengthMask = 0xFFu >> Factor;   // 127, 63, 31, 15
    std::vector<uchar> Window(ReduceWindowSize);
    auto Followers = std::make_unique<FollowerRows>();
    std::array<uchar, 256> SetSize {};
    LoadFollowers(*Followers, SetSize);

    qint64 Remaining = M.UncompressedSize;
    unsigned Pos = 0;
    bool FirstPass = true;
    int State = 0;
    unsigned V = 0;
    unsigned Length = 0;
    unsigned Last = 0;
    auto Store = [&](unsigned B) {
        Window[Pos++] = uchar(B);
        if (Pos == ReduceWindowSize) {
            HandOver(Window.data(), Pos);
            Pos = 0;
            FirstPass = false;
        }
        --Remaining;
    };
    while (Remaining > 0) {
        unsigned Byte = 0;
        const unsigned Size = SetSize[Last];
        if (Size == 0 || ReadBits(1)) {
            Byte = ReadBits(8);
        } else {
            int Bits = 1;
            while ((1u << Bits) < Size)
                ++Bits;
            const unsigned Index = ReadBits(Bits);
            if (Index >= Size)
                break;   // damaged: the set has no such entry
            Byte = (*Followers)[Last][Index];
        }
        if (FPadBits > LegacyPaddingBytes * 8)
            break;
        switch (State) {
        case 0:
            if (Byte == 0x90)
                State = 1;
            else
                Store(Byte);
            break;
        case 1:
            if (Byte == 0) {
                Store(0x90);
                State = 0;
            } else {
                V = Byte;
                Length = V & LengthMask;
                State = Length == LengthMask ? 2 : 3;
            }
            break;
        case 2:
            Length += Byte;
            State = 3;
            break;
        default: {
            const unsigned Distance = ((V >> (8 - Factor)) & ((1u << Factor) - 1)) * 256 + Byte + 1;
            WindowCopy(Window.data(), ReduceWindowSize, Pos, FirstPass, Distance, Length + 3);
            Remaining -= Length + 3;
            State = 0;
            break;
        }
        }
        Last = Byte;
    }
    HandOver(Window.data(), Pos);
    FlushOutput();
}

// Copies Length bytes from Distance back; a source before the start of the
// data gives zero bytes; overlapping copies repeat what they produce.
void LegacyDecoder::WindowCopy(uchar *Window, unsigned Size, unsigned &Pos, bool &FirstPass, unsigned Distance,
                               unsigned Length)
{
    unsigned Source = (Pos - Distance) & (Size - 1);
    while (Length > 0) {
        Source &= Size - 1;
        const unsigned Piece = std::min(Size - std::max(Source, Pos), Length);
        Length -= Piece;
        if (FirstPass && Source >= Pos)
            std::memset(Window + Pos, 0, Piece);
        else if (Source > Pos || Pos - Source >= Piece)
            std::memmove(Window + Pos, Window + Source, Piece);
        else
            for (unsigned I = 0; I < Piece; ++I)
                Window[Pos + I] = Window[Source + I];
        Pos += Piece;
        Source += Piece;
        if (Pos == Size) {
            HandOver(Window, Size);
            Pos = 0;
            FirstPass = false;
        }
    }
}

// ------------------------------------------------------------------ implode

int LegacyDecoder::ReadCodeLengths(uint8_t *Lengths, int N)
{
    const int Bytes = ImplodeByte() + 1;
    int K = 0;
    for (int I = 0; I < Bytes; ++I) {
        const uchar B = ImplodeByte();
        const int Length = (B & 0x0F) + 1;
        const int Count = (B >> 4) + 1;
        if (K + Count > N)
            return 4;
        for (int J = 0; J < Count; ++J)
            Lengths[K++] = uint8_t(Length);
    }
    return K != N || FStopped ? 4 : 0;
}

void LegacyDecoder::FreeDecodeTable(DecodeEntry *Table)
{
    DecodeEntry *Block = Table ? Table - 1 : nullptr;
    while (Block) {
        DecodeEntry *Next = Block->t;
        delete[] Block;
        Block = Next;
    }
}

// Canonical codes (shorter codes first, values in increasing order within a
// length; the first bit of a code is the lowest input bit) in a primary table
// of 2^Width entries and sub-tables for the longer codes. Missing codes are
// added at the longest length as invalid entries. Table is null unless the
// result is 0.
int LegacyDecoder::BuildDecodeTable(const uint8_t *Lengths, int N, int Simple, const uint16_t *Base,
                                    const uint8_t *Extra, DecodeEntry *&Table, int &Width)
{
    Table = nullptr;
    int Count[MaxCodeLength + 1] = {};
    for (int I = 0; I < N; ++I) {
        if (Lengths[I] > MaxCodeLength)
            return 2;
        ++Count[Lengths[I]];
    }
    if (Count[0] == N) {
        Width = 0;
        return 0;
    }
    int MinLen = 1;
    while (Count[MinLen] == 0)
        ++MinLen;
    int MaxLen = MaxCodeLength;
    while (Count[MaxLen] == 0)
        --MaxLen;
    Width = std::clamp(Width, MinLen, MaxLen);

    int Left = 1 << MinLen;
    for (int L = MinLen; L < MaxLen; ++L) {
        Left -= Count[L];
        if (Left < 0)
            return 2;
        Left <<= 1;
    }
    Left -= Count[MaxLen];
    if (Left < 0)
        return 2;
    const int Dummies = Left;
    if (Dummies > 0 && MaxLen != 1)
        return 1;

    // Symbols in code order: -1 is a dummy code of the longest length.
    struct Symbol {
        int Value;
        int Length;
        unsigned Reversed;
    };
    std::vector<Symbol> Symbols;
    Symbols.reserve(size_t(N + Dummies));
    for (int L = 1; L <= MaxLen; ++L)
        for (int I = 0; I < N; ++I)
            if (Lengths[I] == L)
                Symbols.push_back({I, L, 0});
    for (int I = 0; I < Dummies; ++I)
        Symbols.push_back({-1, MaxLen, 0});
    unsigned Code = 0;
    int CodeLen = Symbols.front().Length;
    for (Symbol &S : Symbols) {
        Code <<= S.Length - CodeLen;
        CodeLen = S.Length;
        unsigned R = 0;
        for (int B = 0; B < S.Length; ++B)
            R |= ((Code >> B) & 1u) << (S.Length - 1 - B);
        S.Reversed = R;
        ++Code;
    }

    DecodeEntry *Last = nullptr;
    bool OutOfMemory = false;
    auto NewBlock = [&](unsigned Entries) -> DecodeEntry * {
        auto *Block = new (std::nothrow) DecodeEntry[Entries + 1];
        if (!Block) {
            OutOfMemory = true;
            return nullptr;
        }
        if (Last)
            Last->t = Block;
        Last = Block;
        return Block + 1;
    };
    auto Leaf = [&](const Symbol &S, int Bits) {
        DecodeEntry E;
        E.b = uint8_t(Bits);
        if (S.Value < 0) {
            E.e = InvalidCode;
        } else if (S.Value < Simple) {
            E.e = S.Value < 256 ? LiteralLeaf : SimpleLeaf;
            E.v = uint16_t(S.Value);
        } else if (S.Value - Simple >= MaxListed || !Base || !Extra) {
            E.e = InvalidCode;
        } else {
            E.e = Extra[S.Value - Simple];
            E.v = Base[S.Value - Simple];
        }
        return E;
    };

    const unsigned PrimarySize = 1u << Width;
    DecodeEntry *Primary = NewBlock(PrimarySize);
    if (!Primary) {
        M.Message(193, ZipResourceString(193), QStringLiteral("Error"), 0);
        return 3;
    }
    // Sub-table widths: the longest code sharing each primary slot.
    std::vector<uint8_t> SubWidth(PrimarySize, 0);
    for (const Symbol &S : Symbols)
        if (S.Length > Width) {
            uint8_t &W = SubWidth[S.Reversed & (PrimarySize - 1)];
            W = std::max(W, uint8_t(S.Length - Width));
        }
    for (const Symbol &S : Symbols) {
        if (S.Length <= Width) {
            const DecodeEntry E = Leaf(S, S.Length);
            for (unsigned I = S.Reversed; I < PrimarySize; I += 1u << S.Length)
                Primary[I] = E;
            continue;
        }
        DecodeEntry &Pointer = Primary[S.Reversed & (PrimarySize - 1)];
        const int Sub = SubWidth[S.Reversed & (PrimarySize - 1)];
        if (Pointer.e != uint8_t(LiteralLeaf + Sub) || !Pointer.t) {
            Pointer.t = NewBlock(1u << Sub);
            if (!Pointer.t)
                break;
            Pointer.e = uint8_t(LiteralLeaf + Sub);
            Pointer.b = uint8_t(Width);
        }
        const DecodeEntry E = Leaf(S, S.Length - Width);
        for (unsigned I = S.Reversed >> Width; I < (1u << Sub); I += 1u << (S.Length - Width))
            Pointer.t[I] = E;
    }
    if (OutOfMemory) {
        FreeDecodeTable(Primary);
        M.Message(193, ZipResourceString(193), QStringLiteral("Error"), 0);
        return 3;
    }
    Table = Primary;
    return 0;
}

// The leaf for the next code, or null for an invalid one. The codes are
// stored inverted.
const DecodeEntry *LegacyDecoder::Lookup(const DecodeEntry *Table, int Width)
{
    if (!Table)
        return nullptr;
    NeedBits(Width);
    const DecodeEntry *E = Table + ((~FBitBuf) & MaskBits[Width]);
    while (E->e > LiteralLeaf) {
        if (E->e == InvalidCode)
            return nullptr;
        DropBits(E->b);
        const int Sub = E->e - LiteralLeaf;
        NeedBits(Sub);
        E = E->t + ((~FBitBuf) & MaskBits[Sub]);
    }
    DropBits(E->b);
    return E;
}

void LegacyDecoder::Explode()
{
    const bool LiteralTree = M.Flags & 4;
    const bool BigWindow = M.Flags & 2;
    int LiteralWidth = 9;
    int LengthWidth = 7;
    int DistanceWidth = M.CompressedSize > 200000 ? 8 : 7;
    static const CodeList Lengths2 = LengthList(2);
    static const CodeList Lengths3 = LengthList(3);
    static const CodeList Distances4K = DistanceList(64);
    static const CodeList Distances8K = DistanceList(128);
    const CodeList &LengthCodes = LiteralTree ? Lengths3 : Lengths2;
    const CodeList &DistanceCodes = BigWindow ? Distances8K : Distances4K;

    DecodeEntry *Literals = nullptr;
    DecodeEntry *LengthTable = nullptr;
    DecodeEntry *DistanceTable = nullptr;
    struct FreeTables {
        DecodeEntry *&A, *&B, *&C;
        ~FreeTables()
        {
            FreeDecodeTable(A);
            FreeDecodeTable(B);
            FreeDecodeTable(C);
        }
    } Free{Literals, LengthTable, DistanceTable};

    uint8_t L[256];
    if (LiteralTree && (ReadCodeLengths(L, 256) != 0
                        || BuildDecodeTable(L, 256, 256, nullptr, nullptr, Literals, LiteralWidth) != 0))
        return;
    if (ReadCodeLengths(L, 64) != 0
        || BuildDecodeTable(L, 64, 0, LengthCodes.Base, LengthCodes.Extra, LengthTable, LengthWidth) != 0)
        return;
    if (ReadCodeLengths(L, 64) != 0
        || BuildDecodeTable(L, 64, 0, DistanceCodes.Base, DistanceCodes.Extra, DistanceTable, DistanceWidth) != 0)
        return;

    std::vector<uchar> Window(ImplodeWindowSize);
    unsigned Pos = 0;
    bool FirstPass = true;
    const int LowBits = BigWindow ? 7 : 6;
    qint64 Remaining = M.UncompressedSize;
    FBitBuf = 0;
    FBitCount = 0;
    while (Remaining > 0 && !FStopped) {
        if (RawBits(1)) {
            unsigned Byte = 0;
            if (Literals) {
                const DecodeEntry *E = Lookup(Literals, LiteralWidth);
                if (!E) {
                    FlushOutput();   // the window's bytes since the last hand-over are dropped
                    return;
                }
                Byte = E->v;
            } else {
                Byte = RawBits(8);
            }
            if (FStopped)
                break;
            Window[Pos++] = uchar(Byte);
            if (Pos == ImplodeWindowSize) {
                HandOver(Window.data(), Pos);
                Pos = 0;
                FirstPass = false;
            }
            --Remaining;
        } else {
            const unsigned Low = RawBits(LowBits);
            const DecodeEntry *D = Lookup(DistanceTable, DistanceWidth);
            const DecodeEntry *N = D ? Lookup(LengthTable, LengthWidth) : nullptr;
            if (!D || !N) {
                FlushOutput();
                return;
            }
            unsigned Length = N->v;
            if (N->e)
                Length += RawBits(N->e);
            if (FStopped)
                break;
            Remaining -= Length;
            WindowCopy(Window.data(), ImplodeWindowSize, Pos, FirstPass, Low + D->v, Length);
        }
    }
    HandOver(Window.data(), Pos);
    FlushOutput();
}

} // namespace

bool IsLegacyMethod(int Method)
{
    return Method >= 1 && Method <= 6;
}

void DecodeLegacyMember(const LegacyMember &Member)
{
    LegacyDecoder D(Member);
    if (Member.Method == 1)
        D.UnShrink();
    else if (Member.Method >= 2 && Member.Method <= 5)
        D.UnReduce();
    else if (Member.Method == 6)
        D.Explode();
}

} // namespace ZipDetail
