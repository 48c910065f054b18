// Writes the picture form's two documents at scale with the report components
// and with a peer writer (libharu, compression off), and
// prints the times and their ratios (ours / peer; at most 1 is the target):
//   - 200 pages, each with its own 2 MB JPEG;
//   - 10,000 pages sharing one image.
// Usage: pdf_writer_bench [repetitions [case]]   (the best of the repetitions
// counts; case 1 or 2 runs only that document, for profiling)
// Our writer makes the file durable (fsync) before it replaces the target; the
// peer does not, so the wall-clock ratio includes that wait and the processor
// ratio does not.
// Each document is also made once more in a new process of this program,
// which prints the peak of its resident memory (VmHWM) above what it held
// before it began: the memory the document costs above the program's own.

#include "pdf/PdfReport.h"

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>

#include <hpdf.h>

#include <jpeglib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <random>
#include <sys/resource.h>
#include <sys/wait.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// A noisy colour picture, so that the JPEG keeps its size (about 2 MB).
void WriteNoiseJpeg(const QString &FileName, int Width, int Height)
{
    FILE *Out = std::fopen(QFile::encodeName(FileName).constData(), "wb");
    jpeg_compress_struct Info;
    jpeg_error_mgr Err;
    Info.err = jpeg_std_error(&Err);
    jpeg_create_compress(&Info);
    jpeg_stdio_dest(&Info, Out);
    Info.image_width = JDIMENSION(Width);
    Info.image_height = JDIMENSION(Height);
    Info.input_components = 3;
    Info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&Info);
    jpeg_set_quality(&Info, 90, TRUE);
    jpeg_start_compress(&Info, TRUE);
    std::mt19937 Random(42);
    std::vector<JSAMPLE> Row(size_t(Width) * 3);
    for (int Y = 0; Y < Height; ++Y) {
        for (JSAMPLE &S : Row)
            S = JSAMPLE(Random() & 0xFF);
        JSAMPROW Rows[1] = {Row.data()};
        jpeg_write_scanlines(&Info, Rows, 1);
    }
    jpeg_finish_compress(&Info);
    jpeg_destroy_compress(&Info);
    std::fclose(Out);
}

double CpuSeconds()
{
    rusage Usage{};
    getrusage(RUSAGE_SELF, &Usage);
    return double(Usage.ru_utime.tv_sec + Usage.ru_stime.tv_sec)
        + double(Usage.ru_utime.tv_usec + Usage.ru_stime.tv_usec) / 1e6;
}

// A value of /proc/self/status in KiB (0 when the system cannot tell).
long long StatusKiB(const char *Key)
{
    QFile F(QStringLiteral("/proc/self/status"));
    if (!F.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &Line : F.readAll().split('\n'))
        if (Line.startsWith(Key))
            return Line.mid(qsizetype(std::char_traits<char>::length(Key))).trimmed().split(' ').value(0).toLongLong();
    return 0;
}

// Makes one document in a new process of this program (so that no memory this
// process has freed and kept can be used again) and returns how far that
// process's peak resident memory rose above its resident memory before it
// began, in MiB; -1 on failure.
double PeakRiseMiB(const char *Writer, const QString &Jpeg, int Pages, bool Shared, const QString &PdfName)
{
    std::fflush(stdout);
    int Pipe[2];
    if (::pipe(Pipe) != 0)
        return -1;
    const QByteArray JpegArg = QFile::encodeName(Jpeg);
    const QByteArray PdfArg = QFile::encodeName(PdfName);
    const std::string PagesArg = std::to_string(Pages);
    const pid_t Child = ::fork();
    if (Child < 0)
        return -1;
    if (Child == 0) {
        ::dup2(Pipe[1], STDOUT_FILENO);
        ::close(Pipe[0]);
        ::close(Pipe[1]);
        ::execl("/proc/self/exe", "pdf_writer_bench", "--peak", Writer, JpegArg.constData(), PagesArg.c_str(),
                Shared ? "1" : "0", PdfArg.constData(), static_cast<char *>(nullptr));
        ::_exit(127);
    }
    ::close(Pipe[1]);
    std::string Out;
    char Buffer[256];
    ssize_t N = 0;
    while ((N = ::read(Pipe[0], Buffer, sizeof Buffer)) > 0)
        Out.append(Buffer, size_t(N));
    ::close(Pipe[0]);
    int Status = 0;
    ::waitpid(Child, &Status, 0);
    if (!WIFEXITED(Status) || WEXITSTATUS(Status) != 0 || Out.empty())
        return -1;
    return std::atof(Out.c_str());
}

struct Timing {
    double Wall = 1e300;
    double Cpu = 1e300;
};

// The best wall-clock and processor times of the repetitions (the machine may be shared).
Timing Measure(const std::function<void()> &Run, int Repetitions)
{
    Timing Best;
    for (int I = 0; I < Repetitions; ++I) {
        const auto Start = std::chrono::steady_clock::now();
        const double CpuStart = CpuSeconds();
        Run();
        const std::chrono::duration<double> Took = std::chrono::steady_clock::now() - Start;
        Best.Wall = std::min(Best.Wall, Took.count());
        Best.Cpu = std::min(Best.Cpu, CpuSeconds() - CpuStart);
    }
    return Best;
}

