// The main window's package files (.qba): writing, opening and saving back.

#include "MainWindow.h"
#include "catalog/document/CatalogBook.h"
#include "catalog/document/Package.h"
#include "catalog/output/PageOutput.h"
#include "platform/core/FileUtils.h"
#include "platform/core/OutputFiles.h"
#include "platform/core/SysUtils.h"
#include "platform/services/Application.h"
#include "platform/services/Prompts.h"

#include "zip/ZipObj.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <QGroupBox>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QToolButton>

namespace {

const QString SaveFailed = QStringLiteral("保存qba文件失败，可能一个qba文件处于写保护状态。");

// What the zip library's failure says about a package, for its user. An
// archive without its directory is cut short when it starts as an archive
// does, else it is none at all.
QString DamageReason(const Exception &E, const QString &Path)
{
    if (dynamic_cast<const EIncompleteZip *>(&E)) {
        QFile F(Path);
        if (F.open(QIODevice::ReadOnly) && F.read(4) != QByteArray("PK\x03\x04", 4))
            return QStringLiteral("它不是zip格式的文件。");
        return QStringLiteral("文件不完整，可能没有完整地下载或复制。");
    }
    if (dynamic_cast<const ENotAZipFile *>(&E))
        return QStringLiteral("它不是zip格式的文件。");
    if (dynamic_cast<const EBadZipFile *>(&E))
        return QStringLiteral("文件的目录结构已经损坏。");
    if (dynamic_cast<const EBiggerThanUncompressed *>(&E))
        return QStringLiteral("压缩数据比记录的大小还长。");
    if (dynamic_cast<const EZLibError *>(&E))
        return QStringLiteral("压缩数据已经损坏。");
    return QStringLiteral("读取压缩数据时出错。");
}

// A list of names for a message: at most Shown of them, then how many more.
QString NameList(const QStringList &Names, int Shown = 20)
{
    QString Text;
    for (int I = 0; I < Names.size() && I < Shown; ++I)
        Text += QStringLiteral("\r\n    ") + Names.at(I);
    if (Names.size() > Shown)
        Text += QStringLiteral("\r\n    ……还有%1项").arg(Names.size() - Shown);
    return Text;
}

} // namespace

void TForm1::ShowPackageSaveError(int ErrorCode, const QString &Reason)
{
    // A full disk is no write protection: the user must free space, not unlock
    // the file. Nor is a new package that could not be made.
    const bool Full = ErrorCode == ENOSPC || ErrorCode == EDQUOT;
    if (Full || !Reason.isEmpty()) {
        MessageBox(this,
                   QStringLiteral("保存qba文件“%1”失败：%2").arg(FPackagePath, Full ? SysErrorMessage(ErrorCode) : Reason),
                   QStringLiteral("错误"), MB_OK | MB_ICONERROR);
        return;
    }
    MessageBox(this, SaveFailed, QStringLiteral("错误"), MB_OK | MB_ICONERROR);
}

bool TForm1::CameWithOutputFolder(const QString &File, const QString &Folder) const
{
    if (File.isEmpty() || Folder.trimmed().isEmpty())
        return false;
    const auto It = FReceivedOutputFolders.constFind(QDir::cleanPath(QFileInfo(File).absoluteFilePath()));
    return It != FReceivedOutputFolders.constEnd() && It.value().trimmed() == Folder.trimmed();
}

bool TForm1::RefuseToReplaceOpenPackage(const QString &SiteFolder)
{
    // The book's package goes into its site folder, which the output empties
    // first: a package opened from there would be replaced (or removed) by the
    // package command, while only 保存 writes the package the user opened.
    const QString SiteReal = QFileInfo(SiteFolder).canonicalFilePath();
    const QString Opened = QFileInfo(FPackagePath).canonicalFilePath();
    if (SiteReal.isEmpty() || Opened.isEmpty() || !Opened.startsWith(IncludeTrailingPathDelimiter(SiteReal)))
        return false;
    MessageBox(this,
               QStringLiteral("目录册的qba文件没有输出：它要输出到“%1”，打开的qba文件“%2”就在这个文件夹中，输出会替换它。\r\n"
                              "打开的qba文件只在保存时写入。要另外输出qba文件，请先把打开的qba文件移到其他文件夹再打开。")
                   .arg(NativePath(SiteFolder), NativePath(FPackagePath)),
               QStringLiteral("输出"), MB_OK | MB_ICONWARNING);
    return true;
}

void TForm1::WriteQbaPackage(const QString &Folder, const QString &MainFile, const QString &Target, bool IsBook,
                             QString &ResultPath)
{
    TWaitCursor Wait;
    ResultPath = QbaPackage::Write(Folder, MainFile, Target, IsBook, [this](int Percent) {
        Zipper1TotalPercentDone(Percent);
        ProcessMessages();
    });
}

void TForm1::OpenPackage(const QString &Path)
{
    OpenQbaPackage(Path);
}

