// Random damage to valid GIF files: loading never crashes, never reads out of
// bounds (run under the address sanitizer) and fails only with our errors;
// whatever loads is written and read back with the same pixels.

#include "GIFTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace GIFTest;

namespace {

// A valid file with every kind of block: loop, comment, text, unknown
// application data, transparency, local and global tables, interlace.
QByteArray Sample()
{
    std::mt19937 Rng(7);
    Bytes B;
    B.Header(20, 12, 3);
    B.U8('!').U8(0xFF).U8(11).Raw("NETSCAPE2.0").U8(3).U8(1).U16(0).U8(0);
    B.U8('!').U8(0xFE).U8(5).Raw("hello").U8(0);
    B.GCE(0x05, 10, 2).Descriptor(0, 0, 20, 12).Pixels(3, RandomPixels(Rng, 240, 8));
    B.U8('!').U8(0xFF).U8(11).Raw("XMP DataXMP").U8(3).Raw("abc").U8(0);
    B.GCE(0x09, 3, 1).Descriptor(2, 3, 9, 7, 0x40 | 0x80 | 3);
    for (int I = 0; I < 16; ++I)
        B.U8(I * 16).U8(255 - I * 16).U8(I);
    B.Pixels(4, RandomPixels(Rng, 63, 16));
    B.U8('!').U8(0x01).U8(12).U16(0).U16(0).U16(8).U16(8).U8(8).U8(8).U8(1).U8(0).U8(2).Raw("hi").U8(0);
    B.Descriptor(5, 5, 15, 7).Pixels(3, RandomPixels(Rng, 105, 8));
    B.Trailer();
    return B;
}

QByteArray Damage(std::mt19937 &Rng, QByteArray Data)
{
    const int Kind = int(Rng() % 5);
    const int Count = 1 + int(Rng() % 4);
    for (int N = 0; N < Count && !Data.isEmpty(); ++N) {
        const qsizetype At = qsizetype(Rng() % uint32_t(Data.size()));
        switch (Kind) {
        case 0:   // flip bits
            Data[At] = char(Data[At] ^ char(1 << (Rng() % 8)));
            break;
        case 1:   // replace a byte with an interesting value
        {
            static const uint8_t Values[] = {0, 1, 0x21, 0x2C, 0x3B, 0x7F, 0x80, 0xF9, 0xFE, 0xFF};
            Data[At] = char(Values[Rng() % sizeof(Values)]);
            break;
        }
        case 2:   // cut the file
            Data.truncate(At);
            break;
        case 3:   // remove bytes
            Data.remove(At, 1 + qsizetype(Rng() % 8));
            break;
        default:  // insert random bytes
            for (int I = 0, E = 1 + int(Rng() % 8); I < E; ++I)
                Data.insert(At, char(Rng() & 0xFF));
            break;
        }
    }
    return Data;
}

// Writes Image and reads it again: the frames with pixels come back with the
// same places and pixels. Writing may refuse a pixel beyond its colour table.
void ExpectRoundTrip(TGIFImage &Image, int Iteration)
{
    TMemoryStream Out;
    try {
        Image.SaveToStream(&Out);
    } catch (const GIFException &E) {
        const QString M = E.Message();
        EXPECT_TRUE(M == "Color not in color table" || M == "Unsupported GIF version") << M.toStdString();
        return;
    }
    TGIFImage Again;
    Again.OnWarningReport = [](TObject *, TGIFSeverity, const QString &) {};
    Out.SetPosition(0);
    try {
        Again.LoadFromStream(&Out);
    } catch (const std::exception &E) {
        ADD_FAILURE() << "iteration " << Iteration << ": what we wrote does not read back: " << E.what();
        return;
    }
    std::vector<TGIFSubImage *> A, B;
    for (int F = 0; F < Image.Frames().Count(); ++F)
        if (!Image.Frames()[F]->Empty())
            A.push_back(Image.Frames()[F]);
    for (int F = 0; F < Again.Frames().Count(); ++F)
        if (!Again.Frames()[F]->Empty())
            B.push_back(Again.Frames()[F]);
    ASSERT_EQ(A.size(), B.size()) << "iteration " << Iteration;
    for (size_t F = 0; F < A.size(); ++F) {
        EXPECT_EQ(A[F]->BoundsRect(), B[F]->BoundsRect()) << "iteration " << Iteration;
        EXPECT_EQ(A[F]->DataSize(), B[F]->DataSize());
        if (A[F]->DataSize() == B[F]->DataSize()) {
            EXPECT_EQ(std::memcmp(A[F]->Data(), B[F]->Data(), size_t(A[F]->DataSize())), 0)
                << "iteration " << Iteration << ", frame " << F;
        }
    }
}

void RunFuzz(int Iterations, uint32_t Seed)
{
    const QByteArray Good = Sample();
    {
        Loaded L = Load(Good);
        ASSERT_TRUE(L.Warnings.isEmpty()) << L.Warnings.join("; ").toStdString();
        ASSERT_EQ(L.Image->Frames().Count(), 3);
    }
    std::mt19937 Rng(Seed);
    int Loaded = 0, Failed = 0, Written = 0;
    for (int I = 0; I < Iterations; ++I) {
        QByteArray Bad = Damage(Rng, Good);
        TGIFImage Image;
        Image.OnWarningReport = [](TObject *, TGIFSeverity, const QString &) {};
        TMemoryStream Stream;
        Stream.WriteBytes(Bad);
        Stream.SetPosition(0);
        try {
            Image.LoadFromStream(&Stream);
            ++Loaded;
            // Every frame that loaded can be turned into a picture.
            for (int F = 0; F < Image.Frames().Count(); ++F) {
                TGIFSubImage *Frame = Image.Frames()[F];
                if (!Frame->Empty()) {
                    QImage Picture = Frame->Bitmap();
                    EXPECT_EQ(Picture.width(), Frame->Width());
                }
            }
            // What loaded writes (or refuses with our error) and reads back alike.
            ++Written;
            ExpectRoundTrip(Image, I);
        } catch (const GIFException &) {
            ++Failed;
            EXPECT_EQ(Stream.Position(), 0) << "iteration " << I;
        } catch (const std::exception &E) {
            ADD_FAILURE() << "iteration " << I << ": unexpected " << E.what();
        }
    }
    EXPECT_GT(Loaded, 0);
    EXPECT_GT(Failed, 0);
    EXPECT_GT(Written, 0);
}

} // namespace

#ifndef QB_GIF_LONG_FUZZ
TEST(GIFFuzz, RandomDamageIsHandled)
{
    RunFuzz(400, 1);
}
#else
TEST(GIFFuzzLong, ManyRandomDamages)
{
    const int Iterations = qEnvironmentVariableIntValue("QB_GIF_FUZZ_ITERATIONS");
    RunFuzz(Iterations > 0 ? Iterations : 20000, 2);
}
#endif
