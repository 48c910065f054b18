// How the work on one catalog page grows with its products: the main window
// (offscreen, shown, with scripted answers in place of the user) runs each
// command on a page of N products and on one of 4N, in the same run, and the
// ratio of the two times is printed. A command whose cost follows the page
// has a ratio near 4; one near 16 does work per product that grows with the
// page.
//
// The pages are written by the page document; every product has a small
// JPEG picture of its own. The page HTML output's text (template expansion)
// is timed through TPageOutput's preview, which is capped at 512 products:
// it runs at P and 4P products below that cap.
//
// Usage: page_scale_bench [--products N] [--html P] [--only name,name...] [--rounds R]

#include "catalog/document/PageDocument.h"
#include "catalog/document/ProductBlocks.h"
#include "catalog/forms/Forms.h"
#include "catalog/forms/MainWindow.h"
#include "catalog/output/PageOutput.h"
#include "platform/core/Classes.h"
#include "platform/core/FileUtils.h"
#include "platform/graphics/Graphics.h"
#include "platform/graphics/Jpeg.h"
#include "platform/services/Application.h"
#include "platform/services/ScriptedPrompts.h"
#include "platform/services/Shell.h"

#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLineEdit>
#include <QToolButton>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

QString Work;   // with trailing "/"
QByteArray PictureBytes;
TScriptedPrompts *Answers = nullptr;   // the answers of the run

double Seconds(Clock::time_point Since)
{
    return std::chrono::duration<double>(Clock::now() - Since).count();
}

