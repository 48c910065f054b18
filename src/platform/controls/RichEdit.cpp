#include "platform/controls/RichEdit.h"

#include <QAbstractTextDocumentLayout>
#include <QPainter>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <cmath>

namespace {

// Indents are twips in RTF and pixels (at 96 per inch) in the document.
constexpr double TwipsPerPixel = 1440.0 / 96.0;

QColor BgrToColor(int Bgr)
{
    return QColor(Bgr & 0xFF, (Bgr >> 8) & 0xFF, (Bgr >> 16) & 0xFF);
}

int ColorToBgr(const QColor &C)
{
    return (C.blue() << 16) | (C.green() << 8) | C.red();
}

QTextCharFormat CharFormat(const TRtfCharFormat &F)
{
    QTextCharFormat Q;
    Q.setFontWeight(F.Bold ? QFont::Bold : QFont::Normal);
    Q.setFontItalic(F.Italic);
    Q.setFontUnderline(F.Underline);
    Q.setFontStrikeOut(F.Strike);
    if (!F.FontName.isEmpty())
        Q.setFontFamilies({F.FontName});
    if (F.FontSize > 0)
        Q.setFontPointSize(F.FontSize / 2.0);
    if (F.Color >= 0)
        Q.setForeground(BgrToColor(F.Color));
    if (F.Highlight >= 0)
        Q.setBackground(BgrToColor(F.Highlight));
    return Q;
}

Qt::Alignment Alignment(TRtfAlignment A)
{
    switch (A) {
    case TRtfAlignment::Center: return Qt::AlignHCenter;
    case TRtfAlignment::Right: return Qt::AlignRight;
    case TRtfAlignment::Justify: return Qt::AlignJustify;
    default: return Qt::AlignLeft;
    }
}

} // namespace

TRichEdit::TRichEdit(QWidget *Parent) : QTextEdit(Parent)
{
    setAcceptRichText(false);   // pastes come in as text; RTF is loaded through SetRTF
    FDefault = font();
    connect(document()->documentLayout(), &QAbstractTextDocumentLayout::documentSizeChanged, this,
            [this](const QSizeF &Size) {
                if (OnResizeRequest)
                    OnResizeRequest(this, QSize(int(std::ceil(Size.width())), int(std::ceil(Size.height()))));
            });
    connect(this, &QTextEdit::selectionChanged, this, [this] {
        if (OnSelectionChange)
            OnSelectionChange(this);
    });
}

void TRichEdit::SetDefaultFont(const QFont &Font)
{
    FDefault = Font;
    setFont(Font);
    document()->setDefaultFont(Font);
}

void TRichEdit::LoadDocument(QTextDocument *Doc, const TRtfDocument &Rtf, const QFont &Default)
{
    Doc->clear();
    Doc->setDefaultFont(Default);
    QTextCursor Cursor(Doc);
    bool First = true;
    for (const TRtfParagraph &P : Rtf.Paragraphs) {
        QTextBlockFormat B;
        B.setAlignment(Alignment(P.Alignment));
        B.setLeftMargin(P.LeftIndent / TwipsPerPixel);
        B.setRightMargin(P.RightIndent / TwipsPerPixel);
        B.setTextIndent(P.FirstIndent / TwipsPerPixel);
        if (First)
            Cursor.setBlockFormat(B);
        else
            Cursor.insertBlock(B);
        First = false;
        for (const TRtfRun &R : P.Runs) {
            QString Text = R.Text;
            Text.replace(QLatin1Char('\n'), QChar::LineSeparator);
            Cursor.insertText(Text, CharFormat(R.Format));
        }
    }
}

