#include "grid/FloatingFooter.h"

#include "grid/CellGrid.h"
#include "grid/CgHTMLE.h"
#include "grid/PictureContainer.h"
#include "platform/core/SysUtils.h"

#include <QEvent>
#include <QPainter>

// =================================================================== TFloatingFooter

void TFloatingFooter::SetColor(TColor Value)
{
    FColor = Value;
    FGrid->RefreshFooter();
}

void TFloatingFooter::SetColumn(int Value)
{
    FColumn = Value;
    FGrid->RefreshFooter();
}

void TFloatingFooter::SetCustomTemplate(const QString &Value)
{
    FCustomTemplate = Value;
    FGrid->RefreshFooter();
}

void TFloatingFooter::SetFooterStyle(TFooterStyle Value)
{
    FFooterStyle = Value;
    FGrid->SetFooterInLastRow(FVisible && FFooterStyle == fsFixedLastRow);
    if (FGrid->FooterPanel())
        FGrid->FooterPanel()->AdjustPlacement();
    FGrid->InvalidateGrid();
    FGrid->RefreshFooter();
}

void TFloatingFooter::SetVisible(bool Value)
{
    FVisible = Value;
    FGrid->SetFixedFooters(Value ? 1 : 0);
    FGrid->SetFooterInLastRow(FVisible && FFooterStyle == fsFixedLastRow);
    if (FGrid->FooterPanel())
        FGrid->FooterPanel()->AdjustPlacement();
    FGrid->InvalidateGrid();
}

// =================================================================== TFooterPanel

TFooterPanel::TFooterPanel(TCellGrid *AGrid) : QWidget(AGrid), FGrid(AGrid)
{
    setObjectName(QStringLiteral("FooterPanel"));
    hide();
    FViewport = FGrid->viewport();
    FViewport->installEventFilter(this);
}

void TFooterPanel::AdjustPlacement()
{
    TFloatingFooter *F = FGrid->FloatingFooter();
    const bool Show = F && F->Visible();
    const int H = Show ? std::max(F->Height(), 0) : 0;
    QMargins M = FGrid->viewportMargins();
    if (M.bottom() != H) {
        M.setBottom(H);
        FGrid->setViewportMargins(M);
    }
    const QRect V = FGrid->viewport()->geometry();
    setGeometry(V.left(), V.bottom() + 1, V.width(), H);
    setVisible(Show && H > 0);
    if (Show)
        update();
}

bool TFooterPanel::eventFilter(QObject *Watched, QEvent *Event)
{
    if (Watched == FViewport && (Event->type() == QEvent::Resize || Event->type() == QEvent::Move)) {
        const QRect V = FViewport->geometry();
        if (isVisible())
            setGeometry(V.left(), V.bottom() + 1, V.width(), height());
    }
    return QWidget::eventFilter(Watched, Event);
}

QString TFooterPanel::ExpandFooterTemplate(const QString &Template)
{
    QString Result;
    qsizetype Pos = 0;
    const int Row = FGrid->Row();
    while (Pos < Template.size()) {
        const qsizetype Open = Template.indexOf(QStringLiteral("<#"), Pos);
        if (Open < 0)
            break;
        const qsizetype Close = Template.indexOf(QLatin1Char('>'), Open + 2);
        if (Close < 0)
            break;   // an unclosed marker stays as text
        Result += Template.mid(Pos, Open - Pos);
        bool Ok = false;
        const int Col = Template.mid(Open + 2, Close - Open - 2).trimmed().toInt(&Ok);
        if (Ok && Col >= 0 && Col < FGrid->ColCount() + FGrid->NumHiddenColumns() && Row >= 0
            && Row < FGrid->RowCount())
            Result += FGrid->GetCellText(Col, Row);
        Pos = Close + 1;
    }
    Result += Template.mid(Pos);
    return Result;
}

void TFooterPanel::PaintPreview(TCanvas *C, const QString &Text)
{
    C->SetFont(*FGrid->Font());
    TRect R(0, 0, width(), height());
    InflateRect(R, -FGrid->CellTextMargin.X, -FGrid->CellTextMargin.Y);
    THTMLDrawResult Res;
    HTMLDrawEx(C, Text, R, FGrid->GridImages(), FGrid->PictureContainer, FGrid->ImageCache(), 0, 0, false, 0, 0,
               clNone, clNone, false, FGrid->URLColor(), clGray, 1, true, false, false, FGrid->WordWrap(), true, 1.0,
               Res);
}

