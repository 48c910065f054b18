#pragma once
// The footer strip of the grid: a panel under the cells (the grid makes room
// for it with its viewport margins) that shows the grid's last row kept fixed,
// a preview of one column of the current row, or a template filled from the
// current row, rendered with the mini-HTML renderer.

#include "platform/graphics/Graphics.h"

#include <QImage>
#include <QWidget>

class TCellGrid;

class TFooterPanel : public QWidget {
    Q_OBJECT
public:
    explicit TFooterPanel(TCellGrid *AGrid);
    TCellGrid *Grid() const { return FGrid; }

    // Gives the panel the footer's stored height while it is visible (else
    // height 0 and hidden) and places it under the cells.
    void AdjustPlacement();
    // Paints what the footer shows onto a canvas of the panel's size.
    void PaintTo(TCanvas *C);
    // The panel's painting as an image of its size.
    QImage RenderToImage();

    // The template with every "<#" n ">" replaced by the text of column n of
    // the current row. A marker whose n is no column number gives nothing, an
    // unclosed "<#" is kept as text.
    QString ExpandFooterTemplate(const QString &Template);

protected:
    void paintEvent(QPaintEvent *Event) override;
    bool eventFilter(QObject *Watched, QEvent *Event) override;

private:
    void PaintLastRow(TCanvas *C);
    void PaintPreview(TCanvas *C, const QString &Text);
    TCellGrid *FGrid;
    QWidget *FViewport;   // the grid's, watched for its placement
};
