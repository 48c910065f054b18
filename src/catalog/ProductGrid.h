#pragma once
// The product grid of the main window while the grid control is not yet on the
// form: a plain table with the same cell addressing (column, row), merged
// blocks whose text lives in their top-left cell, and one picture per cell.

#include <QTableWidget>

class TProductGridWidget : public QTableWidget {
    Q_OBJECT
public:
    explicit TProductGridWidget(QWidget *Parent = nullptr);

    int ColCount() const { return columnCount(); }
    int RowCount() const { return rowCount(); }
    void SetRowCount(int Value) { setRowCount(Value); }
    int DefaultRowHeight = 24;
    void SetRowHeights(int ARow, int Height) { setRowHeight(ARow, Height); }

    // Text of a cell; inside a merged block, the block's top-left cell.
    Q_INVOKABLE QString Cells(int ACol, int ARow) const;
    // Sets a cell as the program does (no notice).
    void SetCellText(int ACol, int ARow, const QString &Value);
    // Sets a cell as an edit from outside the program (the driver): CellEdited follows.
    Q_INVOKABLE void SetCells(int ACol, int ARow, const QString &Value);
    void MergeCells(int ACol, int ARow, int Cols, int Rows);
    void InsertRows(int ARow, int Count);
    void ClearAll();

    void CreatePicture(int ACol, int ARow, const QString &FileName);
    void RemovePicture(int ACol, int ARow);
    bool HasPicture(int ACol, int ARow) const;

    int Col() const { return currentColumn(); }
    int Row() const { return currentRow(); }
    void SetCurrentCell(int ACol, int ARow) { setCurrentCell(ARow, ACol); }

signals:
    void CellEdited(int ACol, int ARow);

private:
    QTableWidgetItem *ItemAt(int ACol, int ARow);
    void BaseCell(int &ACol, int &ARow) const;
};
