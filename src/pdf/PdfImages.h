#pragma once
// Image objects made from platform pictures: "Pdf-Jpeg" embeds a JPEG file's
// bytes unchanged (DCTDecode), "Pdf-Bitmap" writes a bitmap's pixels.

#include "pdf/PdfDoc.h"
#include "platform/graphics/Graphics.h"
#include "platform/graphics/Jpeg.h"

#include <functional>
#include <memory>

class TPdfImageCreator : public TObject {
public:
    virtual std::unique_ptr<TPdfImage> MakeImage(TGraphic *APicture) = 0;
};

class TPdfJpegImage : public TPdfImageCreator {
public:
    // The picture must be a TJPEGImage whose data is a complete JPEG file.
    std::unique_ptr<TPdfImage> MakeImage(TGraphic *APicture) override;
};

class TPdfBitmapImage : public TPdfImageCreator {
public:
    std::unique_ptr<TPdfImage> MakeImage(TGraphic *APicture) override;
};

using TPdfImageCreatorFactory = std::function<std::unique_ptr<TPdfImageCreator>()>;
// Registers a creator class under its alias ("Pdf-Jpeg", "Pdf-Bitmap").
void RegisterPdfImageCreator(const QByteArray &AName, TPdfImageCreatorFactory AFactory);

// Makes an image object with the creator registered as ACreatorName.
std::unique_ptr<TPdfImage> MakePdfImage(TGraphic *APicture, const QByteArray &ACreatorName);
