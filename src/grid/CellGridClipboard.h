#pragma once
// The grid's own cell stream: the wrapper components whose images make up a
// block of cells in the "TCellGrid Cells" format (TCellGrid::SaveCellsToStream
// and LoadCellsFromStream), and the clipboard format names the grid uses.
//
// A stream is a TGridPropIO image followed, for every cell that has text or a
// property object, by a TGridCellIO image, a TGridCellPropIO image when the
// cell has properties, and a TGridGraphicIO image with the object of the
// graphic's kind (TGridBMPIO, TGridIconIO, TGridPicIO, TGridFilePicIO or
// TGridSLIO) when a graphic the grid made itself travels along.

#include "grid/BaseGrid.h"
#include "grid/CellGraphic.h"
#include "grid/GridObj.h"
#include "platform/core/ComponentStream.h"

#include <QString>

// MIME types of the clipboard and drag formats, by their registered names.
QString CellGridMimeType(const QString &FormatName);
inline const QString CellGridCellsFormat = QStringLiteral("TCellGrid Cells");
inline const QString RichTextFormat = QStringLiteral("Rich Text Format");

class TGridPropIO : public TComponent, public TStreamable {
public:
    using TComponent::TComponent;
    QString StreamClassName() const override { return QStringLiteral("TGridPropIO"); }
    void DefineProperties(TFiler &Filer) override;
    int ColCount = 0;
    int RowCount = 0;
    QString ColWidths;
    QString RowHeights;
    bool FullGrid = false;
    int ID = 0;
};

class TGridCellIO : public TComponent, public TStreamable {
public:
    using TComponent::TComponent;
    QString StreamClassName() const override { return QStringLiteral("TGridCellIO"); }
    void DefineProperties(TFiler &Filer) override;
    int Col = 0;
    int Row = 0;
    QString Cell;
    bool HasProp = false;
};

class TGridCellPropIO : public TComponent, public TStreamable {
public:
    using TComponent::TComponent;
    QString StreamClassName() const override { return QStringLiteral("TGridCellPropIO"); }
    void DefineProperties(TFiler &Filer) override;
    TCellProperties CellProperties{nullptr, 0, 0};
    bool HasGraphic = false;
};

class TGridGraphicIO : public TComponent, public TStreamable {
public:
    using TComponent::TComponent;
    QString StreamClassName() const override { return QStringLiteral("TGridGraphicIO"); }
    void DefineProperties(TFiler &Filer) override;
    TCellGraphic CellGraphic;
};

// Pictures travel as the bytes of their files.
class TGridBMPIO : public TComponent, public TStreamable {
public:
    using TComponent::TComponent;
    QString StreamClassName() const override { return QStringLiteral("TGridBMPIO"); }
    void DefineProperties(TFiler &Filer) override;
    TBitmap Bitmap;
};

class TGridIconIO : public TComponent, public TStreamable {
public:
    using TComponent::TComponent;
    QString StreamClassName() const override { return QStringLiteral("TGridIconIO"); }
    void DefineProperties(TFiler &Filer) override;
    TIcon Icon;
};

class TGridPicIO : public TComponent, public TStreamable {
public:
    using TComponent::TComponent;
    QString StreamClassName() const override { return QStringLiteral("TGridPicIO"); }
    void DefineProperties(TFiler &Filer) override;
    TPicture Picture;
};

class TGridFilePicIO : public TComponent, public TStreamable {
public:
    using TComponent::TComponent;
    QString StreamClassName() const override { return QStringLiteral("TGridFilePicIO"); }
    void DefineProperties(TFiler &Filer) override;
    TFilePicture Picture;
};

class TGridSLIO : public TComponent, public TStreamable {
public:
    using TComponent::TComponent;
    QString StreamClassName() const override { return QStringLiteral("TGridSLIO"); }
    void DefineProperties(TFiler &Filer) override;
    TStringList Strings;
};
