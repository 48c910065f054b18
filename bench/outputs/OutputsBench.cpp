// Page and book outputs at the speed of the disk: the program, run by
// quillbook-drive beside this benchmark, publishes a page of N products with a
// picture of about 2 MB each (and a book holding that page), and opens a
// package of many members. Each output runs beside its peer doing the raw
// work, in turn, in the same rounds:
//   HTML folder         cp -r of the pictures and the page
//   book frameset       cp -r of the pictures and the page
//   ZIP                 zip -r -6 of the HTML folder the program wrote
//   MHT                 base64 of the pictures into one file
//   opening a package   unzip -o into a folder
//   opening the page    (no peer) the page chosen in the open dialog of the
//                       shown window, net of starting the program
// Our time is net of opening the page (or the book, or of starting the
// program for the package): the same script without the output is run in
// each round and subtracted. Peak memory is the driver's peak resident size
// above that of the idle run. Every output is checked whole in the same run
// (unzip -t, python's email module for MHT, the files of the folders).
// The page, its pictures and the package are made through the program's own
// code (page document, package writer).
//
// Usage: outputs_bench [--products N] [--rounds R] [--members M] [--work DIR]
//                      [--only html,book,zip,mht,package,open] [--scale]
// --scale runs the page outputs (and the opening) once more at 50, 200 and 400
// products and prints the time per product, which should stay flat.

#include "catalog/document/CatalogBook.h"
#include "catalog/document/Package.h"
#include "catalog/document/PageDocument.h"
#include "catalog/document/ProductBlocks.h"
#include "platform/core/Classes.h"
#include "platform/core/FileUtils.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QRandomGenerator>
#include <QStandardPaths>

#include <algorithm>
#include <cstdio>
#include <map>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

struct TRun {
    double Seconds = -1;
    double Cpu = 0;   // user and system time
    long PeakKb = 0;
    int Code = -1;
};

QString Drive;   // quillbook-drive beside this program
QString Work;    // with trailing "/"

// Runs Program with Args (stdout to OutFile when given), timing it and taking
// its peak resident size from wait4.
TRun Run(const QString &Program, const QStringList &Args, const QString &OutFile = QString())
{
    std::vector<QByteArray> Bytes{QFile::encodeName(Program)};
    for (const QString &A : Args)
        Bytes.push_back(QFile::encodeName(A));
    std::vector<char *> Argv;
    for (QByteArray &B : Bytes)
        Argv.push_back(B.data());
    Argv.push_back(nullptr);
    const QByteArray Out = QFile::encodeName(OutFile.isEmpty() ? QStringLiteral("/dev/null") : OutFile);
    timespec T0{}, T1{};
    std::fflush(stdout);
    std::fflush(stderr);
    clock_gettime(CLOCK_MONOTONIC, &T0);
    const pid_t Pid = fork();
    if (Pid == 0) {
        std::FILE *F = std::freopen(Out.constData(), "w", stdout);
        (void)F;
        if (OutFile.isEmpty())
            std::freopen("/dev/null", "w", stderr);
        execvp(Argv[0], Argv.data());
        _exit(127);
    }
    TRun R;
    int Status = 0;
    rusage Use{};
    if (wait4(Pid, &Status, 0, &Use) < 0)
        return R;
    clock_gettime(CLOCK_MONOTONIC, &T1);
    R.Seconds = double(T1.tv_sec - T0.tv_sec) + double(T1.tv_nsec - T0.tv_nsec) / 1e9;
    R.PeakKb = Use.ru_maxrss;
    R.Cpu = double(Use.ru_utime.tv_sec + Use.ru_stime.tv_sec) + double(Use.ru_utime.tv_usec + Use.ru_stime.tv_usec) / 1e6;
    R.Code = WIFEXITED(Status) ? WEXITSTATUS(Status) : -1;
    return R;
}

TRun RunShell(const QString &Command)
{
    return Run(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), Command});
}

QString Quote(const QString &S)
{
    return QLatin1Char('\'') + QString(S).replace(QLatin1Char('\''), QStringLiteral("'\\''")) + QLatin1Char('\'');
}

