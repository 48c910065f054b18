#pragma once
// What the two dialog grids need beyond cell text: the item list of the
// combo-list editor, the button of the edit-with-button editor, and the folder
// browser its button opens. The grid's editor controls come in step by step;
// these helpers bind to them as soon as the grid offers them.

#include "grid/CellGrid.h"

#include <QString>
#include <QStringList>
#include <functional>

class QWidget;

namespace DialogGrids {

using TEllipsHandler = std::function<void(TObject *Sender, int ACol, int ARow, QString &S)>;

// Fills the grid's combo editor with Items (replacing what it held).
template <typename Grid>
void SetComboItems(Grid *G, const QStringList &Items)
{
    if constexpr (requires(Grid *X) {
                      X->ClearComboItems();
                      X->AddComboItem(QString());
                  }) {
        G->ClearComboItems();
        for (const QString &S : Items)
            G->AddComboItem(S);
    } else {
        (void)G;
        (void)Items;
    }
}

// Binds the grid's ellipsis button event.
template <typename Grid>
void ConnectEllipsis(Grid *G, TEllipsHandler Handler)
{
    if constexpr (requires(Grid *X, TEllipsHandler H) { X->OnEllipsClick = H; })
        G->OnEllipsClick = std::move(Handler);
    else {
        (void)G;
        (void)Handler;
    }
}

// The shell's folder browser owned by Owner (through the main window when it
// owns the dialog): the chosen folder, or "" when cancelled.
QString BrowseForFolder(QWidget *Owner, const QString &Caption);

} // namespace DialogGrids
