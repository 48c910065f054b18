#include "grid/CellGraphic.h"

#include "grid/GridObj.h"

#include <cmath>

TCellGraphic::~TCellGraphic()
{
    switch (CellType) {
    case ctBitmap:
    case ctRadio:
    case ctPicture:
    case ctFilePicture:
    case ctBitButton:
        if (CellCreated)
            delete FGraphicObject;
        break;
    case ctIcon:
        if (CellCreated)
            delete FIconObject;
        break;
    case ctImages:
        delete FGraphicObject;
        break;
    default:
        break;
    }
}

void TCellGraphic::Assign(const TCellGraphic &Source)
{
    CellType = Source.CellType;
    CellVAlign = Source.CellVAlign;
    CellHAlign = Source.CellHAlign;
    CellIndex = Source.CellIndex;
    CellTransparent = Source.CellTransparent;
    CellValue = Source.CellValue;
    CellAngle = Source.CellAngle;
    CellBoolean = Source.CellBoolean;
    CellErrFrom = Source.CellErrFrom;
    CellErrLen = Source.CellErrLen;
    CellText = Source.CellText;
    CellCreated = Source.CellCreated;
}

void PictureSizeInCell(int W, int H, int CW, int CH, int Padding, int Mode, int &Width, int &Height)
{
    const int AW = CW - Padding;
    const int AH = CH - Padding;
    auto Ratios = [&](double &RX, double &RY) {
        RX = W > 0 ? double(AW) / double(W) : 1.0;
        RY = H > 0 ? double(AH) / double(H) : 1.0;
    };
    auto Fit = [&](double RX, double RY) {
        // Halves round to even.
        if (RX < RY) {
            Width = AW;
            Height = int(std::nearbyint(H * RX));
        } else {
            Width = int(std::nearbyint(W * RY));
            Height = AH;
        }
    };
    switch (Mode) {
    case 1:
        Width = AW;
        Height = AH;
        break;
    case 2: {
        double RX, RY;
        Ratios(RX, RY);
        Fit(RX, RY);
        break;
    }
    case 3:
        if (W > AW || H > AH) {
            Width = AW;
            Height = AH;
        } else {
            Width = W;
            Height = H;
        }
        break;
    case 4:
        if (W <= AW && H <= AH) {
            Width = W;
            Height = H;
        } else {
            double RX, RY;
            Ratios(RX, RY);
            Fit(std::min(RX, 1.0), std::min(RY, 1.0));
        }
        break;
    default:
        Width = W;
        Height = H;
        break;
    }
}

bool TCellGraphic::GetPictureSize(int CellWidth, int CellHeight, int &Width, int &Height) const
{
    int W = 0, H = 0;
    if (CellType == ctPicture) {
        if (auto *P = dynamic_cast<TPicture *>(FGraphicObject)) {
            W = P->Width();
            H = P->Height();
        }
    } else if (CellType == ctFilePicture) {
        if (auto *P = dynamic_cast<TFilePicture *>(FGraphicObject)) {
            W = P->Width();
            H = P->Height();
        }
    } else {
        return false;
    }
    PictureSizeInCell(W, H, CellWidth, CellHeight, CellIndex, CellAngle, Width, Height);
    return true;
}
