#include "platform/graphics/ImgList.h"

#include <QPainter>

void TImageList::SetWidth(int Value)
{
    if (Value != FWidth) {
        FWidth = std::max(0, Value);
        FImages.clear();
    }
}

void TImageList::SetHeight(int Value)
{
    if (Value != FHeight) {
        FHeight = std::max(0, Value);
        FImages.clear();
    }
}

int TImageList::Add(const QImage &Image)
{
    if (Image.isNull())
        return -1;
    if (FImages.empty() && (FWidth <= 0 || FHeight <= 0)) {
        FWidth = Image.width();
        FHeight = Image.height();
    }
    QImage I = Image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (I.width() != FWidth || I.height() != FHeight)
        I = I.scaled(FWidth, FHeight, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    FImages.push_back(I);
    return int(FImages.size()) - 1;
}

int TImageList::AddMasked(TBitmap *Image, TColor MaskColor)
{
    if (!Image || Image->Empty())
        return -1;
    QImage I = Image->Image().convertToFormat(QImage::Format_ARGB32);
    const QRgb Key = TColorToQColor(MaskColor).rgb() & 0xFFFFFF;
    for (int Y = 0; Y < I.height(); ++Y) {
        auto *Row = reinterpret_cast<QRgb *>(I.scanLine(Y));
        for (int X = 0; X < I.width(); ++X)
            if ((Row[X] & 0xFFFFFF) == Key)
                Row[X] = 0;
    }
    return Add(I);
}

void TImageList::Delete(int Index)
{
    if (Index >= 0 && Index < Count())
        FImages.erase(FImages.begin() + Index);
}

void TImageList::Draw(TCanvas *Canvas, int X, int Y, int Index, bool Enabled)
{
    if (!Canvas || Index < 0 || Index >= Count())
        return;
    QPainter *P = Canvas->Painter();
    if (!P)
        return;
    if (Enabled) {
        P->drawImage(X, Y, FImages[size_t(Index)]);
        return;
    }
    QImage Gray = FImages[size_t(Index)].convertToFormat(QImage::Format_ARGB32);
    for (int R = 0; R < Gray.height(); ++R) {
        auto *Row = reinterpret_cast<QRgb *>(Gray.scanLine(R));
        for (int C = 0; C < Gray.width(); ++C) {
            const int G = qGray(Row[C]);
            Row[C] = qRgba(G, G, G, qAlpha(Row[C]) / 2);
        }
    }
    P->drawImage(X, Y, Gray);
}

bool TImageList::GetBitmap(int Index, TBitmap *Image)
{
    if (!Image || Index < 0 || Index >= Count())
        return false;
    Image->SetImage(FImages[size_t(Index)]);
    return true;
}
