#include "BookOutput.h"

#include "ChmCompiler.h"
#include "HtmlText.h"
#include "MhtWriter.h"
#include "OutputFolders.h"
#include "PageOutput.h"
#include "catalog/document/CatalogBook.h"
#include "catalog/document/Package.h"
#include "catalog/document/PageDocument.h"
#include "catalog/document/ReceivedPaths.h"
#include "platform/core/Classes.h"
#include "platform/core/FileUtils.h"
#include "platform/core/OutputFiles.h"
#include "platform/core/Types.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <exception>



const QString TBookOutput::FolderMark = QStringLiteral(".quillbook-book-output");

namespace {

QString Esc(const QString &S)
{
    return TPageOutput::HtmlEscape(S);
}

} // namespace

TBookOutput::TBookOutput(const QStringList &BookLines, const QString &BookPath, const QString &ProgramFolder,
                         const QString &Language)
    : FBook(BookLines)
    , FBookPath(BookPath)
    , FExe(IncludeTrailingPathDelimiter(ProgramFolder))
{
    const QString L = Language.trimmed();
    FCharset = (L.isEmpty() || L == QStringLiteral("中文")) ? QStringLiteral("gb2312") : QStringLiteral("iso-8859-1");
}

QStringList TBookOutput::ListedEntries(const QStringList &BookLines)
{
    QStringList Entries;
    const int First = TCatalogBook::FirstEntryLine(BookLines);
    if (First >= 0)
        for (int I = First; I < BookLines.size(); ++I)
            // A blank line names nothing.
            if (!BookLines.at(I).trimmed().isEmpty())
                Entries << BookLines.at(I);
    return Entries;
}

bool TBookOutput::IsReadableFile(const QString &Path)
{
    const QFileInfo F(Path);
    return F.isFile() && F.isReadable();
}

bool TBookOutput::IsPageEntry(const QString &Path)
{
    return TCatalogBook::IsPageEntry(Path);
}

QStringList TBookOutput::EntriesLeftOut() const
{
    QStringList Names;
    for (const QString &Listed : ListedEntries(FBook))
        if (!IsReadableFile(TCatalogBook::ResolveEntry(FBookPath, Listed)))
            Names << Listed;
    return Names;
}

QString TBookOutput::OutputRoot() const
{
    if (!RootOverride.isEmpty())
        return IncludeTrailingPathDelimiter(RootOverride);
    const QString Out = NativePath(TCatalogBook::Value(FBook, QStringLiteral("Catalog_Output")).trimmed());
    if (Out.startsWith(QLatin1Char('/')) && DirectoryExists(Out))
        return IncludeTrailingPathDelimiter(Out);
    return FExe + QStringLiteral("输出/");
}

QStringList TBookOutput::FramesetLines(const QString &Title, const QString &Charset, const QString &IndexPage,
                                       bool ForMht)
{
    const QString P = ForMht ? QString() : QStringLiteral("images/");
    return {
        QStringLiteral("<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.0 Frameset//EN\">"),
        // The title is text up to its end tag: markup in the book's name is not.
        QStringLiteral("<HTML><HEAD><TITLE>") + HtmlText::RawTextValue(Title) + QStringLiteral("</TITLE>"),
        QStringLiteral("<META http-equiv=Content-Type content=\"text/html; charset=") + Charset + QStringLiteral("\">"),
        QStringLiteral("<META content=\"MSHTML 6.00.2900.3059\" name=GENERATOR></HEAD>"),
        QStringLiteral("<FRAMESET id=bbsArea name=main frameSpacing=0 frameBorder=no cols=176,8,*>"),
        QStringLiteral("<FRAME id=_leftup name=leftup src=\"") + P + QStringLiteral("left.htm\" scrolling=yes>"),
        QStringLiteral("<FRAME name=control marginWidth=0 src=\"") + P
            + QStringLiteral("control_new.htm\" noResize scrolling=no>"),
        QStringLiteral("<FRAME name=right src=\"") + P + Esc(HtmlText::FileAddress(IndexPage)) + QStringLiteral("\" scrolling=yes>"),
        QStringLiteral("</FRAMESET>"),
        QStringLiteral("</HTML>"),
    };
}

QString TBookOutput::ChmWindowLine(const QString &IndexPage)
{
    return QStringLiteral("WindowName=,\"Contents.hhc\",,\"%1\",\"%1\",,,,,0x23420,,0x307e,,,,,,,,0").arg(IndexPage);
}

void TBookOutput::Report(int Position, const QString &Caption) const
{
    if (Hooks.Progress)
        Hooks.Progress(Position, Caption);
}