TRun RunDrive(const QString &Script, const QStringList &ProgramArgs)
{
    const QString File = Work + QStringLiteral("script.txt");
    QFile F(File);
    F.open(QIODevice::WriteOnly | QIODevice::Truncate);
    F.write(Script.toUtf8());
    F.close();
    QStringList Args{File};
    if (!ProgramArgs.isEmpty())
        Args << QStringLiteral("--") << ProgramArgs;
    return Run(Drive, Args);
}

double Median(std::vector<double> V)
{
    if (V.empty())
        return 0;
    std::sort(V.begin(), V.end());
    return V.size() % 2 ? V[V.size() / 2] : (V[V.size() / 2 - 1] + V[V.size() / 2]) / 2;
}

double Load()
{
    QFile F(QStringLiteral("/proc/loadavg"));
    if (!F.open(QIODevice::ReadOnly))
        return -1;
    return F.readAll().split(' ').value(0).toDouble();
}

// ------------------------------------------------------------- the samples

// Pictures of about 2 MB: a few noise JPEGs, each file made distinct by a
// comment segment after the start marker.
QStringList MakePictures(const QString &Folder, int Count)
{
    QDir().mkpath(Folder);
    std::vector<QByteArray> Bases;
    for (int B = 0; B < 4; ++B) {
        const QString Base = Folder + QStringLiteral("base%1.jpeg").arg(B);
        if (!QFileInfo::exists(Base)) {
            QImage Img(1400, 1000, QImage::Format_RGB32);
            QRandomGenerator Gen(quint32(B + 1));
            for (int Y = 0; Y < Img.height(); ++Y) {
                auto *Line = reinterpret_cast<quint32 *>(Img.scanLine(Y));
                for (int X = 0; X < Img.width(); ++X)
                    Line[X] = 0xFF000000u | (Gen.generate() & 0xFFFFFFu);
            }
            Img.save(Base, "JPEG", 97);
        }
        QFile F(Base);
        F.open(QIODevice::ReadOnly);
        Bases.push_back(F.readAll());
    }
    QStringList Files;
    for (int I = 0; I < Count; ++I) {
        const QString Name = Folder + QStringLiteral("p%1.jpg").arg(I + 1, 4, 10, QLatin1Char('0'));
        Files << Name;
        if (QFileInfo::exists(Name))
            continue;
        const QByteArray &B = Bases[size_t(I) % Bases.size()];
        const QByteArray Tag = QStringLiteral("picture %1").arg(I + 1).toLatin1();
        QByteArray Com("\xFF\xFE", 2);
        Com.append(char((Tag.size() + 2) >> 8)).append(char((Tag.size() + 2) & 0xFF)).append(Tag);
        QFile F(Name);
        F.open(QIODevice::WriteOnly);
        F.write(B.left(2) + Com + B.mid(2));
    }
    return Files;
}

// The page, made by the page document as the program makes a new page.
QString MakePage(const QString &Folder, const QStringList &Pictures, const QString &Root, const QString &Id)
{
    QDir().mkpath(Folder);
    TPageDocument Doc;
    Doc.InitNewPageText(TNewPageDefaults{QString(), QStringLiteral("2026-1-1"), QStringLiteral("张三"),
                                         QStringLiteral("order@example.invalid")});
    const std::map<QString, QString> Header{
        {QStringLiteral("{Catalog编号}"), Id},
        {QStringLiteral("{Catalog名称}"), QStringLiteral("性能测试目录")},
        {QStringLiteral("{客户名称}"), QStringLiteral("李四")},
        {QStringLiteral("{图片宽}"), QStringLiteral("120")},
        {QStringLiteral("{图片高}"), QStringLiteral("90")},
        {QStringLiteral("{输出目录}"), Root},
        {QStringLiteral("{输出方式}"), QStringLiteral("HTML(网页文件类型)")},
        {QStringLiteral("{输出风格}"), QStringLiteral("春天系列")},
        {QStringLiteral("{输出语言}"), QStringLiteral("中文")},
        {QStringLiteral("{图片框百分比}"), QStringLiteral("75")},
    };
    for (const auto &[Key, Value] : Header)
        Doc.SetValues(Key, Value);
    QStringList Lines = Doc.Lines();
    Lines << TPageDocument::MarkerComment << TPageDocument::DetailLine;
    for (int I = 0; I < Pictures.size(); ++I) {
        QStringList Block = ProductBlocks::EmptyBlockLines(I + 1);
        Block[1] += Pictures.at(I);
        Block[2] += QStringLiteral("P-%1").arg(I + 1);
        Block[3] += QStringLiteral("商品%1").arg(I + 1);
        Block[4] += QStringLiteral("%1.50").arg(I + 3);
        Block[5] += QStringLiteral("个");
        Block[6] += QStringLiteral("120");
        Block[7] += QString::number(I + 1);
        Block[8] += QStringLiteral("白瓷");
        Lines << Block;
    }
    Doc.SetLines(Lines);
    const QString Path = Folder + Id + QStringLiteral(".qbt");
    Doc.SaveToFile(Path);
    return Path;
}