// The picture form's components and road (one page per picture, the page the
// size of the first picture plus 32 on every side, the picture unstretched).
void OurDocument(const QString &Jpeg, int Pages, bool Shared, const QString &PdfName)
{
    TComponent Form;
    auto *RpReport1 = new TRpReport(&Form);
    auto *RpPage1 = new TRpPage(&Form);
    auto *RpLayoutPanel1 = new TRpLayoutPanel(&Form);
    RpLayoutPanel1->SetParent(RpPage1);
    RpLayoutPanel1->SetAlign(alClient);
    auto *RpJpegImage1 = new TRpJpegImage(&Form);
    RpJpegImage1->SetName(QStringLiteral("RpJpegImage1"));
    RpJpegImage1->SetParent(RpLayoutPanel1);
    RpJpegImage1->SetAlign(alClient);
    RpJpegImage1->SharedImage = Shared;
    RpJpegImage1->Stretch = false;

    RpReport1->FileName = PdfName;
    TPicture First;
    First.LoadFromFile(Jpeg);
    RpPage1->SetBounds(0, 0, First.Width() + 64, First.Height() + 64);
    RpReport1->StartDocument();
    for (int I = 0; I < Pages; ++I) {
        // A shared image is read once, as the document keeps the first one.
        if (!Shared || I == 0) {
            RpJpegImage1->Picture()->SetGraphic(nullptr);
            RpJpegImage1->Picture()->LoadFromFile(Jpeg);
        }
        RpReport1->AppendPage(RpPage1);
    }
    RpReport1->FinishDocument();
}

void PeerDocument(const QString &Jpeg, int W, int H, int Pages, bool Shared, const QString &PdfName)
{
    HPDF_Doc Pdf = HPDF_New(nullptr, nullptr);
    HPDF_SetCompressionMode(Pdf, HPDF_COMP_NONE);
    const QByteArray JpegName = QFile::encodeName(Jpeg);
    HPDF_Image Image = nullptr;
    for (int I = 0; I < Pages; ++I) {
        if (!Shared || I == 0)
            Image = HPDF_LoadJpegImageFromFile(Pdf, JpegName.constData());
        HPDF_Page Page = HPDF_AddPage(Pdf);
        HPDF_Page_SetWidth(Page, HPDF_REAL(W + 64));
        HPDF_Page_SetHeight(Page, HPDF_REAL(H + 64));
        HPDF_Page_DrawImage(Page, Image, 32, 32, HPDF_REAL(W), HPDF_REAL(H));
    }
    HPDF_SaveToFile(Pdf, QFile::encodeName(PdfName).constData());
    HPDF_Free(Pdf);
}

} // namespace

// The child of PeakRiseMiB: --peak ours|peer JPEG PAGES SHARED PDF.
int PeakChild(char **argv)
{
    const long long Before = StatusKiB("VmRSS:");
    const QString Jpeg = QFile::decodeName(argv[3]);
    const int Pages = std::atoi(argv[4]);
    const bool Shared = std::atoi(argv[5]) != 0;
    const QString PdfName = QFile::decodeName(argv[6]);
    if (std::strcmp(argv[2], "ours") == 0) {
        OurDocument(Jpeg, Pages, Shared, PdfName);
    } else {
        TPicture Picture;
        Picture.LoadFromFile(Jpeg);
        const int W = Picture.Width();
        const int H = Picture.Height();
        Picture.SetGraphic(nullptr);
        PeerDocument(Jpeg, W, H, Pages, Shared, PdfName);
    }
    QFile::remove(PdfName);
    std::printf("%.1f\n", double(StatusKiB("VmHWM:") - Before) / 1024);
    return 0;
}

int main(int argc, char **argv)
{
    if (argc == 7 && std::strcmp(argv[1], "--peak") == 0)
        return PeakChild(argv);
    const int Repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    const int OnlyCase = argc > 2 ? std::atoi(argv[2]) : 0;
    QTemporaryDir Dir;
    const QString Jpeg = Dir.filePath(QStringLiteral("noise.jpg"));
    const int W = 1800;
    const int H = 1250;
    WriteNoiseJpeg(Jpeg, W, H);
    std::printf("picture: %d x %d, %lld bytes; best of %d runs\n", W, H, (long long)QFile(Jpeg).size(), Repetitions);

    struct Case {
        const char *Name;
        int Pages;
        bool Shared;
    };
    int Number = 0;
    for (const Case &C : {Case{"200 pages, one 2 MB JPEG each", 200, false},
                          Case{"10000 pages sharing one image", 10000, true}}) {
        ++Number;
        if (OnlyCase != 0 && Number != OnlyCase)
            continue;
        const QString Ours = Dir.filePath(QStringLiteral("ours.pdf"));
        const QString Peer = Dir.filePath(QStringLiteral("peer.pdf"));
        const Timing OurTime = Measure([&] { OurDocument(Jpeg, C.Pages, C.Shared, Ours); }, Repetitions);
        const Timing PeerTime = Measure([&] { PeerDocument(Jpeg, W, H, C.Pages, C.Shared, Peer); }, Repetitions);
        std::printf("%s: ours %lld bytes, peer %lld bytes\n", C.Name, (long long)QFile(Ours).size(),
                    (long long)QFile(Peer).size());
        std::printf("  wall  ours %7.3f s  peer %7.3f s  ratio %.2f\n", OurTime.Wall, PeerTime.Wall,
                    OurTime.Wall / PeerTime.Wall);
        std::printf("  cpu   ours %7.3f s  peer %7.3f s  ratio %.2f\n", OurTime.Cpu, PeerTime.Cpu,
                    OurTime.Cpu / PeerTime.Cpu);
        const double OurPeak = PeakRiseMiB("ours", Jpeg, C.Pages, C.Shared, Ours);
        const double PeerPeak = PeakRiseMiB("peer", Jpeg, C.Pages, C.Shared, Peer);
        std::printf("  peak memory above the start: ours %.1f MiB  peer %.1f MiB\n", OurPeak, PeerPeak);
        QFile::remove(Ours);
        QFile::remove(Peer);
    }
    return 0;
}