QString TBookOutput::RecordFile(const QString &ProgramFolder)
{
    return OutputFolders::SiteRecordFile(ProgramFolder);
}

bool TBookOutput::MadeByBookOutput(const QString &Folder) const
{
    // A site record that could not be read or written (damaged, a folder in
    // its place) still leaves the record of who made the folder: this very
    // book made it.
    return FileExists(Folder + FolderMark) || OutputFolders::IsSiteFolder(FExe, Folder)
        || (!Maker.isEmpty() && OutputFolders::MadeBy(FExe, Folder) == Maker);
}

void TBookOutput::RememberSiteFolder(const QString &Folder) const
{
    // A record that cannot be written is passed over (rebuilt by the next
    // output that can write it): the output is made all the same.
    OutputFolders::RememberSiteFolder(FExe, Folder);
}

bool TBookOutput::SiteHoldsFiles() const
{
    QStringList There = QDir(FD).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    There.removeOne(FKept);
    return !There.isEmpty();
}

// Two books of one file name (two default books, a book received from
// another computer) share their site folder: the other book's site is
// emptied only when the user says so. The folder is claimed (looked at, made
// when it is missing and recorded as this book's) in one step, before
// anything is written, and held while the output runs: another program
// making a site of a book of the same name at the same moment finds it
// claimed, and asks.
bool TBookOutput::ClaimSiteFolder()
{
    // The package the book was opened from may lie in its own site folder.
    FKept.clear();
    if (!KeepFile.isEmpty()) {
        const QFileInfo K(KeepFile);
        const QString Site = QFileInfo(FD).canonicalFilePath();
        if (K.isFile() && !Site.isEmpty() && QFileInfo(K.absolutePath()).canonicalFilePath() == Site)
            FKept = K.fileName();
    }
    if (Maker.isEmpty())
        return true;
    if (FClaim.Take(FExe, FD, Maker, [this] { return SiteHoldsFiles(); }, false, FKept))
        return true;
    if (SiteHoldsFiles() && !MadeByBookOutput(FD))
        throw EInOutError(QStringLiteral("输出目录 %1 已经存在，并且不是由目录册输出创建的，输出不能完成。").arg(FD));
    if (!(Hooks.AskReplace && Hooks.AskReplace(OutputFolders::ReplaceQuestion(FD, FClaim.Other(), QStringLiteral("目录册")))))
        return false;
    FClaim.Take(FExe, FD, Maker, {}, true, FKept);
    return true;
}

// D is emptied only when an earlier book output made it; a folder of the
// user's that happens to carry the name is never touched. The record of the
// folders made is kept in the program folder: nothing of ours goes into the
// site, which is uploaded as it stands.
void TBookOutput::PrepareSiteFolder()
{
    if (DirectoryExists(FD)) {
        if (SiteHoldsFiles()) {
            // A claimed folder is this book's now.
            if (Maker.isEmpty() && !MadeByBookOutput(FD))
                throw EInOutError(QStringLiteral("输出目录 %1 已经存在，并且不是由目录册输出创建的，输出不能完成。").arg(FD));
            if (!EmptyFolder(FD, false, FKept))
                throw EInOutError(QStringLiteral("不能清空输出目录 %1").arg(FD));
        }
    } else if (!ForceDirectories(FD)) {
        throw EInOutError(QStringLiteral("不能创建目录 %1").arg(FD));
    }
    RememberSiteFolder(FD);
}

// The site's own files in images/ are there before any file the book lists:
// a listed file of one of their names is copied under a new name, instead of
// being overwritten by the navigation, the help project or standing in for
// the control frame.
void TBookOutput::PlaceSiteFiles(int Flags)
{
    const QString Images = FD + QStringLiteral("images/");
    if (!DirectoryExists(Images) && !CreateDir(Images))
        throw EInOutError(QStringLiteral("不能创建目录 %1").arg(Images));
    for (const char *Data : {"control_new.htm", "middle_1.gif", "middle_bg.gif"}) {
        const QString Source = FExe + QString::fromLatin1(Data);
        const QString Dest = Images + QString::fromLatin1(Data);
        if (!FileExists(Source))
            continue;
        if (!CopyFile(Source, Dest, false))
            throw EInOutError(CopyFailedText(Source, Dest, errno));
        FMade << Dest;
    }
    // Written whole once every entry is known.
    HtmlText::SavePage(Images + QStringLiteral("left.htm"), {QStringLiteral("<html></html>")}, true);
    if (Flags == bfChm) {
        SaveLines(Images + QStringLiteral("tmpchm.hhp"), {});
        SaveLines(Images + QStringLiteral("Contents.hhc"), {});
    }
}

