// The main window's book list and the other documents start-up can open.

#include "CatalogBridge.h"
#include "platform/core/FileUtils.h"
#include "Unit1.h"

#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QListWidget>
#include <QToolButton>

using namespace CatalogBridge;


namespace {

int IndexOfListName(const QStringList &List, const QString &Name)
{
    for (int I = 0; I < List.size(); ++I) {
        const QString &L = List.at(I);
        const qsizetype Eq = L.indexOf(QLatin1Char('='));
        if (Eq >= 0 && L.left(Eq).compare(Name, Qt::CaseInsensitive) == 0)
            return I;
    }
    return -1;
}

} // namespace

QString TForm1::CatalogValue(const QString &Name) const
{
    if (!FCatalogList)
        return QString();
    const int I = IndexOfListName(*FCatalogList, Name);
    return I < 0 ? QString() : FCatalogList->at(I).mid(FCatalogList->at(I).indexOf(QLatin1Char('=')) + 1);
}

void TForm1::SetCatalogValue(const QString &Name, const QString &Value)
{
    if (!FCatalogList)
        return;
    const int I = IndexOfListName(*FCatalogList, Name);
    const QString V = TPageDocument::OneLine(Value);
    if (V.isEmpty()) {
        if (I >= 0)
            FCatalogList->removeAt(I);
    } else if (I >= 0) {
        (*FCatalogList)[I] = FCatalogList->at(I).left(FCatalogList->at(I).indexOf(QLatin1Char('=')) + 1) + V;
    } else {
        FCatalogList->append(Name + QLatin1Char('=') + V);
    }
}

void TForm1::SaveCatalogFile()
{
    if (FCatalogList && !FCatalogPath.isEmpty())
        SaveLines(FCatalogPath, *FCatalogList);
}

void TForm1::RepaintPageList()
{
    ListBox1->viewport()->update();
}

void TForm1::FillPageList()
{
    ListBox1->clear();
    FCatalogName = CatalogValue(QStringLiteral("Catalog_name"));
    FCatalogIndexName = CatalogValue(QStringLiteral("catalog_index_name"));
    const int Files = int(FCatalogList->indexOf(QStringLiteral("{$Files}")));
    ListBox1Tag = Files + 1;
    if (Files < 0)
        return;
    for (int I = FCatalogList->size() - 1; I > Files; --I)
        if (FCatalogList->at(I).isEmpty())
            FCatalogList->removeAt(I);
    for (int I = Files + 1; I < FCatalogList->size(); ++I)
        ListBox1->addItem(ExtractFileName(FCatalogList->at(I)));
}

void TForm1::OpenCatalog(const QString &Path, bool KeepPage)
{
    if (SaveButtonEnabled()) {
        if (MessageBox(this, QStringLiteral("当前的页面没有关闭，不能载入新的目录册，是否强制关闭当前页面？"),
                       QStringLiteral("是否强制关闭"), MB_YESNO | MB_ICONWARNING)
            != IDYES)
            return;
        ClosePage();
    }
    QStringList Lines = LoadLines(Path);
    Lines.removeAll(QString());
    GroupBox1->setTitle(Path);
    FCatalogPath = Path;
    *FCatalogList = Lines;
    FillPageList();
    if (ListBox1->count() > 0) {
        QString Entry = FCatalogList->value(ListBox1Tag);
        if (ListBox1->count() > 1) {
            const QString Lost = CatalogValue(QStringLiteral("Catalog_Lost_name"));
            for (int I = 0; I < ListBox1->count(); ++I)
                if (ListBox1->item(I)->text() == Lost) {
                    Entry = FCatalogList->value(ListBox1Tag + I);
                    break;
                }
        }
        if (!IsAbsoluteStoredPath(Entry))
            Entry = ExtractFilePath(Path) + NativePath(Entry);
        if (!KeepPage)
            OpenPage(Entry);
    }
    FNewCatalogPath.clear();
    FOpenedFromPackage = false;
    FPackageIsBook = false;
}

void TForm1::CreateDefaultCatalog(bool KeepPage)
{
    const QString Path = ProgramFolder() + QStringLiteral("目录册/default.qbs");
    if (!FileExists(Path)) {
        SaveLines(Path, {QStringLiteral("Catalog_name=默认目录册"), QStringLiteral("catalog_index_name="),
                         QStringLiteral("Catalog_Lost_name="), QStringLiteral("Catalog_Output="),
                         QStringLiteral("Catalog_always_open=true"), QStringLiteral("{$Files}")});
        const QString History = ProgramFolder() + QStringLiteral("cts_history.txt");
        QStringList Lines = FileExists(History) ? LoadLines(History) : QStringList();
        Lines.append(Path);
        SaveLines(History, Lines);
    }
    OpenCatalog(Path, KeepPage);
}

bool TForm1::CloseCatalog()
{
    Button5Click();
    if (SaveButtonEnabled())
        return false;
    ListBox1->clear();
    GroupBox1->setTitle(QString());
    FOpenPageEntry.clear();
    FCatalogName.clear();
    FCatalogList->clear();
    FCatalogPath.clear();
    SpeedButton9->setEnabled(false);
    FPageSaved = true;
    return true;
}

void TForm1::NewPage()
{
    if (FCatalogPath.isEmpty())
        CreateDefaultCatalog(true);
    FOpenPageEntry.clear();
    // The grid shows the new, empty page rather than the products of the last one.
    ResetGrid();
    InitNewPageText();
    const QString Title = FPage.Values(QStringLiteral("{Catalog名称}"));
    for (int K = 1; K <= 999; ++K) {
        const QString Entry = Title + QString::number(K) + QStringLiteral(".qbt");
        if (ListBox1->findItems(Entry, Qt::MatchExactly).isEmpty()) {
            FOpenPageEntry = Entry;
            ListBox1->addItem(Entry);
            break;
        }
    }
    FPagePath.clear();
    SpeedButton9->setEnabled(true);
    FPageSaved = false;
}

void TForm1::SpeedButton6Click()
{
    if (FPagePath.isEmpty() && !FPageSaved && FPage.Count() > 0)
        return;
    Button5Click();
    if (!SaveButtonEnabled())
        NewPage();
}

void TForm1::OpenPackage(const QString &Path)
{
    // Unpacking lands with the package reader; until then the package is only
    // remembered, and nothing of it is shown as opened.
    FPackagePath = Path;
}

void TForm1::ImportPictures(const QStringList &Files)
{
    for (const QString &File : Files) {
        if (File.trimmed().isEmpty())
            continue;
        int Block = (CellGrid1->RowCount() - 1) / 6;
        if (Block > 1 || !CellGrid1->Cells(1, 6).isEmpty() || FPage.FindBlockLine(1) >= 0) {
            AppendProductBlock();
            ++Block;
        }
        const QString Path = QFileInfo(File.trimmed()).absoluteFilePath();
        CellGrid1->SetCellText(1, 6 * Block, Path);
        LoadCellPicture(1, 6 * Block - 5, Path);
        StoreProductBlock(1, 6 * Block);
    }
}
