#include "platform/core/Types.h"

#include <gtest/gtest.h>

namespace {

struct Tracked : TComponent {
    explicit Tracked(TComponent *Owner, int *Freed) : TComponent(Owner), FFreed(Freed) {}
    ~Tracked() override { ++*FFreed; }
    int *FFreed;
};

TEST(Component, OwnerFreesWhatItOwnsAndChildLeavesOwnerWhenFreedFirst)
{
    int Freed = 0;
    auto *Owner = new TComponent;
    auto *A = new Tracked(Owner, &Freed);
    new Tracked(Owner, &Freed);
    A->SetName(QStringLiteral("CellGrid1"));
    EXPECT_EQ(Owner->FindComponent(QStringLiteral("cellgrid1")), A);
    delete A;
    EXPECT_EQ(Freed, 1);
    EXPECT_EQ(Owner->ComponentCount(), 1);
    delete Owner;
    EXPECT_EQ(Freed, 2);
}

TEST(Exception, CarriesMessageInUtf8)
{
    try {
        throw EConvertError(QStringLiteral("'价格' is not a valid integer value"));
    } catch (const Exception &E) {
        EXPECT_EQ(E.Message(), QStringLiteral("'价格' is not a valid integer value"));
        EXPECT_STREQ(E.what(), "'价格' is not a valid integer value");
    }
}

} // namespace