// A file that is not a page goes into images/ under its own name, or under a
// new one when another file of that name is there already. Returns its entry:
// its path below images/.
QString TBookOutput::CopyOtherFile(const QString &Path, bool ForPackage, bool ForHelpFile)
{
    // images/ is there: the site's own files went in first.
    const QString Images = FD + QStringLiteral("images/");
    const QString Name = ExtractFileName(Path);
    const QString Base = TPageOutput::FileBaseName(Name);
    // The companion folder of a saved web page: <base>.files beside the file.
    // The page names its pictures by that folder: a second page of the name,
    // renamed beside the first, would show the first one's pictures. It goes
    // into a folder of its own with its companion instead.
    const QString Companion = ExtractFilePath(Path) + Base + QStringLiteral(".files");
    if (DirectoryExists(Companion)) {
        const QString Source = QFileInfo(Path).absoluteFilePath();
        if (const auto Known = FSavedPages.constFind(Source); Known != FSavedPages.constEnd())
            return Known.value();
        QString Folder;
        if (QFileInfo::exists(Images + Name) || QFileInfo::exists(Images + Base + QStringLiteral(".files"))) {
            for (int K = 2;; ++K) {
                Folder = Base + QStringLiteral("(%1)/").arg(K);
                if (!QFileInfo::exists(Images + Folder))
                    break;
            }
            if (!CreateDir(Images + Folder))
                throw EInOutError(QStringLiteral("不能创建目录 %1").arg(Images + Folder));
        }
        if (!CopyFile(Path, Images + Folder + Name, false))
            throw EInOutError(CopyFailedText(Path, Images + Folder + Name, errno));
        CopyFilesFolder(Companion, Images + Folder + Base + QStringLiteral(".files/"));
        FSavedPages.insert(Source, Folder + Name);
        return Folder + Name;
    }
    // A package carries the file under a name it can carry, and its book
    // lists that name; another file there of that name gives it a number, as
    // any name taken does.
    // A name another listed file took already in another case is taken too:
    // unpacked where case is ignored, one would overwrite the other.
    const QString Carried = ForPackage ? QbaPackage::CarriedName(Name) : ForHelpFile ? ChmFileName(Name) : Name;
    const QString Ext = ExtractFileExt(Carried);
    const QString Stem = Carried.left(Carried.size() - Ext.size());
    for (int K = 1;; ++K) {
        const QString Try = K == 1 ? Carried : QStringLiteral("%1(%2)%3").arg(Stem, QString::number(K), Ext);
        if (QFileInfo::exists(Images + Try) || QFileInfo(Images + Try).isSymLink()) {
            // The same file listed twice is copied once.
            if (QFileInfo(Images + Try).isFile() && SameFileContent(Path, Images + Try))
                return Try;
            continue;
        }
        if (FTaken.contains((QStringLiteral("images/") + Try).toCaseFolded()))
            continue;
        if (CopyFile(Path, Images + Try, true))
            return Try;
        if (errno != EEXIST)
            throw EInOutError(CopyFailedText(Path, Images + Try, errno));
    }
}

// The files (not the sub-folders) of Source into Dest; a name taken gets a new
// one. The files that cannot be copied (or not even named: held in another
// code page) are told, as a folder that cannot be made is.
void TBookOutput::CopyFilesFolder(const QString &Source, const QString &Dest)
{
    if (!DirectoryExists(Dest) && !CreateDir(Dest)) {
        if (Hooks.ShowError)
            Hooks.ShowError(QStringLiteral("不能创建目录") + Dest + QStringLiteral("\r\n或无该目录权限"));
        return;
    }
    const QString From = IncludeTrailingPathDelimiter(Source);
    QStringList Files, Failed;
    TSearchRec Rec;
    for (int R = FindFirst(From + QLatin1Char('*'), faAnyFile, Rec); R == 0; R = FindNext(Rec))
        if (!(Rec.Attr & (faDirectory | faSymLink | faSysFile)))
            Files << From + Rec.Name;
    for (const QString &N : std::as_const(Rec.Undecodable))
        Failed << From + N;
    FindClose(Rec);
    std::sort(Files.begin(), Files.end());
    for (const QString &F : std::as_const(Files))
        if (CopyFileRenaming(F, Dest).isEmpty())
            Failed << F;
    if (!Failed.isEmpty() && Hooks.ShowError)
        Hooks.ShowError(QStringLiteral("以下文件不能复制到") + Dest + QStringLiteral("：\r\n") + Failed.join(QStringLiteral("\r\n")));
}

