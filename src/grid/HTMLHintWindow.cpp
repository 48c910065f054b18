#include "grid/HTMLHintWindow.h"

#include "grid/CgHTMLE.h"

#include <QApplication>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QScreen>

namespace {
// Room around the text: 4 pixels left and right inside the 1-pixel frame.
constexpr int InsetX = 4;
constexpr int InsetY = 2;
} // namespace

THTMLHintWindow::THTMLHintWindow(QWidget *Parent) : QWidget(Parent)
{
    CreateParams();
    FFont.AssignQFont(QApplication::font());
    FFont.SetColor(clInfoText);
    hide();
}

void THTMLHintWindow::CreateParams()
{
    setWindowFlags(Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFocusPolicy(Qt::NoFocus);
}

TSize THTMLHintWindow::Measure(const QString &Text, int MaxWidth)
{
    QImage Scratch(1, 1, QImage::Format_RGB32);
    TCanvas C(&Scratch);
    C.SetFont(FFont);
    if (!HTML) {
        TRect R(0, 0, std::max(1, MaxWidth), 0);
        DrawText(&C, Text, R, DT_CALCRECT | DT_NOPREFIX | DT_WORDBREAK | DT_EXPANDTABS);
        return TSize(R.Width(), std::max(R.Height(), C.TextHeight(QStringLiteral("gh"))));
    }
    return HTMLTextSize(&C, Text, TRect(0, 0, std::max(1, MaxWidth), 0xFFFF), true);
}

TRect THTMLHintWindow::CalcHintRect(int MaxWidth, const QString &AHint, void *)
{
    const TSize S = Measure(AHint, MaxWidth - 2 * InsetX - 2);
    return TRect(0, 0, S.cx + 2 * InsetX + 2, S.cy + 2 * InsetY + 2);
}

void THTMLHintWindow::ActivateHint(const TRect &Rect, const QString &AHint)
{
    FHint = AHint;
    int MaxWidth = 400;
    if (const QScreen *S = QGuiApplication::primaryScreen())
        MaxWidth = std::max(200, S->availableGeometry().width() / 2);
    const TRect Need = CalcHintRect(MaxWidth, AHint);
    const int W = Rect.IsEmpty() ? Need.Width() : Rect.Width();
    const int H = Rect.IsEmpty() ? Need.Height() : Rect.Height();
    setGeometry(Rect.Left, Rect.Top, W, H);
    show();
    raise();
    update();
}

void THTMLHintWindow::paintEvent(QPaintEvent *)
{
    QPainter P(this);
    TCanvas C(&P);
    Paint(&C);
}

void THTMLHintWindow::Paint(TCanvas *Canvas)
{
    const TRect Client(0, 0, width(), height());
    Canvas->Brush()->SetStyle(bsSolid);
    Canvas->Brush()->SetColor(Color);
    Canvas->FillRect(Client);
    Canvas->Pen()->SetColor(cl3DLight);
    Canvas->MoveTo(0, Client.Bottom - 1);
    Canvas->LineTo(0, 0);
    Canvas->LineTo(Client.Right - 1, 0);
    Canvas->Pen()->SetColor(cl3DDkShadow);
    Canvas->LineTo(Client.Right - 1, Client.Bottom - 1);
    Canvas->LineTo(0, Client.Bottom - 1);
    Canvas->SetFont(FFont);
    TRect R(Client.Left + 1 + InsetX, Client.Top + 1, Client.Right - 1 - InsetX, Client.Bottom - 1);
    const TSize S = Measure(FHint, R.Width());
    const int Top = R.Top + std::max(0, (R.Height() - S.cy) / 2);
    TRect T(R.Left, Top, R.Right, Top + S.cy);
    Canvas->Brush()->SetStyle(bsClear);
    if (!HTML) {
        DrawText(Canvas, FHint, T, DT_NOPREFIX | DT_WORDBREAK | DT_EXPANDTABS);
        return;
    }
    THTMLDrawResult Res;
    HTMLDrawEx(Canvas, FHint, T, nullptr, nullptr, nullptr, 0, 0, false, 0, 0, clNone, clNone, false, clBlue, clGray,
               1, true, false, false, true, false, 1.0, Res);
}
