#pragma once
// The grid's rich-edit controls. The grid owns two: a hidden one that renders
// and measures rich-text cells, and the in-place editor of edRichEdit cells.

#include "platform/controls/RichEdit.h"

#include <QHash>
#include <QSize>

class TCellGrid;

class TCellRichEdit : public TRichEdit {
    Q_OBJECT
public:
    // Editor false: the rendering control (never shown).
    TCellRichEdit(TCellGrid *AGrid, bool Editor);
    TCellGrid *Grid() const { return FGrid; }
    bool IsEditor() const { return FEditor; }
    // Suppresses the editor's automatic row growth while typing.
    bool NoGrowth = false;
    // The size the rendering control's content last asked for.
    QSize RequestedSize() const { return FRequested; }

    // Loads a cell's rich text with the cell's font; documents read before
    // are taken from a small cache keyed by their text.
    void LoadCell(const QString &Text, const QFont &CellFont);

protected:
    void focusOutEvent(QFocusEvent *Event) override;
    void keyPressEvent(QKeyEvent *Event) override;

private:
    void ResizeRequest(const QSize &Requested);
    TCellGrid *FGrid;
    bool FEditor;
    QSize FRequested;
    QHash<QString, TRtfDocument> FCache;
};
