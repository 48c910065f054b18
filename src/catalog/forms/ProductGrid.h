#pragma once
// TProductGrid, the main window's product grid: the grid control with the block
// layout of a page's products. Cells are reached through the grid's merge-aware
// text access; a picture sits in one cell, shrunk to it and never enlarged.

#include "grid/CellGrid.h"

#include <memory>
#include <vector>

class TProductGrid : public TCellGrid {
    Q_OBJECT
public:
    explicit TProductGrid(QWidget *Parent = nullptr);
    ~TProductGrid() override;

    // An edit of a cell from outside the program (the driver, an in-place edit
    // committed through SetCells): CellEdited follows. The program itself writes
    // cells through SetCellText, which tells nobody.
    void SetCells(int ACol, int ARow, const QString &Value) override;

    void InsertRows(int ARow, int Count) { InsertRowsAt(ARow, Count); }
    void FocusCell(int ACol, int ARow) { TCellGrid::FocusCell(ACol, ARow, true); }
    void SetCurrentCell(int ACol, int ARow) { FocusCell(ACol, ARow); }

    // The thumbnail of a picture file in a cell: as high as the picture cell
    // of block 1 less 3 pixels, shrunk into the cell keeping its aspect. A file
    // that cannot be shown gets its notice picture; the result is always true.
    // The file is decoded when the cell is first painted (the cells that come
    // into view together are decoded together, on several threads), with as
    // many pixels as the screen it is painted on has for the cell, unless it
    // is decoded before (DecodePictures).
    bool CreatePicture(int ACol, int ARow, const QString &FileName);
    int ThumbnailHeight() const;

    void RemovePicture(int ACol, int ARow);
    bool HasPicture(int ACol, int ARow) const { return GetCellGraphic(ACol, ARow) != nullptr; }
    // True when the cell holds a picture whose file has been decoded.
    bool PictureDecoded(int ACol, int ARow) const;
    // Decodes the pictures of the cells (ACol, each of Rows) that are not
    // decoded yet, together on several threads, as their paint would; returns
    // the files of those cells that cannot be read as pictures, in the order
    // of Rows. Pictures the program adds are so read once, for their
    // thumbnails, and what cannot be read is known.
    QStringList DecodePictures(int ACol, const QList<int> &Rows);
    // The same on other threads while the caller goes on (an import adds
    // products as their pictures are read): StartDecodingPictures begins to
    // read them, a paint that shows one of them first waits for it, and
    // FinishDecodingPictures waits for all and returns the files of those
    // that cannot be read, in the order they were started. The rows stay
    // where they are meanwhile (products are only added after them).
    void StartDecodingPictures(int ACol, const QList<int> &Rows);
    QStringList FinishDecodingPictures();

    // The cell that takes text next after (Next) or before the block of
    // (ACol, ARow), in the order of each product's 编号, 名称, 单价, 单位,
    // 重量, 规格 and 描述; (-1, -1) past the first or the last product.
    TPoint TextCellBeside(int ACol, int ARow, bool Next) const;
    // Tab and Shift+Tab: that cell becomes current (its editor opens there);
    // past either end the current cell stays (true while there are products).
    bool TabToTextCell(bool Next);
    // 1 for Tab, -1 for Shift+Tab, 0 for any other key (Ctrl and Alt with Tab
    // included).
    static int TabDirection(const QKeyEvent *Key);

    // The picture path cell of a block (column 1 of row 6n).
    static bool IsPathCell(int ACol, int ARow) { return ACol == 1 && ARow >= 6 && ARow % 6 == 0; }

protected:
    // A path too long for its cell shows its start and end, elided in the middle
    // (measured with the font the cell is painted in); the whole path is the
    // cell's hint. The painting takes the cell's text from here.
    QString GetFormattedText(int ACol, int ARow) override;
    bool viewportEvent(QEvent *Event) override;
    // Tab and Shift+Tab go from text to text (TabToTextCell), not to the next widget.
    bool event(QEvent *Event) override;
    // Decodes the thumbnails coming into view, for the pixel ratio painted at, then paints.
    void Paint() override;
    // The picture and text columns share the width of the window.
    void resizeEvent(QResizeEvent *Event) override;

private:
    void FitColumns();
    // Decodes the visible thumbnails not decoded yet for a screen of PixelRatio.
    void DecodeVisiblePictures(qreal PixelRatio);

    // Pictures read on other threads (StartDecodingPictures), oldest first.
    struct TDecodingBatch;
    std::vector<std::unique_ptr<TDecodingBatch>> FDecoding;
    int FDecodingCol = 1;
    QList<int> FDecodingRows;   // every row started since the last finish
    // Waits for the oldest batch and hands its pictures to their thumbnails.
    void AdoptOldestBatch();

signals:
    void CellEdited(int ACol, int ARow);
};
