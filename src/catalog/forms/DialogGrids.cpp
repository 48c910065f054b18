#include "DialogGrids.h"

#include "MainWindow.h"
#include "platform/services/Prompts.h"

#include "grid/CellGrid.h"

#include <QFontMetrics>
#include <QWidget>
#include <algorithm>

namespace DialogGrids {

QString BrowseForFolder(QWidget *Owner, const QString &Caption)
{
    for (QWidget *W = Owner; W; W = W->parentWidget())
        if (auto *Main = qobject_cast<TForm1 *>(W))
            return Main->BrowseForFolder(Caption, Owner);
    return ::BrowseForFolder(Caption, Owner);
}

void FitLabelColumn(TCellGrid *Grid, int ACol)
{
    const QFontMetrics Metrics(Grid->font());
    int Width = Grid->ColWidths(ACol);
    for (int R = 0; R < Grid->RowCount(); ++R)
        Width = std::max(Width, Metrics.horizontalAdvance(Grid->Cells(ACol, R)) + 12);
    const int Gain = Width - Grid->ColWidths(ACol);
    if (Gain <= 0)
        return;
    Grid->SetColWidths(ACol, Width);
    Grid->setMinimumWidth(Grid->minimumWidth() + Gain);
    if (QWidget *Dialog = Grid->window(); Dialog && Dialog != Grid)
        Dialog->resize(Dialog->width() + Gain, Dialog->height());
}

} // namespace DialogGrids
