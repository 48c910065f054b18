#include "StartDialog.h"

#include "BookInfoDialog.h"
#include "catalog/document/CompanyFiles.h"
#include "platform/core/Classes.h"
#include "platform/core/FileUtils.h"
#include "platform/services/Application.h"
#include "platform/services/Shell.h"

#include <QCheckBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace {

QPushButton *MakeButton(QWidget *Parent, const QString &Name, const QString &Caption)
{
    auto *B = new QPushButton(Caption, Parent);
    B->setObjectName(Name);
    return B;
}

} // namespace

TForm2::TForm2(QWidget *Parent)
    : TCatalogDialog(Parent, QStringLiteral("Form2"), QStringLiteral("开始"))
{
    Label1 = new QLabel(QStringLiteral("已经存在的目录册："), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    ListBox1 = new QListWidget(this);
    ListBox1->setObjectName(QStringLiteral("ListBox1"));
    ListBox1->setToolTip(QStringLiteral("已经存在的目录册，双击鼠标打开。"));
    Label1->setBuddy(ListBox1);

    Button2 = MakeButton(this, QStringLiteral("Button2"), QStringLiteral("打开现有的目录册"));
    Button1 = MakeButton(this, QStringLiteral("Button1"), QStringLiteral("新建目录页面"));
    Button7 = MakeButton(this, QStringLiteral("Button7"), QStringLiteral("新建目录册"));
    Button3 = MakeButton(this, QStringLiteral("Button3"), QStringLiteral("仅删除不存在的记录"));
    Button4 = MakeButton(this, QStringLiteral("Button4"), QStringLiteral("清空全部历史记录"));
    Button6 = MakeButton(this, QStringLiteral("Button6"), QStringLiteral("打开学习教程"));
    Button5 = MakeButton(this, QStringLiteral("Button5"), QStringLiteral("关闭"));
    for (QPushButton *B : {Button2, Button1, Button7, Button3, Button4, Button6, Button5})
        B->setAutoDefault(false);

    OpenDialog1 = std::make_unique<TOpenDialog>();
    OpenDialog1->Filter = QStringLiteral("全部文件*.qbs;*.qbt;*.qba|*.qbs;*.qbt;*.qba|目录册文件 *.qbs|*.qbs|"
                                         "页面文件 *.qbt|*.qbt|Catalog包文件 *.qba|*.qba");
    OpenDialog1->OwnerWindow = this;
    OpenDialog1->Options |= OpenOpt(ofFileMustExist);

    auto *History = new QVBoxLayout;
    History->addWidget(Label1);
    History->addWidget(ListBox1, 1);
    auto *HistoryButtons = new QHBoxLayout;
    HistoryButtons->addWidget(Button3);
    HistoryButtons->addWidget(Button4);
    History->addLayout(HistoryButtons);
    auto *Commands = new QVBoxLayout;
    for (QPushButton *B : {Button2, Button1, Button7, Button6})
        Commands->addWidget(B);
    Commands->addStretch(1);
    Commands->addWidget(Button5);
    auto *Layout = new QHBoxLayout(this);
    Layout->addLayout(History, 1);
    Layout->addLayout(Commands);
    resize(560, 360);
    // The history and its buttons on the left, then the commands on the right.
    SetTabOrder({ListBox1, Button3, Button4, Button2, Button1, Button7, Button6, Button5});

    connect(ListBox1, &QListWidget::itemDoubleClicked, this, Guarded([this] { ListBox1DblClick(); }));
    connect(Button1, &QPushButton::clicked, this, Guarded([this] { Button1Click(); }));
    connect(Button2, &QPushButton::clicked, this, Guarded([this] { Button2Click(); }));
    connect(Button3, &QPushButton::clicked, this, Guarded([this] { Button3Click(); }));
    connect(Button4, &QPushButton::clicked, this, Guarded([this] { Button4Click(); }));
    connect(Button5, &QPushButton::clicked, this, Guarded([this] { Button5Click(); }));
    connect(Button6, &QPushButton::clicked, this, Guarded([this] { Button6Click(); }));
    connect(Button7, &QPushButton::clicked, this, Guarded([this] { Button7Click(); }));
}

TForm2::~TForm2() = default;

QString TForm2::HistoryFile()
{
    return ProgramFolder() + QStringLiteral("cts_history.txt");
}

QString TForm2::HistoryEntryPath(const QString &Entry)
{
    return ResolveStoredPath(ProgramFolder(), Entry);
}

void TForm2::showEvent(QShowEvent *Event)
{
    TCatalogDialog::showEvent(Event);
    if (const QScreen *Screen = QGuiApplication::primaryScreen()) {
        QRect Frame = frameGeometry();
        Frame.moveCenter(Screen->availableGeometry().center());
        move(Frame.topLeft());
    }
    FormShow();
}

void TForm2::FormShow()
{
    // A file chosen at an earlier showing must not be opened by this one.
    FChosenFile.clear();
    ListBox1->clear();
    if (!FileExists(HistoryFile()))
        return;
    TStringList Lines;
    Lines.LoadFromFile(HistoryFile());
    ListBox1->addItems(Lines.ToQStringList());
}

void TForm2::ListBox1DblClick()
{
    const QListWidgetItem *Item = ListBox1->currentItem();
    if (!Item)
        return;
    const QString Path = HistoryEntryPath(Item->text());
    if (FileExists(Path)) {
        FChosenFile = Path;
        SetModalResult(3);
    } else {
        MessageDlg(QStringLiteral("该记录已经不存在，请重新选择。"), mtWarning, mbOKOnly);
    }
}

void TForm2::Button1Click()
{
    SetModalResult(5);
}

void TForm2::Button2Click()
{
    const QString ProjectFolder =
        CompanyFiles::ReadDatLine(CompanyFiles::FileName(1), CompanyFiles::lnProjectFolder).trimmed();
    if (!ProjectFolder.isEmpty())
        OpenDialog1->InitialDir = ProjectFolder;
    if (!OpenDialog1->Execute())
        return;
    FChosenFile = OpenDialog1->FileName;
    SetModalResult(3);
}

void TForm2::Button3Click()
{
    for (int I = ListBox1->count() - 1; I >= 0; --I)
        if (!FileExists(HistoryEntryPath(ListBox1->item(I)->text())))
            delete ListBox1->takeItem(I);
    TStringList Lines;
    for (int I = 0; I < ListBox1->count(); ++I)
        Lines.Add(ListBox1->item(I)->text());
    Lines.SaveToFile(HistoryFile());
    MessageDlg(QStringLiteral("操作完成。"), mtInformation, mbOKOnly);
}

void TForm2::Button4Click()
{
    if (MessageDlg(QStringLiteral("真的清空历史记录？"), mtConfirmation, mbYesNo) != mrYes)
        return;
    ListBox1->clear();
    if (FileExists(HistoryFile()) && !DeleteFile(HistoryFile()))
        throw EInOutError(QStringLiteral("无法删除文件“%1”。").arg(HistoryFile()));
}

void TForm2::Button5Click()
{
    SetModalResult(2);
}

void TForm2::Button6Click()
{
    OpenInShell(this, ProgramFolder() + QStringLiteral("help/help2.htm"));
}

void TForm2::Button7Click()
{
    // The book dialog tells the main window about the new book itself; this
    // dialog only steps aside.
    TForm7 *Form7 = parentWidget() ? parentWidget()->findChild<TForm7 *>(QString(), Qt::FindDirectChildrenOnly)
                                   : nullptr;
    if (!Form7)
        return;
    Form7->Edit1->clear();
    Form7->Edit2->clear();
    Form7->Edit3->clear();
    Form7->CheckBox2->setChecked(true);
    Form7->CheckBox3->setChecked(true);
    Form7->CheckBox4->setChecked(false);
    if (ShowModal(Form7) == 1)
        SetModalResult(2);
}

void TForm2::reject()
{
    SetModalResult(2);
}
