// DrawText on very long texts: a paint shows what the same format shows for
// the head of the text alone (a head short enough to be drawn whole), and
// measures only about as much as it shows;
// DT_CALCRECT goes through the text once.
#include "platform/graphics/Graphics.h"

#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

namespace {

const QChar Chang(0x957F);   // 长

struct Drawn {
    QImage Image;
    qint64 Measured = 0;
};

// Text drawn with Format in a W x H rectangle at (4, 4) of a 240 x 120 picture.
Drawn Draw(const QString &Text, unsigned Format, int W, int H)
{
    Drawn D{QImage(240, 120, QImage::Format_RGB32)};
    D.Image.fill(Qt::white);
    TCanvas C(&D.Image);
    C.Font()->SetColor(clBlack);
    C.Brush()->SetColor(clYellow);
    TRect R = Rect(4, 4, 4 + W, 4 + H);
    const qint64 Before = DrawTextMeasuredCharacters();
    DrawText(&C, Text, R, Format);
    D.Measured = DrawTextMeasuredCharacters() - Before;
    C.Release();
    return D;
}

} // namespace

TEST(DrawText, AVeryLongTextCostsWhatItShows)
{
    const QString Chinese = QString(200000, Chang) + QLatin1Char('X');
    QString Words;
    while (Words.size() < 200000)
        Words += QStringLiteral("word\tand &some more ");
    const QString Path = QStringLiteral("/usr/") + Words;
    struct Case {
        const char *What;
        const QString &Text;
        unsigned Format;
        int W, H;
    };
    const Case Cases[] = {
        {"wrapped, a line cut by the bottom", Chinese, DT_WORDBREAK | DT_NOPREFIX, 100, 40},
        {"wrapped as an edit control", Chinese, DT_WORDBREAK | DT_EDITCONTROL | DT_NOPREFIX, 100, 40},
        {"wrapped words with tabs", Words, DT_WORDBREAK | DT_EXPANDTABS | DT_NOPREFIX, 120, 50},
        {"wrapped words with prefix marks", Words, DT_WORDBREAK | DT_CENTER, 120, 50},
        {"wrapped without clipping, down to the picture's bottom", Chinese, DT_WORDBREAK | DT_NOCLIP, 100, 20},
        {"one line with an end ellipsis", Chinese, DT_SINGLELINE | DT_END_ELLIPSIS | DT_NOPREFIX, 150, 30},
        {"one line with a path ellipsis", Path, DT_SINGLELINE | DT_PATH_ELLIPSIS | DT_NOPREFIX, 150, 30},
        {"one line cut by the rectangle", Words, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX, 150, 30},
        {"one line cut by the picture", Chinese, DT_SINGLELINE | DT_NOCLIP, 150, 30},
    };
    for (const Case &C : Cases) {
        const Drawn Whole = Draw(C.Text, C.Format, C.W, C.H);
        const Drawn Head = Draw(C.Text.left(200), C.Format, C.W, C.H);
        EXPECT_EQ(Whole.Image, Head.Image) << C.What;
        EXPECT_LT(Whole.Measured, 1500) << C.What;
    }

    // DT_CALCRECT breaks the whole text, measuring each character about twice.
    QImage Img(10, 10, QImage::Format_RGB32);
    TCanvas C(&Img);
    const int LineH = C.TextHeight(QStringLiteral("gh"));
    TRect R = Rect(0, 0, C.TextWidth(QString(7, Chang)), 0);
    const qint64 Before = DrawTextMeasuredCharacters();
    EXPECT_EQ(DrawText(&C, Chinese, R, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX), (200001 + 6) / 7 * LineH);
    EXPECT_LE(DrawTextMeasuredCharacters() - Before, 3 * 200001);
    EXPECT_EQ(R.Width(), C.TextWidth(QString(7, Chang)));
}

TEST(DrawText, APathEllipsisNeverLeavesHalfACharacter)
{
    // The room ends inside the last character before the file name, one from
    // outside the basic plane: it goes whole.
    QImage Img(10, 10, QImage::Format_RGB32);
    TCanvas C(&Img);
    const QString Head = QString::fromUtf8("한국어 한국어");
    const QString Face = QString::fromUtf8("\U0001F600");
    const QString Tail = QStringLiteral("/x full");
    const int Room = C.TextWidth(Head + Face + QStringLiteral("...") + Tail) - 1;
    const Drawn Cut = Draw(Head + Face + QStringLiteral(" /usr/share") + Tail, DT_SINGLELINE | DT_PATH_ELLIPSIS, Room, 30);
    const Drawn Expected = Draw(Head + QStringLiteral("...") + Tail, DT_SINGLELINE, Room, 30);
    EXPECT_EQ(Cut.Image, Expected.Image);
}

TEST(DrawText, APaintCutAtALineShowsWhatTheWholePaintShowsThere)
{
    // Marks over capitals and under descenders reach past the box of their
    // line: a paint whose clip ends or begins at a line's edge (a repaint of
    // part of a window) still shows the marks reaching into it.
    const QString Text = QString::fromUtf8("Ǻ́́ ǵ̣̣ Ẃ̋\nÅ̋́ ỵ̣̣ q̣̣\nḮ́ ǵ̣̣ Ṕ̋\nẄ́ p̣̣ j̣̣");
    auto Paint = [&](const QRect &Clip) {
        QImage Img(160, 100, QImage::Format_RGB32);
        Img.fill(Qt::white);
        TCanvas C(&Img);
        C.Font()->SetColor(clBlack);
        if (!Clip.isNull())
            C.Painter()->setClipRect(Clip);
        TRect R = Rect(4, 4, 156, 96);
        DrawText(&C, Text, R, DT_NOPREFIX);
        C.Release();
        return Img;
    };
    QImage Probe(10, 10, QImage::Format_RGB32);
    TCanvas Measure(&Probe);
    const int LineH = Measure.TextHeight(QStringLiteral("gh"));
    const QImage Whole = Paint(QRect());
    for (int K = 1; K <= 3; ++K) {
        const int Edge = 4 + K * LineH;
        for (const QRect &Clip : {QRect(0, 0, 160, Edge), QRect(0, Edge, 160, 100 - Edge)})
            EXPECT_EQ(Paint(Clip).copy(Clip), Whole.copy(Clip)) << "line " << K << (Clip.top() ? ", below" : ", above");
    }
}

TEST(DrawText, ALongLineCutAtTheRightKeepsTheMarksOfItsLastLetter)
{
    // A letter astride the right edge of what can be seen keeps every mark
    // it carries when the rest of a long line is left out.
    QImage Probe(10, 10, QImage::Format_RGB32);
    TCanvas Measure(&Probe);
    const QString Marked = QString::fromUtf8("W̋́̋");
    for (int Lead = 0; Lead < 12; ++Lead) {
        const QString Text = QString(Lead, QLatin1Char('i')) + QStringLiteral("mmmm") + Marked + QString(400, QLatin1Char('x'));
        const int Edge = 4 + Measure.TextWidth(Text.left(Lead + 5)) - 1;
        auto Paint = [&](int Right) {
            QImage Img(200, 40, QImage::Format_RGB32);
            Img.fill(Qt::white);
            TCanvas C(&Img);
            C.Font()->SetColor(clBlack);
            C.Painter()->setClipRect(QRect(0, 0, Right, 40));
            TRect R = Rect(4, 10, 2000, 40);
            DrawText(&C, Text, R, DT_SINGLELINE | DT_NOPREFIX);
            C.Release();
            return Img.copy(0, 0, Edge, 40);
        };
        EXPECT_EQ(Paint(Edge), Paint(200)) << Lead;
    }
}
