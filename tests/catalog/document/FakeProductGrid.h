#pragma once
// An in-memory product grid with the real block geometry, for the page
// document's tests and its fuzz target.

#include "catalog/document/PageDocument.h"

#include <QMap>
#include <QPair>
#include <QString>

class TFakeGrid : public TProductGridAccess {
public:
    TFakeGrid() { ResetGrid(); }
    int RowCount() const override { return Rows; }
    QString Cells(int ACol, int ARow) const override { return Text.value({ACol, BaseRow(ACol, ARow)}); }
    void SetCells(int ACol, int ARow, const QString &Value) override { Text[{ACol, BaseRow(ACol, ARow)}] = Value; }
    void AppendProductBlock() override
    {
        Rows += 6;
        ++Appended;
    }
    void ResetGrid() override
    {
        Text.clear();
        Pictures.clear();
        Rows = 7;
    }
    void LoadCellPicture(int ACol, int ARow, const QString &FileName) override { Pictures[{ACol, ARow}] = FileName; }
    void ClearCellPicture(int ACol, int ARow) override { Pictures.remove({ACol, ARow}); }

    int Blocks() const { return (Rows - 1) / 6; }

    int Rows = 7;
    int Appended = 0;
    QMap<QPair<int, int>, QString> Text;
    QMap<QPair<int, int>, QString> Pictures;

private:
    // The description cell is merged over two rows.
    static int BaseRow(int ACol, int ARow) { return ACol >= 3 && ARow % 6 == 5 ? ARow - 1 : ARow; }
};
