#include "PageOutput.h"

#include "ChmCompiler.h"
#include "HtmlText.h"
#include "MhtWriter.h"
#include "OutputFolders.h"
#include "PageArchive.h"
#include "WebEffects.h"
#include "catalog/document/CompanyFiles.h"
#include "catalog/document/Package.h"
#include "catalog/document/PageDocument.h"
#include "platform/core/Classes.h"
#include "platform/core/FileUtils.h"
#include "platform/core/OutputFiles.h"
#include "platform/core/SysUtils.h"
#include "platform/core/Types.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QTemporaryDir>
#include <QUuid>

#include <algorithm>
#include <memory>


namespace {

const QString ReturnMarker = QStringLiteral("         <TD>&nbsp; </TD>");
// The credit in the footer of every published page: text only, since the
// catalogue goes to customers and no address of ours belongs in it.
const QString CreditChinese = QStringLiteral("本页面由 Quillbook 商品目录工具制作");
const QString CreditEnglish = QStringLiteral("Made with Quillbook catalog publisher");

// The text after the first "=" of a line, whole.
QString AfterEquals(const QString &Line)
{
    const int I = int(Line.indexOf(QLatin1Char('=')));
    return I < 0 ? QString() : Line.mid(I + 1);
}

int ToInt(const QString &S)
{
    return StrToInt(S);
}

} // namespace

TPageOutput::TPageOutput(const QStringList &PageLines, const QString &PagePath, const QString &ProgramFolder)
    : FPage(PageLines), FPagePath(PagePath), FExe(IncludeTrailingPathDelimiter(ProgramFolder))
{
    FPageFolder = DocumentFolder(PagePath);
    ScratchFolder = FExe + QStringLiteral("tmp/");
}

// ------------------------------------------------------------- small pieces

QString TPageOutput::PageValue(const QStringList &Lines, const QString &Key)
{
    for (const QString &L : Lines) {
        const int I = int(L.indexOf(QLatin1Char('=')));
        if (I >= 0 && L.left(I).compare(Key, Qt::CaseInsensitive) == 0)
            return L.mid(I + 1);
    }
    return QString();
}

int TPageOutput::PageOutputType(const QString &Value)
{
    const QString V = Trim(Value);
    if (V == QStringLiteral("MHT(单文件网页)"))
        return otMht;
    if (V == QStringLiteral("HTML(网页文件类型)"))
        return otHtml;
    if (V == QStringLiteral("QBA(Catalog包文件)"))
        return otPageCopy;
    if (V == QStringLiteral("CHM(帮助文件类型)"))
        return otChm;
    return otZip;
}

bool TPageOutput::IsSafeName(const QString &Name)
{
    if (Name.isEmpty() || Name == QStringLiteral(".") || Name == QStringLiteral(".."))
        return false;
    for (const QChar C : Name) {
        if (C == QLatin1Char('/') || C == QLatin1Char('\\') || C == QLatin1Char(':') || C.unicode() < 0x20
            || C.unicode() == 0x7F)
            return false;
    }
    return Name.size() <= 200;
}

QString TPageOutput::FileBaseName(const QString &Path)
{
    return ExtractFileBaseName(Path);
}

QString TPageOutput::NewGuidString()
{
    return QUuid::createUuid().toString(QUuid::WithBraces).toUpper();
}

QString TPageOutput::HtmlEscape(const QString &Text)
{
    QString R;
    R.reserve(Text.size());
    for (const QChar C : Text) {
        switch (C.unicode()) {
        case '&': R += QStringLiteral("&amp;"); break;
        case '"': R += QStringLiteral("&quot;"); break;
        case '<': R += QStringLiteral("&lt;"); break;
        case '>': R += QStringLiteral("&gt;"); break;
        default: R += C;
        }
    }
    return R;
}

QString TPageOutput::ExpandLine(const QString &Line, const std::function<QString(const QString &)> &Lookup,
                                const std::function<void()> &OnUnpaired, const QList<HtmlText::TPlace> &Places,
                                const std::function<bool(const QString &)> &Markup)
{
    QString S = Line;
    int From = 0;
    for (qsizetype Index = 0;; ++Index) {
        const int A = int(S.indexOf(QLatin1Char('{'), From));
        if (A < 0)
            break;
        const int B = int(S.indexOf(QLatin1Char('}'), From));
        if (B < 0)
            break;
        if (A > B) {
            if (OnUnpaired)
                OnUnpaired();
            break;
        }
        const QString Token = S.mid(A, B - A + 1);
        QString Value = Lookup(Token);
        if (!(Markup && Markup(Token)))
            Value = HtmlText::ValueFor(Places.value(Index, HtmlText::plText), Value);
        S.replace(A, B - A + 1, Value);
        // Resume after the inserted text: a value is never expanded again.
        From = A + int(Value.size());
    }
    return S;
}

void TPageOutput::Report(const QString &Caption, int Position) const
{
    if (Hooks.Progress)
        Hooks.Progress(Caption, Position);
}

void TPageOutput::CheckCancel() const
{
    if (Hooks.Cancelled && Hooks.Cancelled())
        Abort();
}

void TPageOutput::ShowError(const QString &Text) const
{
    if (Hooks.ShowError)
        Hooks.ShowError(Text);
}

// A stored path as a full path: absolute paths stay; otherwise below the page
// folder when the file is there, else below the program folder.
QString TPageOutput::Resolve(const QString &Stored) const
{
    if (IsAbsoluteStoredPath(Stored))
        return NativePath(Stored);
    if (!FPageFolder.isEmpty()) {
        const QString InPage = FPageFolder + NativePath(Stored);
        if (FileExists(InPage))
            return InPage;
    }
    return FExe + NativePath(Stored);
}

namespace {
int GFolderLooks = 0;
} // namespace

