#pragma once
// The rich-text edit: a text edit whose document is loaded from and saved to
// RTF through platform's own reader and writer (the subset of
// platform/core/RichText.h). Text without RTF loads as plain text; text
// that cannot be read whole still shows what the reader found.

#include "platform/core/RichText.h"
#include "platform/core/Types.h"
#include "platform/graphics/Graphics.h"

#include <QTextEdit>

#include <functional>

class QTextDocument;

class TRichEdit : public QTextEdit, public TObject {
    Q_OBJECT
public:
    explicit TRichEdit(QWidget *Parent = nullptr);

    // The font of text that names no font or size of its own.
    void SetDefaultFont(const QFont &Font);
    // Loads RTF (or plain text); "" empties the edit.
    void SetRTF(const QString &Text);
    void SetRTF(const TRtfDocument &Doc);
    // The document as RTF.
    QString RTF() const;
    TRtfDocument RtfDocument() const;
    // The plain text, paragraphs joined by CR LF.
    QString Text() const;

    // Document model to and from a text document.
    static void LoadDocument(QTextDocument *Doc, const TRtfDocument &Rtf, const QFont &Default);
    static TRtfDocument SaveDocument(const QTextDocument *Doc);

    // The document's size laid out Width pixels wide (Width <= 0: unwrapped).
    QSize DocumentSize(int Width) const;
    // Paints the document into R of a painter, laid out R's width wide and
    // clipped to R; text without a colour of its own takes TextColor.
    void PaintTo(QPainter *P, const QRect &R, const QColor &TextColor = Qt::black) const;

    // The content asks for another size (its laid-out size changed).
    std::function<void(TObject *Sender, const QSize &Requested)> OnResizeRequest;
    std::function<void(TObject *Sender)> OnSelectionChange;

private:
    QFont FDefault;
};