QString MakeBook(const QString &Folder, const QString &Page, const QString &Root)
{
    QStringList Lines = TCatalogBook::NewBookLines(QStringLiteral("性能测试书"), Root, false, false, false);
    Lines << Page;
    const QString Path = Folder + QStringLiteral("benchbook.qbs");
    SaveLines(Path, Lines);
    return Path;
}

// A package of Members members: the page, index.dat and tiny pictures, written
// by the program's package writer.
QString MakePackage(int Members, const QString &Page)
{
    const QString Qba = Work + QStringLiteral("many.qba");
    if (QFileInfo::exists(Qba))
        return Qba;
    const QString Folder = Work + QStringLiteral("pkgsrc/");
    QDir(Folder).removeRecursively();
    QDir().mkpath(Folder + QStringLiteral("images"));
    // The page inside names its pictures inside the package, as the package
    // output writes it: a received package may name nothing outside itself.
    QStringList Lines = LoadLines(Page);
    int Picture = 0;
    for (QString &L : Lines) {
        if (L.startsWith(QStringLiteral("{$IMG}=")))
            L = QStringLiteral("{$IMG}=images\\m%1.gif").arg(Picture++ % std::max(1, Members - 2));
    }
    SaveLines(Folder + QStringLiteral("catalog.qbt"), Lines);
    for (int I = 0; I < Members - 2; ++I) {
        const QString Sub = Folder + QStringLiteral("images/");
        QFile F(Sub + QStringLiteral("m%1.gif").arg(I));
        F.open(QIODevice::WriteOnly);
        F.write(QStringLiteral("GIF89a member %1").arg(I).toLatin1());
    }
    QbaPackage::Write(Folder, QStringLiteral("catalog.qbt"), Qba, false);
    QDir(Folder).removeRecursively();
    return Qba;
}

qint64 FolderBytes(const QString &Folder, int *Files = nullptr)
{
    qint64 Sum = 0;
    int N = 0;
    for (const QString &F : QbaPackage::FilesBelow(Folder)) {
        Sum += QFileInfo(F).size();
        ++N;
    }
    if (Files)
        *Files = N;
    return Sum;
}

// ------------------------------------------------------------ one output

struct TCase {
    QString Name;
    QString Script;          // the output
    QStringList Args;        // program arguments (page, book or package)
    QString IdleScript;      // the same without the output
    QStringList IdleArgs;
    std::function<void()> Before;     // removes the previous output
    std::function<TRun()> Peer;   // none: timed alone, no goal
    // The same peer followed by a sync of what it wrote (the durability the
    // program gives its outputs), printed for comparison; no goal.
    std::function<TRun()> DurablePeer;
    std::function<QString()> Check;   // "" when the output is whole
    double TimeGoal8 = 0, TimeGoal2 = 0;
    long MemoryGoalKb = 64 * 1024;
};

struct TResult {
    double Ours = 0, Peer = 0, Ratio = 0, Durable = 0;
    long ExtraKb = 0;
    QString Problem;
};