QString TBookOutput::KeptPlace(const QString &Listed) const
{
    if (!ReceivedPaths::IsPlainRelative(Listed))
        return QString();
    const QString Place = QDir::cleanPath(NativePath(Listed));
    if (Place.isEmpty() || Place == QLatin1String(".") || Place.endsWith(QLatin1Char('/')))
        return QString();
    // A place the package cannot carry as it is: the file is named anew, as
    // the files of a book on disk are.
    for (const QString &Part : Place.split(QLatin1Char('/')))
        if (QbaPackage::CarriedName(Part) != Part)
            return QString();
    // A page whose file name ends in blanks is copied under its plain name,
    // and listed by that name: the listed one would not open as a page.
    if (IsPageEntry(Place) && !Place.endsWith(QStringLiteral(".qbt"), Qt::CaseInsensitive))
        return QString();
    // The package's own files and the site's files in images/ keep their
    // names; an entry of one of them is copied under a new name instead.
    const QString Folded = Place.toCaseFolded();
    for (const QString &Own : {QStringLiteral("index.dat"), FB + QStringLiteral(".qbs"), FB + QStringLiteral(".qba"),
                               QStringLiteral("images/left.htm"), QStringLiteral("images/control_new.htm"),
                               QStringLiteral("images/middle_1.gif"), QStringLiteral("images/middle_bg.gif")})
        if (Folded == Own.toCaseFolded())
            return QString();
    return Place;
}

// A file kept at its place below D, with the companion folder of a saved
// web page beside it. A place listed twice is the same file, copied once.
void TBookOutput::CopyKeptFile(const QString &Path, const QString &Place)
{
    const QString Dest = FD + Place;
    if (FMade.contains(Dest))
        return;
    const QString Folder = ExtractFilePath(Dest);
    if (!DirectoryExists(Folder) && !ForceDirectories(Folder))
        throw EInOutError(QStringLiteral("不能创建目录 %1").arg(Folder));
    if (!CopyFile(Path, Dest, false))
        throw EInOutError(CopyFailedText(Path, Dest, errno));
    const QString Base = TPageOutput::FileBaseName(ExtractFileName(Path));
    const QString Companion = ExtractFilePath(Path) + Base + QStringLiteral(".files");
    if (DirectoryExists(Companion))
        CopyFilesFolder(Companion, Folder + Base + QStringLiteral(".files/"));
}

TSharedPictureNames &TBookOutput::PictureNames(const QString &Folder)
{
    return FPictureNames[QDir::cleanPath(Folder)];
}

// The page copies of a package are named by their entries' base names, as
// the package can carry them; two entries of one base name get distinct
// copies.
QString TBookOutput::UniquePageEntry(const QString &Path, bool ForPackage)
{
    QString Base = TCatalogBook::SafeFileName(TPageOutput::FileBaseName(ExtractFileName(Path)));
    if (ForPackage)
        Base = QbaPackage::CarriedName(Base);
    if (Base.isEmpty())
        Base = QStringLiteral("page");
    const QString Book = (FB + QStringLiteral(".qbs")).toCaseFolded();
    auto Taken = [&](const QString &Name) {
        const QString Folded = Name.toCaseFolded();
        return FTaken.contains(Folded) || Folded == Book;
    };
    QString Name = Base + QStringLiteral(".qbt");
    if (!Taken(Name))
        return Name;
    // The numbers below the one tried last for this base name are taken already.
    int &Next = FNextCopy[Base.toCaseFolded()];
    for (int K = std::max(Next, 2);; ++K) {
        Name = Base + QStringLiteral("(%1).qbt").arg(K);
        if (!Taken(Name)) {
            Next = K + 1;
            return Name;
        }
    }
}

// The site's files may vanish while it is made (its folder removed or moved
// by someone else half way, a page's output failing): a site, archive or help
// file without some of its pages is no result, and says so.
void TBookOutput::CheckSiteWhole() const
{
    for (const QString &F : FMade)
        if (!QFileInfo(F).isFile())
            throw EInOutError(QStringLiteral("目录册输出所生成的文件“%1”已不存在（输出目录可能在输出时被删除或移动），输出没有完成。")
                                  .arg(NativePath(F)));
}

void TBookOutput::RemoveSiteFiles()
{
    QDir(FD + QStringLiteral("images")).removeRecursively();
    DeleteFile(FD + QStringLiteral("index.htm"));
}