int TPageOutput::FolderLooks()
{
    return GFolderLooks;
}

// The name a source file takes beside the page: its own name, unless another
// file of this output took it already; then "name(2).ext" and so on.
QString TPageOutput::OutName(const QString &Path)
{
    const QString Key = QFileInfo(Path).absoluteFilePath();
    const auto Known = FOutName.constFind(Key);
    if (Known != FOutName.constEnd())
        return Known.value();
    QString Name = ExtractFileName(Path);
    // A package carries its pictures under names every computer and the zip
    // library take as plain names; a name taken already gets its number as
    // any other.
    if (FType == otPageCopy)
        Name = QbaPackage::CarriedName(Name);
    // The help compiler drops blanks at the ends of a name and then finds no
    // file: the copy the page names in a help file has none there.
    if (FType == otChm || (SharedNames && SharedNames->ForHelpFile))
        Name = ChmFileName(Name);
    const int Dot = int(Name.lastIndexOf(QLatin1Char('.')));
    const QString Stem = Dot > 0 ? Name.left(Dot) : Name;
    const QString Ext = Dot > 0 ? Name.mid(Dot) : QString();
    const QString NameKey = Name.toLower();
    // In a book output the pictures folder is shared by every page: a name an
    // earlier page used for another picture is taken too. What the earlier
    // pages placed is known by name and size, so a page looks at the folder
    // only for files of its picture's size and for names no page placed.
    const QString Images = FOutputArg.isEmpty() ? QString() : FOutputArg + QStringLiteral("images/");
    TSharedPictureNames::TName *Shared = Images.isEmpty() || !SharedNames ? nullptr : &SharedNames->Names[NameKey];
    const qint64 Size = Shared ? FileSizeOf(Key) : -1;
    auto OwnedHere = [&](const QString &C) {
        return FNameOwner.contains(C.toLower()) || C.compare(QStringLiteral("M_back.jpg"), Qt::CaseInsensitive) == 0;
    };
    auto TakenByOtherPage = [&](const QString &C) {
        if (Images.isEmpty())
            return false;
        if (Shared && Shared->Placed.contains(C.toLower()))
            return true;   // an earlier page's other picture: one of equal content was looked for below
        ++GFolderLooks;
        const QString There = Images + C;
        return QFileInfo(There).isFile() && QFileInfo(There).absoluteFilePath() != Key && !SameFileContent(There, Key);
    };
    auto Numbered = [&](int K) { return Stem + QStringLiteral("(%1)").arg(K) + Ext; };

    QString Candidate;
    if (Shared) {
        const QString Before = SharedNames->BySource.value(Key);
        if (!Before.isEmpty() && !OwnedHere(Before))
            Candidate = Before;
    }
    if (Shared && Candidate.isEmpty()) {
        for (auto It = Shared->BySize.constFind(Size); It != Shared->BySize.constEnd() && It.key() == Size; ++It) {
            ++GFolderLooks;
            if (!OwnedHere(It.value()) && SameFileContent(Images + It.value(), Key)) {
                Candidate = It.value();
                break;
            }
        }
    }
    if (Candidate.isEmpty()) {
        // The numbers this run (and, in a book, the pages before) gave to
        // files of this name already are passed over at once: many pictures
        // of one name cost one look each, not one per picture before them.
        Candidate = Name;
        for (int K = std::max(FFirstFreeNumber.value(NameKey, 2), Shared ? Shared->FirstFree : 2);
             OwnedHere(Candidate) || TakenByOtherPage(Candidate); ++K)
            Candidate = Numbered(K);
    }
    FNameOwner.insert(Candidate.toLower(), Key);
    FOutName.insert(Key, Candidate);
    int Free = FFirstFreeNumber.value(NameKey, 2);
    while (FNameOwner.contains(Numbered(Free).toLower()))
        ++Free;
    FFirstFreeNumber.insert(NameKey, Free);
    if (Shared && !Shared->Placed.contains(Candidate.toLower())) {
        Shared->Placed.insert(Candidate.toLower());
        Shared->BySize.insert(Size, Candidate);
        while (Shared->Placed.contains(Numbered(Shared->FirstFree).toLower()))
            ++Shared->FirstFree;
    }
    if (Shared && !SharedNames->BySource.contains(Key))
        SharedNames->BySource.insert(Key, Candidate);
    return Candidate;
}

QString TPageOutput::PairValue(const QString &Token) const
{
    for (const QString &L : FPairs) {
        const int I = int(L.indexOf(QLatin1Char('=')));
        if (I >= 0 && L.left(I).compare(Token, Qt::CaseInsensitive) == 0)
            return L.mid(I + 1);
    }
    return QString();
}

QStringList TPageOutput::LoadTemplate(const QString &Name) const
{
    return LoadLines(FExe + FStyle + Name);
}

// ------------------------------------------------------------------ settings

void TPageOutput::ReadSettings()
{
    FId = PageValue(FPage, QStringLiteral("{Catalog编号}"));
    FEffect = Trim(PageValue(FPage, QStringLiteral("{视觉效果}")));

    const QString StyleName = Trim(PageValue(FPage, QStringLiteral("{输出风格}")));
    FStyle = QStringLiteral("html/") + StyleName + QLatin1Char('/');
    if (StyleName.isEmpty() || !IsSafeName(StyleName) || !DirectoryExists(FExe + FStyle))
        FStyle = QStringLiteral("html/标准模式/");

    const QString W = Trim(PageValue(FPage, QStringLiteral("{图片宽}")));
    FW = (W.isEmpty() || W == QStringLiteral("自动")) ? 0 : ToInt(W);
    const QString H = Trim(PageValue(FPage, QStringLiteral("{图片高}")));
    FH = (H.isEmpty() || H == QStringLiteral("自动")) ? 0 : ToInt(H);
    const QString P = Trim(PageValue(FPage, QStringLiteral("{图片框百分比}")));
    FPct = P.isEmpty() ? 75 : ToInt(P);

    QString Root = OwnOutputRoot ? QString() : TrimLeft(PageValue(FPage, QStringLiteral("{输出目录}")));
    if (Root.isEmpty())
        Root = FExe + QStringLiteral("输出/");
    else if (!IsAbsoluteStoredPath(Root))
        Root = FExe + NativePath(Root);
    else
        Root = NativePath(Root);
    FRoot = IncludeTrailingPathDelimiter(Root);

    FChinese = Trim(PageValue(FPage, QStringLiteral("{输出语言}"))) != QStringLiteral("英文");
    FType = PageOutputType(PageValue(FPage, QStringLiteral("{输出方式}")));
}

