// libFuzzer entry for the GIF reader: any input either loads or fails with
// the library's error; every frame that loads can be turned into a picture.

#include "gif/GIFImage.h"

#include <cstddef>
#include <cstdint>

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
    } catch (const EOutOfResources &) {
    }
    return 0;
}
