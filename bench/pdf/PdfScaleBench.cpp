// How the PDF writer's work grows with its input: every case runs at a size N
// and at 4N and prints both times and their ratio (about 4 is linear, about
// 16 is quadratic), with a peer writer (libharu, compression off) doing the
// same where it can:
//   - documents of N pages, each drawing two of 20 small shared images, with
//     three fonts and an outline entry pointing at the page;
//   - N pages, each with a small image of its own (many objects and names);
//   - the report's road: N pages of a picture that is not shared, so every
//     page looks for a free image name;
//   - an outline N entries deep and one of N entries under one another;
//   - information strings and an outline title of N characters: plain
//     ASCII, Latin-1 and Chinese.
// It also prints the peak resident memory of the process at the end.
// Usage: pdf_scale_bench [scale]   (scale multiplies every N; default 1)

#include "../ScaleReport.h"
#include "pdf/PdfImages.h"
#include "pdf/PdfReport.h"

#include <QByteArray>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>

#include <hpdf.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace {

using ScaleReport::Millis;

double BestOf3(const std::function<void()> &Run)
{
    double Result = 1e300;
    for (int I = 0; I < 3; ++I)
        Result = std::min(Result, Millis(Run));
    return Result;
}

void Report(const char *Name, int N, double Small, double Large, double PeerSmall = -1, double PeerLarge = -1)
{
    ScaleReport::Report(Name, N, Small, Large, "peer", PeerSmall, PeerLarge);
}

std::unique_ptr<TBitmap> SmallBitmap(int Seed)
{
    auto Bitmap = std::make_unique<TBitmap>(8, 8);
    for (int Y = 0; Y < 8; ++Y)
        for (int X = 0; X < 8; ++X)
            Bitmap->Canvas()->SetPixels(X, Y, TColor(((Seed * 37 + X * 20) & 255) | ((Y * 30) << 8) | ((Seed & 255) << 16)));
    return Bitmap;
}

QByteArray SaveToBytes(TPdfDoc &Doc)
{
    TMemoryStream Stream;
    Doc.SaveToStream(&Stream);
    return Stream.Bytes();
}

// N pages drawing shared images, with fonts and an outline entry per page.
void OurPages(int Pages, const std::vector<std::unique_ptr<TBitmap>> &Images, bool OwnImages)
{
    TPdfDoc Doc;
    Doc.SetUseOutlines(true);
    Doc.OpenDocument();
    if (!OwnImages)
        for (size_t I = 0; I < Images.size(); ++I)
            Doc.AddImage("Im" + QByteArray::number(qsizetype(I)), MakePdfImage(Images[I].get(), "Pdf-Bitmap"));
    static const char *const Fonts[] = {"Arial", "Times-Roman", "FixedWidth-Bold"};
    for (int P = 0; P < Pages; ++P) {
        Doc.AddPage();
        TPdfCanvas *Canvas = Doc.GetCanvas();
        if (OwnImages) {
            const QByteArray Name = "Own" + QByteArray::number(P);
            Doc.AddImage(Name, MakePdfImage(Images[size_t(P) % Images.size()].get(), "Pdf-Bitmap"));
            Canvas->DrawXObject(10, 10, 80, 80, Name);
        } else {
            Canvas->DrawXObject(10, 10, 80, 80, "Im" + QByteArray::number(P % int(Images.size())));
            Canvas->DrawXObjectEx(100, 10, 80, 80, 100, 10, 40, 40,
                                  "Im" + QByteArray::number((P * 7) % int(Images.size())));
        }
        Canvas->SelectFont(Fonts[P % 3], 12);
        TPdfOutlineEntry *Entry = Doc.GetOutlineRoot()->AddChild();
        Entry->Title = QStringLiteral("第%1页 page").arg(P + 1);
        Entry->Dest = Doc.CreateDestination();
        Entry->Dest->SetPage(Canvas->Page());
    }
    SaveToBytes(Doc);
}

void PeerPages(int Pages, int Images, bool OwnImages)
{
    HPDF_Doc Pdf = HPDF_New(nullptr, nullptr);
    HPDF_SetCompressionMode(Pdf, HPDF_COMP_NONE);
    std::vector<HPDF_BYTE> Pixels(8 * 8 * 3, 100);
    std::vector<HPDF_Image> Shared;
    if (!OwnImages)
        for (int I = 0; I < Images; ++I)
            Shared.push_back(HPDF_LoadRawImageFromMem(Pdf, Pixels.data(), 8, 8, HPDF_CS_DEVICE_RGB, 8));
    HPDF_Font Fonts[3] = {HPDF_GetFont(Pdf, "Helvetica", nullptr), HPDF_GetFont(Pdf, "Times-Roman", nullptr),
                          HPDF_GetFont(Pdf, "Courier-Bold", nullptr)};
    HPDF_Outline Root = HPDF_CreateOutline(Pdf, nullptr, "root", nullptr);
    for (int P = 0; P < Pages; ++P) {
        HPDF_Page Page = HPDF_AddPage(Pdf);
        if (OwnImages) {
            HPDF_Image Image = HPDF_LoadRawImageFromMem(Pdf, Pixels.data(), 8, 8, HPDF_CS_DEVICE_RGB, 8);
            HPDF_Page_DrawImage(Page, Image, 10, 10, 80, 80);
        } else {
            HPDF_Page_DrawImage(Page, Shared[size_t(P % Images)], 10, 10, 80, 80);
            HPDF_Page_GSave(Page);
            HPDF_Page_Rectangle(Page, 100, 10, 40, 40);
            HPDF_Page_Clip(Page);
            HPDF_Page_EndPath(Page);
            HPDF_Page_DrawImage(Page, Shared[size_t((P * 7) % Images)], 100, 10, 80, 80);
            HPDF_Page_GRestore(Page);
        }
        HPDF_Page_SetFontAndSize(Page, Fonts[P % 3], 12);
        const std::string Title = "page " + std::to_string(P + 1);
        HPDF_Outline Entry = HPDF_CreateOutline(Pdf, Root, Title.c_str(), nullptr);
        HPDF_Outline_SetDestination(Entry, HPDF_Page_CreateDestination(Page));
    }
    HPDF_SaveToFile(Pdf, "/dev/null");
    HPDF_Free(Pdf);
}