void TPageOutput::BuildPairs()
{
    const QString Cols3 = FExe + QStringLiteral("cols3.dat");
    if (FileExists(Cols3))
        FPairs = LoadLines(Cols3);

    auto Add = [this](const QString &Pair, const QString &Key) { FPairs << Pair + PageValue(FPage, Key); };
    Add(QStringLiteral("{$CATA_ID}="), QStringLiteral("{Catalog编号}"));
    Add(QStringLiteral("{$CATA_NAME}="), QStringLiteral("{Catalog名称}"));
    Add(QStringLiteral("{$CO_SALESMAN}="), QStringLiteral("{业务员名}"));
    Add(QStringLiteral("{$CO_CSTID}="), QStringLiteral("{客户编号}"));
    const QString Customer = PageValue(FPage, QStringLiteral("{客户名称}"));
    if (!Customer.isEmpty())
        FPairs << QStringLiteral("{$CO_CSTNAME}=To: ") + Customer + QStringLiteral(" From: ");
    Add(QStringLiteral("{$CO_CSTCOM}="), QStringLiteral("{客户公司名}"));
    Add(QStringLiteral("{$CATA_DATE}="), QStringLiteral("{日期}"));
    Add(QStringLiteral("{$CUR_CY}="), QStringLiteral("{货币符号}"));

    // Background picture and music: dropped when the file is not there (the
    // page's validation has asked about them).
    const QString Bg = PageValue(FPage, QStringLiteral("{背景图片}"));
    if (!Bg.isEmpty()) {
        const QString Path = Resolve(Bg);
        if (FileExists(Path))
            FBackground = Path;
    }
    const QString Music = PageValue(FPage, QStringLiteral("{背景音乐}"));
    if (!Music.isEmpty()) {
        const QString Path = Resolve(Music);
        if (FileExists(Path))
            FMusic = Path;
    }
    if (!FBackground.isEmpty())
        FPairs << QStringLiteral("{$GBIMG}=background=\"") + HtmlEscape(PictureValue(FBackground)) + QLatin1Char('"');
    if (!FMusic.isEmpty())
        FPairs << QStringLiteral("{$GBSOUND}=<bgsound src=\"") + HtmlEscape(PictureValue(FMusic))
                + QStringLiteral("\" loop=\"-1\">");

    Add(QStringLiteral("{$PUNIT}="), QStringLiteral("{产品单位}"));
    FWeightUnitPair = QStringLiteral("{$PWT_UNIT}=") + PageValue(FPage, QStringLiteral("{重量单位}"));
    FPairs << FWeightUnitPair;
    Add(QStringLiteral("{$ORD_MAIL}="), QStringLiteral("{订单接收email地址}"));
    Add(QStringLiteral("{$CO_REMARK}="), QStringLiteral("{Catalog说明}"));
}

// How a file of the output is referred to from the page (as an address).
QString TPageOutput::PictureValue(const QString &Path)
{
    if (FMode == omPreview)
        return HtmlText::FileAddress(Path);
    const QString Name = HtmlText::FileAddress(OutName(Path));
    if (FType == otChm || !FOutputArg.isEmpty())
        return Name;
    return QStringLiteral("images/") + Name;
}

// ------------------------------------------------------------------ expansion

void TPageOutput::NoteStyleBack(const QStringList &Template)
{
    for (const QString &L : Template)
        FStyleShowsBack = FStyleShowsBack || L.contains(QStringLiteral("M_back.jpg"), Qt::CaseInsensitive);
}

void TPageOutput::ExpandHead()
{
    const QStringList Head = LoadTemplate(FChinese ? QStringLiteral("CATA_CN_BEGIN.htm") : QStringLiteral("CATA_EN_BEGIN.htm"));
    const auto Places = HtmlText::AttributePlaces(Head);
    NoteStyleBack(Head);
    for (int K = 0; K < Head.size(); ++K) {
        const QString Line = ExpandLine(
            Head.at(K),
            [this](const QString &Token) {
                if (Token == QStringLiteral("{$STHEAD}"))
                    FOut << WebEffects::LoadEffectText(FExe, FEffect, QStringLiteral("head"));
                else if (Token == QStringLiteral("{$STBODY}"))
                    FOut << WebEffects::LoadEffectText(FExe, FEffect, QStringLiteral("body"));
                return PairValue(Token);
            },
            [this, K] { ShowError(QStringLiteral("处理字符串时发现不配对的{}，在头文件第%1行。").arg(K)); },
            Places->value(K));
        FOut << Line;
    }
}

