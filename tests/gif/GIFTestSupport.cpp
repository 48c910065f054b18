#include "GIFTestSupport.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <gtest/gtest.h>

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
    int Bits = CodeSize + 1, Next = Clear + 2, Emitted = 0;
    std::map<uint32_t, int> Dict;
    auto Emit = [&](int Code) {
        Out.push_back({Code, Bits});
        ++Emitted;
        if (Emitted >= 2 && Next >= (1 << Bits) && Bits < 12)
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
                Emitted = 0;
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

} // namespace GIFTest