QString TBookOutput::SiteBaseName() const
{
    const QString B = TCatalogBook::SafeFileName(TPageOutput::FileBaseName(ExtractFileName(FBookPath)));
    return B.isEmpty() ? QStringLiteral("catalog") : B;
}

QString TBookOutput::PlannedSiteFolder() const
{
    return OutputRoot() + SiteBaseName() + QLatin1Char('/');
}

void TBookOutput::NameSiteFolder()
{
    FB = SiteBaseName();
    const QString R = OutputRoot();
    if (!DirectoryExists(R) && !ForceDirectories(R))
        throw EInOutError(QStringLiteral("不能创建目录 %1").arg(R));
    FD = R + FB + QLatin1Char('/');
}

QString TBookOutput::FolderForFiles(bool *Made)
{
    NameSiteFolder();
    if (Made)
        *Made = !DirectoryExists(FD);
    RemoveLeftoverTemps(FD);
    if (!DirectoryExists(FD)) {
        if (!ForceDirectories(FD))
            throw EInOutError(QStringLiteral("不能创建目录 %1").arg(FD));
        // Made as the book's output folder: its next output may empty it.
        RememberSiteFolder(FD);
        if (!Maker.isEmpty())
            OutputFolders::Remember(FExe, FD, Maker);
    }
    return FD;
}