void TPageOutput::ExpandBody()
{
    const QStringList Body = LoadTemplate(FChinese ? QStringLiteral("BODY_CN.htm") : QStringLiteral("BODY_EN.htm"));
    const auto Places = HtmlText::AttributePlaces(Body);
    NoteStyleBack(Body);
    // The picture's address is made for its attribute (escaped, with the size attributes after it).
    const auto PictureAddress = [](const QString &Token) { return Token == QStringLiteral("{$IMG}"); };
    auto PageLine = [this](int I) { return I < FPage.size() ? FPage.at(I) : QString(); };
    // A product starts at a line that is exactly its marker, as the page
    // document reads it: a value that holds "{$3}" starts nothing. Every
    // product the page holds is published, however many there are: the grid
    // shows them all, and a page cut short would be a price list with
    // products silently missing.
    for (int I = 1; I < FPage.size(); ++I) {
        const int N = TPageDocument::BlockNumberOfLine(FPage.at(I));
        if (N < 1)
            continue;
        // The record: every value by its key, each value whole and verbatim
        // (whatever braces, markers or keys it holds, however long: a cut
        // would leave a pasted table or tag open and take the products after
        // it into it).
        const QString Stored = AfterEquals(PageLine(I + 1));
        const QString Picture = Trim(Stored).isEmpty() ? QString() : Resolve(Stored);
        if (!Picture.isEmpty())
            FPictures << Picture;
        if (!Picture.isEmpty() && !FileExists(Picture)) {
            const QString Id = Trim(TPageOutput::PageValue(FPage.mid(I + 2, 7), QStringLiteral("{$PID}")));
            FMissing << (Id.isEmpty() ? QStringLiteral("第%1个商品").arg(N) : QStringLiteral("商品“%1”").arg(Id))
                    + QStringLiteral("的图片：") + Stored;
        }
        QHash<QString, QString> Record{
            {QStringLiteral("{$IMG}"), Picture},
            {QStringLiteral("{$PRIC_ID}"), QStringLiteral("C6R2") + QString::number(N - 1)},
            {QStringLiteral("{$WEIGHT_ID}"), QStringLiteral("C7R3") + QString::number(N - 1)},
            {QStringLiteral("{图片框百分比}"), QString::number(FPct)},
            {QStringLiteral("{图片框剩余比}"), QString::number(100 - FPct)},
        };
        for (int J = I + 2; J <= I + 8; ++J) {
            const QString Line = PageLine(J);
            const int Eq = int(Line.indexOf(QLatin1Char('=')));
            const QString Key = Eq < 0 ? QString() : Line.left(Eq);
            if (Key.size() < 3 || !Key.startsWith(QLatin1Char('{')) || !Key.endsWith(QLatin1Char('}')) || Record.contains(Key))
                continue;
            QString Value = Line.mid(Eq + 1);
            if (Key == QStringLiteral("{$PWEIGHT}") && Trim(Value.left(12)).isEmpty())
                Value += QLatin1Char('0');
            Record.insert(Key, TrimRight(Value));
        }
        const int UnitEq = int(FWeightUnitPair.indexOf(QLatin1Char('=')));
        if (!Record.contains(QStringLiteral("{$PWT_UNIT}")))
            Record.insert(QStringLiteral("{$PWT_UNIT}"), TrimRight(FWeightUnitPair.mid(UnitEq + 1)));

        auto Lookup = [&](const QString &Token) {
            QString V = Record.value(Token);
            if (Token == QStringLiteral("{$IMG}") && !V.isEmpty()) {
                V = HtmlEscape(PictureValue(Picture));
                if (FW > 0)
                    V += QStringLiteral("\" width=\"") + QString::number(FW);
                if (FH > 0)
                    V += QStringLiteral("\" height=\"") + QString::number(FH);
            }
            return V;
        };
        for (int K = 0; K < Body.size(); ++K)
            FOut << ExpandLine(
                Body.at(K), Lookup,
                [this, K] { ShowError(QStringLiteral("处理字符串时发现不配对的{}，在body文件第%1行。").arg(K)); },
                Places->value(K), PictureAddress);
    }
}

void TPageOutput::ReturnLink()
{
    for (int I = int(FOut.size()) - 1; I >= 0; --I) {
        if (FOut.at(I).contains(ReturnMarker)) {
            FOut[I] = QStringLiteral("<TD><a name=\"Fviews\"></a><a href=javascript:window.history.go(-1)>")
                + (FChinese ? QStringLiteral("返回") : QStringLiteral("RETURN")) + QStringLiteral("</a> </TD>");
            return;
        }
    }
}

void TPageOutput::ExpandTail()
{
    const QStringList Tail = LoadTemplate(FChinese ? QStringLiteral("CATA_CN_end.htm") : QStringLiteral("CATA_EN_end.htm"));
    FPairs << QStringLiteral("{Version}=") + (FChinese ? CreditChinese : CreditEnglish);
    const auto Places = HtmlText::AttributePlaces(Tail);
    NoteStyleBack(Tail);
    for (int K = 0; K < Tail.size(); ++K)
        FOut << ExpandLine(Tail.at(K), [this](const QString &Token) { return PairValue(Token); },
                           [this, K] { ShowError(QStringLiteral("处理字符串时发现不配对的{}，在尾文件第%1行。").arg(K)); },
                           Places->value(K));
}

// ---------------------------------------------------------------------- run

