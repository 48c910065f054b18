#include "BookInfoDialog.h"

#include "MainWindow.h"
#include "catalog/document/CatalogBook.h"
#include "platform/core/Classes.h"
#include "platform/core/FileUtils.h"
#include "platform/core/SysUtils.h"
#include "platform/services/Application.h"
#include "platform/services/Messages.h"
#include "platform/services/Prompts.h"

#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QPushButton *MakeButton(QWidget *Parent, const QString &Name, const QString &Caption)
{
    auto *B = new QPushButton(Caption, Parent);
    B->setObjectName(Name);
    return B;
}

QCheckBox *MakeCheckBox(QWidget *Parent, const QString &Name, const QString &Caption)
{
    auto *C = new QCheckBox(Caption, Parent);
    C->setObjectName(Name);
    return C;
}

QLineEdit *MakeEdit(QWidget *Parent, const QString &Name)
{
    auto *E = new QLineEdit(Parent);
    E->setObjectName(Name);
    return E;
}

} // namespace

TForm7::TForm7(QWidget *Parent)
    : TCatalogDialog(Parent, QStringLiteral("Form7"), QStringLiteral("目录册信息"))
{
    Edit1 = MakeEdit(this, QStringLiteral("Edit1"));
    Edit2 = MakeEdit(this, QStringLiteral("Edit2"));
    Edit3 = MakeEdit(this, QStringLiteral("Edit3"));
    Button1 = MakeButton(this, QStringLiteral("Button1"), QStringLiteral("浏览……"));
    Button4 = MakeButton(this, QStringLiteral("Button4"), QStringLiteral("浏览……"));
    CheckBox1 = MakeCheckBox(this, QStringLiteral("CheckBox1"), QStringLiteral("设为缺省值"));
    CheckBox2 = MakeCheckBox(this, QStringLiteral("CheckBox2"), QStringLiteral("创建Catalog后总是打开输出文件夹"));
    CheckBox3 = MakeCheckBox(this, QStringLiteral("CheckBox3"), QStringLiteral("输出CHM文件时启用全文搜索功能"));
    CheckBox4 = MakeCheckBox(this, QStringLiteral("CheckBox4"), QStringLiteral("移除创建标记"));
    CheckBox2->setChecked(true);
    CheckBox3->setChecked(true);
    CheckBox4->hide();
    Button2 = MakeButton(this, QStringLiteral("Button2"), QStringLiteral("保存"));
    Button3 = MakeButton(this, QStringLiteral("Button3"), QStringLiteral("取消"));

    auto *Fields = new QGridLayout;
    Fields->addWidget(new QLabel(QStringLiteral("目录册名："), this), 0, 0);
    Fields->addWidget(Edit1, 0, 1, 1, 2);
    Fields->addWidget(new QLabel(QStringLiteral("保存路径："), this), 1, 0);
    Fields->addWidget(Edit2, 1, 1);
    Fields->addWidget(Button1, 1, 2);
    Fields->addWidget(new QLabel(QStringLiteral("输出路径："), this), 2, 0);
    Fields->addWidget(Edit3, 2, 1);
    Fields->addWidget(Button4, 2, 2);
    auto *Buttons = new QHBoxLayout;
    Buttons->addStretch(1);
    Buttons->addWidget(Button2);
    Buttons->addWidget(Button3);
    auto *Layout = new QVBoxLayout(this);
    Layout->addLayout(Fields);
    for (QCheckBox *C : {CheckBox1, CheckBox2, CheckBox3, CheckBox4})
        Layout->addWidget(C);
    Layout->addLayout(Buttons);
    setMinimumWidth(480);
    SetDialogButtons(Button2, Button3);
    SetTabOrder({Edit1, Edit2, Button1, Edit3, Button4, CheckBox1, CheckBox2, CheckBox3, CheckBox4, Button2, Button3});

    connect(Edit1, &QLineEdit::textEdited, this, [this] { FNameChanged = true; });
    connect(Edit1, &QLineEdit::editingFinished, this, [this] { Edit1Exit(); });
    connect(Button1, &QPushButton::clicked, this, Guarded([this] { Button1Click(); }));
    connect(Button4, &QPushButton::clicked, this, Guarded([this] { Button4Click(); }));
    connect(Button2, &QPushButton::clicked, this, Guarded([this] { Button2Click(); }));
    connect(Button3, &QPushButton::clicked, this, Guarded([this] { Button3Click(); }));
}

TForm7::~TForm7()
{
    Edit1->disconnect(this);
}

QString TForm7::DefaultsFile()
{
    return ProgramFolder() + QStringLiteral("cts_default.dat");
}

void TForm7::showEvent(QShowEvent *Event)
{
    TCatalogDialog::showEvent(Event);
    FormShow();
}

void TForm7::FormShow()
{
    if (Edit1->text().isEmpty())
        Edit1->setText(QStringLiteral("新的目录册-") + StoredDateToStr(Date()));
    if (Edit2->text().isEmpty())
        LoadDefaults();
    FNameChanged = false;
}

