#pragma once
// Internal to the string grid; not for callers.
//
// A sequence kept in blocks of a few hundred items, with a weight per item
// (a row's height, whether a row holds cell objects) summed per block and
// indexed over the blocks by two Fenwick trees (item counts and weights).
// So with n items and B items per block:
//   - finding item i, the weight before item i and the item at a weight
//     offset cost O(log(n/B) + B);
//   - inserting or erasing k items costs O(k + B) moves plus, when blocks
//     are made or dropped, one O(n/B) rebuild of the two trees;
//   - moving and exchanging items moves the items themselves (a row is a
//     handle on its cells), never what they own.
// Weights are whole numbers of at least 0.

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

namespace GridDetail {

template <class T, class Weigh>
class TBlockSequence {
public:
    explicit TBlockSequence(Weigh AWeigh = Weigh()) : FWeigh(std::move(AWeigh)) {}

    int Size() const { return FSize; }
    std::int64_t TotalWeight() const
    {
        Rebuild();
        return FTotal;
    }
    const Weigh &Weigher() const { return FWeigh; }

    const T &At(int Index) const
    {
        const auto [B, Off] = Locate(Index);
        return FBlocks[size_t(B)].Items[size_t(Off)];
    }

    // Changes item Index through F and keeps its weight up to date.
    template <class F>
    void Modify(int Index, F &&Change)
    {
        const auto [B, Off] = Locate(Index);
        T &Item = FBlocks[size_t(B)].Items[size_t(Off)];
        const std::int64_t Before = FWeigh(Item);
        Change(Item);
        const std::int64_t After = FWeigh(Item);
        if (After != Before) {
            FBlocks[size_t(B)].PrefixValid = false;
            AddWeight(B, After - Before);
        }
    }

    // A new weighing rule for every item (the grid-line width changed).
    void Reweigh(Weigh AWeigh)
    {
        FWeigh = std::move(AWeigh);
        for (Block &Bl : FBlocks) {
            Bl.Weight = 0;
            Bl.PrefixValid = false;
            for (const T &Item : Bl.Items)
                Bl.Weight += FWeigh(Item);
        }
        FDirty = true;
        Rebuild();
    }

    // The summed weight of the items before Index (0 <= Index <= Size()).
    std::int64_t WeightBefore(int Index) const
    {
        Rebuild();
        if (Index <= 0)
            return 0;
        if (Index >= FSize)
            return FTotal;
        const auto [B, Off] = Locate(Index);
        return PrefixWeight(B) + PrefixOf(FBlocks[size_t(B)])[size_t(Off)];
    }

    // The first index whose items up to and including it weigh more than
    // Offset; Size() when there is none.
    int IndexAtWeight(std::int64_t Offset) const
    {
        Rebuild();
        if (Offset < 0)
            return 0;
        if (Offset >= FTotal)
            return FSize;
        // Descend the weight tree to the block holding the offset.
        int Pos = 0;
        std::int64_t Rest = Offset;
        int Index = 0;
        for (int Step = FTopBit; Step > 0; Step >>= 1) {
            const int Next = Pos + Step;
            if (Next <= int(FBlocks.size()) && FWeightTree[size_t(Next)] <= Rest) {
                Pos = Next;
                Rest -= FWeightTree[size_t(Next)];
                Index += FCountTree[size_t(Next)];
            }
        }
        // Inside the block: the first item whose end lies beyond the rest.
        const std::vector<std::int64_t> &P = PrefixOf(FBlocks[size_t(Pos)]);
        const auto It = std::upper_bound(P.begin() + 1, P.end(), Rest);
        return std::min(Index + int(It - (P.begin() + 1)), FSize);
    }

    // The first index at or after From whose item weighs more than 0; Size() when none.
    int NextWeighted(int From) const
    {
        if (From >= FSize)
            return FSize;
        return IndexAtWeight(WeightBefore(std::max(From, 0)));
    }

    void Insert(int Index, int Count, const T &Value)
    {
        if (Count <= 0)
            return;
        Index = std::clamp(Index, 0, FSize);
        // A few items go into the block at the place when it has room, as a
        // single one does: no new block, so no rebuild of the trees.
        if (!FBlocks.empty() && Count <= TargetBlock) {
            auto [B, Off] = Index == FSize ? std::pair<int, int>(int(FBlocks.size()) - 1, int(FBlocks.back().Items.size()))
                                           : Locate(Index);
            Block &Bl = FBlocks[size_t(B)];
            if (int(Bl.Items.size()) + Count <= MaxBlock) {
                Bl.Items.insert(Bl.Items.begin() + Off, size_t(Count), Value);
                Bl.PrefixValid = false;
                FSize += Count;
                AddCountAndWeight(B, Count, FWeigh(Value) * Count);
                return;
            }
        }
        std::vector<T> Items(size_t(Count), Value);
        InsertItems(Index, std::move(Items));
    }