void TPageOutput::Run(int Mode, bool OpenAfterwards, const QString &OutputFolder, QString &ResultPath)
{
    ResultPath.clear();
    FMode = Mode;
    FOutputArg = OutputFolder.isEmpty() ? QString() : IncludeTrailingPathDelimiter(NativePath(OutputFolder));
    FPairs.clear();
    FOut.clear();
    FPictures.clear();
    FOutName.clear();
    FNameOwner.clear();
    FFirstFreeNumber.clear();
    FCreatedFiles.clear();
    FMissing.clear();
    FStyleShowsBack = false;
    FCreatedImages = false;
    FCreatedPage = false;
    FCreatedD = false;

    // Every setting is read (and every number converted) before anything is written.
    ReadSettings();
    switch (Mode) {
    case omZip: FType = otZip; break;
    case omMht: FType = otMht; break;
    case omSfx: FType = otSfx; break;
    case omHtml: FType = otHtml; break;
    case omChm: FType = otChm; break;
    case omPackage:
    case omPageCopy: FType = otPageCopy; break;
    default: break;
    }
    if (!IsSafeName(FId))
        throw Exception(QStringLiteral("无效的catalog编号，输出终止。"));
    BuildPairs();

    // Company data of the output language.
    const QString Company = FExe + (FChinese ? QStringLiteral("cols1.dat") : QStringLiteral("cols2.dat"));
    if (FileExists(Company)) {
        const QStringList C = LoadLines(Company);
        static const char *const Names[9] = {"{$CO_NAME}=", "{$CO_CNCT}=", "{$CO_MOBILE}=", "{$CO_TEL}=", "{$CO_FAX}=",
                                             "{$CO_WEB}=", "{$CO_MAIL}=", "{$CO_ADDR}=", "{$CO_POST}="};
        // A line the company dialog stored as "联系人=王五" publishes its value,
        // as a new page's salesman reads it.
        for (int I = 1; I <= 9; ++I)
            FPairs << QString::fromUtf8(Names[I - 1]) + CompanyFiles::LineValue(C.value(I));
    }

    ExpandHead();
    ExpandBody();
    ReturnLink();
    ExpandTail();

    if (Mode != omPreview)
        WarnMissingPictures();
    if (Mode == omPreview) {
        Preview();
        return;
    }

    // The page's output folder goes again when this run made it and left
    // nothing in it (a book output writes into its own folder), also when the
    // run ends early. The claim on it ends with the run.
    struct TRemoveEmptyFolder {
        TPageOutput &Out;
        ~TRemoveEmptyFolder()
        {
            Out.FClaim.Release();
            if (Out.FCreatedD && QDir(Out.FD).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System))
                QDir().rmdir(Out.FD);
        }
    } RemoveEmpty{*this};
    // The copies of this run; what is not in place when the run ends goes again.
    TOutputFiles Files;
    FFiles = &Files;
    struct TForget {
        TOutputFiles *&Files;
        ~TForget() { Files = nullptr; }
    } Forget{FFiles};
    Report(QStringLiteral("正在输出页面：") + FId, 0);
    bool Done = true;
    try {
        PrepareFolders();
        CheckCancel();
        switch (FType) {
        case otZip: ZipBranch(ResultPath); break;
        case otMht: MhtBranch(ResultPath); break;
        case otSfx: Done = SfxBranch(ResultPath); break;
        case otHtml: HtmlBranch(ResultPath); break;
        case otPageCopy: Done = PageCopyBranch(ResultPath); break;
        case otChm: Done = ChmBranch(); break;
        default: break;
        }
    } catch (...) {
        // A run that fails (a full disk, a picture that cannot be copied)
        // leaves none of its picture copies behind; the branches remove the
        // page files they wrote.
        CleanUp(QString());
        throw;
    }
    // A failed output has said why; it opens nothing (its folder may be gone).
    if (Done && OpenAfterwards && Hooks.ShellOpen)
        Hooks.ShellOpen(FRoot + FId + QLatin1Char('/'));
}

void TPageOutput::WarnMissingPictures()
{
    if (FMissing.isEmpty() || !Hooks.ShowWarning)
        return;
    constexpr int Shown = 20;
    // A page copy (a package) carries only the pictures it finds; the others
    // keep their paths in it.
    QString Text = FType == otPageCopy
        ? QStringLiteral("以下商品的图片文件找不到，这些图片不会打包，页面中保留它们原来的路径：")
        : QStringLiteral("以下商品的图片文件找不到，输出的页面中不会显示这些图片：");
    for (int I = 0; I < FMissing.size() && I < Shown; ++I)
        Text += QStringLiteral("\r\n") + FMissing.at(I);
    if (FMissing.size() > Shown)
        Text += QStringLiteral("\r\n……共 %1 个图片文件找不到。").arg(FMissing.size());
    Hooks.ShowWarning(Text);
}

void TPageOutput::Preview()
{
    QDir().mkpath(ScratchFolder);
    HtmlText::SavePage(IncludeTrailingPathDelimiter(ScratchFolder) + QStringLiteral("tmpfile.htm"), FOut, FChinese);
    if (Hooks.ShellOpen)
        Hooks.ShellOpen(IncludeTrailingPathDelimiter(ScratchFolder) + QStringLiteral("tmpfile.htm"));
}