void TForm1::OpenQbaPackage(const QString &Path)
{
    TWaitCursor Wait;
    // Unpacked into this program's own scratch folder: two running programs
    // never share (or delete) each other's files. Packages get a folder of their
    // own there, so a package's name never meets the outputs' work folders
    // (chmfiles, bookpackage), which are emptied as they are used.
    const QString Packages = ScratchFolder() + QStringLiteral("packages/");
    ForceDirectories(Packages);   // where the free space is measured
    const QString DestDir = QbaPackage::DestDirFor(Packages, Path);
    QbaPackage::TOpenResult R;
    try {
        R = QbaPackage::Unpack(Path, DestDir);
    } catch (const EMissingSplitPart &E) {
        MessageBox(this,
                   QStringLiteral("不能打开qba文件“%1”：它是分卷压缩的文件，缺少分卷“%2”。请把所有分卷放在同一个文件夹中再打开。")
                       .arg(Path, E.PartName()),
                   QStringLiteral("出错"), MB_OK | MB_ICONERROR);
        return;
    } catch (const EUserCanceled &) {
        return;
    } catch (const ENotEnoughRoom &) {
        MessageBox(this, QStringLiteral("不能打开qba文件“%1”：磁盘空间不足。").arg(Path), QStringLiteral("出错"),
                   MB_OK | MB_ICONERROR);
        return;
    } catch (const ECantWriteUCF &) {
        MessageBox(this, QStringLiteral("不能打开qba文件“%1”：解压出的文件不能写入，可能磁盘已满。").arg(Path),
                   QStringLiteral("出错"), MB_OK | MB_ICONERROR);
        return;
    } catch (const EZipperException &E) {
        MessageBox(this, QStringLiteral("qba文件“%1”已经损坏，不能打开：%2").arg(Path, DamageReason(E, Path)),
                   QStringLiteral("出错"), MB_OK | MB_ICONERROR);
        return;
    } catch (const EZLibError &E) {
        MessageBox(this, QStringLiteral("qba文件“%1”已经损坏，不能打开：%2").arg(Path, DamageReason(E, Path)),
                   QStringLiteral("出错"), MB_OK | MB_ICONERROR);
        return;
    }
    if (!R.Damaged.isEmpty())
        MessageBox(this,
                   QStringLiteral("qba文件“%1”已经损坏，其中以下文件不能读出，已被略过：").arg(Path) + NameList(R.Damaged),
                   QStringLiteral("出错"), MB_OK | MB_ICONWARNING);
    if (R.Status == QbaPackage::osInvalid) {
        MessageBox(this, QStringLiteral("不是有效的qba文件，读取出现错误。"), QStringLiteral("出错"),
                   MB_OK | MB_ICONERROR);
        return;
    }
    if (R.Status == QbaPackage::osNoIndex) {
        MessageBox(this, QStringLiteral("信息描述文件不存在，文件载入失败。"), QStringLiteral("出错"),
                   MB_OK | MB_ICONERROR);
        return;
    }
    // The output folders its pages and book name are another computer's
    // choice: they are noted, and not used while they stand as they came.
    for (const QString &Found : QbaPackage::FilesBelow(DestDir)) {
        const QString F = QDir::cleanPath(Found);
        const QString Ext = ExtractFileExt(F).toLower();
        if (Ext == QLatin1String(".qbt"))
            FReceivedOutputFolders.insert(F, TPageOutput::PageValue(TPageDocument::LoadPageLines(F), QStringLiteral("{输出目录}")));
        else if (Ext == QLatin1String(".qbs"))
            FReceivedOutputFolders.insert(F, TCatalogBook::Value(LoadLines(F), QStringLiteral("Catalog_Output")));
    }
    FPackagePath = Path;
    FPackageFolder = DestDir;
    if (GroupBox1->title().isEmpty())
        GroupBox1->setTitle(Path);
    if (R.IsBook) {
        OpenCatalog(R.MainFile, false);
        FOpenedFromPackage = true;
        FPackageIsBook = true;
    } else {
        OpenPage(R.MainFile);
        FOpenedFromPackage = true;
        FPackageIsBook = false;
    }
    // The package opened with what is inside it; what it named elsewhere was left out.
    if (!R.LeftOut.isEmpty())
        MessageBox(this,
                   QStringLiteral("qba文件“%1”中的以下条目指向包外或包内没有的文件，已被略去（不会打开、复制或写入）：")
                           .arg(Path)
                       + NameList(R.LeftOut),
                   QStringLiteral("打开qba文件"), MB_OK | MB_ICONWARNING);
}

bool TForm1::SavePackage()
{
    TWaitCursor Wait;
    if (FPackageIsBook) {
        // The page is in its file already, which is what the book output
        // reads: it does not ask about changes that are not saved.
        SpeedButton9->setEnabled(false);
        return OutputCatalog(32, false, true);
    }

    // The page copy and its pictures are staged in a scratch folder of our own,
    // so nothing the package names (its output folder) decides what is written
    // over or deleted.
    QTemporaryDir Stage(ScratchFolder() + QStringLiteral("save-XXXXXX"));
    if (!Stage.isValid()) {
        MessageBox(this, SaveFailed, QStringLiteral("错误"), MB_OK | MB_ICONERROR);
        return false;
    }
    const QString Folder = Stage.path() + QLatin1Char('/');
    QString Copy;
    OutputPage(66, false, Folder, Copy);
    if (Copy.isEmpty())
        return false;
    QString Package;
    try {
        WriteQbaPackage(Folder, ExtractFileName(Copy), Folder + QStringLiteral("package.qba"), false, Package);
    } catch (const Exception &E) {
        ShowPackageSaveError(errno, E.Message());
        return false;
    }
    if (Package.isEmpty()) {
        ShowPackageSaveError(0);
        return false;
    }
    if (!CopyFile(Package, FPackagePath, false)) {
        ShowPackageSaveError(errno);
        return false;
    }
    RemoveSaveLeftovers(FPackagePath);
    return true;
}