    void InsertOne(int Index, T &&Value)
    {
        Index = std::clamp(Index, 0, FSize);
        if (!FBlocks.empty()) {
            auto [B, Off] = Index == FSize ? std::pair<int, int>(int(FBlocks.size()) - 1, int(FBlocks.back().Items.size()))
                                           : Locate(Index);
            Block &Bl = FBlocks[size_t(B)];
            if (int(Bl.Items.size()) < MaxBlock) {
                const std::int64_t W = FWeigh(Value);
                Bl.Items.insert(Bl.Items.begin() + Off, std::move(Value));
                Bl.PrefixValid = false;
                ++FSize;
                AddCountAndWeight(B, 1, W);
                return;
            }
        }
        std::vector<T> Items;
        Items.push_back(std::move(Value));
        InsertItems(Index, std::move(Items));
    }

    // Takes Count items out from Index; Out receives them when given.
    void Erase(int Index, int Count, std::vector<T> *Out = nullptr)
    {
        Index = std::max(Index, 0);
        Count = std::min(Count, FSize - Index);
        if (Count <= 0)
            return;
        bool Structural = false;
        while (Count > 0) {
            auto [B, Off] = Locate(Index);
            Block &Bl = FBlocks[size_t(B)];
            const int Take = std::min(Count, int(Bl.Items.size()) - Off);
            std::int64_t W = 0;
            for (int I = Off; I < Off + Take; ++I) {
                W += FWeigh(Bl.Items[size_t(I)]);
                if (Out)
                    Out->push_back(std::move(Bl.Items[size_t(I)]));
            }
            Bl.Items.erase(Bl.Items.begin() + Off, Bl.Items.begin() + Off + Take);
            Bl.PrefixValid = false;
            FSize -= Take;
            Count -= Take;
            if (Bl.Items.empty()) {
                FTotal -= W;
                FBlocks.erase(FBlocks.begin() + B);
                FDirty = true;
                Structural = true;
            } else {
                AddCountAndWeight(B, -Take, -W);
            }
        }
        if (!Structural)
            return;
        MergeSmallBlocks();
    }

    // Moves one item so that it ends up at ToIndex.
    void Move(int FromIndex, int ToIndex)
    {
        if (FromIndex == ToIndex || FromIndex < 0 || ToIndex < 0 || FromIndex >= FSize || ToIndex >= FSize)
            return;
        std::vector<T> Taken;
        Erase(FromIndex, 1, &Taken);
        InsertOne(ToIndex, std::move(Taken.front()));
    }

    // Exchanges two items in place.
    void Exchange(int A, int B)
    {
        if (A == B || A < 0 || B < 0 || A >= FSize || B >= FSize)
            return;
        const auto [BA, OA] = Locate(A);
        const auto [BB, OB] = Locate(B);
        T &X = FBlocks[size_t(BA)].Items[size_t(OA)];
        T &Y = FBlocks[size_t(BB)].Items[size_t(OB)];
        const std::int64_t D = FWeigh(Y) - FWeigh(X);
        std::swap(X, Y);
        if (D != 0) {
            FBlocks[size_t(BA)].PrefixValid = false;
            FBlocks[size_t(BB)].PrefixValid = false;
        }
        if (BA != BB) {
            AddWeight(BA, D);
            AddWeight(BB, -D);
        }
    }

    // Calls F(item) for every item, in order, letting it change them; the
    // weights are taken again afterwards.
    template <class F>
    void ForEach(F &&Change)
    {
        for (Block &Bl : FBlocks) {
            Bl.Weight = 0;
            Bl.PrefixValid = false;
            for (T &Item : Bl.Items) {
                Change(Item);
                Bl.Weight += FWeigh(Item);
            }
        }
        FDirty = true;
    }

    template <class F>
    void ForEach(F &&Visit) const
    {
        for (const Block &Bl : FBlocks)
            for (const T &Item : Bl.Items)
                Visit(Item);
    }

    void Clear()
    {
        FBlocks.clear();
        FSize = 0;
        FTotal = 0;
        FDirty = true;
    }

private:
    static constexpr int TargetBlock = 256;
    static constexpr int MaxBlock = 2 * TargetBlock;

    struct Block {
        std::vector<T> Items;
        std::int64_t Weight = 0;
        // Weights before each item inside the block, made when first asked.
        mutable std::vector<std::int64_t> Prefix;
        mutable bool PrefixValid = false;
    };

    const std::vector<std::int64_t> &PrefixOf(const Block &Bl) const
    {
        if (!Bl.PrefixValid) {
            Bl.Prefix.resize(Bl.Items.size() + 1);
            std::int64_t W = 0;
            for (size_t I = 0; I < Bl.Items.size(); ++I) {
                Bl.Prefix[I] = W;
                W += FWeigh(Bl.Items[I]);
            }
            Bl.Prefix[Bl.Items.size()] = W;
            Bl.PrefixValid = true;
        }
        return Bl.Prefix;
    }