TBookOutput::TResult TBookOutput::Run(int Flags, bool OpenAfterwards, QString &ResultPath)
{
    // Every page writes its pictures into the site's one pictures folder.
    TSweepOnce SweepOnce;
    ResultPath.clear();
    FE.clear();
    FListed.clear();
    FMade.clear();
    FOrigins.clear();
    FTaken.clear();
    FPictureNames.clear();
    FNextCopy.clear();
    FSavedPages.clear();
    FX.clear();
    const QString Name = TCatalogBook::Value(FBook, QStringLiteral("Catalog_name"));

    // The site links, lists and opens only what it holds: an entry that is
    // no readable file (the caller named those before the run) is left out.
    QStringList Lines;
    for (const QString &Listed : ListedEntries(FBook))
        if (IsReadableFile(TCatalogBook::ResolveEntry(FBookPath, Listed)))
            Lines << Listed;
    const int N = int(Lines.size());
    if (N == 0)
        throw EInOutError(QStringLiteral("目录册中没有可以输出的页面或文件，输出不能完成。"));
    NameSiteFolder();
    // The site folder stays claimed until the output ends.
    struct TReleaseClaim {
        OutputFolders::TFolderClaim &Claim;
        ~TReleaseClaim() { Claim.Release(); }
    } ReleaseClaim{FClaim};
    // The site folder goes again when this run made it and leaves it empty
    // (an output that failed or stopped), as a page's output folder does.
    struct TRemoveEmptySite {
        const QString &Folder;
        bool Made = false;
        ~TRemoveEmptySite()
        {
            if (Made && QDir(Folder).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System))
                QDir().rmdir(Folder);
        }
    } RemoveEmptySite{FD};
    const bool Existed = DirectoryExists(FD);
    if (!ClaimSiteFolder())
        return brCancelled;
    Report(0, QStringLiteral("总计：%1 个文件，正在处理第：1 个").arg(N));
    PrepareSiteFolder();
    RemoveEmptySite.Made = FClaim.Made() || !Existed;
    // A run that ends in an error (a full disk, a file that cannot be made)
    // leaves no half-made site: its pages, pictures and frames go again.
    struct TSiteOnError {
        TBookOutput &Out;
        const int Unwinding = std::uncaught_exceptions();
        ~TSiteOnError()
        {
            if (std::uncaught_exceptions() > Unwinding)
                Out.RemoveSiteFiles();
        }
    } SiteOnError{*this};
    PlaceSiteFiles(Flags);

    FLeft = QStringList{
        QStringLiteral("<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\">"),
        QStringLiteral("<html>"),
        QStringLiteral("<head>"),
        QStringLiteral("<META http-equiv=Content-Type content=\"text/html; charset=") + FCharset + QStringLiteral("\">"),
        QStringLiteral("<TITLE>") + HtmlText::RawTextValue(Name) + QStringLiteral("</TITLE>"),
        QStringLiteral("<meta http-equiv=Content-Type content=\"text/html; charset=") + FCharset + QStringLiteral("\">"),
        QStringLiteral("</head>"),
        QStringLiteral("<body>"),
        QStringLiteral("<p>") + Name + QStringLiteral("</p>"),
    };
    FContents = QStringList{
        QStringLiteral("<!DOCTYPE HTML PUBLIC \"-//IETF//DTD HTML//EN\">"),
        QStringLiteral("<HTML>"),
        QStringLiteral("<HEAD>"),
        QStringLiteral("<meta name=\"GENERATOR\" content=\"Microsoft&reg; HTML Help Workshop 4.1\">"),
        QStringLiteral("<!-- Sitemap 1.0 -->"),
        QStringLiteral("</HEAD>"),
        QStringLiteral("<BODY>"),
        QStringLiteral("<OBJECT type=\"text/site properties\">"),
        QStringLiteral("\t<param name=\"ImageType\" value=\"Folder\">"),
        QStringLiteral("</OBJECT>"),
        QStringLiteral("<UL>"),
    };

    const QString IndexName = TCatalogBook::Value(FBook, QStringLiteral("catalog_index_name"));
    QSet<QString> NotPages;   // entries of the package book that live in images/
    // The package of a book that came in a package holds each of its files
    // where the package it came in held it, under its entry as listed: it
    // opens again as the same book. The places are known before any page
    // copy is named, so no copy takes one.
    // Two places that differ only in case would be one file where case is
    // ignored: the later one is named anew, as a file of a book on disk is.
    QStringList Places;
    QHash<QString, QString> PlaceOfFolded;
    for (int I = 0; I < N; ++I) {
        QString Place = Flags == bfPackage && KeepPlaces ? KeptPlace(Lines.at(I)) : QString();
        if (!Place.isEmpty()) {
            const QString Folded = Place.toCaseFolded();
            const auto Known = PlaceOfFolded.constFind(Folded);
            if (Known == PlaceOfFolded.constEnd())
                PlaceOfFolded.insert(Folded, Place);
            else if (Known.value() != Place)
                Place.clear();
        }
        Places << Place;
        if (!Place.isEmpty())
            FTaken.insert(Place.toCaseFolded());
    }
    QStringList PackageEntries;   // the package book's entries, in book order
    for (int I = 1; I <= N; ++I) {
        Report(50 * I / N, QStringLiteral("总计：%1 个文件，正在处理第：%2 个").arg(N).arg(I));
        const QString Listed = Lines.at(I - 1);
        const QString Place = Places.at(I - 1);
        QString Path = TCatalogBook::ResolveEntry(FBookPath, Listed);
        // A page's title is text its user may write markup into, as into the
        // page itself: in the text it stays as written, inside an attribute
        // value it is plain text. A file's name is plain text everywhere.
        QString Title;
        bool TitleWritten = false;
        // A file gone since the entries were looked at is left out as well.
        if (!IsReadableFile(Path))
            continue;
        const bool IsPage = IsPageEntry(Path);
        if (IsPage) {
            Title = TPageOutput::PageValue(TPageDocument::LoadPageLines(Path), QStringLiteral("{Catalog名称}"));
            TitleWritten = true;
            // A page without a name (or with nothing but tags and spaces for
            // one) would be an empty, unclickable link: it is listed by its
            // file's name instead.
            if (HtmlText::ShowsNoText(Title)) {
                Title = TPageOutput::FileBaseName(ExtractFileName(Path));
                TitleWritten = false;
            }
            const QString Entry = Place.isEmpty() ? UniquePageEntry(Path, Flags == bfPackage) : ExtractFileName(Place);
            // A page kept in a sub-folder has its pictures in the images
            // folder beside it, where its picture values name them.
            const QString Folder = FD + ExtractFilePath(Place);
            if (!DirectoryExists(Folder) && !ForceDirectories(Folder))
                throw EInOutError(QStringLiteral("不能创建目录 %1").arg(Folder));
            PictureNames(Folder).ForHelpFile = Flags == bfChm;
            const QString Result = Hooks.ProducePage
                ? Hooks.ProducePage(Path, Entry, Flags == bfPackage ? 66 : 5, Folder)
                : QString();
            if (Result.isEmpty())
                return brCancelled;
            FOrigins.insert(QFileInfo(Result).absoluteFilePath(), Path);
            Path = Result;
            FMade << Path;
        }
        // A file that is not a page may stand in a folder of its own below images/.
        QString EntryName;
        if (!IsPage && !Place.isEmpty()) {
            CopyKeptFile(Path, Place);
            EntryName = Place;
            Path = FD + Place;
            FMade << Path;
        } else if (!IsPage) {
            EntryName = CopyOtherFile(Path, Flags == bfPackage, Flags == bfChm);
            FOrigins.insert(QFileInfo(FD + QStringLiteral("images/") + EntryName).absoluteFilePath(), Path);
            Path = FD + QStringLiteral("images/") + EntryName;
            NotPages.insert(EntryName);
            FMade << Path;
        } else {
            EntryName = Place.isEmpty() ? ExtractFileName(Path) : Place;
        }
        if (!Place.isEmpty())
            PackageEntries << Listed;
        else if (NotPages.contains(EntryName))
            PackageEntries << QStringLiteral("images\\") + QString(EntryName).replace(QLatin1Char('/'), QLatin1Char('\\'));
        else
            PackageEntries << EntryName;
        if (Title.isEmpty() && !IsPage)
            Title = EntryName.contains(QLatin1Char('/')) ? EntryName.section(QLatin1Char('/'), 0, 0)
                                                         : TPageOutput::FileBaseName(EntryName);
        FE << EntryName;
        FListed << Listed;
        // Taken by its place in the package: a file that is not a page is in images/.
        FTaken.insert((NotPages.contains(EntryName) ? QStringLiteral("images/") + EntryName : EntryName).toCaseFolded());
        if (FX.isEmpty() || (!IndexName.isEmpty() && ExtractFileName(Listed) == IndexName))
            FX = EntryName;
        FLeft << QStringLiteral("<p><a href=\"") + Esc(HtmlText::FileAddress(EntryName)) + QStringLiteral("\" target=\"right\">")
                + (TitleWritten ? Title : Esc(Title)) + QStringLiteral("</a></p>");
        FContents << QStringLiteral("\t<LI> <OBJECT type=\"text/sitemap\">")
                  << QStringLiteral("\t\t<param name=\"Name\" value=\"")
                         + (TitleWritten ? HtmlText::AttributeValue(Title) : Esc(Title)) + QStringLiteral("\">")
                  << QStringLiteral("\t\t<param name=\"Local\" value=\"") + Esc(EntryName) + QStringLiteral("\">")
                  << QStringLiteral("\t\t</OBJECT>");
    }
    if (FE.isEmpty())
        throw EInOutError(QStringLiteral("目录册中没有可以输出的页面或文件，输出不能完成。"));
    FContents << QStringLiteral("</UL>") << QStringLiteral("</BODY></HTML>");
    FLeft << QStringLiteral("</body>") << QStringLiteral("</html>");

    const QString Images = FD + QStringLiteral("images/");
    const bool Chinese = FCharset == QLatin1String("gb2312");
    HtmlText::SavePage(Images + QStringLiteral("left.htm"), FLeft, Chinese);
    // A package has no frameset (and may hold a file of the name).
    if (Flags != bfPackage)
        HtmlText::SavePage(FD + QStringLiteral("index.htm"), FramesetLines(Name, FCharset, FX, Flags == bfMht), Chinese);
    CheckSiteWhole();

    TResult Result = brDone;
    switch (Flags) {
    case bfHtml:
        ResultPath = FD;
        break;
    case bfZip: {
        const QString Zip = FD + FB + QStringLiteral(".zip");
        QbaPackage::ZipFiles(FD, QbaPackage::FilesBelow(Images) << FD + QStringLiteral("index.htm"), Zip, Hooks.ZipProgress);
        RemoveSiteFiles();
        ResultPath = Zip;
        break;
    }
    case bfChm: {
        const QString Chm = FD + FB + QStringLiteral(".chm");
        const bool FullText = TCatalogBook::Value(FBook, QStringLiteral("Catalog_fulltext_search")).trimmed()
            != QLatin1String("false");
        QStringList Project{
            QStringLiteral("[OPTIONS]"),
            QStringLiteral("Compatibility=1.1 or later"),
            QStringLiteral("Compiled file=") + Chm,
            QStringLiteral("Contents file=Contents.hhc"),
            QStringLiteral("Default Window=WindowName"),
            QStringLiteral("Default topic=") + FX,
            QStringLiteral("Display compile progress=Yes"),
            QStringLiteral("Full-text search=") + (FullText ? QStringLiteral("Yes") : QStringLiteral("No")),
            FCharset == QLatin1String("gb2312") ? QStringLiteral("Language=0x804 中文(中国)")
                                                : QStringLiteral("Language=0x409 英语(美国)"),
            QString(),
            QStringLiteral("[WINDOWS]"),
            ChmWindowLine(FX),
            QString(),
            QStringLiteral("[FILES]"),
        };
        // The help compiler here takes only the files the project lists: the
        // pictures and frames the pages use are listed after the pages.
        // Files in sub-folders (manual.files/pic.gif) are listed by their path
        // below images/, so they keep their place in the help file.
        Project << FE;
        const QSet<QString> Listed(FE.cbegin(), FE.cend());
        const QDir ImagesDir(Images);
        for (const QString &F : QbaPackage::FilesBelow(Images)) {
            const QString N = ImagesDir.relativeFilePath(F);
            if (!Listed.contains(N) && N != QLatin1String("tmpchm.hhp") && N != QLatin1String("Contents.hhc"))
                Project << N;
        }
        Project << QStringLiteral("[INFOTYPES]");
        const QString Hhp = Images + QStringLiteral("tmpchm.hhp");
        SaveLines(Hhp, Project);
        HtmlText::SavePage(Images + QStringLiteral("Contents.hhc"), FContents, Chinese);
        TChmCompiler &Compiler = ChmCompilerInstance();
        // The site's files are named by the user's files they were made from.
        Compiler.Origins = FOrigins;
        for (auto It = FPictureNames.cbegin(); It != FPictureNames.cend(); ++It)
            for (auto Name = It->BySource.cbegin(); Name != It->BySource.cend(); ++Name)
                Compiler.Origins.insert(QFileInfo(It.key() + QStringLiteral("/images/") + Name.value()).absoluteFilePath(),
                                        Name.key());
        bool Ok = false;
        try {
            Ok = Compiler.Compile(Hhp, Hooks.ChmProgress);
        } catch (...) {
            Compiler.Origins.clear();
            throw;
        }
        Compiler.Origins.clear();
        RemoveSiteFiles();
        if (!Ok) {
            if (Hooks.ShowError)
                Hooks.ShowError(ChmFailureMessage(Compiler));
            Result = brFailed;
        } else {
            ResultPath = Chm;
        }
        break;
    }
    case bfMht: {
        TMhtWriter Writer;
        // The subject is text: the name as it shows.
        Writer.PageId = HtmlText::PlainText(Name);
        Writer.Chinese = FCharset == QLatin1String("gb2312");
        Writer.OnProgress = [this](const QString &Caption, int Position) { Report(Position, Caption); };
        // Files in sub-folders of images/ (manual.files/pic.gif) keep their place.
        Writer.FilesRoot = Images;
        const QString Mht = FD + FB + QStringLiteral(".mht");
        Writer.Write(FD + QStringLiteral("index.htm"), QbaPackage::FilesBelow(Images), ResultPath, Mht);
        RemoveSiteFiles();
        break;
    }
    case bfPackage: {
        // The package's book lists its page copies by name; other files are
        // listed where the package keeps them, in images/.
        QStringList Qbs;
        const int Marker = int(FBook.indexOf(TCatalogBook::FilesMarker));
        Qbs = Marker < 0 ? FBook : FBook.mid(0, Marker + 1);
        if (Marker < 0)
            Qbs << TCatalogBook::FilesMarker;
        Qbs << PackageEntries;
        const QString MainFile = FB + QStringLiteral(".qbs");
        SaveLines(FD + MainFile, Qbs);
        QString Package;
        if (Hooks.WriteQbaPackage)
            Hooks.WriteQbaPackage(FD, MainFile, true, Package);
        else
            Package = QbaPackage::Write(FD, MainFile, QString(), true);
        // Everything else in the folder was put there for the package by
        // this run (the folder was emptied or made for it): it goes.
        for (const QFileInfo &F : QDir(FD).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)) {
            if (F.absoluteFilePath() == QFileInfo(Package).absoluteFilePath())
                continue;
            if (F.isDir() && !F.isSymLink())
                QDir(F.absoluteFilePath()).removeRecursively();
            else
                QFile::remove(F.absoluteFilePath());
        }
        ResultPath = Package;
        if (Package.isEmpty())
            Result = brFailed;
        break;
    }
    case bfPreview:
        if (Hooks.ShellOpen)
            Hooks.ShellOpen(FD + QStringLiteral("index.htm"));
        ResultPath = FD + QStringLiteral("index.htm");
        break;
    case bfOneJpeg:
    case bfJpegs:
    case bfPdf: {
        const bool Done = Hooks.ConvertToImages
            && Hooks.ConvertToImages(FE, FListed, FD, Flags == bfPdf, Flags == bfOneJpeg);
        RemoveSiteFiles();
        if (!Done)
            Result = brFailed;
        else
            ResultPath = FD;
        break;
    }
    default:
        break;
    }
    if (OpenAfterwards && Result == brDone && Hooks.ShellOpen)
        Hooks.ShellOpen(FD);
    return Result;
}
