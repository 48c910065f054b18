#pragma once
// The hint window of the grid: a frameless tool-tip window, shown without
// taking the focus, that draws its text with the mini-HTML renderer (or, for
// plain hints, as the characters they are: no markup of a plain hint is
// interpreted, so a cell text can never make the hint load a file).

#include "platform/graphics/Graphics.h"

#include <QWidget>

class THTMLHintWindow : public QWidget {
    Q_OBJECT
public:
    explicit THTMLHintWindow(QWidget *Parent = nullptr);

    TColor Color = clInfoBk;
    // False: the hint text is drawn as plain characters.
    bool HTML = true;

    // Window kind: a frameless, topmost tool-tip window without a border,
    // which never takes the activation (the desktop's compositor adds its shadow).
    void CreateParams();
    // The rectangle (0, 0, width, height) the text needs within MaxWidth.
    TRect CalcHintRect(int MaxWidth, const QString &AHint, void *AData = nullptr);
    // Shows AHint at Rect's top-left (sized to Rect, or to the text when Rect is empty).
    void ActivateHint(const TRect &Rect, const QString &AHint);
    void ReleaseHandle() { hide(); }
    QString Hint() const { return FHint; }
    TFont *Font() { return &FFont; }

protected:
    void paintEvent(QPaintEvent *Event) override;
    // Fills the hint colour, draws the 3-D frame and the text.
    void Paint(TCanvas *Canvas);

private:
    QString FHint;
    TFont FFont;
    TSize Measure(const QString &Text, int MaxWidth);
};