    void InsertItems(int Index, std::vector<T> Items)
    {
        const int Count = int(Items.size());
        // Split the block at the insertion point, then put the new items in
        // between as blocks of their own.
        int At = int(FBlocks.size());
        if (Index < FSize) {
            const auto [B, Off] = Locate(Index);
            At = B;
            if (Off > 0) {
                Block &Bl = FBlocks[size_t(B)];
                Block Tail;
                Tail.Items.assign(std::make_move_iterator(Bl.Items.begin() + Off),
                                  std::make_move_iterator(Bl.Items.end()));
                Bl.Items.erase(Bl.Items.begin() + Off, Bl.Items.end());
                Bl.PrefixValid = false;
                Bl.Weight = 0;
                for (const T &Item : Bl.Items)
                    Bl.Weight += FWeigh(Item);
                for (const T &Item : Tail.Items)
                    Tail.Weight += FWeigh(Item);
                FBlocks.insert(FBlocks.begin() + B + 1, std::move(Tail));
                At = B + 1;
            }
        }
        std::vector<Block> Fresh;
        for (int Start = 0; Start < Count; Start += TargetBlock) {
            Block Bl;
            const int End = std::min(Count, Start + TargetBlock);
            Bl.Items.assign(std::make_move_iterator(Items.begin() + Start), std::make_move_iterator(Items.begin() + End));
            for (const T &Item : Bl.Items)
                Bl.Weight += FWeigh(Item);
            FTotal += Bl.Weight;
            Fresh.push_back(std::move(Bl));
        }
        FBlocks.insert(FBlocks.begin() + At, std::make_move_iterator(Fresh.begin()), std::make_move_iterator(Fresh.end()));
        FSize += Count;
        FDirty = true;
        MergeSmallBlocks();
    }

    // Keeps the number of blocks near n/B: neighbours that fit in one block
    // are joined.
    void MergeSmallBlocks()
    {
        if (FBlocks.size() < 2)
            return;
        if (int(FBlocks.size()) * TargetBlock / 2 <= FSize + TargetBlock)
            return;
        std::vector<Block> Joined;
        Joined.reserve(size_t(FSize / TargetBlock + 2));
        for (Block &Bl : FBlocks) {
            if (!Joined.empty() && Joined.back().Items.size() + Bl.Items.size() <= size_t(TargetBlock)) {
                Block &Last = Joined.back();
                Last.Items.insert(Last.Items.end(), std::make_move_iterator(Bl.Items.begin()),
                                  std::make_move_iterator(Bl.Items.end()));
                Last.Weight += Bl.Weight;
                Last.PrefixValid = false;
            } else {
                Joined.push_back(std::move(Bl));
            }
        }
        FBlocks = std::move(Joined);
        FDirty = true;
    }

    void Rebuild() const
    {
        if (!FDirty)
            return;
        const size_t N = FBlocks.size();
        FCountTree.assign(N + 1, 0);
        FWeightTree.assign(N + 1, 0);
        std::int64_t Total = 0;
        for (size_t I = 1; I <= N; ++I) {
            FCountTree[I] += int(FBlocks[I - 1].Items.size());
            FWeightTree[I] += FBlocks[I - 1].Weight;
            Total += FBlocks[I - 1].Weight;
            const size_t Parent = I + (I & (~I + 1));
            if (Parent <= N) {
                FCountTree[Parent] += FCountTree[I];
                FWeightTree[Parent] += FWeightTree[I];
            }
        }
        FTotal = Total;
        FTopBit = 1;
        while (size_t(FTopBit) * 2 <= N)
            FTopBit *= 2;
        if (N == 0)
            FTopBit = 0;
        FDirty = false;
    }

    // Block and offset of item Index (0 <= Index < Size()).
    std::pair<int, int> Locate(int Index) const
    {
        Rebuild();
        int Pos = 0, Rest = Index;
        for (int Step = FTopBit; Step > 0; Step >>= 1) {
            const int Next = Pos + Step;
            if (Next <= int(FBlocks.size()) && FCountTree[size_t(Next)] <= Rest) {
                Pos = Next;
                Rest -= FCountTree[size_t(Next)];
            }
        }
        return {Pos, Rest};
    }

    std::int64_t PrefixWeight(int BlockIndex) const
    {
        Rebuild();
        std::int64_t W = 0;
        for (int I = BlockIndex; I > 0; I -= I & -I)
            W += FWeightTree[size_t(I)];
        return W;
    }

    void AddWeight(int BlockIndex, std::int64_t Delta)
    {
        AddCountAndWeight(BlockIndex, 0, Delta);
    }

    void AddCountAndWeight(int BlockIndex, int CountDelta, std::int64_t Delta)
    {
        FBlocks[size_t(BlockIndex)].Weight += Delta;
        FTotal += Delta;
        if (FDirty)
            return;
        for (size_t I = size_t(BlockIndex) + 1; I < FCountTree.size(); I += I & (~I + 1)) {
            FCountTree[I] += CountDelta;
            FWeightTree[I] += Delta;
        }
    }

    Weigh FWeigh;
    std::vector<Block> FBlocks;
    int FSize = 0;
    mutable std::int64_t FTotal = 0;
    mutable std::vector<int> FCountTree;
    mutable std::vector<std::int64_t> FWeightTree;
    mutable int FTopBit = 0;
    mutable bool FDirty = true;
};

} // namespace GridDetail
