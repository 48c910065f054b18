#include "GIFTestSupport.h"

#include <QFile>
#include <QTemporaryDir>
#include <QProcess>
#include <QStandardPaths>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>

namespace GIFTest {

QByteArray Run(const QString &Program, const QStringList &Args, const QByteArray &Input)
{
    QProcess P;
    P.start(Program, Args);
    if (!P.waitForStarted(10000)) {
        ADD_FAILURE() << "cannot start " << Program.toStdString();
        return QByteArray();
    }
    if (!Input.isEmpty())
        P.write(Input);
    P.closeWriteChannel();
    P.waitForFinished(60000);
    QByteArray Out = P.readAllStandardOutput();
    if (P.exitStatus() != QProcess::NormalExit || P.exitCode() != 0)
        ADD_FAILURE() << Program.toStdString() << " " << Args.join(' ').toStdString() << " failed: "
                      << P.readAllStandardError().toStdString();
    return Out;
}

QString PillowPython()
{
    static const QString Found = [] {
        QStringList Candidates;
        QString System = QStandardPaths::findExecutable("python3", {"/usr/bin"});
        if (!System.isEmpty())
            Candidates << System;
        QString OnPath = QStandardPaths::findExecutable("python3");
        if (!OnPath.isEmpty() && !Candidates.contains(OnPath))
            Candidates << OnPath;
        for (const QString &P : Candidates) {
            QProcess Probe;
            Probe.start(P, {"-c", "import PIL.Image"});
            if (Probe.waitForFinished(20000) && Probe.exitStatus() == QProcess::NormalExit && Probe.exitCode() == 0)
                return P;
        }
        return QString();
    }();
    return Found;
}

ToolResult RunTool(const QString &Program, const QStringList &Args)
{
    ToolResult R;
    QProcess P;
    P.start(Program, Args);
    if (!P.waitForStarted(10000))
        return R;
    P.closeWriteChannel();
    P.waitForFinished(120000);
    R.Out = P.readAllStandardOutput();
    R.Err = P.readAllStandardError();
    R.Code = P.exitStatus() == QProcess::NormalExit ? P.exitCode() : -1;
    return R;
}

bool HaveTools()
{
    return !QStandardPaths::findExecutable("gifbuild").isEmpty()
           && !QStandardPaths::findExecutable("gifsicle").isEmpty();
}

std::vector<uint32_t> RandomMap(std::mt19937 &Rng, int Count)
{
    std::vector<uint32_t> Map;
    for (int I = 0; I < Count; ++I)
        Map.push_back(Rng() & 0xFFFFFF);
    return Map;
}

std::vector<uint8_t> RandomPixels(std::mt19937 &Rng, int Count, int Colors)
{
    std::vector<uint8_t> P(static_cast<size_t>(Count));
    for (auto &V : P)
        V = uint8_t(Rng() % unsigned(Colors));
    return P;
}

static void AppendMap(QByteArray &Text, const char *Kind, const std::vector<uint32_t> &Map)
{
    Text += Kind;
    Text += " map\n";
    for (uint32_t C : Map)
        Text += QByteArray("\trgb ") + QByteArray::number((C >> 16) & 0xFF) + ' '
                + QByteArray::number((C >> 8) & 0xFF) + ' ' + QByteArray::number(C & 0xFF) + '\n';
    Text += "end\n";
}

QByteArray BuildGif(int ScreenWidth, int ScreenHeight, const std::vector<uint32_t> &GlobalMap,
                    const std::vector<FrameInput> &Frames)
{
    QByteArray Text;
    Text += "screen width " + QByteArray::number(ScreenWidth) + "\n";
    Text += "screen height " + QByteArray::number(ScreenHeight) + "\n";
    if (!GlobalMap.empty())
        AppendMap(Text, "screen", GlobalMap);
    for (const FrameInput &F : Frames) {
        Text += "image\n";
        Text += "image left " + QByteArray::number(F.Left) + "\n";
        Text += "image top " + QByteArray::number(F.Top) + "\n";
        if (F.Interlaced)
            Text += "image interlaced\n";
        if (!F.LocalMap.empty())
            AppendMap(Text, "image", F.LocalMap);
        Text += "image bits " + QByteArray::number(F.Width) + " by " + QByteArray::number(F.Height) + " hex\n";
        for (int Y = 0; Y < F.Height; ++Y) {
            QByteArray Row;
            for (int X = 0; X < F.Width; ++X)
                Row += QByteArray::number(F.Pixels[size_t(Y * F.Width + X)], 16).rightJustified(2, '0');
            Text += Row + "\n";
        }
    }
    return Run("gifbuild", {}, Text);
}

std::vector<ToolFrame> DumpFrames(const QString &FileName)
{
    QByteArray Text = Run("gifbuild", {"-d", FileName});
    QList<QByteArray> Lines = Text.split('\n');
    std::vector<ToolFrame> Frames;
    std::map<char, int> ScreenKeys, ImageKeys;
    std::map<char, int> *Keys = nullptr;
    bool InMap = false;
    int MapIndex = 0;
    for (int I = 0; I < Lines.size(); ++I) {
        QByteArray L = Lines[I].trimmed();
        if (InMap) {
            if (L == "end") {
                InMap = false;
            } else if (L.startsWith("rgb")) {
                int Is = L.indexOf(" is ");
                if (Is >= 0 && Keys)
                    (*Keys)[L.at(Is + 4)] = MapIndex;
                ++MapIndex;
            }
            continue;
        }
        if (L == "screen map" || L == "image map") {
            InMap = true;
            MapIndex = 0;
            Keys = L.startsWith("screen") ? &ScreenKeys : &ImageKeys;
            Keys->clear();
            continue;
        }
        if (L.startsWith("image #")) {
            Frames.push_back(ToolFrame());
            ImageKeys.clear();
        } else if (L.startsWith("image left ")) {
            Frames.back().Left = L.mid(11).toInt();
        } else if (L.startsWith("image top ")) {
            Frames.back().Top = L.mid(10).toInt();
        } else if (L.startsWith("image bits ")) {
            QList<QByteArray> Parts = L.split(' ');
            ToolFrame &F = Frames.back();
            F.Width = Parts[2].toInt();
            F.Height = Parts[4].toInt();
            bool Hex = Parts.size() > 5 && Parts[5] == "hex";
            const std::map<char, int> &K = ImageKeys.empty() ? ScreenKeys : ImageKeys;
            for (int Y = 0; Y < F.Height; ++Y) {
                QByteArray Row = Lines[++I];
                for (int X = 0; X < F.Width; ++X) {
                    if (Hex) {
                        F.Pixels.push_back(uint8_t(Row.mid(2 * X, 2).toInt(nullptr, 16)));
                    } else {
                        auto It = K.find(Row.at(X));
                        F.Pixels.push_back(uint8_t(It == K.end() ? 0 : It->second));
                    }
                }
            }
        }
    }
    return Frames;
}

QByteArray ReadFile(const QString &FileName)
{
    QFile F(FileName);
    if (!F.open(QIODevice::ReadOnly))
        ADD_FAILURE() << "cannot read " << FileName.toStdString();
    return F.readAll();
}

void WriteFile(const QString &FileName, const QByteArray &Bytes)
{
    QFile F(FileName);
    if (!F.open(QIODevice::WriteOnly) || F.write(Bytes) != Bytes.size())
        ADD_FAILURE() << "cannot write " << FileName.toStdString();
}

Loaded Load(const QByteArray &Data)
{
    Loaded Result;
    Result.Image = std::make_unique<TGIFImage>();
    QStringList *W = &Result.Warnings;
    Result.Image->OnWarningReport = [W](TObject *, TGIFSeverity, const QString &Message) { W->append(Message); };
    TMemoryStream Stream;
    Stream.WriteBytes(Data);
    Stream.SetPosition(0);
    Result.Image->LoadFromStream(&Stream);
    return Result;
}

QString LoadError(const QByteArray &Data, QStringList *Warnings)
{
    TGIFImage Image;
    QStringList Collected;
    Image.OnWarningReport = [&](TObject *, TGIFSeverity, const QString &Message) { Collected.append(Message); };
    TMemoryStream Stream;
    Stream.WriteBytes(Data);
    Stream.SetPosition(0);
    QString Error;
    try {
        Image.LoadFromStream(&Stream);
    } catch (const Exception &E) {
        Error = E.Message();
    }
    if (Warnings)
        *Warnings = Collected;
    return Error;
}

// ---------------------------------------------------------------- Bytes

Bytes &Bytes::Header(int W, int H, int Bits, const char *Version)
{
    Raw(QByteArray(Version));
    U16(W).U16(H);
    if (Bits > 0) {
        U8(0x80 | ((Bits - 1) & 7)).U8(0).U8(0);
        int N = 1 << Bits;
        for (int I = 0; I < N; ++I) {
            int G = N > 1 ? I * 255 / (N - 1) : 0;
            U8(G).U8(G).U8(G);
        }
    } else {
        U8(0).U8(0).U8(0);
    }
    return *this;
}

Bytes &Bytes::Descriptor(int L, int T, int W, int H, int Flags)
{
    return U8(',').U16(L).U16(T).U16(W).U16(H).U8(Flags);
}

Bytes &Bytes::GCE(int Flags, int Delay, int TransparentIndex)
{
    return U8('!').U8(0xF9).U8(4).U8(Flags).U16(Delay).U8(TransparentIndex).U8(0);
}

Bytes &Bytes::Codes(int CodeSize, const std::vector<std::pair<int, int>> &CodesAndBits, int BlockSize,
                    bool Terminate)
{
    U8(CodeSize);
    QByteArray Packed;
    uint32_t Acc = 0;
    int N = 0;
    for (auto [Code, Bits] : CodesAndBits) {
        Acc |= uint32_t(Code) << N;
        N += Bits;
        while (N >= 8) {
            Packed += char(Acc & 0xFF);
            Acc >>= 8;
            N -= 8;
        }
    }
    if (N > 0)
        Packed += char(Acc & 0xFF);
    for (qsizetype Pos = 0; Pos < Packed.size(); Pos += BlockSize) {
        qsizetype Len = std::min<qsizetype>(BlockSize, Packed.size() - Pos);
        U8(int(Len));
        Raw(Packed.mid(Pos, Len));
    }
    if (Terminate)
        U8(0);
    return *this;
}

std::vector<std::pair<int, int>> EncodeLZW(int CodeSize, const std::vector<uint8_t> &Pixels)
{
    std::vector<std::pair<int, int>> Out;
    const int Clear = 1 << CodeSize, End = Clear + 1;
    int Bits = CodeSize + 1, Next = Clear + 2;
    std::map<uint32_t, int> Dict;
    // The width grows as soon as the next free code would not fit, as giflib
    // reads it: for code size 1 already after the first code.
    auto Emit = [&](int Code) {
        Out.push_back({Code, Bits});
        if (Next >= (1 << Bits) && Bits < 12)
            ++Bits;
    };
    Out.push_back({Clear, Bits});
    if (!Pixels.empty()) {
        int Prefix = Pixels[0];
        for (size_t I = 1; I < Pixels.size(); ++I) {
            uint32_t Key = (uint32_t(Prefix) << 8) | Pixels[I];
            auto It = Dict.find(Key);
            if (It != Dict.end()) {
                Prefix = It->second;
                continue;
            }
            Emit(Prefix);
            if (Next >= 4095) {
                Out.push_back({Clear, Bits});
                Bits = CodeSize + 1;
                Next = Clear + 2;
                Dict.clear();
            } else {
                Dict[Key] = Next++;
            }
            Prefix = Pixels[I];
        }
        Emit(Prefix);
    }
    Out.push_back({End, Bits});
    return Out;
}

Bytes &Bytes::Pixels(int CodeSize, const std::vector<uint8_t> &Px)
{
    return Codes(CodeSize, EncodeLZW(CodeSize, Px));
}

// ------------------------------------------------------------ writing

TGIFSubImage *AddFrame(TGIFImage &Image, int Left, int Top, int Width, int Height, const std::vector<uint8_t> &Pixels,
                       const std::vector<uint32_t> &LocalMap)
{
    auto *F = new TGIFSubImage(&Image);
    Image.Frames().Add(F);
    for (uint32_t C : LocalMap)
        F->ColorMap()->Add(TColor(((C >> 16) & 0xFF) | (C & 0xFF00) | ((C & 0xFF) << 16)));
    F->SetBoundsRect(TRect(Left, Top, Left + Width, Top + Height));
    for (int Y = 0; Y < Height; ++Y)
        std::memcpy(F->RowData(Y), Pixels.data() + size_t(Y) * size_t(Width), size_t(Width));
    return F;
}

void SetGlobalMap(TGIFImage &Image, const std::vector<uint32_t> &Map)
{
    Image.GlobalColorMap()->Clear();
    for (uint32_t C : Map)
        Image.GlobalColorMap()->Add(TColor(((C >> 16) & 0xFF) | (C & 0xFF00) | ((C & 0xFF) << 16)));
}

QByteArray SaveBytes(TGIFImage &Image)
{
    TMemoryStream S;
    Image.SaveToStream(&S);
    return S.Bytes();
}

std::vector<Rgba> Composite(TGIFImage &Image)
{
    const int W = Image.Width(), H = Image.Height();
    Rgba Screen{W, H, QByteArray(qsizetype(W) * H * 4, '\0')};
    std::vector<Rgba> Frames;
    for (int I = 0; I < Image.Frames().Count(); ++I) {
        TGIFSubImage *F = Image.Frames()[I];
        if (F->Empty())
            continue;
        TGIFColorMap *Map = F->ActiveColorMap();
        const bool Clear = F->Transparent() && F->GraphicControlExtension();
        const int T = Clear ? F->GraphicControlExtension()->TransparentColorIndex() : -1;
        for (int Y = 0; Y < F->Height(); ++Y)
            for (int X = 0; X < F->Width(); ++X) {
                const int P = F->Pixels(X, Y);
                if (P == T)
                    continue;
                uint8_t *Out = reinterpret_cast<uint8_t *>(Screen.Bytes.data())
                               + (size_t(F->Top() + Y) * size_t(W) + size_t(F->Left() + X)) * 4;
                const TGIFColor C = P < Map->Count() ? Map->Data()[P] : TGIFColor();
                Out[0] = C.Red;
                Out[1] = C.Green;
                Out[2] = C.Blue;
                Out[3] = 255;
            }
        Frames.push_back(Screen);
    }
    return Frames;
}

bool HavePeers()
{
    for (const char *Tool : {"gifbuild", "gif2rgb", "gifsicle", "convert"})
        if (QStandardPaths::findExecutable(Tool).isEmpty())
            return false;
    return !PillowPython().isEmpty();
}

static int CountDifferences(const Rgba &A, const Rgba &B, bool IgnoreAlpha)
{
    if (A.Width != B.Width || A.Height != B.Height || A.Bytes.size() != B.Bytes.size())
        return -1;
    int Bad = 0;
    for (int Y = 0; Y < A.Height; ++Y)
        for (int X = 0; X < A.Width; ++X) {
            const uint8_t *P = A.At(X, Y), *Q = B.At(X, Y);
            if (P[3] == 0 && Q[3] == 0)
                continue;
            if (P[0] != Q[0] || P[1] != Q[1] || P[2] != Q[2] || (!IgnoreAlpha && P[3] != Q[3]))
                ++Bad;
        }
    return Bad;
}

void CheckWithPeers(const QByteArray &Gif, TGIFImage &Model, const std::string &What)
{
    SCOPED_TRACE(What);
    QTemporaryDir Dir;
    const QString File = Dir.filePath("written.gif");
    WriteFile(File, Gif);
    const std::vector<Rgba> Want = Composite(Model);
    int WithData = 0;
    bool AnyTransparent = false;
    for (int I = 0; I < Model.Frames().Count(); ++I) {
        WithData += Model.Frames()[I]->Empty() ? 0 : 1;
        AnyTransparent = AnyTransparent || Model.Frames()[I]->Transparent();
    }

    // Our own reader: the same frames, pixels and tables.
    Loaded L = Load(Gif);
    ASSERT_TRUE(L.Image) << "our reader refuses it";
    EXPECT_TRUE(L.Warnings.isEmpty()) << L.Warnings.join('\n').toStdString();
    ASSERT_EQ(L.Image->Frames().Count(), Model.Frames().Count());
    const std::vector<Rgba> Ours = Composite(*L.Image);
    ASSERT_EQ(Ours.size(), Want.size());
    for (size_t I = 0; I < Want.size(); ++I)
        EXPECT_EQ(CountDifferences(Ours[I], Want[I], false), 0) << "our reader, frame " << I;

    // gifsicle: no warning, every frame.
    ToolResult Info = RunTool("gifsicle", {"--info", File});
    EXPECT_EQ(Info.Code, 0);
    EXPECT_TRUE(Info.Err.isEmpty()) << Info.Err.toStdString();
    EXPECT_EQ(Info.Out.count("+ image #"), WithData) << Info.Out.toStdString();

    // giflib: the frames' colour indexes and places.
    std::vector<ToolFrame> Dumped = DumpFrames(File);
    ASSERT_EQ(int(Dumped.size()), WithData);
    int K = 0;
    for (int I = 0; I < Model.Frames().Count(); ++I) {
        TGIFSubImage *F = Model.Frames()[I];
        if (F->Empty())
            continue;
        const ToolFrame &D = Dumped[size_t(K++)];
        EXPECT_EQ(D.Left, F->Left());
        EXPECT_EQ(D.Top, F->Top());
        ASSERT_EQ(D.Width, F->Width());
        ASSERT_EQ(D.Height, F->Height());
        EXPECT_TRUE(std::equal(D.Pixels.begin(), D.Pixels.end(), F->Data())) << "giflib's pixels, frame " << I;
    }
    ToolResult Rgb = RunTool("gif2rgb", {"-1", File});
    EXPECT_EQ(Rgb.Code, 0);
    EXPECT_TRUE(Rgb.Err.isEmpty()) << Rgb.Err.toStdString();
    if (!AnyTransparent && !Want.empty()) {
        // gif2rgb paints every frame over the screen in turn.
        const Rgba &Last = Want.back();
        ASSERT_EQ(Rgb.Out.size(), qsizetype(Last.Width) * Last.Height * 3);
        int Bad = 0;
        for (int Y = 0; Y < Last.Height; ++Y)
            for (int X = 0; X < Last.Width; ++X) {
                const char *P = Rgb.Out.constData() + (size_t(Y) * size_t(Last.Width) + size_t(X)) * 3;
                Bad += std::memcmp(P, Last.At(X, Y), 3) != 0;
            }
        EXPECT_EQ(Bad, 0) << "gif2rgb";
    }

    // ImageMagick: the composited frames.
    ToolResult Magick = RunTool("convert", {File, "-coalesce", "-depth", "8", "rgba:-"});
    EXPECT_EQ(Magick.Code, 0);
    EXPECT_TRUE(Magick.Err.isEmpty()) << Magick.Err.toStdString();
    const qsizetype Size = qsizetype(Model.Width()) * Model.Height() * 4;
    ASSERT_EQ(Magick.Out.size(), Size * qsizetype(Want.size())) << "ImageMagick's frames";
    for (size_t I = 0; I < Want.size(); ++I)
        EXPECT_EQ(CountDifferences(Rgba{Model.Width(), Model.Height(), Magick.Out.mid(qsizetype(I) * Size, Size)},
                                   Want[I], false),
                  0)
            << "ImageMagick, frame " << I;

    // Pillow: every frame, composited; warnings count as failures.
    static const char Script[] = "import sys, warnings\n"
                                 "warnings.simplefilter('error')\n"
                                 "from PIL import Image\n"
                                 "im = Image.open(sys.argv[1])\n"
                                 "out = sys.stdout.buffer\n"
                                 "for i in range(im.n_frames):\n"
                                 "    im.seek(i)\n"
                                 "    out.write(im.convert('RGBA').tobytes())\n";
    ToolResult Pil = RunTool(PillowPython(), {"-c", Script, File});
    EXPECT_EQ(Pil.Code, 0) << Pil.Err.toStdString();
    ASSERT_EQ(Pil.Out.size(), Size * qsizetype(Want.size())) << "Pillow's frames";
    for (size_t I = 0; I < Want.size(); ++I)
        EXPECT_EQ(CountDifferences(Rgba{Model.Width(), Model.Height(), Pil.Out.mid(qsizetype(I) * Size, Size)},
                                   Want[I], I > 0),
                  0)
            << "Pillow, frame " << I;
}

} // namespace GIFTest