TResult Measure(const TCase &C, int Rounds, bool Print)
{
    std::vector<double> Ours, Peers, Ratios, Durables;
    long Extra = 0;
    QString Problem;
    for (int R = 0; R < Rounds; ++R) {
        const double L = Load();
        if (C.Before)
            C.Before();
        const TRun Idle = RunDrive(C.IdleScript, C.IdleArgs);
        if (C.Before)
            C.Before();
        const TRun Mine = RunDrive(C.Script, C.Args);
        if (Mine.Code != 0)
            Problem = QStringLiteral("the driver failed (%1)").arg(Mine.Code);
        if (Problem.isEmpty() && C.Check)
            Problem = C.Check();
        const TRun Peer = C.Peer ? C.Peer() : TRun{};
        if (C.DurablePeer)
            Durables.push_back(C.DurablePeer().Seconds);
        const double Net = std::max(0.0, Mine.Seconds - Idle.Seconds);
        Ours.push_back(Net);
        Peers.push_back(std::max(0.0, Peer.Seconds));
        Ratios.push_back(Peer.Seconds > 0 ? Net / Peer.Seconds : 0);
        Extra = std::max(Extra, Mine.PeakKb - Idle.PeakKb);
        // The processor time (user and system, all threads) of the run above
        // the idle one, beside the peer's.
        const double Cpu = std::max(0.0, Mine.Cpu - Idle.Cpu);
        if (Print && C.Peer)
            std::printf("  round %d: load %.2f, ours %.3f s (run %.3f, idle %.3f; cpu %.2f s), peer %.3f s (cpu %.2f s), "
                        "ratio %.2f, peak %ld MB (idle %ld MB)\n",
                        R + 1, L, Net, Mine.Seconds, Idle.Seconds, Cpu, Peer.Seconds, Peer.Cpu, Ratios.back(),
                        Mine.PeakKb / 1024, Idle.PeakKb / 1024);
        else if (Print)
            std::printf("  round %d: load %.2f, ours %.3f s (run %.3f, idle %.3f; cpu %.2f s), peak %ld MB (idle %ld MB)\n",
                        R + 1, L, Net, Mine.Seconds, Idle.Seconds, Cpu, Mine.PeakKb / 1024, Idle.PeakKb / 1024);
    }
    TResult Res;
    Res.Ours = Median(Ours);
    Res.Peer = Median(Peers);
    Res.Ratio = Median(Ratios);
    Res.Durable = Median(Durables);
    Res.ExtraKb = Extra;
    Res.Problem = Problem;
    return Res;
}