void TFooterPanel::PaintLastRow(TCanvas *C)
{
    const int Last = FGrid->RowCount() - 1;
    if (Last < 0)
        return;
    const int GLW = FGrid->TStringGrid::GridLineWidth();
    std::vector<int> Cols;
    for (int I = 0; I < FGrid->FixedCols() && I < FGrid->ColCount(); ++I)
        Cols.push_back(I);
    for (int I = std::max(FGrid->LeftCol(), FGrid->FixedCols()); I < FGrid->ColCount(); ++I)
        Cols.push_back(I);
    const bool Soft = FGrid->Look() == glSoft && !FGrid->Flat();
    const TGridOptions O = FGrid->Options();
    int X = 0;
    FGrid->FPaintingFooter = true;
    FGrid->PaintOnCanvas(C, [&] {
        for (int Cl : Cols) {
            if (X >= width())
                break;
            const int W = FGrid->ColWidths(Cl);
            const TRect Cell = FGrid->GetSingleCellRect(Cl, Last);
            QPainter *P = C->Painter();
            P->save();
            P->translate(X - Cell.Left, -Cell.Top);
            const TRect Rc(Cell.Left, Cell.Top, Cell.Left + W, Cell.Bottom);
            FGrid->DrawCell(Cl, Last, Rc, 0);
            P->restore();
            // The strip's own lines between and under its cells.
            const TRect Out(X, 0, X + W, height());
            if (O & goFixedVertLine) {
                C->Pen()->SetColor(Soft ? clGray : clBlack);
                C->MoveTo(Out.Right, 0);
                C->LineTo(Out.Right, height());
                if (Soft) {
                    C->Pen()->SetColor(clWhite);
                    C->MoveTo(Out.Left, 0);
                    C->LineTo(Out.Left, height());
                }
            }
            if (O & goFixedHorzLine) {
                C->Pen()->SetColor(Soft ? clGray : clBlack);
                C->MoveTo(Out.Left, height() - 1);
                C->LineTo(Out.Right + 1, height() - 1);
                if (Soft) {
                    C->Pen()->SetColor(clWhite);
                    C->MoveTo(Out.Left, 0);
                    C->LineTo(Out.Right, 0);
                }
            }
            X += W + GLW;
        }
    });
    FGrid->FPaintingFooter = false;
}

void TFooterPanel::PaintTo(TCanvas *C)
{
    TFloatingFooter *F = FGrid->FloatingFooter();
    C->Brush()->SetColor(F->Color());
    C->Brush()->SetStyle(bsSolid);
    C->FillRect(TRect(0, 0, width(), height()));
    switch (F->FooterStyle()) {
    case fsFixedLastRow: PaintLastRow(C); break;
    case fsColumnPreview: {
        const int Row = FGrid->Row();
        const int Col = F->Column();
        if (Row >= 0 && Row < FGrid->RowCount() && Col >= 0 && Col < FGrid->ColCount() + FGrid->NumHiddenColumns())
            PaintPreview(C, FGrid->GetCellText(Col, Row));
        break;
    }
    case fsCustomPreview: PaintPreview(C, ExpandFooterTemplate(F->CustomTemplate())); break;
    }
}

QImage TFooterPanel::RenderToImage()
{
    QImage Image(size().expandedTo(QSize(1, 1)), QImage::Format_RGB32);
    Image.fill(Qt::white);
    QPainter Painter(&Image);
    TCanvas Canvas(&Painter);
    FGrid->FPaintingFooter = false;
    PaintTo(&Canvas);
    return Image;
}

void TFooterPanel::paintEvent(QPaintEvent *Event)
{
    Q_UNUSED(Event);
    QPainter Painter(this);
    TCanvas Canvas(&Painter);
    try {
        PaintTo(&Canvas);
    } catch (...) {
        // Painting must never let an exception into the event loop.
        FGrid->FPaintingFooter = false;
    }
}
