#include "grid/CgHTMLE.h"
#include "grid/PictureContainer.h"
#include "platform/graphics/ImgList.h"

#include <gtest/gtest.h>

#include <QImage>

namespace {

// A white canvas with the grid's usual font, and the renderer's calls on it.
struct Sheet {
    QImage Image{200, 60, QImage::Format_RGB32};
    TCanvas C{&Image};
    TRect R{4, 4, 196, 56};
    Sheet()
    {
        Image.fill(Qt::white);
        C.Font()->SetName(QStringLiteral("DejaVu Sans"));
        C.Font()->SetSize(10);
        C.Font()->SetColor(clBlack);
        C.Brush()->SetColor(clWhite);
    }
    THTMLDrawResult Draw(const QString &Text, bool Wrap = false, bool Ellipsis = true, TImageList *Images = nullptr)
    {
        THTMLDrawResult Res;
        HTMLDrawEx(&C, Text, R, Images, nullptr, nullptr, 0, 0, false, 0, 0, clNone, clNone, false, clBlue, clGray, 1,
                   true, false, false, Wrap, Ellipsis, 1.0, Res);
        C.Release();
        return Res;
    }
    THTMLDrawResult Measure(const QString &Text, bool Wrap = false)
    {
        THTMLDrawResult Res;
        HTMLDrawEx(&C, Text, R, nullptr, nullptr, nullptr, 0, 0, false, 0, 0, clNone, clNone, false, clBlue, clGray,
                   1, true, true, false, Wrap, true, 1.0, Res);
        return Res;
    }
    bool HitTest(const QString &Text, int X, int Y, THTMLDrawResult &Res)
    {
        return HTMLDrawEx(&C, Text, R, nullptr, nullptr, nullptr, X, Y, true, 0, 0, clNone, clNone, false, clBlue,
                          clGray, 1, true, false, false, false, true, 1.0, Res);
    }
    // The same characters drawn straight with DrawText, as the renderer draws a piece.
    QImage Plain(const QString &Text, unsigned Extra = 0)
    {
        Sheet Other;
        TRect B(R.Left, R.Top, R.Right, R.Top + Other.C.TextHeight(QStringLiteral("gh")));
        Other.C.Brush()->SetStyle(bsClear);
        DrawText(&Other.C, Text, B, DT_BOTTOM | DT_SINGLELINE | DT_NOPREFIX | Extra);
        Other.C.Release();
        return Other.Image;
    }
};

TEST(HTMLRenderer, EntitiesAndBareAmpersandsDrawAsTheirCharacters)
{
    const struct {
        const char16_t *Markup;
        const char16_t *Shown;
    } Cases[] = {
        {u"a&amp;b", u"a&b"},
        {u"AT&T", u"AT&T"},
        {u"&lt;B&gt;x", u"<B>x"},
        {u"&sect;&permil;&reg;&copy;&para;&trade;&euro;\u4e2d", u"\u00a7\u2030\u00ae\u00a9\u00b6\u2122\u20ac\u4e2d"},
        {u"&amp;lt;", u"&lt;"},
        {u"plain text without tags", u"plain text without tags"},
    };
    for (const auto &Case : Cases) {
        Sheet S;
        const QString Markup = QString::fromUtf16(Case.Markup);
        const QString Shown = QString::fromUtf16(Case.Shown);
        const THTMLDrawResult Res = S.Draw(Markup);
        EXPECT_EQ(S.Image, S.Plain(Shown)) << Markup.toStdString();
        EXPECT_EQ(Res.XSize, S.C.TextWidth(Shown)) << Markup.toStdString();
    }
    // A text without markup that does not fit ends in an ellipsis, on one line.
    {
        Sheet S;
        S.R = TRect(4, 4, 70, 56);
        const QString Long = QStringLiteral("a long text without any markup at all");
        const THTMLDrawResult Res = S.Draw(Long);
        EXPECT_EQ(S.Image, S.Plain(Long, DT_END_ELLIPSIS));
        EXPECT_EQ(Res.YSize, S.C.TextHeight(QStringLiteral("gh")));
    }
    // "&lt;B&gt;" never turns bold on: the following text keeps the plain width.
    Sheet S;
    EXPECT_EQ(S.Measure(QStringLiteral("&lt;B&gt;word")).XSize, S.C.TextWidth(QStringLiteral("<B>word")));
}

TEST(HTMLRenderer, MeasuredSizesFollowFontsAndLines)
{
    Sheet S;
    const int GH = S.C.TextHeight(QStringLiteral("gh"));
    EXPECT_EQ(S.Measure(QString()).YSize, GH);
    EXPECT_EQ(S.Measure(QString()).XSize, 0);

    auto Width = [&](int Size, TFontStyles Style, const QString &T) {
        TFont F(*S.C.Font());
        S.C.Font()->SetSize(Size);
        S.C.Font()->SetStyle(Style);
        const int W = S.C.TextWidth(T);
        S.C.SetFont(F);
        return W;
    };
    EXPECT_EQ(S.Measure(QStringLiteral("<FONT SIZE=\"3\">Wide</FONT>")).XSize, Width(12, {}, QStringLiteral("Wide")));
    EXPECT_EQ(S.Measure(QStringLiteral("<font size=\"7\">Wide</font>")).XSize, Width(7, {}, QStringLiteral("Wide")));
    EXPECT_EQ(S.Measure(QStringLiteral("<B>bold</B> plain")).XSize,
              Width(10, fsBold, QStringLiteral("bold")) + Width(10, {}, QStringLiteral(" plain")));
    // A bold tag running over a line break keeps bold on the next line.
    const THTMLDrawResult Two = S.Measure(QStringLiteral("x<BR><B>bold words"));
    EXPECT_EQ(Two.YSize, 2 * GH);
    EXPECT_EQ(Two.XSize, Width(10, fsBold, QStringLiteral("bold words")));
    EXPECT_EQ(S.Measure(QStringLiteral("a\r\nb"), true).YSize, 2 * GH);
    // Every piece measures as the canvas measures it, in every style.
    for (const QString &T : {QStringLiteral("#footer"), QStringLiteral("fffff  "), QStringLiteral("Wr\u4e2d\u6587 x"),
                             QStringLiteral("\u00e9t\u00e9 AVA")}) {
        for (TFontStyles St : {TFontStyles(), TFontStyles(fsItalic), TFontStyles(fsBold | fsItalic)}) {
            const QString Open = St & fsBold ? QStringLiteral("<B><I>") : St & fsItalic ? QStringLiteral("<I>") : QString();
            EXPECT_EQ(S.Measure(Open + T).XSize, Width(10, St, T)) << T.toStdString() << int(St);
        }
    }
    // The canvas font comes back unchanged.
    EXPECT_EQ(S.C.Font()->Style(), TFontStyles());
    EXPECT_EQ(S.C.Font()->Size(), 10);

    // Word wrap: lines break at blanks and each line is as high as its text.
    S.R = TRect(0, 0, S.C.TextWidth(QStringLiteral("aaa bbb")) + 1, 1000);
    EXPECT_EQ(S.Measure(QStringLiteral("aaa bbb ccc"), true).YSize, 2 * GH);
}

TEST(HTMLRenderer, ColoursByHexAndByName)
{
    for (const char *Markup : {"<FONT COLOR=\"#FF0000\">MMMM</FONT>", "<FONT COLOR=\"clRed\">MMMM</FONT>"}) {
        Sheet S;
        S.C.Font()->SetStyle(fsBold);
        S.Draw(QString::fromLatin1(Markup));
        int Red = 0, Other = 0;
        for (int Y = 0; Y < S.Image.height(); ++Y)
            for (int X = 0; X < S.Image.width(); ++X) {
                const QRgb P = S.Image.pixel(X, Y) & 0xFFFFFF;
                if (P == 0xFF0000)
                    ++Red;
                else if (qRed(P) < 200)
                    ++Other;
            }
        EXPECT_GT(Red, 10) << Markup;
        EXPECT_EQ(Other, 0) << Markup;
    }
    EXPECT_EQ(ColorFromName(QStringLiteral("CLRED")), clRed);
    EXPECT_EQ(ColorFromName(QStringLiteral("clinfobk")), clInfoBk);
    EXPECT_EQ(ColorFromName(QStringLiteral("red")), clBlack);
    EXPECT_EQ(ColorFromHex(QStringLiteral("#0080FF")), TColor(0xFF8000));
}

TEST(HTMLRenderer, HitTestsGiveAnchorsAndControls)
{
    Sheet S;
    const QString Markup =
        QStringLiteral("x <A HREF=\"http://a.example/?q=1&amp;r=2\">link</A> "
                       "<CONTROL TYPE=\"check\" ID=\"c1\" VALUE=\"TRUE\"> <a href=\"second\">two</a>");
    const int GH = S.C.TextHeight(QStringLiteral("gh"));
    const int LinkX = S.R.Left + S.C.TextWidth(QStringLiteral("x "));
    const int LinkW = S.C.TextWidth(QStringLiteral("link"));
    const int Bottom = S.R.Top + 16;   // the check box makes the line 16 high
    THTMLDrawResult Res;
    EXPECT_TRUE(S.HitTest(Markup, LinkX + 2, Bottom - 3, Res));
    EXPECT_EQ(Res.AnchorVal, QStringLiteral("http://a.example/?q=1&r=2"));
    EXPECT_EQ(Res.LinkIndex, 1);
    EXPECT_EQ(Res.LinkRect, TRect(LinkX, Bottom - GH, LinkX + LinkW, Bottom));
    EXPECT_EQ(Res.HyperLinks, 2);
    EXPECT_TRUE(Res.MouseInAnchor);

    const int BoxX = LinkX + LinkW + S.C.TextWidth(QStringLiteral(" "));
    EXPECT_TRUE(S.HitTest(Markup, BoxX + 8, Bottom - 8, Res));
    EXPECT_EQ(Res.AnchorVal, QStringLiteral("ctrl"));
    EXPECT_EQ(Res.CtrlID, QStringLiteral("c1"));
    EXPECT_EQ(Res.CtrlType, QStringLiteral("CHECK"));
    EXPECT_EQ(Res.CtrlValue, QStringLiteral("TRUE"));
    EXPECT_EQ(Res.LinkRect, TRect(BoxX, Bottom - 16, BoxX + 16, Bottom));

    const int SecondX = BoxX + 16 + S.C.TextWidth(QStringLiteral(" "));
    EXPECT_TRUE(S.HitTest(Markup, SecondX + 1, Bottom - 2, Res));
    EXPECT_EQ(Res.AnchorVal, QStringLiteral("second"));
    EXPECT_EQ(Res.LinkIndex, 2);

    EXPECT_FALSE(S.HitTest(Markup, S.R.Left + 1, Bottom - 2, Res));
    EXPECT_TRUE(Res.AnchorVal.isEmpty());
    // A hit test draws nothing.
    EXPECT_EQ(S.Image.pixel(LinkX + 1, Bottom - 5) & 0xFFFFFF, 0xFFFFFFu);
}

TEST(HTMLRenderer, StripAndControlValues)
{
    EXPECT_EQ(HTMLStrip(QStringLiteral("a<BR>b<I>c")), QStringLiteral("a\r\nbc"));
    EXPECT_EQ(HTMLStrip(QStringLiteral("a<hr>b")), QStringLiteral("a\r\nb"));
    EXPECT_EQ(HTMLStrip(QStringLiteral("kept <b unclosed")), QStringLiteral("kept "));
    EXPECT_EQ(HTMLStrip(QStringLiteral("no tags & more")), QStringLiteral("no tags & more"));

    QString Cell = QStringLiteral("Name: <CONTROL TYPE=\"EDIT\" ID=\"n\" VALUE=\"old\" WIDTH=\"80\"> tail <control "
                                  "type=\"check\" id=\"c\" value=\"FALSE\">");
    const QString Tricky = QStringLiteral("He said \"a<b>\" & left");
    ASSERT_TRUE(SetControlValue(Cell, QStringLiteral("n"), Tricky));
    EXPECT_TRUE(Cell.startsWith(QStringLiteral("Name: <CONTROL ID=\"n\" VALUE=\"He said &quot;a&lt;b&gt;&quot; "
                                               "&amp; left\" WIDTH=\"80\" TYPE=\"EDIT\"> tail ")))
        << Cell.toStdString();
    ASSERT_TRUE(SetControlValue(Cell, QStringLiteral("c"), QStringLiteral("TRUE")));
    EXPECT_FALSE(SetControlValue(Cell, QStringLiteral("missing"), QStringLiteral("x")));
    // Reading the tags back gives what was written, and the rest of the text is intact.
    const int First = int(Cell.indexOf(QLatin1Char('<')));
    QString Type, ID, Width, Value;
    ParseControlTag(Cell.mid(First + 1, Cell.indexOf(QLatin1Char('>'), First) - First - 1), Type, ID, Width, Value);
    EXPECT_EQ(Type, QStringLiteral("EDIT"));
    EXPECT_EQ(ID, QStringLiteral("n"));
    EXPECT_EQ(Width, QStringLiteral("80"));
    EXPECT_EQ(Value, Tricky);
    EXPECT_TRUE(Cell.contains(QStringLiteral(" tail <CONTROL ID=\"c\" VALUE=\"TRUE\" WIDTH=\"\" TYPE=\"CHECK\">")));
    EXPECT_EQ(HTMLStrip(Cell), QStringLiteral("Name:  tail "));
}

TEST(HTMLRenderer, DamagedMarkupAndLongWordsEnd)
{
    Sheet S;
    // A word of 10,000 characters in a 1-pixel rectangle: one character per line.
    const QString Word(10000, QLatin1Char('w'));
    S.R = TRect(0, 0, 1, 0xFFFF);
    const THTMLDrawResult Res = S.Measure(Word, true);
    EXPECT_EQ(Res.YSize, 10000 * S.C.TextHeight(QStringLiteral("gh")));
    S.R = TRect(0, 0, 1, 30);
    S.Draw(Word, true);

    S.R = TRect(4, 4, 196, 56);
    for (const char *Bad : {"<", "<A HREF=\"abc", "<FONT COLOR=\"#", "&", "&amp", "text <B", "<CONTROL TYPE=\"EDIT",
                            "<IND x=\"", "<R ANGLE=\"", "</", "<>", "<P ALIGN=\"RIGHT\">x</P></P></FONT></UL>",
                            "<IMG SRC=\"IDX:99\">", "<IMG SRC=\"missing\">", "<#footer"}) {
        THTMLDrawResult R2;
        S.Draw(QString::fromLatin1(Bad));
        S.HitTest(QString::fromLatin1(Bad), 10, 10, R2);
    }
    EXPECT_EQ(S.Measure(QStringLiteral("<#sum>")).XSize, S.C.TextWidth(QStringLiteral("#sum")));
}

TEST(HTMLRenderer, ImageListPicturesTakeTheirRoom)
{
    QImage Red(6, 5, QImage::Format_RGB32);
    Red.fill(Qt::red);
    TImageList Images(6, 5);
    ASSERT_EQ(Images.Add(Red), 0);
    Sheet S;
    const THTMLDrawResult Res = S.Draw(QStringLiteral("<IMG SRC=\"IDX:0\">"), false, true, &Images);
    EXPECT_EQ(Res.XSize, 6);
    EXPECT_EQ(Res.YSize, 5);
    EXPECT_EQ(S.Image.pixel(S.R.Left + 5, S.R.Top + 4) & 0xFFFFFF, 0xFF0000u);
    EXPECT_EQ(S.Image.pixel(S.R.Left + 6, S.R.Top + 4) & 0xFFFFFF, 0xFFFFFFu);
    // Desktop icons of files and folders are 16 or 32 pixels, scaled by the picture factor.
    EXPECT_EQ(S.Measure(QStringLiteral("<IMG SRC=\"SSYS:/tmp\">")).XSize, 16);
    EXPECT_EQ(S.Measure(QStringLiteral("<IMG SRC=\"LSYS:/no/such/file.txt\">")).YSize, 32);
    // WIDTH and HEIGHT stretch it.
    EXPECT_EQ(S.Draw(QStringLiteral("<IMG SRC=\"IDX:0\" WIDTH=\"20\" HEIGHT=\"40\">"), false, true, &Images).YSize, 40);
}

} // namespace
