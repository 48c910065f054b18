#pragma once
// The one graphic a grid cell may carry besides its text: picture, bitmap,
// icon, check box, radio group, node, button, progress bar, comment mark...

#include "platform/graphics/Graphics.h"

enum TCellType : quint8 {
    ctBitmap, ctIcon, ctNone, ctImageList, ctCheckBox, ctDataCheckBox, ctRotated, ctDataImage,
    ctNode, ctRadio, ctEmpty, ctImages, ctPicture, ctFilePicture, ctValue, ctProgress, ctComment,
    ctButton, ctBitButton, ctVirtCheckBox, ctProgressPie
};
enum TCellVAlign : quint8 { vaTop, vaBottom, vaCenter, vaUnderText, vaAboveText, vaFull };
enum TCellHAlign : quint8 { haLeft, haRight, haCenter, haBeforeText, haAfterText, haFull };

class TCellGraphic : public TObject {
public:
    TCellGraphic() = default;
    ~TCellGraphic() override;

    // Copies the record's values (CellCreated included) but not the objects.
    void Assign(const TCellGraphic &Source);

    // The picture, bitmap, image-index list or radio item list, by kind.
    TObject *GraphicObject() const { return FGraphicObject; }
    void SetGraphicObject(TObject *Value) { FGraphicObject = Value; }
    // The icon of ctIcon.
    TObject *IconObject() const { return FIconObject; }
    void SetIconObject(TObject *Value) { FIconObject = Value; }

    // The size at which a picture (ctPicture, ctFilePicture) is drawn in a cell
    // of CellWidth x CellHeight; false (and no output) for other kinds.
    bool GetPictureSize(int CellWidth, int CellHeight, int &Width, int &Height) const;

    TCellType CellType = ctNone;
    TCellVAlign CellVAlign = vaTop;
    TCellHAlign CellHAlign = haLeft;
    qint32 CellIndex = 0;
    bool CellTransparent = false;
    bool CellCreated = false;
    bool CellBoolean = false;
    qint32 CellAngle = 0;
    double CellValue = 0;
    qint16 CellErrFrom = 0;
    qint16 CellErrLen = 0;
    QString CellText;
    // Bar and background colours of ctProgress (and the pie colour of ctProgressPie).
    TColor ProgressColor = clNavy;
    TColor ProgressBackColor = clWhite;

private:
    TObject *FGraphicObject = nullptr;
    TObject *FIconObject = nullptr;
};

// The picture-size rule on its own: natural size W x H, a cell of CW x CH,
// padding P taken once off each side's extent, stretch mode 0..4.
void PictureSizeInCell(int W, int H, int CW, int CH, int Padding, int Mode, int &Width, int &Height);
