#pragma once
// A list of same-sized pictures drawn by index (the image list of controls
// and of "IDX:" pictures in cell markup). Each image keeps its own alpha; a
// masked add turns one colour transparent.

#include "platform/graphics/Graphics.h"

#include <QImage>
#include <vector>

class TImageList : public TComponent {
public:
    explicit TImageList(TComponent *AOwner = nullptr) : TComponent(AOwner) {}
    TImageList(int AWidth, int AHeight) : FWidth(AWidth), FHeight(AHeight) {}

    int Width() const { return FWidth; }
    int Height() const { return FHeight; }
    // Changing the size empties the list, as the original does.
    void SetWidth(int Value);
    void SetHeight(int Value);
    int Count() const { return int(FImages.size()); }

    // Adds the picture scaled to the list's size (an empty list of size 0
    // takes the first picture's size); returns its index, -1 for an empty picture.
    int Add(const QImage &Image);
    int Add(TBitmap *Image) { return Image ? Add(Image->Image()) : -1; }
    // As Add, with every pixel of MaskColor made transparent.
    int AddMasked(TBitmap *Image, TColor MaskColor);
    void Delete(int Index);
    void Clear() { FImages.clear(); }

    // Draws image Index with its top-left at (X, Y); nothing for an index outside the list.
    void Draw(TCanvas *Canvas, int X, int Y, int Index, bool Enabled = true);
    // Copies image Index into Image (sized to the list); false outside the list.
    bool GetBitmap(int Index, TBitmap *Image);
    const QImage &Image(int Index) const { return FImages.at(size_t(Index)); }

private:
    int FWidth = 16;
    int FHeight = 16;
    std::vector<QImage> FImages;
};
