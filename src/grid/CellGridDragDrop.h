#pragma once
// The grid's own drop target and drop source on top of the generic drag and
// drop objects: drops of text, RTF, columns and files onto the cells, drags
// of the selection or of a column out of them.

#include "grid/cgdd.h"

class TCellGrid;

class TGridDropTarget : public TCGDropTarget {
    Q_OBJECT
public:
    explicit TGridDropTarget(TCellGrid *AGrid);
    TCellGrid *Grid() const { return FGrid; }

    void DropText(const TPoint &Pt, const QString &S) override;
    void DropCol(const TPoint &Pt, int Col) override;
    void DropRTF(const TPoint &Pt, const QString &S) override;
    void DropFiles(const TPoint &Pt, TStringList *Files) override;
    void DragMouseMove(const TPoint &Pt, bool &Allow, int Formats) override;
    void DragMouseLeave() override;

protected:
    // Takes the grid's current settings before each drag event.
    bool eventFilter(QObject *Watched, QEvent *Event) override;

private:
    TCellGrid *FGrid;
};

class TGridDropSource : public TCGDropSource {
public:
    explicit TGridDropSource(TCellGrid *AGrid);
    // The final effect: 0 none, 1 copy, 2 move.
    quint32 LastEffect = 0;
    // Keeps the grid's drag picture at the pointer while it shows.
    void DragNotify() override;

private:
    TCellGrid *FGrid;
};