void TPageOutput::PrepareFolders()
{
    // The program's own output folder is made when it is missing; a folder the
    // user named must exist.
    const QString OwnRoot = FExe + QStringLiteral("输出/");
    if (FRoot == OwnRoot)
        ForceDirectories(OwnRoot);
    if (!DirectoryExists(FRoot)) {
        QString Answer = Hooks.BrowseForFolder ? Hooks.BrowseForFolder(QStringLiteral("输出路径无效，请重新选择：")) : QString();
        FRoot = Answer.isEmpty() ? OwnRoot : IncludeTrailingPathDelimiter(Answer);
        if (FRoot == OwnRoot)
            ForceDirectories(OwnRoot);
    }
    FD = FRoot + FId;
    // Another page of the same 目录编号 (a new page made the same day, a page
    // received from another computer) publishes into the same folder: what it
    // made there is replaced only when the user says so. This page's own
    // earlier outputs are replaced as they always were.
    // A folder nobody is recorded for (made by hand, or by an earlier
    // version) is asked about only when it holds files of this page's output
    // names.
    // The folder is claimed (looked at, made when missing and recorded as
    // this page's) in one step, before anything is written: another program
    // publishing a page of the same 目录编号 at the same moment finds it
    // claimed, and asks.
    if (FOutputArg.isEmpty() && !Maker.isEmpty()) {
        if (!FClaim.Take(FExe, FD, Maker, [this] { return HoldsOutputNames(); })) {
            if (!(Hooks.AskReplace
                  && Hooks.AskReplace(OutputFolders::ReplaceQuestion(FD, FClaim.Other(), QStringLiteral("页面")))))
                Abort();
            FClaim.Take(FExe, FD, Maker, {}, true);
        }
        FCreatedD = FClaim.Made();
    }
    if (!DirectoryExists(FD)) {
        if (!QDir().mkdir(FD))
            throw EInOutError(QStringLiteral("不能创建目录 %1").arg(FD));
        FCreatedD = true;
    }
    FImages = FOutputArg.isEmpty() ? FD + QStringLiteral("/images") : FOutputArg + QStringLiteral("images");
    // What a killed output or save of ours left where this one writes goes
    // now, whatever kind of output this is.
    for (const QString &Folder : {FD, FOutputArg, FImages})
        if (!Folder.isEmpty())
            RemoveLeftoverTemps(Folder);
    if (!FBackground.isEmpty())
        FPictures << FBackground;
    if (!FMusic.isEmpty())
        FPictures << FMusic;
    // The archives and the message take the pictures from where they are:
    // they need no pictures folder.
    if (!CopiesPictures())
        return;
    if (!DirectoryExists(FImages)) {
        if (!QDir().mkdir(FImages))
            throw EInOutError(QStringLiteral("不能创建目录 %1").arg(FImages));
        FCreatedImages = true;
    }
    try {
        if (FType != otChm)
            CopyPictures();
        const QString Back = FExe + FStyle + QStringLiteral("back.jpg");
        const QString Dest = FD + QStringLiteral("/images/M_back.jpg");
        if (FileExists(Back) && DirectoryExists(FD + QStringLiteral("/images")))
            FFiles->Copy(Back, Dest);
        CommitCopies();
    } catch (...) {
        FFiles->Discard();
        CleanUp(QString());
        throw;
    }
}

bool TPageOutput::HoldsOutputNames()
{
    const QString Base = FD + QLatin1Char('/') + FId;
    for (const char *Ext : {".htm", ".zip", ".htm.mht", ".chm", ".exe", ".jpg", "_1.jpg", ".pdf"})
        if (QFileInfo(Base + QLatin1String(Ext)).isFile())
            return true;
    if (QFileInfo(FD + QStringLiteral("/catalog.qba")).isFile())
        return true;
    const QString Images = FD + QStringLiteral("/images/");
    if (!DirectoryExists(Images))
        return false;
    QStringList Shown = FPictures;
    Shown << FBackground << FMusic;
    for (const QString &P : std::as_const(Shown))
        if (!P.isEmpty() && FileExists(P) && QFileInfo(Images + OutName(P)).isFile())
            return true;
    return QFileInfo(Images + QStringLiteral("M_back.jpg")).isFile();
}

bool TPageOutput::CopiesPictures() const
{
    return FType == otHtml || FType == otChm || (FType == otPageCopy && !MakesPackage());
}

// The page copy of a page output is a package (the menu's package command,
// and a page whose output type is the package, through any command); a
// book's page copy goes into the book's own package.
bool TPageOutput::MakesPackage() const
{
    return FType == otPageCopy && FMode != omPageCopy;
}

void TPageOutput::CommitCopies()
{
    const QStringList Targets = FFiles->Targets();
    QStringList New;
    for (const QString &T : Targets)
        if (!QFileInfo::exists(T))
            New << T;
    // Counted as this run's before they are in place: a commit that fails
    // half way leaves none of them behind.
    FCreatedFiles << New;
    FFiles->Commit();
    if (SharedNames && !FOutputArg.isEmpty()) {
        const QString Images = IncludeTrailingPathDelimiter(FImages);
        for (const QString &T : Targets)
            if (T.startsWith(Images))
                SharedNames->Written.insert(T.mid(Images.size()).toLower());
    }
}

QList<QPair<QString, QString>> TPageOutput::PictureMembers()
{
    QList<QPair<QString, QString>> Members;
    QSet<QString> Names;
    for (const QString &P : std::as_const(FPictures)) {
        if (!FileExists(P))
            continue;
        const QString Name = QStringLiteral("images/") + OutName(P);
        if (!Names.contains(Name)) {
            Names.insert(Name);
            Members << qMakePair(P, Name);
        }
    }
    // The style's background goes in when the style's page shows it.
    const QString Back = FExe + FStyle + QStringLiteral("back.jpg");
    if (FStyleShowsBack && FileExists(Back))
        Members << qMakePair(Back, QStringLiteral("images/M_back.jpg"));
    return Members;
}

void TPageOutput::CopyPictures()
{
    const QString Target = IncludeTrailingPathDelimiter(FImages);
    const int Count = int(FPictures.size());
    for (int I = 0; I < Count; ++I) {
        const QString &P = FPictures.at(I);
        Report(QStringLiteral("总计图片 %1 个，正在复制第 %2 个。").arg(Count).arg(I + 1), 50 * (I + 1) / Count);
        // A cancel ends the output here; what was copied so far goes again.
        CheckCancel();
        if (!FileExists(P))
            continue;
        const QString Name = OutName(P);
        const QString Dest = Target + Name;
        if (FFiles->Has(Dest) || QFileInfo(Dest).absoluteFilePath() == QFileInfo(P).absoluteFilePath())
            continue;
        // An earlier page of this book put this very picture there under
        // this name (the naming gives another picture another name): a
        // second copy would only write the same bytes again.
        if (SharedNames && !FOutputArg.isEmpty() && SharedNames->Written.contains(Name.toLower())
            && QFileInfo::exists(Dest))
            continue;
        FFiles->Copy(P, Dest);
    }
}