// The report components with an unshared picture: every page adds an image under a free name.
void ReportPages(int Pages, const QString &PdfName)
{
    TComponent Form;
    auto *RpReport1 = new TRpReport(&Form);
    auto *RpPage1 = new TRpPage(&Form);
    auto *RpLayoutPanel1 = new TRpLayoutPanel(&Form);
    RpLayoutPanel1->SetParent(RpPage1);
    RpLayoutPanel1->SetAlign(alClient);
    auto *RpImage1 = new TRpImage(&Form);
    RpImage1->SetName(QStringLiteral("RpImage1"));
    RpImage1->SetParent(RpLayoutPanel1);
    RpImage1->SetBounds(0, 0, 8, 8);
    RpImage1->SharedImage = false;
    TPicture Picture;
    Picture.SetGraphic(SmallBitmap(3).release());
    RpImage1->SetPicture(&Picture);
    RpReport1->FileName = PdfName;
    RpReport1->StartDocument();
    for (int I = 0; I < Pages; ++I)
        RpReport1->AppendPage(RpPage1);
    RpReport1->FinishDocument();
}

// An outline Count entries deep (each the child of the one before) or wide.
void Outline(int Count, bool Deep)
{
    TPdfDoc Doc;
    Doc.SetUseOutlines(true);
    Doc.OpenDocument();
    Doc.AddPage();
    TPdfOutlineEntry *Parent = nullptr;
    for (int I = 0; I < Count; ++I) {
        TPdfOutlineEntry *Entry = Deep && Parent ? Parent->AddChild() : Doc.GetOutlineRoot()->AddChild();
        Entry->Title = QStringLiteral("entry %1").arg(I);
        Entry->Opened = true;
        Parent = Entry;
    }
    SaveToBytes(Doc);
}

QString LongText(int Length, char16_t First, int Span)
{
    QString Text(Length, QChar(u' '));
    for (int I = 0; I < Length; ++I)
        Text[I] = QChar(char16_t(First + I % Span));
    return Text;
}

void LongStrings(const QString &Text)
{
    TPdfDoc Doc;
    Doc.SetUseOutlines(true);
    Doc.OpenDocument();
    Doc.AddPage();
    Doc.SetTitle(Text);
    Doc.SetSubject(Text);
    Doc.SetKeywords(Text);
    TPdfOutlineEntry *Entry = Doc.GetOutlineRoot()->AddChild();
    Entry->Title = Text;
    SaveToBytes(Doc);
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication App(argc, argv);
    const int Scale = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1;
    QTemporaryDir Dir;

    std::vector<std::unique_ptr<TBitmap>> Images;
    for (int I = 0; I < 20; ++I)
        Images.push_back(SmallBitmap(I));

    for (bool Own : {false, true}) {
        const int N = 2000 * Scale;
        double T[2], P[2];
        for (int K = 0; K < 2; ++K) {
            const int Pages = K == 0 ? N : 4 * N;
            T[K] = BestOf3([&] { OurPages(Pages, Images, Own); });
            P[K] = BestOf3([&] { PeerPages(Pages, int(Images.size()), Own); });
        }
        Report(Own ? "pages, an image of its own on each" : "pages, 20 shared images, fonts, outline", N, T[0], T[1],
               P[0], P[1]);
    }
    {
        const int N = 2000 * Scale;
        const QString Pdf = Dir.filePath(QStringLiteral("report.pdf"));
        double T[2];
        for (int K = 0; K < 2; ++K)
            T[K] = BestOf3([&] { ReportPages(K == 0 ? N : 4 * N, Pdf); });
        Report("report: pages of an unshared picture", N, T[0], T[1]);
    }
    for (bool Deep : {false, true}) {
        const int N = 2000 * Scale;
        double T[2];
        for (int K = 0; K < 2; ++K)
            T[K] = BestOf3([&] { Outline(K == 0 ? N : 4 * N, Deep); });
        Report(Deep ? "outline N entries deep" : "outline of N entries", N, T[0], T[1]);
    }
    struct Kind {
        const char *Name;
        char16_t First;
        int Span;
    };
    for (const Kind &K : {Kind{"strings of N ASCII characters", u'a', 26}, Kind{"strings of N Latin-1 characters", 0xC0, 60},
                          Kind{"strings of N Chinese characters", 0x4E00, 2000}}) {
        const int N = 10000 * Scale;
        double T[2];
        for (int I = 0; I < 2; ++I) {
            const QString Text = LongText(I == 0 ? N : 4 * N, K.First, K.Span);
            T[I] = BestOf3([&] { LongStrings(Text); });
        }
        Report(K.Name, N, T[0], T[1]);
    }
    QFile Status(QStringLiteral("/proc/self/status"));
    if (Status.open(QIODevice::ReadOnly))
        for (const QByteArray &Line : Status.readAll().split('\n'))
            if (Line.startsWith("VmHWM:"))
                std::printf("peak resident memory of the whole run: %s\n", Line.mid(6).trimmed().constData());
    return 0;
}
