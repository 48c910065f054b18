// The main window's package files (.qba): writing, opening and saving back.

#include "MainWindow.h"
#include "catalog/document/Package.h"
#include "catalog/output/PageOutput.h"
#include "platform/core/FileUtils.h"
#include "platform/services/Application.h"
#include "platform/services/Prompts.h"

#include <QDir>
#include <QGroupBox>
#include <QProgressBar>
#include <QTemporaryDir>

namespace {

const QString SaveFailed = QStringLiteral("保存qba文件失败，可能一个qba文件处于写保护状态。");

} // namespace

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
    const QbaPackage::TOpenResult R = QbaPackage::Unpack(Path, DestDir);
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
    FPackagePath = Path;
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
}

bool TForm1::SavePackage()
{
    TWaitCursor Wait;
    if (FPackageIsBook)
        return OutputCatalog(32, false);

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
    } catch (const Exception &) {
        MessageBox(this, SaveFailed, QStringLiteral("错误"), MB_OK | MB_ICONERROR);
        return false;
    }
    if (Package.isEmpty() || !CopyFile(Package, FPackagePath, false)) {
        MessageBox(this, SaveFailed, QStringLiteral("错误"), MB_OK | MB_ICONERROR);
        return false;
    }
    return true;
}