TRtfDocument TRichEdit::SaveDocument(const QTextDocument *Doc)
{
    TRtfDocument Rtf;
    const QFont Default = Doc->defaultFont();
    for (QTextBlock Block = Doc->begin(); Block.isValid(); Block = Block.next()) {
        TRtfParagraph P;
        const QTextBlockFormat B = Block.blockFormat();
        const Qt::Alignment A = B.alignment() & Qt::AlignHorizontal_Mask;
        P.Alignment = A & Qt::AlignHCenter ? TRtfAlignment::Center
            : A & Qt::AlignRight           ? TRtfAlignment::Right
            : A & Qt::AlignJustify         ? TRtfAlignment::Justify
                                           : TRtfAlignment::Left;
        P.LeftIndent = int(std::lround(B.leftMargin() * TwipsPerPixel));
        P.RightIndent = int(std::lround(B.rightMargin() * TwipsPerPixel));
        P.FirstIndent = int(std::lround(B.textIndent() * TwipsPerPixel));
        for (auto It = Block.begin(); !It.atEnd(); ++It) {
            const QTextFragment Frag = It.fragment();
            if (!Frag.isValid())
                continue;
            const QTextCharFormat Q = Frag.charFormat();
            TRtfRun R;
            R.Text = Frag.text();
            R.Text.replace(QChar::LineSeparator, QLatin1Char('\n'));
            R.Format.Bold = Q.fontWeight() >= QFont::Bold;
            R.Format.Italic = Q.fontItalic();
            R.Format.Underline = Q.fontUnderline();
            R.Format.Strike = Q.fontStrikeOut();
            const QStringList Families = Q.fontFamilies().toStringList();
            if (!Families.isEmpty() && Families.first() != Default.family())
                R.Format.FontName = Families.first();
            if (Q.hasProperty(QTextFormat::FontPointSize))
                R.Format.FontSize = int(std::lround(Q.fontPointSize() * 2));
            if (Q.foreground().style() != Qt::NoBrush)
                R.Format.Color = ColorToBgr(Q.foreground().color());
            if (Q.background().style() != Qt::NoBrush)
                R.Format.Highlight = ColorToBgr(Q.background().color());
            if (!P.Runs.empty() && P.Runs.back().Format == R.Format)
                P.Runs.back().Text += R.Text;
            else
                P.Runs.push_back(std::move(R));
        }
        Rtf.Paragraphs.push_back(std::move(P));
    }
    return Rtf;
}

void TRichEdit::SetRTF(const QString &Text)
{
    if (Text.isEmpty()) {
        clear();
        document()->setDefaultFont(FDefault);
        return;
    }
    SetRTF(Rtf::Read(Text));
}

void TRichEdit::SetRTF(const TRtfDocument &Doc)
{
    LoadDocument(document(), Doc, FDefault);
}

TRtfDocument TRichEdit::RtfDocument() const
{
    return SaveDocument(document());
}

QString TRichEdit::RTF() const
{
    return Rtf::Write(RtfDocument());
}

QString TRichEdit::Text() const
{
    return RtfDocument().PlainText();
}

QSize TRichEdit::DocumentSize(int Width) const
{
    QTextDocument *Doc = document();
    Doc->setDocumentMargin(0);
    Doc->setTextWidth(Width > 0 ? Width : -1);
    const QSizeF S = Width > 0 ? Doc->size() : QSizeF(Doc->idealWidth(), Doc->size().height());
    return QSize(int(std::ceil(S.width())), int(std::ceil(S.height())));
}

void TRichEdit::PaintTo(QPainter *P, const QRect &R, const QColor &TextColor) const
{
    QTextDocument *Doc = document();
    Doc->setDocumentMargin(0);
    Doc->setTextWidth(std::max(R.width(), 1));
    P->save();
    P->translate(R.topLeft());
    P->setClipRect(QRect(QPoint(0, 0), R.size()), Qt::IntersectClip);
    QAbstractTextDocumentLayout::PaintContext Ctx;
    Ctx.palette.setColor(QPalette::Text, TextColor);
    Ctx.clip = QRectF(QPointF(0, 0), QSizeF(R.size()));
    Doc->documentLayout()->draw(P, Ctx);
    P->restore();
}
