// Component images: typed properties round trip; damaged images are refused.

#include "platform/core/ComponentStream.h"

#include <gtest/gtest.h>

namespace {

class TSample : public TComponent, public TStreamable {
public:
    QString StreamClassName() const override { return ClassName; }
    void DefineProperties(TFiler &F) override
    {
        F.Integer(QStringLiteral("Small"), Small);
        F.Integer(QStringLiteral("Big"), Big);
        F.Boolean(QStringLiteral("Flag"), Flag);
        F.PushPrefix(QStringLiteral("Inner"));
        F.String(QStringLiteral("Text"), Text);
        F.PopPrefix();
        F.Float(QStringLiteral("Value"), Value);
        F.Binary(QStringLiteral("Data"), Data);
        F.Strings(QStringLiteral("Lines"), Lines);
        if (WithExtra)
            F.Integer(QStringLiteral("Extra"), Small);
    }
    QString ClassName = QStringLiteral("TSample");
    int Small = -5, Big = 70000;
    bool Flag = true;
    QString Text = QStringLiteral("文字");
    double Value = 2.5;
    QByteArray Data = QByteArray("\0\1\2", 3);
    QStringList Lines{QStringLiteral("a"), QString(), QStringLiteral("丙")};
    bool WithExtra = false;
};

TEST(ComponentStream, RoundTripAndRefusals)
{
    TSample A;
    A.SetName(QStringLiteral("Sample1"));
    TMemoryStream M;
    M.WriteComponent(&A);
    EXPECT_TRUE(M.Bytes().startsWith("TPF0\x07TSample\x07Sample1"));

    TSample B;
    B.Small = B.Big = 0;
    B.Flag = false;
    B.Text.clear();
    B.Value = 0;
    B.Data.clear();
    B.Lines.clear();
    M.SetPosition(0);
    M.ReadComponent(&B);
    EXPECT_EQ(M.Position(), M.Size());
    EXPECT_EQ(B.Name(), QStringLiteral("Sample1"));
    EXPECT_EQ(B.Small, -5);
    EXPECT_EQ(B.Big, 70000);
    EXPECT_TRUE(B.Flag);
    EXPECT_EQ(B.Text, A.Text);
    EXPECT_EQ(B.Value, 2.5);
    EXPECT_EQ(B.Data, A.Data);
    EXPECT_EQ(B.Lines, A.Lines);

    auto Refused = [](const QByteArray &Bytes, TSample &Into) {
        TMemoryStream In;
        In.WriteBytes(Bytes);
        In.SetPosition(0);
        try {
            In.ReadComponent(&Into);
        } catch (const EReadError &E) {
            return E.Message() == QStringLiteral("Invalid stream format");
        }
        return false;
    };
    TSample C;
    for (qsizetype N = 0; N < M.Size(); ++N)
        EXPECT_TRUE(Refused(M.Bytes().left(N), C)) << N;
    C.ClassName = QStringLiteral("TOther");
    EXPECT_TRUE(Refused(M.Bytes(), C));

    // A property the reader does not define, and one of another type.
    TSample D;
    D.WithExtra = true;
    TMemoryStream M2;
    M2.WriteComponent(&D);
    TSample E;
    EXPECT_TRUE(Refused(M2.Bytes(), E));
    QByteArray Typed = M.Bytes();
    Typed[Typed.indexOf("Flag") + 4] = 2;   // vaTrue becomes an Int8 with no byte after it
    EXPECT_TRUE(Refused(Typed, E));
}

} // namespace
