#include "ProductGrid.h"

#include <QHeaderView>
#include <QImageReader>
#include <QPixmap>

TProductGridWidget::TProductGridWidget(QWidget *Parent)
    : QTableWidget(Parent)
{
    setObjectName(QStringLiteral("CellGrid1"));
    setColumnCount(6);
    setRowCount(7);
    horizontalHeader()->hide();
    verticalHeader()->hide();
    horizontalHeader()->setDefaultSectionSize(42);
    verticalHeader()->setDefaultSectionSize(DefaultRowHeight);
    setWordWrap(true);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
}

void TProductGridWidget::BaseCell(int &ACol, int &ARow) const
{
    // A merged block answers with its top-left cell.
    for (int R = ARow; R >= 0 && R > ARow - 6; --R)
        for (int C = ACol; C >= 0; --C) {
            const int Rs = rowSpan(R, C), Cs = columnSpan(R, C);
            if ((Rs > 1 || Cs > 1) && R + Rs > ARow && C + Cs > ACol) {
                ACol = C;
                ARow = R;
                return;
            }
        }
}

QTableWidgetItem *TProductGridWidget::ItemAt(int ACol, int ARow)
{
    QTableWidgetItem *It = item(ARow, ACol);
    if (!It) {
        It = new QTableWidgetItem;
        setItem(ARow, ACol, It);
    }
    return It;
}

QString TProductGridWidget::Cells(int ACol, int ARow) const
{
    if (ACol < 0 || ARow < 0 || ACol >= columnCount() || ARow >= rowCount())
        return QString();
    BaseCell(ACol, ARow);
    const QTableWidgetItem *It = item(ARow, ACol);
    return It ? It->text() : QString();
}

void TProductGridWidget::SetCells(int ACol, int ARow, const QString &Value)
{
    SetCellText(ACol, ARow, Value);
    if (ACol >= 0 && ARow >= 0 && ACol < columnCount() && ARow < rowCount())
        emit CellEdited(ACol, ARow);
}

void TProductGridWidget::SetCellText(int ACol, int ARow, const QString &Value)
{
    if (ACol < 0 || ARow < 0 || ACol >= columnCount() || ARow >= rowCount())
        return;
    BaseCell(ACol, ARow);
    ItemAt(ACol, ARow)->setText(Value);
}

void TProductGridWidget::MergeCells(int ACol, int ARow, int Cols, int Rows)
{
    setSpan(ARow, ACol, Rows, Cols);
}

void TProductGridWidget::InsertRows(int ARow, int Count)
{
    for (int I = 0; I < Count; ++I)
        insertRow(ARow);
}

void TProductGridWidget::ClearAll()
{
    clearSpans();
    clearContents();
}

void TProductGridWidget::CreatePicture(int ACol, int ARow, const QString &FileName)
{
    QImageReader Reader(FileName);
    Reader.setAutoTransform(true);
    const QImage Image = Reader.read();
    if (Image.isNull())
        return;
    // Shrunk to the cell keeping its aspect, never enlarged.
    const QSize Cell(columnWidth(ACol) * columnSpan(ARow, ACol), 32 * 5);
    const QImage Shown = Image.width() > Cell.width() || Image.height() > Cell.height()
        ? Image.scaled(Cell, Qt::KeepAspectRatio, Qt::SmoothTransformation)
        : Image;
    ItemAt(ACol, ARow)->setData(Qt::DecorationRole, QPixmap::fromImage(Shown));
}

void TProductGridWidget::RemovePicture(int ACol, int ARow)
{
    if (QTableWidgetItem *It = item(ARow, ACol))
        It->setData(Qt::DecorationRole, QVariant());
}

bool TProductGridWidget::HasPicture(int ACol, int ARow) const
{
    const QTableWidgetItem *It = item(ARow, ACol);
    return It && It->data(Qt::DecorationRole).isValid();
}