void CopyTree(const QString &From, const QString &To)
{
    QDirIterator It(From, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (It.hasNext()) {
        const QString F = It.next();
        const QString Dest = To + QLatin1Char('/') + QDir(From).relativeFilePath(F);
        QDir().mkpath(QFileInfo(Dest).absolutePath());
        QFile::copy(F, Dest);
    }
}

void WriteBytes(const QString &File, const QByteArray &Bytes)
{
    QFile F(File);
    F.open(QIODevice::WriteOnly | QIODevice::Truncate);
    F.write(Bytes);
}

// A folder of N small pictures p1.jpg .. pN.jpg.
QString PictureFolder(int N)
{
    const QString Folder = Work + QStringLiteral("pics%1/").arg(N);
    if (QFileInfo(Folder + QStringLiteral("p%1.jpg").arg(N)).isFile())
        return Folder;
    QDir().mkpath(Folder);
    for (int I = 1; I <= N; ++I)
        WriteBytes(Folder + QStringLiteral("p%1.jpg").arg(I), PictureBytes);
    return Folder;
}

// The page of N products as the program makes it: a new page's header from the
// page document, then one block a product.
QStringList PageLines(int N)
{
    TPageDocument Doc;
    Doc.InitNewPageText(TNewPageDefaults{QString(), QStringLiteral("2026-12-7"), QStringLiteral("王五"),
                                         QStringLiteral("order@example.com")});
    const std::map<QString, QString> Header{
        {QStringLiteral("{Catalog编号}"), QStringLiteral("CT1")},
        {QStringLiteral("{Catalog名称}"), QStringLiteral("样品")},
        {QStringLiteral("{客户编号}"), QStringLiteral("C-9")},
        {QStringLiteral("{客户名称}"), QStringLiteral("李四")},
        {QStringLiteral("{客户公司名}"), QStringLiteral("李氏贸易")},
        {QStringLiteral("{输出方式}"), QStringLiteral("HTML(网页文件类型)")},
        {QStringLiteral("{输出风格}"), QStringLiteral("春天系列")},
        {QStringLiteral("{输出语言}"), QStringLiteral("中文")},
    };
    for (const auto &[Key, Value] : Header)
        Doc.SetValues(Key, Value);
    QStringList L = Doc.Lines();
    L << TPageDocument::MarkerComment << TPageDocument::DetailLine << QString();
    for (int I = 1; I <= N; ++I) {
        QStringList Block = ProductBlocks::EmptyBlockLines(I);
        Block[1] += QStringLiteral("pics%1\\p%2.jpg").arg(N).arg(I);
        Block[2] += QStringLiteral("P%1").arg(I);
        Block[3] += QStringLiteral("商品%1").arg(I);
        Block[4] += QStringLiteral("%1.50").arg(I);
        Block[5] += QStringLiteral("件");
        Block[6] += QStringLiteral("5");
        Block[7] += QStringLiteral("大号");
        Block[8] += QStringLiteral("很好的商品，第%1个").arg(I);
        L << Block;
    }
    return L;
}

QString WritePage(int N, const QString &Name, const std::function<void(QStringList &)> &Damage = {})
{
    PictureFolder(N);
    QStringList L = PageLines(N);
    if (Damage)
        Damage(L);
    const QString Path = Work + Name;
    SaveLines(Path, L);
    return Path;
}

struct TWindow {
    std::unique_ptr<TForm1> Form;
    explicit TWindow()
    {
        TForm1::BrowserEnabled = false;
        Form = std::make_unique<TForm1>();
        Form->resize(1200, 900);
        Form->show();
        QApplication::processEvents();
    }
    ~TWindow()
    {
        Form->FPageSaved = true;
        Form->SpeedButton9->setEnabled(false);
        Form.reset();
        QApplication::processEvents();
    }
};

void Settle()
{
    for (int I = 0; I < 3; ++I)
        QApplication::processEvents();
}

int Blocks(TForm1 *F)
{
    return (F->CellGrid1->RowCount() - 1) / 6;
}

// One measured command: Prepare (not timed) then Act (timed, with the
// events it leaves behind).
struct TCase {
    const char *Name;
    std::function<void(TForm1 *, int N)> Prepare;
    std::function<void(TForm1 *, int N)> Act;
    bool Empty = false;   // starts from a new, empty page rather than the page of N
};

double RunCase(const TCase &C, int N, QString &Check)
{
    TWindow W;
    TForm1 *F = W.Form.get();
    if (C.Empty) {
        F->NewPage();
    } else {
        F->OpenPage(WritePage(N, QStringLiteral("page%1.qbt").arg(N)));
    }
    Settle();
    if (C.Prepare)
        C.Prepare(F, N);
    Settle();
    const auto T0 = Clock::now();
    C.Act(F, N);
    Settle();
    const double S = Seconds(T0);
    Check = QStringLiteral("products %1, lines %2").arg(Blocks(F)).arg(F->Page().Count());
    if (Answers->Failed() || !PendingScriptFailure().isEmpty() || Answers->PendingAnswers() != 0) {
        std::fprintf(stderr, "%s at %d: script failure: %s %s (answers left %d)\n", C.Name, N,
                     Answers->Failure().toUtf8().constData(), PendingScriptFailure().toUtf8().constData(),
                     Answers->PendingAnswers());
        Answers->Reset();
        ClearScriptFailure();
    }
    Answers->Reset();
    return S;
}

std::vector<TCase> Cases()
{
    std::vector<TCase> R;
    R.push_back({"open", nullptr, [](TForm1 *F, int N) { F->OpenPage(Work + QStringLiteral("page%1.qbt").arg(N)); }});
    R.push_back({"save",
                 [](TForm1 *F, int) {
                     F->FPageSaved = false;
                     F->SpeedButton9->setEnabled(true);
                 },
                 [](TForm1 *F, int) { F->SpeedButton9Click(); }});
    R.push_back({"add at end (picture)", nullptr, [](TForm1 *F, int N) {
                     F->ImportPictureFiles(PictureFolder(N) + QStringLiteral("p1.jpg"));
                 }});
    R.push_back({"insert in middle", [](TForm1 *F, int N) { F->CellGrid1->SetCurrentCell(3, 6 * (N / 2) + 1); },
                 [](TForm1 *F, int) { F->Button4Click(); }});
    R.push_back({"insert 20 in middle", [](TForm1 *F, int N) { F->CellGrid1->SetCurrentCell(3, 6 * (N / 2) + 1); },
                 [](TForm1 *F, int) {
                     for (int I = 0; I < 20; ++I)
                         F->Button4Click();
                 }});
    R.push_back({"insert N/10 pictures in middle",
                 [](TForm1 *F, int N) {
                     F->CellGrid1->SetCurrentCell(3, 6 * (N / 2) + 1);
                     QStringList Files;
                     for (int I = 1; I <= N / 10; ++I)
                         Files << PictureFolder(N) + QStringLiteral("p%1.jpg").arg(I);
                     Answers->AnswerFiles(Files);
                 },
                 [](TForm1 *F, int) { F->Button8Click(); }});
    R.push_back({"delete in middle",
                 [](TForm1 *F, int N) {
                     F->CellGrid1->SetCurrentCell(3, 6 * (N / 2) + 1);
                     Answers->AnswerButton(QStringLiteral("Yes"));
                 },
                 [](TForm1 *F, int) { F->SpeedButton4Click(); }});
    R.push_back({"clear product", [](TForm1 *F, int N) {
                     F->CellGrid1->SetCurrentCell(3, 6 * (N / 2) + 1);
                     Answers->AnswerButton(QStringLiteral("Yes"));
                 },
                 [](TForm1 *F, int) { F->N51Click(); }});
    R.push_back({"swap first and last",
                 [](TForm1 *, int N) { Answers->AnswerText(QStringLiteral("1 %1").arg(N)); },
                 [](TForm1 *F, int) { F->N62Click(); }});
    R.push_back({"move 10 places", [](TForm1 *F, int N) {
                     F->CellGrid1->SetCurrentCell(3, 6 * (N / 2) + 1);
                     Answers->AnswerText(QString::number(N / 2 + 11));
                 },
                 [](TForm1 *F, int) { F->N77Click(); }});
    R.push_back({"move first to middle", [](TForm1 *F, int N) {
                     F->CellGrid1->SetCurrentCell(3, 1);
                     Answers->AnswerText(QString::number(N / 2));
                 },
                 [](TForm1 *F, int) { F->N77Click(); }});
    R.push_back({"import folder of N", [](TForm1 *, int N) { Answers->AnswerFolder(PictureFolder(N)); },
                 [](TForm1 *F, int) { F->SpeedButton2Click(false); }, true});
    R.push_back({"auto-fill fixed price", [](TForm1 *F, int) {
                     F->CellGrid1->SetCurrentCell(3, 1);
                     Answers->AnswerText(QStringLiteral("0.78"));
                 },
                 [](TForm1 *F, int) { F->N32Click(); }});
    R.push_back({"auto-fill price (shifted page)",
                 [](TForm1 *F, int N) {
                     // A page whose blocks start one line early (no empty line after "{detail}").
                     F->OpenPage(WritePage(N, QStringLiteral("shifted%1.qbt").arg(N), [](QStringList &L) {
                         L.removeAt(L.indexOf(QStringLiteral("{detail}")) + 1);
                     }));
                     F->CellGrid1->SetCurrentCell(3, 1);
                     Answers->AnswerText(QStringLiteral("0.78"));
                 },
                 [](TForm1 *F, int) { F->N32Click(); }});
    R.push_back({"auto-fill numbered IDs", [](TForm1 *F, int) {
                     F->CellGrid1->SetCurrentCell(3, 1);
                     Answers->AnswerText(QStringLiteral("AT-"));
                 },
                 [](TForm1 *F, int) { F->N30Click(); }});
    R.push_back({"auto-fill price x1.35", [](TForm1 *F, int) {
                     F->CellGrid1->SetCurrentCell(3, 1);
                     Answers->AnswerText(QStringLiteral("1.35"));
                 },
                 [](TForm1 *F, int) { F->N33Click(); }});
    R.push_back({"auto-fill names from pictures", nullptr, [](TForm1 *F, int) { F->N35Click(); }});
    R.push_back({"auto-fill copy record", [](TForm1 *F, int) {
                     F->CellGrid1->SetCurrentCell(3, 1);
                     Answers->AnswerButton(QStringLiteral("OK"));
                     Answers->AnswerText(QStringLiteral("1"));
                 },
                 [](TForm1 *F, int) { F->N46Click(); }});
    R.push_back({"type into a product", [](TForm1 *F, int N) {
                     F->CellGrid1->SetCurrentCell(5, 6 * (N / 2) + 1);
                 },
                 [](TForm1 *F, int) {
                     for (int I = 0; I < 50; ++I) {
                         F->Edit1->setText(F->Edit1->text() + QLatin1Char('x'));
                         QApplication::processEvents();
                     }
                 }});
    R.push_back({"step through 100 cells at the end", nullptr, [](TForm1 *F, int N) {
                     for (int I = 0; I < 100; ++I)
                         F->CellGrid1SelectCell(3, 6 * (N - 20) + 1 + (I % 4));
                 }});
    R.push_back({"search (not found)", [](TForm1 *, int) { Answers->AnswerButton(QStringLiteral("OK")); },
                 [](TForm1 *F, int) { F->FindNextProduct(QStringLiteral("没有这个"), false); }});
    R.push_back({"validation", nullptr, [](TForm1 *F, int) {
                     if (!F->ValidatePageHeader())
                         std::fprintf(stderr, "validation stopped\n");
                 }});
    R.push_back({"delete all", [](TForm1 *, int) { Answers->AnswerButton(QStringLiteral("Yes")); },
                 [](TForm1 *F, int) { F->BitBtn1Click(); }});
    R.push_back({"repair (no {detail}; blank lines)",
                 [](TForm1 *, int N) {
                     // Opening it offers the repair (yes), which ends with its notice (OK).
                     WritePage(N, QStringLiteral("damaged%1.qbt").arg(N), [](QStringList &L) {
                         L.removeAll(QStringLiteral("{detail}"));
                         for (int I = int(L.size()) - 1; I > 30; I -= 9)
                             L.insert(I, QStringLiteral("   "));
                     });
                     Answers->AnswerButton(QStringLiteral("Yes"));
                     Answers->AnswerButton(QStringLiteral("OK"));
                 },
                 [](TForm1 *F, int N) { F->OpenPage(Work + QStringLiteral("damaged%1.qbt").arg(N)); }});
    R.push_back({"repair (header lines extra)",
                 [](TForm1 *F, int N) {
                     const QString Path = WritePage(N, QStringLiteral("extra%1.qbt").arg(N), [N](QStringList &L) {
                         for (int I = 0; I < N / 10; ++I)
                             L.insert(5, QStringLiteral("/* 注释 %1").arg(I));
                     });
                     F->OpenPage(Path);
                     Answers->AnswerButton(QStringLiteral("OK"));
                 },
                 [](TForm1 *F, int) { F->QBT1Click(); }});
    R.push_back({"repair (N junk header lines)",
                 [](TForm1 *F, int N) {
                     const QString Path = WritePage(N, QStringLiteral("junk%1.qbt").arg(N), [N](QStringList &L) {
                         QStringList Junk;
                         for (int I = 0; I < N; ++I)
                             Junk << (I % 4 == 0   ? QString()
                                      : I % 4 == 1 ? QStringLiteral("/* 注释 %1").arg(I)
                                      : I % 4 == 2 ? QStringLiteral("杂行 %1").arg(I)
                                                   : QStringLiteral("{自定%1}=值").arg(I % 50));
                         for (int I = 0; I < Junk.size(); ++I)
                             L.insert(3 + I, Junk.at(I));
                     });
                     F->OpenPage(Path);
                     Answers->AnswerButton(QStringLiteral("OK"));
                 },
                 [](TForm1 *F, int) { F->QBT1Click(); }});
    R.push_back({"repair (broken block lines)",
                 [](TForm1 *F, int N) {
                     const QString Path = WritePage(N, QStringLiteral("broken%1.qbt").arg(N), [](QStringList &L) {
                         for (int I = 23; I < L.size(); ++I) {
                             if (L.at(I) == QStringLiteral("{$%1}").arg((I - 23) / 9 + 1) && (I - 23) / 9 % 3 == 1)
                                 L[I] = QStringLiteral("  $%1}").arg((I - 23) / 9 + 1);
                         }
                         for (int I = int(L.size()) - 1; I > 24; I -= 7)
                             L.insert(I, QString());
                     });
                     F->OpenPage(Path);
                     Answers->AnswerButton(QStringLiteral("OK"));
                 },
                 [](TForm1 *F, int) { F->QBT1Click(); }});
    return R;
}

double HtmlTextTime(int Products, int &Lines)
{
    const QString Page = WritePage(Products, QStringLiteral("html%1.qbt").arg(Products));
    TPageOutput Out(LoadLines(Page), Page, ProgramFolder());
    Out.ScratchFolder = Work + QStringLiteral("scratch/");
    QString Result;
    const auto T0 = Clock::now();
    Out.Run(omPreview, false, QString(), Result);
    const double S = Seconds(T0);
    Lines = int(Out.Output().size());
    return S;
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // The window's start-up walk reads the command line: it gets none.
    int AppArgc = 1;
    QApplication App(AppArgc, argv);
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    int N = 1000, Html = 100, Rounds = 1;
    QStringList Only;
    for (int I = 1; I < argc; ++I) {
        const QString A = QString::fromLocal8Bit(argv[I]);
        if (A == QLatin1String("--products") && I + 1 < argc)
            N = std::atoi(argv[++I]);
        else if (A == QLatin1String("--html") && I + 1 < argc)
            Html = std::atoi(argv[++I]);
        else if (A == QLatin1String("--rounds") && I + 1 < argc)
            Rounds = std::max(1, std::atoi(argv[++I]));
        else if (A == QLatin1String("--only") && I + 1 < argc)
            Only = QString::fromLocal8Bit(argv[++I]).split(QLatin1Char(','));
    }

    QTemporaryDir Dir;
    Work = Dir.path() + QLatin1Char('/');
    const QString Home = Work + QStringLiteral("program");
    CopyTree(QStringLiteral(QB_DATA_DIR), Home);
    QDir().mkpath(Home + QStringLiteral("/目录册"));
    SetProgramFolder(Home);
    {
        QImage Image(64, 48, QImage::Format_RGB888);
        Image.fill(QColor(200, 120, 40));
        TBitmap Bitmap;
        Bitmap.SetImage(Image);
        TJPEGImage Jpeg;
        Jpeg.Assign(&Bitmap);
        Jpeg.SaveToFile(Work + QStringLiteral("one.jpg"));
        QFile F(Work + QStringLiteral("one.jpg"));
        F.open(QIODevice::ReadOnly);
        PictureBytes = F.readAll();
    }

    auto OwnPrompts = std::make_unique<TScriptedPrompts>();
    Answers = OwnPrompts.get();
    SetPrompts(std::move(OwnPrompts));
    SetShell(std::make_unique<TScriptedShell>());
    TModalHooks Hooks;
    Hooks.ShowModal = [](QDialog *) { return 2; };
    SetModalHooks(std::move(Hooks));

    std::printf("page of N = %d and 4N = %d products, best of %d; ratio = time(4N) / time(N), linear ~ 4\n\n", N,
                4 * N, Rounds);
    std::printf("%-36s %10s %10s %7s   %s\n", "command", "N (s)", "4N (s)", "ratio", "after (4N)");
    for (const TCase &C : Cases()) {
        if (!Only.isEmpty() && !Only.contains(QString::fromLatin1(C.Name)))
            continue;
        double T[2] = {1e9, 1e9};
        QString Check;
        for (int R = 0; R < Rounds; ++R)
            for (int K = 0; K < 2; ++K)
                T[K] = std::min(T[K], RunCase(C, K == 0 ? N : 4 * N, Check));
        std::printf("%-36s %10.4f %10.4f %7.2f   %s\n", C.Name, T[0], T[1], T[1] / std::max(1e-9, T[0]),
                    Check.toUtf8().constData());
        std::fflush(stdout);
    }
    if (Only.isEmpty() || Only.contains(QStringLiteral("html"))) {
        double T[2] = {1e9, 1e9};
        int Lines[2] = {0, 0};
        for (int R = 0; R < Rounds; ++R)
            for (int K = 0; K < 2; ++K)
                T[K] = std::min(T[K], HtmlTextTime(K == 0 ? Html : 4 * Html, Lines[K]));
        std::printf("%-36s %10.4f %10.4f %7.2f   %d and %d lines of HTML (at %d and %d products)\n",
                    "page HTML text (preview)", T[0], T[1], T[1] / std::max(1e-9, T[0]), Lines[0], Lines[1], Html,
                    4 * Html);
    }
    return 0;
}
