// The main window's output menus: their states as they open (by the length of
// the page and the book and by the page chosen in the book's list), the packing
// progress, the mail and FTP items, and the small commands beside them: adding
// the page to another book and the feedback page.

#include "MainWindow.h"
#include "catalog/document/CatalogBook.h"
#include "catalog/document/PageSettings.h"
#include "platform/core/Classes.h"
#include "platform/core/FileUtils.h"
#include "platform/services/Prompts.h"
#include "platform/services/Shell.h"

#include <QAction>
#include <QFileInfo>
#include <QGroupBox>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>

namespace {

// The page-output items of the output popup and of the main menu's 创建目录页.
const char *const PageOutputItems[] = {"CHM1", "RAR1", "HTML1", "ZIP1", "QBA1", "CHM3", "MHT1", "HTML3", "ZIP3", "Catalog1"};

void EnableItem(TForm1 *Form, const char *Name, bool Enabled)
{
    for (QAction *A : Form->findChildren<QAction *>(QString::fromLatin1(Name)))
        A->setEnabled(Enabled);
}

// A page of the book's list is chosen that is not the page in the editor.
bool OtherPageChosen(const TForm1 *Form)
{
    const QListWidgetItem *Item = Form->ListBox1->currentItem();
    return Item && Item->isSelected() && Item->text() != Form->FOpenPageEntry;
}

int BookLines(const TForm1 *Form)
{
    return Form->FCatalogList ? int(Form->FCatalogList->size()) : 0;
}

} // namespace

void TForm1::DisablePageOutputItems()
{
    for (const char *Name : PageOutputItems)
        EnableItem(this, Name, false);
}

void TForm1::EnablePageOutputItems()
{
    for (const char *Name : PageOutputItems)
        EnableItem(this, Name, true);
}

namespace {

void UpdateLanguageCaption(TForm1 *Form)
{
    const QString Caption = Form->Page().Values(PageSettings::LanguageKey).trimmed() == PageSettings::Chinese
        ? QStringLiteral("切换为英文Catalog")
        : QStringLiteral("切换为中文Catalog");
    for (QAction *A : Form->findChildren<QAction *>(QStringLiteral("N124")))
        A->setText(Caption);
}

} // namespace

void TForm1::PopupMenu2Popup()
{
    EnableItem(this, "N108", FPage.Count() > 20);
    EnableItem(this, "N106", BookLines(this) > 5);
    if (OtherPageChosen(this))
        DisablePageOutputItems();
    else
        EnablePageOutputItems();
    UpdateLanguageCaption(this);
}

void TForm1::WMMenuSelect()
{
    EnableItem(this, "N89", BookLines(this) > 5);
    EnableItem(this, "N87", FPage.Count() > 20);
    if (OtherPageChosen(this))
        DisablePageOutputItems();
    else
        EnablePageOutputItems();
    UpdateLanguageCaption(this);
}

void TForm1::Zipper1TotalPercentDone(int Percent)
{
    if (!GroupBox3->isVisible())
        return;
    GroupBox3->setTitle(QStringLiteral("文件打包中... %1%2").arg(Percent).arg(QStringLiteral("%")));
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(Percent / 2 + 50);
}

void TForm1::N96Click()
{
    if (FPagePath.isEmpty()) {
        MessageBox(this, QStringLiteral("当前页面没有保存，不能被其他目录册引用。"), QStringLiteral("请先保存"),
                   MB_OK | MB_ICONWARNING);
        return;
    }
    OpenDialog1->Filter = QStringLiteral(
        "页面文件 *.qbt|*.qbt|目录册文件 *.qbs|*.qbs|Catalog包文件 *.qba|*.qba|catlog文件 "
        "*.qbt,*.qbs,*.qba|*.qbt;*.qbs;*.qba|网页文件|*.htm|文本文件|*.txt|任意文件|*.*");
    OpenDialog1->FilterIndex = 2;
    OpenDialog1->FileName.clear();
    if (!OpenDialog1->Execute())
        return;
    const QString Book = OpenDialog1->FileName;
    // The same file however it is written (links, "..", another spelling of the folder).
    const QString Chosen = QFileInfo(Book).canonicalFilePath();
    const QString Open = FCatalogPath.isEmpty() ? QString() : QFileInfo(FCatalogPath).canonicalFilePath();
    if (!Chosen.isEmpty() && Chosen == Open) {
        MessageBox(this, QStringLiteral("不能重复添加到当前目录册。"), QStringLiteral("错误"), MB_OK | MB_ICONWARNING);
        return;
    }
    if (ExtractFileExt(Book).toLower() != QLatin1String(".qbs") || !FileExists(Book)) {
        MessageBox(this, QStringLiteral("请选择一个已有的目录册文件（.qbs）。"), QStringLiteral("错误"), MB_OK | MB_ICONWARNING);
        return;
    }
    // The user's book, made read-only, stays as it is.
    CheckFileReplaceable(Book);
    QStringList Lines = LoadLines(Book);
    Lines << ExpandFileName(FPagePath);
    // Replaced only by a complete new file.
    SaveLines(Book, Lines);
    MessageBox(this, QStringLiteral("添加成功。"), QStringLiteral("成功"), MB_OK | MB_ICONINFORMATION);
}

void TForm1::Button3Click()
{
    if (!Shell().Open(MakerPageUrl(QStringLiteral("feedback"))))
        MessageBox(this, QStringLiteral("不能打开浏览器。"), QStringLiteral("错误"), MB_OK | MB_ICONERROR);
}

void TForm1::SetupMenuStates()
{
    auto Bind = [this](QObject *Sender, void (TForm1::*Handler)()) {
        if (auto *B = qobject_cast<QAbstractButton *>(Sender))
            connect(B, &QAbstractButton::clicked, this, [this, Handler] { Guard([this, Handler] { (this->*Handler)(); }); });
        else if (auto *A = qobject_cast<QAction *>(Sender))
            connect(A, &QAction::triggered, this, [this, Handler] { Guard([this, Handler] { (this->*Handler)(); }); });
    };
    // Mail and FTP in the page-output menu.
    const auto N108 = findChild<QAction *>(QStringLiteral("N108"));
    if (QMenu *PageOut = N108 ? N108->menu() : nullptr; PageOut && !findChild<QAction *>(QStringLiteral("Email1"))) {
        PageOut->addSeparator();
        QAction *Mail = PageOut->addAction(QStringLiteral("输出并Email"));
        Mail->setObjectName(QStringLiteral("Email1"));
        Bind(Mail, &TForm1::Email1Click);
        QAction *Ftp = PageOut->addAction(QStringLiteral("输出并FTP上传"));
        Ftp->setObjectName(QStringLiteral("N52"));
        Bind(Ftp, &TForm1::N52Click);
    }
    Bind(findChild<QAction *>(QStringLiteral("N96")), &TForm1::N96Click);
    Bind(Button3, &TForm1::Button3Click);
    if (PopupMenu2)
        connect(PopupMenu2, &QMenu::aboutToShow, this, [this] { Guard([this] { PopupMenu2Popup(); }); });
    if (auto *Output = findChild<QMenu *>(QStringLiteral("OutputMenu")))
        connect(Output, &QMenu::aboutToShow, this, [this] { Guard([this] { WMMenuSelect(); }); });
    if (auto *Language = findChild<QMenu *>(QStringLiteral("N122Menu")))
        connect(Language, &QMenu::aboutToShow, this, [this] { Guard([this] { UpdateLanguageCaption(this); }); });
}
