// Wide strings, the Unicode combo's item list and the wide-cell codec.
#include "grid/CellGrid.h"
#include "grid/CgUni.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// A wide list held in memory, recording its update-state calls.
class TMemoryWideStrings : public TWideStrings {
public:
    int Count() const override { return int(Items.size()); }
    QString Get(int Index) const override { return Items.at(size_t(Index)).first; }
    void Put(int Index, const QString &S) override { Items.at(size_t(Index)).first = S; }
    TObject *GetObject(int Index) const override { return Items.at(size_t(Index)).second; }
    void PutObject(int Index, TObject *O) override { Items.at(size_t(Index)).second = O; }
    void Insert(int Index, const QString &S) override { Items.insert(Items.begin() + Index, {S, nullptr}); }
    void Delete(int Index) override { Items.erase(Items.begin() + Index); }
    void Clear() override { Items.clear(); }
    std::vector<std::pair<QString, TObject *>> Items;
    std::vector<bool> States;

protected:
    void SetUpdateState(bool Updating) override { States.push_back(Updating); }
};

TEST(WideCellCodecTest, EveryUtf16UnitRoundTripsAndDamagedTextStaysAsItIs)
{
    QString All;
    for (int U = 0; U <= 0xFFFF; ++U)
        All += QChar(char16_t(U));
    const QString Encoded = EncodeWideCellText(All);
    ASSERT_EQ(Encoded.size(), 2 + 2 * All.size());
    QString Back;
    ASSERT_TRUE(DecodeWideCellText(Encoded, Back));
    EXPECT_EQ(Back, All);
    // A surrogate pair (U+20BB7) is two units and comes back whole.
    const QString Pair = QString::fromUcs4(U"\U00020BB7");
    ASSERT_TRUE(DecodeWideCellText(EncodeWideCellText(Pair), Back));
    EXPECT_EQ(Back, Pair);
    EXPECT_EQ(EncodeWideCellText(QStringLiteral("中")), QStringLiteral("|\\") + QChar(0x4E) + QChar(0x2D));

    for (const QString &Plain : {QStringLiteral("|\\a"), QStringLiteral("|\\中文"), QStringLiteral("|\\abc")})
        EXPECT_EQ(WideCellDisplayText(Plain), Plain);

    TCellGrid Grid;
    Grid.SetColCount(3);
    Grid.SetRowCount(3);
    Grid.SetWideCellText(1, 1, QStringLiteral("中文ü"));
    EXPECT_EQ(Grid.GetWideCellText(1, 1), QStringLiteral("中文ü"));
    EXPECT_EQ(Grid.GetDisplayText(1, 1), QStringLiteral("中文ü"));
    Grid.SetCells(2, 1, QStringLiteral("|\\x"));
    EXPECT_EQ(Grid.GetWideCellText(2, 1), QStringLiteral("|\\x"));
    EXPECT_EQ(Grid.GetDisplayText(2, 1), QStringLiteral("|\\x"));
    // Measured as the decoded text, not its encoding.
    Grid.SetCells(2, 2, QStringLiteral("中文ü"));
    EXPECT_EQ(Grid.CellTextSize(1, 1, false).X, Grid.CellTextSize(2, 2, false).X);
}

TEST(WideStringsTest, AssignEqualsUpdateAndAnsiView)
{
    TObject A, B, C;
    TStringList Ansi;
    Ansi.AddObject(QStringLiteral("一"), &A);
    Ansi.AddObject(QStringLiteral("two"), &B);
    Ansi.AddObject(QStringLiteral("三"), &C);
    TMemoryWideStrings W;
    W.Add(QStringLiteral("old"));
    W.Assign(Ansi);
    ASSERT_EQ(W.Count(), 3);
    EXPECT_EQ(W.Strings(0), QStringLiteral("一"));
    EXPECT_EQ(W.Objects(2), &C);
    EXPECT_EQ(W.States, (std::vector<bool>{true, false}));
    EXPECT_EQ(W.UpdateCount(), 0);

    TMemoryWideStrings Other;
    Other.SetCommaText(W.CommaText());
    EXPECT_TRUE(Other.Equals(W));
    EXPECT_EQ(Other.Objects(0), nullptr);
    Other.Put(1, QStringLiteral("TWO"));
    EXPECT_FALSE(Other.Equals(W));
    EXPECT_EQ(W.IndexOf(QStringLiteral("TWO")), 1);

    TStringList Out;
    Out.Add(QStringLiteral("gone"));
    W.AssignTo(Out);
    ASSERT_EQ(Out.Count(), 3);
    EXPECT_EQ(Out.Objects(1), &B);

    TAnsiStringsForWideStrings *View = W.AnsiStrings();
    View->Add(QStringLiteral("四"));
    View->Exchange(0, 3);
    EXPECT_EQ(W.Strings(0), QStringLiteral("四"));
    EXPECT_EQ(W.Objects(3), &A);
    EXPECT_EQ(View->Text(), QStringLiteral("四\r\ntwo\r\n三\r\n一\r\n"));
    W.SetAnsiStrings(Out);
    EXPECT_EQ(W.Count(), 3);
}

TEST(WideStringsTest, ComboItemsLiveInTheCombo)
{
    TCGUniComboBox Combo;
    TComboBoxStrings *Items = Combo.Items();
    TObject O;
    Items->AddObject(QStringLiteral("甲"), &O);
    Items->Add(QStringLiteral("乙"));
    Items->Insert(0, QStringLiteral("丙"));
    EXPECT_EQ(Items->Count(), Combo.count());
    EXPECT_EQ(Combo.itemText(0), QStringLiteral("丙"));
    EXPECT_EQ(Items->Objects(1), &O);
    EXPECT_EQ(Items->IndexOf(QStringLiteral("乙")), 2);
    EXPECT_THROW(Items->Insert(9, QStringLiteral("x")), EOutOfResources);
    EXPECT_THROW(Items->Get(3), EListError);
    Items->Delete(0);
    EXPECT_EQ(Combo.count(), 2);
    EXPECT_TRUE(Combo.Flat());
    Items->Clear();
    EXPECT_EQ(Combo.count(), 0);
}

} // namespace