// Removes what this run put into the pictures folder, the folder when this run
// made it, and the page file Html; nothing else.
void TPageOutput::CleanUp(const QString &Html)
{
    for (const QString &F : std::as_const(FCreatedFiles))
        QFile::remove(F);
    if (FCreatedImages)
        QDir().rmdir(FImages);
    if (!Html.isEmpty())
        QFile::remove(Html);
}

QString TPageOutput::StagePage(QTemporaryDir &Stage, const QString &Name) const
{
    if (!Stage.isValid())
        throw EInOutError(QStringLiteral("不能创建临时目录。"));
    const QString Html = Stage.filePath(Name);
    HtmlText::SavePage(Html, FOut, FChinese);
    return Html;
}

QTemporaryDir *TPageOutput::NewStage() const
{
    QDir().mkpath(ScratchFolder);
    return new QTemporaryDir(IncludeTrailingPathDelimiter(ScratchFolder) + QStringLiteral("page-XXXXXX"));
}

// The archives and the message hold the page and the pictures it shows, and
// nothing else of the output folder (earlier outputs, pictures of products
// deleted since, the user's files). Their page is written for them in a
// scratch folder: what an HTML output left in the output folder stays as it
// was, whatever becomes of this output.
void TPageOutput::ZipBranch(QString &ResultPath)
{
    const std::unique_ptr<QTemporaryDir> Stage(NewStage());
    const QString Name = FId + QStringLiteral(".htm");
    PageArchive::TMembers Members{qMakePair(StagePage(*Stage, Name), Name)};
    Members << PictureMembers();
    const QString Zip = FD + QLatin1Char('/') + FId + QStringLiteral(".zip");
    PageArchive::ZipFiles(
        Zip, Members,
        [this](int Percent) {
            Report(QStringLiteral("正在压缩：%1%").arg(Percent), 50 + Percent / 2);
            // The window's own packing caption, where it listens.
            if (Hooks.ZipProgress)
                Hooks.ZipProgress(Percent);
        },
        Hooks.Cancelled);
    ResultPath = Zip + QLatin1Char(' ');
}

void TPageOutput::MhtBranch(QString &ResultPath)
{
    const std::unique_ptr<QTemporaryDir> Stage(NewStage());
    const QString Html = StagePage(*Stage, FId + QStringLiteral(".htm"));
    // The parts are read from the pictures themselves, located by the names
    // the page uses for them; a picture many products show is one part.
    QStringList Files, Names;
    QSet<QString> Written;
    for (const QString &P : std::as_const(FPictures)) {
        if (FileExists(P)) {
            const QString Name = OutName(P);
            if (Written.contains(Name))
                continue;
            Written.insert(Name);
            Files << P;
            Names << Name;
        }
    }
    TMhtWriter Writer;
    Writer.Names = Names;
    Writer.PageId = FId;
    Writer.Chinese = FChinese;
    Writer.OnProgress = Hooks.MhtProgress;
    Writer.Cancelled = Hooks.Cancelled;
    Writer.MessagePath = FD + QLatin1Char('/') + FId + QStringLiteral(".htm.mht");
    Writer.Write(Html, Files, ResultPath, QString());
}

bool TPageOutput::SfxBranch(QString &ResultPath)
{
    const std::unique_ptr<QTemporaryDir> Stage(NewStage());
    const QString Name = QStringLiteral("catalog2.htm");
    PageArchive::TMembers Members{qMakePair(StagePage(*Stage, Name), Name)};
    Members << PictureMembers();
    const QString Exe = FD + QLatin1Char('/') + FId + QStringLiteral(".exe");
    QString Error;
    const bool Ok = PageArchive::MakeSelfExtracting(Exe, Members, Error, Hooks.ZipProgress);
    if (!Ok) {
        ShowError(QStringLiteral("自解压文件生成失败。") + Error);
        return false;
    }
    ResultPath = Exe + QLatin1Char(' ');
    return true;
}

void TPageOutput::HtmlBranch(QString &ResultPath)
{
    const QString Path = FOutputArg.isEmpty() ? FD + QLatin1Char('/') + FId + QStringLiteral(".htm")
                                              : IncludeTrailingPathDelimiter(FImages) + NewGuidString() + QStringLiteral(".htm");
    FCreatedPage = !FileExists(Path);
    HtmlText::SavePage(Path, FOut, FChinese);
    ResultPath = Path;
}