void TForm7::LoadDefaults()
{
    QString Folder = ProgramFolder() + QStringLiteral("目录册/");
    const QString Defaults = DefaultsFile();
    if (FileExists(Defaults)) {
        const QStringList Lines = LoadLines(Defaults);
        const QString Name = TCatalogBook::Value(Lines, QStringLiteral("Catalog_name"));
        if (!Name.trimmed().isEmpty())
            Edit1->setText(Name);
        Edit3->setText(TCatalogBook::Value(Lines, QStringLiteral("Catalog_Output")).trimmed());
        CheckBox2->setChecked(TCatalogBook::Value(Lines, QStringLiteral("Catalog_always_open")) == QLatin1String("true"));
        CheckBox3->setChecked(TCatalogBook::Value(Lines, QStringLiteral("Catalog_fulltext_search")) == QLatin1String("true"));
        CheckBox4->setChecked(TCatalogBook::Value(Lines, QStringLiteral("Catalog_move_v")) == QLatin1String("true"));
        CheckBox1->setChecked(true);
        // A folder of another machine (or one that is gone) leaves the program's own.
        const QString Saved = NativePath(TCatalogBook::Value(Lines, QStringLiteral("catalog_save_path")).trimmed());
        if (Saved.startsWith(QLatin1Char('/')) && DirectoryExists(Saved))
            Folder = IncludeTrailingPathDelimiter(Saved);
    }
    Edit2->clear();
    for (int N = 1; N <= 999; ++N) {
        const QString Path = Folder + QStringLiteral("新建目录册") + QString::number(N) + QStringLiteral(".qbs");
        if (!FileExists(Path)) {
            Edit2->setText(Path);
            break;
        }
    }
    if (Edit3->text().isEmpty())
        Edit3->setText(ProgramFolder() + QStringLiteral("输出"));
}

void TForm7::Edit1Exit()
{
    if (!FNameChanged)
        return;
    const QString Path = Edit2->text();
    if (FileExists(Path))
        return;
    // The typed name becomes a file name: no separator or control character may
    // carry the book file out of its folder.
    const QString Name = TCatalogBook::SafeFileName(Edit1->text());
    if (Name.isEmpty())
        return;
    const QString Folder = Path.isEmpty() ? ProgramFolder() + QStringLiteral("目录册/") : ExtractFilePath(Path);
    Edit2->setText(Folder + Name + QStringLiteral(".qbs"));
}

void TForm7::Button1Click()
{
    TSaveDialog SaveDialog1;
    SaveDialog1.OwnerWindow = this;
    SaveDialog1.DefaultExt = QStringLiteral("qbs");
    SaveDialog1.Filter = QStringLiteral("目录册 *.qbs|*.qbs|全部文件 *.*|*.*");
    SaveDialog1.Options |= OpenOpt(ofOverwritePrompt) | OpenOpt(ofPathMustExist);
    SaveDialog1.InitialDir = ExtractFilePath(Edit2->text());
    SaveDialog1.FileName = Edit2->text();
    if (SaveDialog1.Execute())
        Edit2->setText(SaveDialog1.FileName);
}

void TForm7::Button4Click()
{
    const QString Folder = ::BrowseForFolder(QStringLiteral("请选择一个文件夹："), this);
    if (!Folder.isEmpty())
        Edit3->setText(Folder);
}

void TForm7::Button2Click()
{
    CatalogName = Edit1->text();
    CatalogPath = Edit2->text();
    CatalogOutput = Edit3->text();
    FullTextSearch = CheckBox3->isChecked();
    AlwaysOpen = CheckBox2->isChecked();
    MoveV = CheckBox4->isChecked();
    auto *Main = dynamic_cast<TMessageTarget *>(parentWidget());

    const QString Path = CatalogPath;
    if (!FileExists(Path)) {
        if (Path.isEmpty() || QFileInfo(Path).isDir())
            throw EFCreateError(CannotCreateFileText(Path));
        const QString Folder = ExtractFilePath(Path);
        if (!Folder.isEmpty() && !DirectoryExists(Folder))
            CreateDir(Folder);
        SaveLines(Path, TCatalogBook::NewBookLines(CatalogName, CatalogOutput, FullTextSearch,
                                                   AlwaysOpen, MoveV));
        TCatalogBook::AppendHistory(ProgramFolder() + QStringLiteral("cts_history.txt"), Path);
        ::SendMessage(Main, WM_FORMNOTIFY, 101, 0);
        ::PostMessage(Main, WM_FORMNOTIFY, 102, 0);
    } else {
        ::SendMessage(Main, WM_FORMNOTIFY, 100, 0);
    }

    if (CheckBox1->isChecked()) {
        SaveLines(DefaultsFile(), TCatalogBook::DefaultsLines(CatalogName, ExtractFilePath(Path), CatalogOutput,
                                                              AlwaysOpen, FullTextSearch, MoveV));
    } else if (FileExists(DefaultsFile())) {
        DeleteFile(DefaultsFile());
    }

    Edit1->clear();
    Edit2->clear();
    Edit3->clear();
    SetModalResult(1);
}

void TForm7::Button3Click()
{
    Edit1->clear();
    Edit2->clear();
    Edit3->clear();
    SetModalResult(2);
}
