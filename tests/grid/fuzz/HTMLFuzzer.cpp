// libFuzzer entry for the mini-HTML renderer: any text, laid out, painted and
// hit-tested in a small rectangle (with and without word wrap), stripped, and
// used as a control tag, ends without a fault.

#include "grid/CgHTMLE.h"
#include "platform/graphics/ImgList.h"

#include <QApplication>
#include <QImage>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int Argc = 1;
    static char Name[] = "html_fuzzer";
    static char *Argv[] = {Name, nullptr};
    static QApplication App(Argc, Argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *Data, size_t Size)
{
    if (Size == 0)
        return 0;
    const uint8_t Mode = Data[0];
    const QString Text = QString::fromUtf8(reinterpret_cast<const char *>(Data + 1), qsizetype(Size - 1));
    static TImageList Images(4, 4);
    if (Images.Count() == 0) {
        QImage I(4, 4, QImage::Format_RGB32);
        I.fill(Qt::blue);
        Images.Add(I);
    }
    QImage Image(96, 40, QImage::Format_RGB32);
    Image.fill(Qt::white);
    TCanvas C(&Image);
    const TRect R = (Mode & 4) ? TRect(2, 2, 3, 38) : TRect(2, 2, 94, 38);
    THTMLDrawResult Res;
    HTMLDrawEx(&C, Text, R, &Images, nullptr, nullptr, 0, 0, false, Mode & 8 ? 1 : 0, Mode & 16 ? 2 : 0, clGray,
               clNone, Mode & 32, clBlue, clGray, 1, Mode & 64, false, Mode & 128, Mode & 1, Mode & 2, 1.5, Res);
    HTMLDrawEx(&C, Text, R, &Images, nullptr, nullptr, 10 + Mode % 40, 5 + Mode % 20, true, 0, 0, clNone, clNone,
               false, clBlue, clGray, 1, true, false, false, Mode & 1, true, 1.0, Res);
    HTMLDrawEx(&C, Text, TRect(0, 0, 0xFFFF, 0xFFFF), nullptr, nullptr, nullptr, 0, 0, false, 0, 0, clNone, clNone,
               false, clBlue, clGray, 1, true, true, false, Mode & 1, true, 1.0, Res);
    HTMLStrip(Text);
    QString Type, ID, Width, Value;
    ParseControlTag(Text, Type, ID, Width, Value);
    QString Copy = Text;
    SetControlValue(Copy, ID, Text);
    return 0;
}
