#include "LegacyEncoders.h"

#include <QtEndian>

#include <algorithm>
#include <map>
#include <queue>
#include <unordered_map>
#include <vector>
#include <zlib.h>

namespace LegacyTest {

void BitWriter::Put(uint32_t Value, int Bits)
{
    FBuf |= uint64_t(Value & ((uint64_t(1) << Bits) - 1)) << FCount;
    FCount += Bits;
    while (FCount >= 8) {
        FBytes += char(FBuf & 0xFF);
        FBuf >>= 8;
        FCount -= 8;
    }
}

QByteArray BitWriter::Finish()
{
    if (FCount > 0)
        FBytes += char(FBuf & 0xFF);
    FBuf = 0;
    FCount = 0;
    return FBytes;
}

namespace {

// ---------------------------------------------------------------- matching

struct Match {
    int Length = 0;
    int Distance = 0;
};

// Greedy LZ77 matching over hash chains of three bytes. With ZerosBefore,
// bytes before the start read as zero (the decoders' first window pass).
class Matcher {
public:
    Matcher(const QByteArray &Data, int MaxDistance, int MaxLength, bool ZerosBefore)
        : D(reinterpret_cast<const uint8_t *>(Data.constData())), N(int(Data.size())), FMaxDistance(MaxDistance),
          FMaxLength(MaxLength), FZerosBefore(ZerosBefore), FHead(1 << 15, -1), FPrev(size_t(N), -1)
    {
    }
    Match Find(int P) const
    {
        Match Best;
        const int Limit = std::min(FMaxLength, N - P);
        auto Try = [&](int Distance) {
            int L = 0;
            while (L < Limit && At(P - Distance + L) == D[P + L])
                ++L;
            if (L > Best.Length) {
                Best.Length = L;
                Best.Distance = Distance;
            }
        };
        if (P + 2 < N) {
            int Chain = 64;
            for (int C = FHead[Hash(P)]; C >= 0 && P - C <= FMaxDistance && Chain-- > 0; C = FPrev[size_t(C)])
                Try(P - C);
        }
        if (FZerosBefore && P < FMaxDistance)
            Try(FMaxDistance);
        // Runs of one byte: the shortest distance repeats it.
        if (P > 0)
            Try(1);
        return Best;
    }
    void Insert(int P)
    {
        if (P + 2 >= N)
            return;
        const int H = Hash(P);
        FPrev[size_t(P)] = FHead[H];
        FHead[H] = P;
    }

private:
    int Hash(int P) const { return ((D[P] << 10) ^ (D[P + 1] << 5) ^ D[P + 2]) & 0x7FFF; }
    uint8_t At(int I) const { return I < 0 ? 0 : D[I]; }
    const uint8_t *D;
    int N;
    int FMaxDistance;
    int FMaxLength;
    bool FZerosBefore;
    std::vector<int> FHead;
    std::vector<int> FPrev;
};

// ---------------------------------------------------------------- codes

// Huffman code lengths of at most MaxLength bits for every symbol (each one
// counted at least once, so that every symbol has a code).
std::vector<int> CodeLengths(std::vector<uint64_t> Freq, int MaxLength)
{
    for (auto &F : Freq)
        ++F;
    const int N = int(Freq.size());
    for (;;) {
        std::vector<int> Parent(size_t(2 * N), -1);
        using Item = std::pair<uint64_t, int>;
        std::priority_queue<Item, std::vector<Item>, std::greater<Item>> Q;
        for (int I = 0; I < N; ++I)
            Q.push({Freq[size_t(I)], I});
        int Next = N;
        while (Q.size() > 1) {
            const Item A = Q.top();
            Q.pop();
            const Item B = Q.top();
            Q.pop();
            Parent[size_t(A.second)] = Next;
            Parent[size_t(B.second)] = Next;
            Q.push({A.first + B.first, Next++});
        }
        std::vector<int> Lengths(static_cast<size_t>(N));
        int Longest = 0;
        for (int I = 0; I < N; ++I) {
            int L = 0;
            for (int P = I; Parent[size_t(P)] >= 0; P = Parent[size_t(P)])
                ++L;
            Lengths[size_t(I)] = L;
            Longest = std::max(Longest, L);
        }
        if (Longest <= MaxLength)
            return Lengths;
        for (auto &F : Freq)
            F = (F + 1) / 2;
    }
}

// Implode's codes: canonical (shorter first, values upwards within a length),
// stored inverted with the first bit lowest. Bits[i] is ready for BitWriter.
struct CodeTable {
    std::vector<uint32_t> Bits;
    std::vector<int> Lengths;
};

CodeTable ImplodeCodes(const std::vector<int> &Lengths)
{
    CodeTable T;
    T.Lengths = Lengths;
    T.Bits.assign(Lengths.size(), 0);
    uint32_t Code = 0;
    int Previous = 0;
    for (int L = 1; L <= 16; ++L)
        for (size_t I = 0; I < Lengths.size(); ++I) {
            if (Lengths[I] != L)
                continue;
            if (Previous)
                Code <<= L - Previous;
            else
                Code = 0;
            Previous = L;
            const uint32_t Inverted = ~Code & ((1u << L) - 1);
            uint32_t R = 0;
            for (int B = 0; B < L; ++B)
                R |= ((Inverted >> B) & 1u) << (L - 1 - B);
            T.Bits[I] = R;
            ++Code;
        }
    return T;
}

void PutTree(BitWriter &W, const std::vector<int> &Lengths)
{
    std::vector<uint8_t> Bytes;
    for (size_t I = 0; I < Lengths.size();) {
        size_t Run = 1;
        while (I + Run < Lengths.size() && Lengths[I + Run] == Lengths[I] && Run < 16)
            ++Run;
        Bytes.push_back(uint8_t(((Run - 1) << 4) | size_t(Lengths[I] - 1)));
        I += Run;
    }
    W.Byte(uint8_t(Bytes.size() - 1));
    for (uint8_t B : Bytes)
        W.Byte(B);
}

} // namespace

// ---------------------------------------------------------------- shrink

QByteArray Shrink(const QByteArray &Data, ShrinkStats *Stats)
{
    ShrinkStats S;
    constexpr int Limit = 8192;
    std::vector<int> Prefix(Limit, -1), Suffix(Limit, 0), Children(Limit, 0);
    std::unordered_map<uint32_t, int> Dictionary;
    auto Key = [](int P, int C) { return (uint32_t(P) << 8) | uint32_t(C); };
    int NextFree = 257;
    int CodeSize = 9;
    int LastAdded = -1;
    BitWriter W;
    auto Emit = [&](int Code) {
        while (Code >= (1 << CodeSize)) {
            W.Put(256, CodeSize);
            W.Put(1, CodeSize);
            ++CodeSize;
        }
        if (Code == LastAdded)
            ++S.SelfDefined;
        W.Put(uint32_t(Code), CodeSize);
    };
    auto PartialClear = [&]() {
        std::vector<int> Leaves;
        for (int C = 257; C < Limit; ++C)
            if (Prefix[size_t(C)] >= 0 && Children[size_t(C)] == 0)
                Leaves.push_back(C);
        for (int C : Leaves) {
            Dictionary.erase(Key(Prefix[size_t(C)], Suffix[size_t(C)]));
            --Children[size_t(Prefix[size_t(C)])];
            Prefix[size_t(C)] = -1;
        }
        NextFree = 257;
        while (NextFree < Limit && Prefix[size_t(NextFree)] >= 0)
            ++NextFree;
        ++S.PartialClears;
    };
    const auto *D = reinterpret_cast<const uint8_t *>(Data.constData());
    if (!Data.isEmpty()) {
        int Current = D[0];
        for (qsizetype I = 1; I < Data.size(); ++I) {
            const int C = D[I];
            const auto Found = Dictionary.find(Key(Current, C));
            if (Found != Dictionary.end()) {
                Current = Found->second;
                continue;
            }
            Emit(Current);
            // A full dictionary is cleared at once. The decoder clears
            // between this code and the next one and adds the new entry after
            // that, so the encoder does the same; codes stand for their
            // entries as they are now, so an entry whose prefix was freed
            // stays unreachable until that code is defined again.
            if (NextFree >= Limit) {
                W.Put(256, CodeSize);
                W.Put(2, CodeSize);
                PartialClear();
            }
            LastAdded = -1;
            if (NextFree < Limit) {
                Prefix[size_t(NextFree)] = Current;
                Suffix[size_t(NextFree)] = C;
                ++Children[size_t(Current)];
                Dictionary[Key(Current, C)] = NextFree;
                LastAdded = NextFree;
                while (++NextFree < Limit && Prefix[size_t(NextFree)] >= 0) {
                }
            }
            Current = C;
        }
        Emit(Current);
    }
    S.MaxCodeSize = CodeSize;
    if (Stats)
        *Stats = S;
    return W.Finish();
}

// ---------------------------------------------------------------- implode

QByteArray Implode(const QByteArray &Data, int Flags, ImplodeStats *Stats)
{
    ImplodeStats S;
    const bool LiteralTree = Flags & 4;
    const int LowBits = (Flags & 2) ? 7 : 6;
    const int MinMatch = LiteralTree ? 3 : 2;
    const int MaxMatch = MinMatch + 63 + 255;
    const int MaxDistance = 64 << LowBits;

    struct Token {
        int Length;     // 0: a literal
        int Value;      // the literal or the distance
    };
    std::vector<Token> Tokens;
    Matcher M(Data, MaxDistance, MaxMatch, false);
    const auto *D = reinterpret_cast<const uint8_t *>(Data.constData());
    const int N = int(Data.size());
    for (int P = 0; P < N;) {
        const Match Found = M.Find(P);
        const int Step = Found.Length >= std::max(MinMatch, 3) ? Found.Length : 1;
        if (Step > 1)
            Tokens.push_back({Found.Length, Found.Distance});
        else
            Tokens.push_back({0, D[P]});
        for (int I = 0; I < Step; ++I)
            M.Insert(P + I);
        P += Step;
    }

    std::vector<uint64_t> LitFreq(256, 0), LenFreq(64, 0), DistFreq(64, 0);
    for (const Token &T : Tokens) {
        if (T.Length == 0) {
            ++LitFreq[size_t(T.Value)];
            continue;
        }
        ++LenFreq[size_t(std::min(T.Length - MinMatch, 63))];
        ++DistFreq[size_t((T.Value - 1) >> LowBits)];
    }
    const CodeTable Lit = ImplodeCodes(CodeLengths(LitFreq, 16));
    const CodeTable Len = ImplodeCodes(CodeLengths(LenFreq, 16));
    const CodeTable Dist = ImplodeCodes(CodeLengths(DistFreq, 16));

    BitWriter W;
    if (LiteralTree)
        PutTree(W, Lit.Lengths);
    PutTree(W, Len.Lengths);
    PutTree(W, Dist.Lengths);
    for (const Token &T : Tokens) {
        if (T.Length == 0) {
            ++S.Literals;
            W.Put(1, 1);
            if (LiteralTree)
                W.Put(Lit.Bits[size_t(T.Value)], Lit.Lengths[size_t(T.Value)]);
            else
                W.Put(uint32_t(T.Value), 8);
            continue;
        }
        ++S.Copies;
        if (T.Value < T.Length)
            ++S.Overlapping;
        const int Back = T.Value - 1;
        W.Put(0, 1);
        W.Put(uint32_t(Back), LowBits);
        const size_t DistCode = size_t(Back >> LowBits);
        W.Put(Dist.Bits[DistCode], Dist.Lengths[DistCode]);
        const int L = T.Length - MinMatch;
        if (L >= 63) {
            ++S.LongLengths;
            W.Put(Len.Bits[63], Len.Lengths[63]);
            W.Put(uint32_t(L - 63), 8);
        } else {
            W.Put(Len.Bits[size_t(L)], Len.Lengths[size_t(L)]);
        }
    }
    if (Stats)
        *Stats = S;
    return W.Finish();
}

// ---------------------------------------------------------------- reduce

QByteArray Reduce(const QByteArray &Data, int Factor, ReduceStats *Stats)
{
    ReduceStats S;
    const int LengthMask = 0xFF >> Factor;
    const int MaxDistance = 256 << Factor;
    const int MaxLength = LengthMask + 255 + 3;

    // First the run/copy layer: 144 escapes, copies of three or more bytes.
    std::vector<uint8_t> Symbols;
    Matcher M(Data, MaxDistance, MaxLength, true);
    const auto *D = reinterpret_cast<const uint8_t *>(Data.constData());
    const int N = int(Data.size());
    for (int P = 0; P < N;) {
        Match Found = M.Find(P);
        // A copy of three bytes from the first 256 would read as 144,0.
        if (Found.Length < 3 || (Found.Length == 3 && Found.Distance <= 256))
            Found.Length = 0;
        if (Found.Length) {
            ++S.Copies;
            if (Found.Distance > P)
                ++S.CopiesBeforeStart;
            const int L = Found.Length - 3;
            const int High = (Found.Distance - 1) >> 8;
            Symbols.push_back(0x90);
            Symbols.push_back(uint8_t((High << (8 - Factor)) | std::min(L, LengthMask)));
            if (L >= LengthMask) {
                ++S.ExtraLengths;
                Symbols.push_back(uint8_t(L - LengthMask));
            }
            Symbols.push_back(uint8_t((Found.Distance - 1) & 0xFF));
        } else {
            Symbols.push_back(D[P]);
            if (D[P] == 0x90) {
                ++S.Escapes;
                Symbols.push_back(0);
            }
        }
        const int Step = std::max(Found.Length, 1);
        for (int I = 0; I < Step; ++I)
            M.Insert(P + I);
        P += Step;
    }

    // Then the follower sets: each byte's most frequent followers, at most 40.
    std::vector<std::map<int, int>> Pairs(256);
    int Last = 0;
    for (uint8_t B : Symbols) {
        ++Pairs[size_t(Last)][B];
        Last = B;
    }
    std::vector<std::vector<uint8_t>> Sets(256);
    for (int X = 0; X < 256; ++X) {
        std::vector<std::pair<int, int>> ByCount;
        for (const auto &[B, Count] : Pairs[size_t(X)])
            ByCount.push_back({-Count, B});
        std::sort(ByCount.begin(), ByCount.end());
        for (size_t I = 0; I < ByCount.size() && I < 40; ++I)
            Sets[size_t(X)].push_back(uint8_t(ByCount[I].second));
        if (Sets[size_t(X)].size() == 1)
            ++S.SingleSets;
    }
    BitWriter W;
    for (int X = 255; X >= 0; --X) {
        W.Put(uint32_t(Sets[size_t(X)].size()), 6);
        for (uint8_t B : Sets[size_t(X)])
            W.Byte(B);
    }
    Last = 0;
    for (uint8_t B : Symbols) {
        const auto &Set = Sets[size_t(Last)];
        if (Set.empty()) {
            W.Byte(B);
        } else {
            const auto It = std::find(Set.begin(), Set.end(), B);
            if (It == Set.end()) {
                W.Put(1, 1);
                W.Byte(B);
            } else {
                int Bits = 1;
                while ((size_t(1) << Bits) < Set.size())
                    ++Bits;
                W.Put(0, 1);
                W.Put(uint32_t(It - Set.begin()), Bits);
            }
        }
        Last = B;
    }
    if (Stats)
        *Stats = S;
    return W.Finish();
}

// ---------------------------------------------------------------- archive

quint32 Crc32(const QByteArray &Data)
{
    return quint32(crc32(0, reinterpret_cast<const Bytef *>(Data.constData()), uInt(Data.size())));
}

QByteArray Archive(const QList<Member> &Members)
{
    QByteArray Out;
    QByteArray Central;
    auto U16 = [](QByteArray &B, quint16 V) {
        char P[2];
        qToLittleEndian(V, P);
        B.append(P, 2);
    };
    auto U32 = [](QByteArray &B, quint32 V) {
        char P[4];
        qToLittleEndian(V, P);
        B.append(P, 4);
    };
    const quint16 Time = 12 << 11;
    const quint16 Date = quint16(((2020 - 1980) << 9) | (1 << 5) | 1);
    for (const Member &E : Members) {
        const QByteArray Name = E.Name.toUtf8();
        const quint32 Crc = Crc32(E.Source);
        const quint32 Size = quint32(E.StoredSize >= 0 ? E.StoredSize : E.Source.size());
        const quint32 Offset = quint32(Out.size());
        U32(Out, 0x04034b50);
        U16(Out, 10);
        U16(Out, quint16(E.Flags));
        U16(Out, quint16(E.Method));
        U16(Out, Time);
        U16(Out, Date);
        U32(Out, Crc);
        U32(Out, quint32(E.Compressed.size()));
        U32(Out, Size);
        U16(Out, quint16(Name.size()));
        U16(Out, 0);
        Out += Name;
        Out += E.Compressed;

        U32(Central, 0x02014b50);
        U16(Central, 20);
        U16(Central, 10);
        U16(Central, quint16(E.Flags));
        U16(Central, quint16(E.Method));
        U16(Central, Time);
        U16(Central, Date);
        U32(Central, Crc);
        U32(Central, quint32(E.Compressed.size()));
        U32(Central, Size);
        U16(Central, quint16(Name.size()));
        U16(Central, 0);
        U16(Central, 0);
        U16(Central, 0);
        U16(Central, 0);
        U32(Central, 0);
        U32(Central, Offset);
        Central += Name;
    }
    const quint32 CentralOffset = quint32(Out.size());
    Out += Central;
    U32(Out, 0x06054b50);
    U16(Out, 0);
    U16(Out, 0);
    U16(Out, quint16(Members.size()));
    U16(Out, quint16(Members.size()));
    U32(Out, quint32(Central.size()));
    U32(Out, CentralOffset);
    U16(Out, 0);
    return Out;
}

} // namespace LegacyTest
