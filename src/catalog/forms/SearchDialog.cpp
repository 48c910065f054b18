#include "SearchDialog.h"

#include "MainWindow.h"
#include "catalog/document/PageSearch.h"
#include "platform/core/Classes.h"
#include "platform/core/FileUtils.h"
#include "platform/services/Application.h"
#include "platform/services/Prompts.h"
#include "platform/services/Shell.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {

template <class T>
T *Named(T *Widget, const char *Name)
{
    Widget->setObjectName(QString::fromLatin1(Name));
    return Widget;
}

// The lines of a list file, or an empty list when it cannot be read.
QStringList ListLines(const QString &File)
{
    try {
        TStringList L;
        L.LoadFromFile(File);
        return L.ToQStringList();
    } catch (const Exception &) {
        return {};
    }
}

} // namespace

TForm8::TForm8(QWidget *Parent)
    : TCatalogDialog(Parent, QStringLiteral("Form8"), QStringLiteral("搜索"))
{
    Label1 = Named(new QLabel(QStringLiteral("关键字："), this), "Label1");
    Edit1 = Named(new QLineEdit(this), "Edit1");
    Label1->setBuddy(Edit1);
    GroupBox1 = Named(new QGroupBox(QStringLiteral("搜索范围"), this), "GroupBox1");
    RadioButton1 = Named(new QRadioButton(QStringLiteral("搜索所有目录册"), GroupBox1), "RadioButton1");
    RadioButton2 = Named(new QRadioButton(QStringLiteral("搜索当前目录册"), GroupBox1), "RadioButton2");
    RadioButton3 = Named(new QRadioButton(QStringLiteral("搜索当前页面"), GroupBox1), "RadioButton3");
    RadioButton1->setChecked(true);
    CheckBox1 = Named(new QCheckBox(QStringLiteral("区分大小写"), this), "CheckBox1");
    Button1 = Named(new QPushButton(QStringLiteral("搜索"), this), "Button1");
    Button2 = Named(new QPushButton(QStringLiteral("停止"), this), "Button2");
    Button2->setEnabled(false);
    ListBox1 = Named(new QListWidget(this), "ListBox1");
    ProgressBar1 = Named(new QProgressBar(this), "ProgressBar1");
    ProgressBar1->setTextVisible(false);
    ProgressBar1->setValue(0);

    auto *Scope = new QVBoxLayout(GroupBox1);
    for (QRadioButton *R : {RadioButton1, RadioButton2, RadioButton3})
        Scope->addWidget(R);
    auto *Key = new QHBoxLayout;
    Key->addWidget(Label1);
    Key->addWidget(Edit1, 1);
    auto *Buttons = new QVBoxLayout;
    Buttons->addWidget(Button1);
    Buttons->addWidget(Button2);
    Buttons->addStretch(1);
    auto *Options = new QHBoxLayout;
    Options->addWidget(GroupBox1, 1);
    Options->addWidget(CheckBox1, 0, Qt::AlignTop);
    Options->addLayout(Buttons);
    auto *Layout = new QVBoxLayout(this);
    Layout->addLayout(Key);
    Layout->addLayout(Options);
    Layout->addWidget(ListBox1, 1);
    Layout->addWidget(ProgressBar1);
    resize(520, 400);
    SetDialogButtons(Button1, nullptr);

    connect(Button1, &QPushButton::clicked, this, Guarded([this] { Button1Click(); }));
    connect(Button2, &QPushButton::clicked, this, Guarded([this] { Button2Click(); }));
    connect(ListBox1, &QListWidget::itemDoubleClicked, this, Guarded([this] { ListBox1DblClick(); }));
}

QString TForm8::ProgramExecutable()
{
    // The program and its driver live side by side in the program's own folder.
    return IncludeTrailingPathDelimiter(ExtractFileDir(QCoreApplication::applicationFilePath())) + QStringLiteral("quillbook");
}