bool TPageOutput::PageCopyBranch(QString &ResultPath)
{
    // Only the lines of these keys are rewritten, and only for a file the copy
    // carries in its images folder; a value that merely holds a key's text
    // stays as it is. A picture that is not there (a page brought from another
    // computer names "C:\\...\\茶壶1.jpg") is not carried: its line keeps the
    // value the page had, so that the copy never names a file it does not
    // hold and the value is not lost on the way.
    QStringList Copy = FPage;
    for (QString &L : Copy) {
        if (L.startsWith(QStringLiteral("{背景图片}="))) {
            if (!FBackground.isEmpty())
                L = QStringLiteral("{背景图片}=images\\") + OutName(FBackground);
        } else if (L.startsWith(QStringLiteral("{背景音乐}="))) {
            if (!FMusic.isEmpty())
                L = QStringLiteral("{背景音乐}=images\\") + OutName(FMusic);
        } else if (L.startsWith(QStringLiteral("{$IMG}="))) {
            // A product without a picture keeps its empty path: "images\" alone
            // would name the pictures folder as its picture.
            const QString Stored = L.mid(7);
            const QString Picture = Trim(Stored).isEmpty() ? QString() : Resolve(Stored);
            if (!Picture.isEmpty() && FileExists(Picture))
                L = QStringLiteral("{$IMG}=images\\") + OutName(Picture);
        }
    }
    FOut = Copy;
    if (MakesPackage()) {
        // The package is put together in a folder of our own: the package
        // writer packs everything in its folder and then removes its pictures
        // folder, and D may hold files and pictures of the user's.
        QDir().mkpath(ScratchFolder);
        QTemporaryDir Stage(IncludeTrailingPathDelimiter(ScratchFolder) + QStringLiteral("qba-XXXXXX"));
        if (!Stage.isValid())
            throw EInOutError(QStringLiteral("不能创建临时目录。"));
        const QString Folder = Stage.path() + QLatin1Char('/');
        if (!QDir().mkdir(Folder + QStringLiteral("images")))
            throw EInOutError(QStringLiteral("不能创建目录 %1").arg(Folder + QStringLiteral("images")));
        // Scratch copies, packed and removed at once: nothing to sync.
        TOutputFiles Copies(false);
        for (const QString &P : std::as_const(FPictures)) {
            const QString Dest = Folder + QStringLiteral("images/") + OutName(P);
            if (FileExists(P) && !Copies.Has(Dest))
                Copies.Copy(P, Dest);
        }
        Copies.Commit();
        SaveLines(Folder + QStringLiteral("catalog.qbt"), FOut);
        // What this run put into D goes again; the package stands beside it.
        CleanUp(QString());
        if (Hooks.WriteQbaPackage)
            Hooks.WriteQbaPackage(Folder, QStringLiteral("catalog.qbt"), FD + QStringLiteral("/catalog.qba"), false,
                                  ResultPath);
        return !ResultPath.isEmpty();
    }
    QString Saved;
    if (FOutputArg.isEmpty())
        Saved = FD + QStringLiteral("/catalog.qbt");
    else if (OpenPageEntry.endsWith(QStringLiteral(".qbt"), Qt::CaseInsensitive) && IsSafeName(OpenPageEntry))
        // A page file's own name, whole: "p.v2.qbt" stays itself, so a book
        // package lists its pages under the names it had.
        Saved = FOutputArg + OpenPageEntry;
    else
        Saved = FOutputArg + FileBaseName(OpenPageEntry) + QStringLiteral(".qbt");
    SaveLines(Saved, FOut);
    if (!FOutputArg.isEmpty())
        ResultPath = Saved;
    return true;
}

bool TPageOutput::ChmBranch()
{
    QDir().mkpath(ScratchFolder);
    const QString Scratch = IncludeTrailingPathDelimiter(ScratchFolder);
    const QString Topic = Scratch + QStringLiteral("tmpfile.htm");
    HtmlText::SavePage(Topic, FOut, FChinese);

    // The project lists the files under the names the page uses: copies in a
    // work folder of their own, so two pictures of one name stay apart.
    const QString Work = Scratch + QStringLiteral("chmfiles/");
    QDir(Work).removeRecursively();
    QDir().mkpath(Work);
    QStringList Files;
    QStringList Failed;
    // The copies are named by the user's pictures in every message.
    QHash<QString, QString> Origins;
    for (const QString &P : std::as_const(FPictures)) {
        if (!FileExists(P))
            continue;   // a missing picture stays a reference, as in every output
        const QString Copy = Work + OutName(P);
        if (!FileExists(Copy) && !QFile::copy(P, Copy)) {
            Failed << P;
            continue;
        }
        Files << Copy;
        Origins.insert(QFileInfo(Copy).absoluteFilePath(), P);
    }
    if (!Failed.isEmpty()) {
        QDir(Work).removeRecursively();
        CleanUp(QString());
        ShowError(ChmFailedFilesMessage(Failed, QStringList(Failed.size(), QStringLiteral("不能读取"))));
        return false;
    }
    QStringList Project{
        QStringLiteral("[OPTIONS]"),
        QStringLiteral("Binary Index=No"),
        QStringLiteral("Compatibility=1.1 or later"),
        QStringLiteral("Compiled file=") + FD + QLatin1Char('/') + FId + QStringLiteral(".chm"),
        QStringLiteral("Default Window=WindowName"),
        QStringLiteral("Default topic=") + Topic,
        QStringLiteral("Display compile progress=No"),
        QStringLiteral("Flat=Yes"),
        FChinese ? QStringLiteral("Language=0x804 中文(中国)") : QStringLiteral("Language=0x409 英语(美国)"),
        QString(),
        QStringLiteral("[WINDOWS]"),
        QStringLiteral("WindowName=\"") + FId + QStringLiteral("\",,,,,,,,,,,0x2040,[0,0,1024,739],0x1020000,,,,,,0"),
        QString(),
        QStringLiteral("[FILES]"),
    };
    Project << Files;
    const QString Hhp = Scratch + QStringLiteral("tmpchm.hhp");
    SaveLines(Hhp, Project);
    TChmCompiler &Compiler = ChmCompilerInstance();
    Compiler.Cancelled = Hooks.Cancelled;
    Compiler.Origins = Origins;
    // The page itself is the user's page.
    if (!FPagePath.isEmpty())
        Compiler.Origins.insert(QFileInfo(Topic).absoluteFilePath(), FPagePath);
    bool Ok = false;
    try {
        Ok = Compiler.Compile(Hhp, Hooks.ChmProgress);
    } catch (...) {
        Compiler.Cancelled = nullptr;
        Compiler.Origins.clear();
        throw;
    }
    Compiler.Cancelled = nullptr;
    Compiler.Origins.clear();
    QDir(Work).removeRecursively();
    CleanUp(QString());
    if (!Ok && Hooks.Cancelled && Hooks.Cancelled())
        Abort();
    if (!Ok)
        ShowError(ChmFailureMessage(Compiler));
    return Ok;
}