int Cores()
{
    cpu_set_t Set;
    CPU_ZERO(&Set);
    return sched_getaffinity(0, sizeof Set, &Set) == 0 ? CPU_COUNT(&Set) : 1;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication App(argc, argv);
    int Products = 200, Rounds = 3, Members = 100000;
    bool Scale = false;
    QStringList Only;
    // Beside the build's program folder by default: never inside the sources.
    Work = QDir::cleanPath(QCoreApplication::applicationDirPath() + QStringLiteral("/../outputs-bench-work")) + QLatin1Char('/');
    const QStringList A = App.arguments();
    for (int I = 1; I < A.size(); ++I) {
        if (A[I] == QLatin1String("--products") && I + 1 < A.size())
            Products = A[++I].toInt();
        else if (A[I] == QLatin1String("--rounds") && I + 1 < A.size())
            Rounds = A[++I].toInt();
        else if (A[I] == QLatin1String("--members") && I + 1 < A.size())
            Members = A[++I].toInt();
        else if (A[I] == QLatin1String("--work") && I + 1 < A.size())
            Work = IncludeTrailingPathDelimiter(QFileInfo(A[++I]).absoluteFilePath());
        else if (A[I] == QLatin1String("--only") && I + 1 < A.size())
            Only = A[++I].split(QLatin1Char(','));
        else if (A[I] == QLatin1String("--scale"))
            Scale = true;
        else {
            std::fprintf(stderr, "usage: outputs_bench [--products N] [--rounds R] [--members M] [--work DIR] "
                                 "[--only html,book,zip,mht,package,open] [--scale]\n");
            return 2;
        }
    }
    Drive = QCoreApplication::applicationDirPath() + QStringLiteral("/quillbook-drive");
    if (!QFileInfo(Drive).isExecutable()) {
        std::fprintf(stderr, "quillbook-drive is not beside the benchmark\n");
        return 2;
    }
    for (const char *Tool : {"cp", "zip", "unzip", "base64"})
        if (QStandardPaths::findExecutable(QString::fromLatin1(Tool)).isEmpty()) {
            std::fprintf(stderr, "%s is missing (tools/bench.sh installs it)\n", Tool);
            return 2;
        }
    QDir().mkpath(Work);
    const int N = Cores();
    std::printf("outputs_bench: %d products, %d rounds, %d cores, work folder %s\n", Products, Rounds, N,
                qPrintable(Work));

    auto Wanted = [&](const char *Name) { return Only.isEmpty() || Only.contains(QString::fromLatin1(Name)); };
    const QString Python = QStringLiteral("/usr/bin/python3");

    // Builds the cases for a page of Count products.
    auto Cases = [&](int Count, QString &PageOut) {
        const QString Pics = Work + QStringLiteral("pics/");
        const QStringList Pictures = MakePictures(Pics, Count);
        const QString Root = Work + QStringLiteral("out%1/").arg(Count);
        QDir().mkpath(Root);
        const QString Id = QStringLiteral("BENCH%1").arg(Count);
        const QString Page = MakePage(Work + QStringLiteral("page%1/").arg(Count), Pictures, Root, Id);
        PageOut = Page;
        const QString Book = MakeBook(Work + QStringLiteral("page%1/").arg(Count), Page, Root);
        const QString D = Root + Id + QLatin1Char('/');
        const QString PeerDir = Work + QStringLiteral("peer/");
        const QString PicList = [&] {
            QStringList Q;
            for (const QString &P : Pictures)
                Q << Quote(P);
            return Q.join(QLatin1Char(' '));
        }();
        auto CopyPeer = [=] {
            QDir(PeerDir).removeRecursively();
            QDir().mkpath(PeerDir + QStringLiteral("images"));
            return RunShell(QStringLiteral("cp -r %1 %2 && cp -r %3 %4")
                                .arg(PicList, Quote(PeerDir + QStringLiteral("images/")), Quote(Page), Quote(PeerDir)));
        };
        const qint64 PictureBytes = [&] {
            qint64 S = 0;
            for (const QString &P : Pictures)
                S += QFileInfo(P).size();
            return S;
        }();
        auto RemoveD = [=] { QDir(D).removeRecursively(); };
        auto DurableCopyPeer = [=] {
            QDir(PeerDir).removeRecursively();
            QDir().mkpath(PeerDir + QStringLiteral("images"));
            return RunShell(QStringLiteral("cp -r %1 %2 && cp -r %3 %4 && sync %2* %4*")
                                .arg(PicList, Quote(PeerDir + QStringLiteral("images/")), Quote(Page), Quote(PeerDir)));
        };
        const QString OpenPage = QStringLiteral("wait\nquit\n");
        std::vector<TCase> List;

        TCase Html;
        Html.Name = QStringLiteral("HTML folder vs cp -r");
        Html.Script = QStringLiteral("wait\nclick HTML3\nwait\nexpect-prompts 0\nquit\n");
        Html.Args = {Page};
        Html.IdleScript = OpenPage;
        Html.IdleArgs = {Page};
        Html.Before = RemoveD;
        Html.Peer = CopyPeer;
        Html.DurablePeer = DurableCopyPeer;
        Html.Check = [=] {
            int Files = 0;
            const qint64 Bytes = FolderBytes(D + QStringLiteral("images"), &Files);
            if (!QFileInfo(D + Id + QStringLiteral(".htm")).isFile() || Bytes < PictureBytes || Files < Count)
                return QStringLiteral("the HTML folder is not whole (%1 files, %2 bytes)").arg(Files).arg(Bytes);
            return QString();
        };
        Html.TimeGoal8 = Html.TimeGoal2 = 1.5;
        List.push_back(Html);

        TCase BookCase;
        const QString BookD = Root + QStringLiteral("benchbook/");
        BookCase.Name = QStringLiteral("book frameset vs cp -r");
        BookCase.Script = QStringLiteral("wait\nclick HTML4\nwait\nexpect-prompts 0\nquit\n");
        BookCase.Args = {Book};
        BookCase.IdleScript = OpenPage;
        BookCase.IdleArgs = {Book};
        BookCase.Before = [=] { QDir(BookD).removeRecursively(); };
        BookCase.Peer = CopyPeer;
        BookCase.DurablePeer = DurableCopyPeer;
        BookCase.Check = [=] {
            int Files = 0;
            const qint64 Bytes = FolderBytes(BookD + QStringLiteral("images"), &Files);
            if (!QFileInfo(BookD + QStringLiteral("index.htm")).isFile() || Bytes < PictureBytes || Files < Count)
                return QStringLiteral("the book site is not whole (%1 files, %2 bytes)").arg(Files).arg(Bytes);
            return QString();
        };
        BookCase.TimeGoal8 = BookCase.TimeGoal2 = 1.5;
        List.push_back(BookCase);

        TCase Zip;
        const QString HtmlCopy = Work + QStringLiteral("htmlfolder%1/").arg(Count);
        Zip.Name = QStringLiteral("ZIP vs zip -r -6 of the HTML folder");
        Zip.Script = QStringLiteral("wait\nclick ZIP3\nwait\nexpect-prompts 0\nquit\n");
        Zip.Args = {Page};
        Zip.IdleScript = OpenPage;
        Zip.IdleArgs = {Page};
        Zip.Before = [=] {
            // The peer's input: the HTML folder as the program writes it.
            if (!QFileInfo::exists(HtmlCopy)) {
                RemoveD();
                RunDrive(QStringLiteral("wait\nclick HTML3\nwait\nquit\n"), {Page});
                QDir().rename(D, HtmlCopy);
            }
            RemoveD();
        };
        Zip.Peer = [=] {
            QFile::remove(Work + QStringLiteral("peer.zip"));
            return RunShell(QStringLiteral("cd %1 && zip -r -6 -q %2 .").arg(Quote(HtmlCopy), Quote(Work + QStringLiteral("peer.zip"))));
        };
        Zip.Check = [=] {
            const TRun T = Run(QStringLiteral("unzip"), {QStringLiteral("-tq"), D + Id + QStringLiteral(".zip")});
            if (T.Code != 0)
                return QStringLiteral("unzip -t fails on the archive");
            QDir Left(D);
            if (Left.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden) != QStringList{Id + QStringLiteral(".zip")})
                return QStringLiteral("the output folder holds more than the archive");
            return QString();
        };
        Zip.TimeGoal8 = 0.3;
        Zip.TimeGoal2 = 0.6;
        List.push_back(Zip);

        TCase Mht;
        Mht.Name = QStringLiteral("MHT vs base64 of the pictures");
        Mht.Script = QStringLiteral("wait\nclick MHT1\nwait\nexpect-prompts 0\nquit\n");
        Mht.Args = {Page};
        Mht.IdleScript = OpenPage;
        Mht.IdleArgs = {Page};
        Mht.Before = RemoveD;
        Mht.Peer = [=] {
            return RunShell(QStringLiteral("for f in %1; do base64 \"$f\"; done > %2").arg(PicList, Quote(Work + QStringLiteral("peer.b64"))));
        };
        Mht.Check = [=] {
            QByteArray Out;
            const QString File = Work + QStringLiteral("mhtcheck.txt");
            const TRun T = Run(Python,
                               {QStringLiteral("-c"),
                                QStringLiteral("import email,sys\nm=email.message_from_binary_file(open(sys.argv[1],'rb'))\n"
                                               "p=m.get_payload()\nprint(len(p)-1, sum(len(x.get_payload(decode=True)) for x in p[1:]))"),
                                D + Id + QStringLiteral(".htm.mht")},
                               File);
            QFile F(File);
            F.open(QIODevice::ReadOnly);
            const QString Got = QString::fromUtf8(F.readAll()).trimmed();
            if (T.Code != 0 || Got != QStringLiteral("%1 %2").arg(Count).arg(PictureBytes))
                return QStringLiteral("the message is not whole (%1)").arg(Got);
            return QString();
        };
        Mht.TimeGoal8 = Mht.TimeGoal2 = 1.2;
        List.push_back(Mht);

        // The user opens the page in the shown window: its grid is filled and
        // painted. No peer: the time is printed before and after changes.
        TCase Open;
        Open.Name = QStringLiteral("opening the page in the window");
        Open.Script = QStringLiteral("wait\nanswer file %1\nclick N85\nwait\nexpect-prompts 1\nquit\n").arg(Page);
        Open.IdleScript = QStringLiteral("wait\nquit\n");
        Open.MemoryGoalKb = 0;
        List.push_back(Open);
        return List;
    };

    QString Page;
    std::vector<TCase> List = Cases(Products, Page);
    if (Wanted("package") && Members > 0) {
        TCase Pkg;
        const QString Qba = MakePackage(Members, Page);
        const QString Unpacked = Work + QStringLiteral("peer-unzip/");
        Pkg.Name = QStringLiteral("opening a package of %1 members vs unzip -o").arg(Members);
        Pkg.Script = QStringLiteral("wait\ntext GroupBox1\nexpect-prompts 0\nquit\n");
        Pkg.Args = {Qba};
        Pkg.IdleScript = QStringLiteral("wait\nquit\n");
        Pkg.Peer = [=] {
            QDir(Unpacked).removeRecursively();
            return Run(QStringLiteral("unzip"), {QStringLiteral("-o"), QStringLiteral("-q"), Qba, QStringLiteral("-d"), Unpacked});
        };
        Pkg.TimeGoal8 = Pkg.TimeGoal2 = 1.0;
        Pkg.MemoryGoalKb = 0;
        List.push_back(Pkg);
    }

    static const std::map<QString, const char *> Keys{
        {QStringLiteral("HTML folder vs cp -r"), "html"}, {QStringLiteral("book frameset vs cp -r"), "book"},
        {QStringLiteral("ZIP vs zip -r -6 of the HTML folder"), "zip"}, {QStringLiteral("MHT vs base64 of the pictures"), "mht"},
        {QStringLiteral("opening the page in the window"), "open"}};
    int NotMet = 0;
    for (const TCase &C : List) {
        const auto K = Keys.find(C.Name);
        if (!Wanted(K == Keys.end() ? "package" : K->second))
            continue;
        std::printf("%s\n", qPrintable(C.Name));
        std::fflush(stdout);
        const TResult R = Measure(C, Rounds, true);
        if (!C.Peer) {
            NotMet += !R.Problem.isEmpty();
            std::printf("  median: ours %.3f s (no peer, no goal); peak above idle %ld MB; %s\n", R.Ours,
                        R.ExtraKb / 1024, R.Problem.isEmpty() ? "no failure" : qPrintable(R.Problem));
            std::fflush(stdout);
            continue;
        }
        const double Goal = N <= 2 ? C.TimeGoal2 : C.TimeGoal8;
        const bool TimeMet = R.Ratio <= Goal;
        const bool MemMet = C.MemoryGoalKb <= 0 || R.ExtraKb <= C.MemoryGoalKb;
        const bool Whole = R.Problem.isEmpty();
        NotMet += !TimeMet + !MemMet + !Whole;
        std::printf("  median: ours %.3f s, peer %.3f s, ratio %.2f (goal <= %.2f): %s; peak above idle %ld MB%s; "
                    "output %s\n",
                    R.Ours, R.Peer, R.Ratio, Goal, TimeMet ? "met" : "NOT met", R.ExtraKb / 1024,
                    C.MemoryGoalKb > 0 ? (MemMet ? " (goal <= 64 MB: met)" : " (goal <= 64 MB: NOT met)") : "",
                    Whole ? "whole" : qPrintable(QStringLiteral("NOT whole: ") + R.Problem));
        if (R.Durable > 0)
            std::printf("  beside the peer with a sync of what it wrote (%.3f s): ratio %.2f\n", R.Durable, R.Ours / R.Durable);
        std::fflush(stdout);
    }

    if (Scale) {
        std::printf("growth (one round each, seconds per product net of opening the page):\n");
        for (int Count : {50, 200, 400}) {
            QString P;
            std::vector<TCase> S = Cases(Count, P);
            for (const TCase &C : S) {
                const auto K = Keys.find(C.Name);
                if (!Wanted(K->second))
                    continue;
                const TResult R = Measure(C, 1, false);
                const QString Ratio = C.Peer ? QStringLiteral("ratio %1").arg(R.Ratio, 0, 'f', 2) : QStringLiteral("no peer");
                std::printf("  %3d products, %-40s ours %.3f s (%.2f ms a product), %s, peak above idle %ld MB%s\n",
                            Count, qPrintable(C.Name), R.Ours, 1000 * R.Ours / Count, qPrintable(Ratio), R.ExtraKb / 1024,
                            R.Problem.isEmpty() ? "" : qPrintable(QStringLiteral(", NOT whole: ") + R.Problem));
                std::fflush(stdout);
            }
        }
    }
    std::printf("%s\n", NotMet == 0 ? "all goals met" : qPrintable(QStringLiteral("%1 goals NOT met").arg(NotMet)));
    return 0;
}
