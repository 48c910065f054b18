// Rich-text cells (text starting with "{\"): painted and measured through the
// grid's rendering rich edit, edited in place by the edRichEdit editor, whose
// document is written back as RTF when it changed.

#include "grid/CellGrid.h"

#include "grid/CellRichEdit.h"

#include <QPainter>

TCellRichEdit *TCellGrid::RichEdit()
{
    if (!FRichEdit) {
        FRichEdit = new TCellRichEdit(this, false);
        // The renderer is never shown; the grid owns it as a Qt child of its own.
        FRichEdit->setParent(this);
        FRichEdit->hide();
    }
    return FRichEdit;
}

TCellRichEdit *TCellGrid::InplaceRichEdit()
{
    if (!FInplaceRichEdit)
        FInplaceRichEdit = new TCellRichEdit(this, true);
    return FInplaceRichEdit;
}

QString TCellGrid::RichToPlain(const QString &Text)
{
    return Text.isEmpty() ? QString() : Rtf::PlainText(Text);
}

void TCellGrid::PaintRichTextCell(TCanvas *C, const QString &Text, const TRect &R, const TFont &CellFont)
{
    QPainter *P = C->Painter();
    if (!P || R.IsEmpty())
        return;
    TCellRichEdit *E = RichEdit();
    E->LoadCell(Text, CellFont.ToQFont());
    E->PaintTo(P, QRect(R.Left, R.Top, R.Width(), R.Height()), TColorToQColor(CellFont.Color()));
}

TPoint TCellGrid::RichTextSize(const QString &Text, const TFont &CellFont, int FitWidth)
{
    TCellRichEdit *E = RichEdit();
    E->LoadCell(Text, CellFont.ToQFont());
    const QSize S = E->DocumentSize(FitWidth);
    return TPoint(S.width(), S.height());
}

void TCellGrid::OpenRichEditor(const TRect &R, const QString &Text, const TFont &CellFont, const QColor &Background)
{
    TCellRichEdit *E = InplaceRichEdit();
    EditorActive = true;
    E->NoGrowth = true;   // loading is no typing
    E->setGeometry(R.Left, R.Top, std::max(R.Width() - 1, 1), std::max(R.Height() - 1, 1));
    E->LoadCell(Text, CellFont.ToQFont());
    QPalette Pal = E->palette();
    Pal.setColor(QPalette::Base, Background);
    E->setPalette(Pal);
    E->setLineWrapMode(WordWrap() || Multilinecells ? QTextEdit::WidgetWidth : QTextEdit::NoWrap);
    E->NoGrowth = false;
    E->show();
    E->setFocus();
    E->selectAll();
}

void TCellGrid::CloseRichEditor(int RC, int ARow, bool Changed)
{
    TCellRichEdit *E = InplaceRichEdit();
    EditorActive = false;
    if (Changed)
        SetCellText(RC, ARow, E->RTF());
    E->hide();
}
