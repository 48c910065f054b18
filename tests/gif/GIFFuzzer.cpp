// libFuzzer entry for the GIF reader and writer: any input either loads or
// fails with the library's error; every frame that loads can be turned into a
// picture; what loads is written, and what is written reads back with the
// same frames and pixels.

#include "gif/GIFImage.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

std::vector<TGIFSubImage *> FramesWithPixels(TGIFImage &Image)
{
    std::vector<TGIFSubImage *> Result;
    for (int I = 0; I < Image.Frames().Count(); ++I)
        if (!Image.Frames()[I]->Empty())
            Result.push_back(Image.Frames()[I]);
    return Result;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *Data, size_t Size)
{
    TGIFImage Image;
    TMemoryStream Stream;
    Stream.Write(Data, qint64(Size));
    Stream.SetPosition(0);
    try {
        Image.LoadFromStream(&Stream);
        for (int I = 0; I < Image.Frames().Count(); ++I)
            if (!Image.Frames()[I]->Empty())
                Image.Frames()[I]->Bitmap();
    } catch (const GIFException &) {
        return 0;
    } catch (const EOutOfResources &) {
        return 0;
    }

    TMemoryStream Out;
    try {
        Image.SaveToStream(&Out);
    } catch (const GIFException &) {
        return 0;   // a pixel beyond its colour table, or no frame at all
    }
    TGIFImage Again;
    Out.SetPosition(0);
    Again.LoadFromStream(&Out);   // an error here escapes and is reported
    const std::vector<TGIFSubImage *> A = FramesWithPixels(Image), B = FramesWithPixels(Again);
    if (A.size() != B.size())
        __builtin_trap();
    for (size_t I = 0; I < A.size(); ++I)
        if (A[I]->BoundsRect() != B[I]->BoundsRect() || A[I]->DataSize() != B[I]->DataSize()
            || std::memcmp(A[I]->Data(), B[I]->Data(), size_t(A[I]->DataSize())) != 0)
            __builtin_trap();
    return 0;
}