void TForm8::Button1Click()
{
    FClosing = false;
    Button2->setEnabled(true);
    Button1->setEnabled(false);
    const QString Keyword = Edit1->text();
    QStringList Files;
    if (RadioButton1->isChecked()) {
        const QString History = ProgramFolder() + QStringLiteral("history.txt");
        if (FileExists(History))
            Files = PageSearch::ListedFiles(ListLines(History), ProgramFolder());
        else
            MessageBox(this, QStringLiteral("历史记录文件不存在，搜索不能完成"), QStringLiteral("错误"), MB_OK | MB_ICONERROR);
    } else if (RadioButton2->isChecked()) {
        if (!CatalogFile.isEmpty() && FileExists(CatalogFile))
            Files = PageSearch::ListedFiles(ListLines(CatalogFile), DocumentFolder(CatalogFile));
        else
            MessageBox(this, QStringLiteral("当前没有打开目录册，搜索不能完成"), QStringLiteral("错误"), MB_OK | MB_ICONERROR);
    } else {
        if (auto *Main = qobject_cast<TForm1 *>(parentWidget()))
            Main->FindNextProduct(Keyword, false);
        Button1->setEnabled(true);
        Button2->setEnabled(false);
        done(mrOk);
        return;
    }

    ListBox1->clear();
    int Count = 0;
    {
        TWaitCursor Wait;
        // Found pages reach the list in batches: the list lays out all its
        // lines again after each insertion, so a line added per page would
        // cost as much as the search itself once thousands are found. A batch
        // goes in when it is as long as the list, or when the list has been
        // left alone for a while (long enough that its lay-out costs a small
        // part of the time), and at the end.
        QStringList Found;
        QElapsedTimer SinceShown;
        SinceShown.start();
        qint64 ShowEvery = 300;
        bool JustShown = false;
        const auto ShowFound = [&](bool Now) {
            if (Found.isEmpty()
                || (!Now && Found.size() < qMax<qsizetype>(16, ListBox1->count()) && SinceShown.elapsed() < ShowEvery))
                return;
            ListBox1->addItems(Found);
            Found.clear();
            SinceShown.restart();
            JustShown = true;
        };
        ProgressBar1->setRange(0, qMax(1, int(Files.size())));
        int Pumped = 0;
        // Events are handled now and then, so Stop (and closing) can end the search.
        const auto Stopped = [this, &Pumped] {
            if (++Pumped % 64 == 0)
                ProcessMessages();
            return !Button2->isEnabled();
        };
        for (qsizetype K = 0; K < Files.size(); ++K) {
            ProgressBar1->setValue(int(K + 1));
            QElapsedTimer Pump;
            Pump.start();
            ProcessMessages();
            if (JustShown) {
                ShowEvery = qMax<qint64>(300, 10 * Pump.elapsed());
                JustShown = false;
            }
            if (!Button2->isEnabled())
                break;
            const PageSearch::TFileResult R = PageSearch::SearchFile(Files[K], Keyword, CheckBox1->isChecked(), Stopped);
            if (R == PageSearch::frMissing)
                continue;
            ++Count;
            if (R == PageSearch::frMatch)
                Found << Files[K];
            ShowFound(false);
            if (R == PageSearch::frStopped)
                break;
        }
        ShowFound(true);
    }
    ProgressBar1->setValue(0);
    Button1->setEnabled(true);
    Button2->setEnabled(false);
    // A search ended by closing the dialog reports nothing.
    if (!FClosing)
        MessageBox(this, QStringLiteral("搜索完毕，一共搜索了 %1 个文件").arg(Count), QStringLiteral("完毕"),
                   MB_OK | MB_ICONINFORMATION);
}

void TForm8::Button2Click()
{
    Button2->setEnabled(false);
}

void TForm8::StopSearch()
{
    if (Button2->isEnabled()) {
        FClosing = true;
        Button2->setEnabled(false);
    }
}

void TForm8::ListBox1DblClick()
{
    QListWidgetItem *Item = ListBox1->currentItem();
    if (!Item)
        return;
    const QString Page = Item->text();
    const int Answer = MessageBox(
        this, QStringLiteral("点击“是”直接打开此页面，点击“否”则首先查找哪个目录册包含此页面并打开目录册。"),
        QStringLiteral("请选择"), MB_YESNOCANCEL | MB_ICONQUESTION);
    if (Answer == IDYES) {
        Shell().StartProgram(ProgramExecutable(), {Page});
    } else if (Answer == IDNO) {
        if (!FindCatalogOfPage(ExtractFileName(Page)))
            MessageBox(this,
                       QStringLiteral("没有找到匹配的目录册，也许你曾经清空了全部或者部分目录册历史记录。"),
                       QStringLiteral("完毕"), MB_OK | MB_ICONINFORMATION);
    }
}

bool TForm8::FindCatalogOfPage(const QString &PageName)
{
    QString Book;
    {
        TWaitCursor Wait;
        Book = PageSearch::FindCatalogOfPage(ProgramFolder() + QStringLiteral("cts_history.txt"), ProgramFolder(), PageName);
    }
    if (Book.isEmpty())
        return false;
    Shell().StartProgram(ProgramExecutable(), {Book});
    return true;
}

void TForm8::reject()
{
    StopSearch();
    TCatalogDialog::reject();
}

void TForm8::closeEvent(QCloseEvent *Event)
{
    StopSearch();
    TCatalogDialog::closeEvent(Event);
}
