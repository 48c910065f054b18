// HTML cells in a shown grid: painting through the renderer, anchors that
// reach the desktop, cell controls, and the hint window.
#include "GridFixture.h"

#include "grid/CgHTMLE.h"
#include "grid/HTMLHintWindow.h"
#include "platform/services/Shell.h"

#include <QComboBox>
#include <QHelpEvent>
#include <QLineEdit>

namespace {

// The text rectangle of a data cell as the painting uses it.
TRect TextRectOf(TCellGrid *G, int ACol, int ARow)
{
    TRect R = G->GetCellRect(ACol, ARow);
    InflateRect(R, -G->GridLineWidth(), -G->GridLineWidth());
    R.Left += G->CellTextMargin.X;
    R.Right -= G->CellTextMargin.X;
    R.Top += G->CellTextMargin.Y;
    return R;
}

TEST_F(GridTest, HTMLCellPaintsWhatTheRendererDraws)
{
    Grid->SetColWidths(2, 260);
    Grid->SetRowHeights(2, 40);
    const QString Markup = QStringLiteral("<B>Bold</B> and <FONT COLOR=\"clRed\">red</FONT> <U>u</U> &amp; <I>i</I>");
    Grid->SetCells(2, 2, Markup);
    const QImage Shot = Grid->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const TRect TR = TextRectOf(Grid, 2, 2);

    QImage Expected(Shot.size(), QImage::Format_RGB32);
    Expected.fill(Shot.pixel(TR.Left, TR.Top));
    {
        TCanvas C(&Expected);
        C.SetFont(*Grid->Font());
        THTMLDrawResult Res;
        HTMLDrawEx(&C, Markup, TR, nullptr, nullptr, nullptr, 0, 0, false, 0, 0, clNone, clNone, false,
                   Grid->URLColor(), clGray, 1, true, false, false, Grid->WordWrap(), true, 1.0, Res);
    }
    int Ink = 0;
    for (int Y = TR.Top; Y < TR.Bottom; ++Y)
        for (int X = TR.Left; X < TR.Right; ++X) {
            ASSERT_EQ(Shot.pixel(X, Y), Expected.pixel(X, Y)) << X << "," << Y;
            Ink += Shot.pixel(X, Y) != Shot.pixel(TR.Left, TR.Top);
        }
    EXPECT_GT(Ink, 50);
    // Measuring for auto-sizing goes through the renderer too.
    TCanvas *C = Grid->Canvas();
    C->SetFont(*Grid->Font());
    const TSize Size = HTMLTextSize(C, Markup, TRect(0, 0, 0xFFFF, 0xFFFF), Grid->WordWrap());
    EXPECT_EQ(Grid->CellTextSize(2, 2, false).X, Size.cx + 2 + 2 * Grid->CellTextMargin.X);
}

TEST_F(GridTest, OnlyWebAndMailAnchorsReachTheDesktop)
{
    auto Scripted = std::make_unique<TScriptedShell>();
    TScriptedShell *Calls = Scripted.get();
    auto Previous = SetShell(std::move(Scripted));
    Grid->SetColWidths(1, 400);
    const QString Links[] = {QStringLiteral("file:///etc/passwd"), QStringLiteral("/usr/bin/xterm"),
                             QStringLiteral("evil.desktop"), QStringLiteral("https://x.org/a"),
                             QStringLiteral("mailto:a@b.c")};
    QString Text;
    for (const QString &L : Links)
        Text += QStringLiteral("<a href=\"%1\">L</a> ").arg(L);
    Grid->SetCells(1, 1, Text);
    QStringList Seen;
    Grid->OnAnchorClick = [&](TObject *, int, int, const QString &Anchor, bool &) { Seen << Anchor; };
    TCanvas *C = Grid->Canvas();
    C->SetFont(*Grid->Font());
    const TRect TR = TextRectOf(Grid, 1, 1);
    const int Step = C->TextWidth(QStringLiteral("L")) + C->TextWidth(QStringLiteral(" "));
    for (int I = 0; I < 5; ++I)
        QTest::mouseClick(Grid->viewport(), Qt::LeftButton, {}, QPoint(TR.Left + I * Step + 2, TR.Top + 5));
    EXPECT_EQ(Seen, QStringList(std::begin(Links), std::end(Links)));
    ASSERT_EQ(Calls->Calls().size(), 2);
    EXPECT_EQ(Calls->Calls()[0].Args, QStringList{QStringLiteral("https://x.org/a")});
    EXPECT_EQ(Calls->Calls()[1].Args, QStringList{QStringLiteral("mailto:a@b.c")});

    // A URL cell holding a local file is not opened either.
    Calls->ClearCalls();
    Grid->SetURLShow(true);
    Grid->SetCells(2, 2, QStringLiteral("file:///bin/sh"));
    Click(2, 2);
    EXPECT_TRUE(Calls->Calls().isEmpty());
    SetShell(std::move(Previous));
}

TEST_F(GridTest, CellControlsChangeTheirTags)
{
    Grid->SetColWidths(1, 300);
    Grid->SetRowHeights(1, 30);
    Grid->SetCells(1, 1,
                   QStringLiteral("<CONTROL TYPE=\"CHECK\" ID=\"ok\" VALUE=\"FALSE\"> <CONTROL TYPE=\"EDIT\" ID=\"name\" "
                                  "VALUE=\"old\" WIDTH=\"120\"> <b>x</b>"));
    std::vector<QStringList> Clicks, Done;
    Grid->OnControlClick = [&](TObject *, int ARow, int ACol, const QString &ID, const QString &Type,
                               const QString &Val) {
        Clicks.push_back({QString::number(ACol), QString::number(ARow), ID, Type, Val});
    };
    Grid->OnControlEditDone = [&](TObject *, int, int, const QString &ID, const QString &, const QString &Val) {
        Done.push_back({ID, Val});
    };
    const TRect TR = TextRectOf(Grid, 1, 1);
    const QPoint OnCheck(TR.Left + 8, TR.Top + 8);
    QTest::mouseClick(Grid->viewport(), Qt::LeftButton, {}, OnCheck);
    EXPECT_TRUE(Grid->Cells(1, 1).startsWith(QStringLiteral("<CONTROL ID=\"ok\" VALUE=\"TRUE\" WIDTH=\"\" TYPE=\"CHECK\"> ")));
    ASSERT_EQ(Clicks.size(), 1u);
    EXPECT_EQ(Clicks[0], (QStringList{"1", "1", "ok", "CHECK", "TRUE"}));
    QTest::mouseClick(Grid->viewport(), Qt::LeftButton, {}, OnCheck);
    EXPECT_TRUE(Grid->Cells(1, 1).contains(QStringLiteral("VALUE=\"FALSE\"")));

    // The edit box opens over the control and writes its value back on Enter.
    TCanvas *C = Grid->Canvas();
    C->SetFont(*Grid->Font());
    const int EditX = TR.Left + 16 + C->TextWidth(QStringLiteral(" ")) + 20;
    QTest::mouseClick(Grid->viewport(), Qt::LeftButton, {}, QPoint(EditX, TR.Top + 12));
    auto *Edit = qobject_cast<QLineEdit *>(Grid->ControlEditor());
    ASSERT_NE(Edit, nullptr);
    EXPECT_EQ(Edit->text(), QStringLiteral("old"));
    Edit->setText(QStringLiteral("say \"hi\" & <go>"));
    QTest::keyClick(Edit, Qt::Key_Return);
    QApplication::processEvents();
    EXPECT_EQ(Grid->ControlEditor(), nullptr);
    ASSERT_EQ(Done.size(), 1u);
    EXPECT_EQ(Done[0], (QStringList{"name", "say \"hi\" & <go>"}));
    EXPECT_TRUE(Grid->Cells(1, 1).contains(
        QStringLiteral("VALUE=\"say &quot;hi&quot; &amp; &lt;go&gt;\" WIDTH=\"120\" TYPE=\"EDIT\"> <b>x</b>")))
        << Grid->Cells(1, 1).toStdString();
    // Stripped for the clipboard and the editor, the controls leave no text behind.
    EXPECT_EQ(HTMLStrip(Grid->Cells(1, 1)), QStringLiteral("  x"));

    // A combo box is filled by the application and writes the chosen value back.
    Grid->SetCells(2, 2, QStringLiteral("<CONTROL TYPE=\"COMBO\" ID=\"size\" VALUE=\"M\" WIDTH=\"90\"> <i>cm</i>"));
    Grid->OnControlComboList = [](TObject *, int, int, const QString &ID, const QString &, const QString &Val,
                                  TStringList *Values, bool &Edit, int &DropCount) {
        EXPECT_EQ(ID, QStringLiteral("size"));
        EXPECT_EQ(Val, QStringLiteral("M"));
        Values->Add(QStringLiteral("S"));
        Values->Add(QStringLiteral("M"));
        Values->Add(QStringLiteral("L"));
        Edit = false;
        DropCount = 3;
    };
    const TRect Combo = TextRectOf(Grid, 2, 2);
    QTest::mouseClick(Grid->viewport(), Qt::LeftButton, {}, QPoint(Combo.Left + 20, Combo.Top + 12));
    auto *Box = qobject_cast<QComboBox *>(Grid->ControlEditor());
    ASSERT_NE(Box, nullptr);
    EXPECT_EQ(Box->count(), 3);
    EXPECT_EQ(Box->currentText(), QStringLiteral("M"));
    Box->setCurrentIndex(2);
    emit Box->activated(2);
    QApplication::processEvents();
    EXPECT_EQ(Grid->ControlEditor(), nullptr);
    EXPECT_EQ(Grid->Cells(2, 2), QStringLiteral("<CONTROL ID=\"size\" VALUE=\"L\" WIDTH=\"90\" TYPE=\"COMBO\"> <i>cm</i>"));
    EXPECT_EQ(Done.back(), (QStringList{"size", "L"}));
}

TEST_F(GridTest, HintsUseTheHintWindowAndPlainHintsStayPlain)
{
    Grid->SetColWidths(1, 200);
    Grid->SetCells(1, 1, QStringLiteral("a <b>bold</b> word"));
    Grid->HintShowCells = true;
    auto AskHint = [&] {
        const TRect R = Grid->GetCellRect(1, 1);
        QHelpEvent E(QEvent::ToolTip, QPoint(R.Left + 4, R.Top + 4), Grid->viewport()->mapToGlobal(QPoint(R.Left + 4, R.Top + 4)));
        QApplication::sendEvent(Grid->viewport(), &E);
    };
    TFont Plain;
    Plain.AssignQFont(Grid->font());
    QImage Scratch(1, 1, QImage::Format_RGB32);
    TCanvas C(&Scratch);
    C.SetFont(Plain);
    // Hints wrap: the pieces are "a ", "bold", " " and "word".
    const int PlainW = C.TextWidth(QStringLiteral("a ")) + C.TextWidth(QStringLiteral(" ")) + C.TextWidth(QStringLiteral("word"));
    C.Font()->SetStyle(fsBold);
    const int BoldW = C.TextWidth(QStringLiteral("bold"));
    C.Font()->SetStyle({});

    // With HTMLHint the tags make the word bold and take no room.
    Grid->HTMLHint = true;
    AskHint();
    ASSERT_TRUE(Grid->HintShowing());
    THTMLHintWindow *W = Grid->HintWindow();
    EXPECT_TRUE(W->HTML);
    EXPECT_EQ(W->Hint(), QStringLiteral("a <b>bold</b> word"));
    const int Frame = W->CalcHintRect(1000, QString()).Width();
    EXPECT_EQ(W->width(), Frame + PlainW + BoldW);
    EXPECT_NE(BoldW, C.TextWidth(QStringLiteral("bold")));

    // Without it the hint is the stripped text, and markup a handler puts in a
    // plain hint shows as its characters.
    Grid->HTMLHint = false;
    AskHint();
    EXPECT_FALSE(W->HTML);
    EXPECT_EQ(W->Hint(), QStringLiteral("a bold word"));
    Grid->OnGridHint = [](TObject *, int, int, QString &Hint) { Hint = QStringLiteral("x <b>y</b> <img src=\"/etc/hosts\">"); };
    AskHint();
    EXPECT_EQ(W->width(), Frame + C.TextWidth(QStringLiteral("x <b>y</b> <img src=\"/etc/hosts\">")));
    const QImage Shot = W->grab().toImage();
    EXPECT_EQ(QColorToTColor(Shot.pixelColor(Shot.width() / 2, 1)) , ColorToRGB(Grid->HintColor));

    // Sizing hints are HTML: the size shows bold.
    Grid->OnGridHint = nullptr;
    Grid->HideHint();
    EXPECT_FALSE(Grid->HintShowing());
}

} // namespace
