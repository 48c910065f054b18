#include "BatchTextDialog.h"

#include "MainWindow.h"
#include "PictureText.h"
#include "PictureViewer.h"
#include "platform/core/SysUtils.h"
#include "platform/services/Application.h"
#include "platform/services/Prompts.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

namespace {

template <class T>
T *Named(T *Widget, const char *Name)
{
    Widget->setObjectName(QString::fromLatin1(Name));
    return Widget;
}

} // namespace

TForm6::TForm6(QWidget *Parent)
    : TCatalogDialog(Parent, QStringLiteral("Form6"), QStringLiteral("批量写字－设置")),
      FViewer(qobject_cast<TPictureView *>(Parent))
{
    auto *Digits = new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), this);
    Edit1 = Named(new QLineEdit(QStringLiteral("1"), this), "Edit1");
    Edit2 = Named(new QLineEdit(this), "Edit2");
    Edit1->setValidator(Digits);
    Edit2->setValidator(Digits);
    GroupBox1 = Named(new QGroupBox(QStringLiteral("文字在图上的位置"), this), "GroupBox1");
    RadioButton1 = Named(new QRadioButton(QStringLiteral("相对位置"), GroupBox1), "RadioButton1");
    RadioButton2 = Named(new QRadioButton(QStringLiteral("绝对位置"), GroupBox1), "RadioButton2");
    RadioButton1->setChecked(true);
    GroupBox2 = Named(new QGroupBox(QStringLiteral("文件方式"), this), "GroupBox2");
    RadioButton3 = Named(new QRadioButton(QStringLiteral("创建副本（推荐）"), GroupBox2), "RadioButton3");
    RadioButton4 = Named(new QRadioButton(QStringLiteral("覆盖原文件"), GroupBox2), "RadioButton4");
    RadioButton3->setChecked(true);
    GroupBox3 = Named(new QGroupBox(QStringLiteral("文字位置、内容、变量"), this), "GroupBox3");
    ComboBox2 = Named(new QComboBox(GroupBox3), "ComboBox2");
    ComboBox1 = Named(new QComboBox(GroupBox3), "ComboBox1");
    ComboBox1->setEditable(true);
    ComboBox1->addItems(PictureText::Placeholders);
    Label4 = Named(new QLabel(this), "Label4");
    Label4->setWordWrap(true);
    SkippedList = Named(new QListWidget(this), "SkippedList");
    SkippedList->setMaximumHeight(8 * SkippedList->fontMetrics().height());
    SkippedList->hide();
    Button1 = Named(new QPushButton(QStringLiteral("开始"), this), "Button1");
    Button2 = Named(new QPushButton(QStringLiteral("取消"), this), "Button2");

    auto *Range = new QHBoxLayout;
    Range->addWidget(new QLabel(QStringLiteral("从第"), this));
    Range->addWidget(Edit1);
    Range->addWidget(new QLabel(QStringLiteral("个商品到第"), this));
    Range->addWidget(Edit2);
    Range->addWidget(new QLabel(QStringLiteral("个商品"), this));
    auto *Place = new QVBoxLayout(GroupBox1);
    Place->addWidget(RadioButton1);
    Place->addWidget(RadioButton2);
    auto *Files = new QVBoxLayout(GroupBox2);
    Files->addWidget(RadioButton3);
    Files->addWidget(RadioButton4);
    auto *Texts = new QVBoxLayout(GroupBox3);
    Texts->addWidget(ComboBox2);
    Texts->addWidget(ComboBox1);
    auto *Options = new QHBoxLayout;
    Options->addWidget(GroupBox1);
    Options->addWidget(GroupBox2);
    auto *Buttons = new QHBoxLayout;
    Buttons->addWidget(Label4, 1);
    Buttons->addWidget(Button1);
    Buttons->addWidget(Button2);
    auto *Layout = new QVBoxLayout(this);
    Layout->addLayout(Range);
    Layout->addLayout(Options);
    Layout->addWidget(GroupBox3);
    Layout->addLayout(Buttons);
    Layout->addWidget(SkippedList);
    resize(460, 300);
    SetDialogButtons(Button1, Button2);

    connect(ComboBox2, &QComboBox::currentIndexChanged, this, Guarded([this] { ComboBox2Change(); }));
    connect(ComboBox1, &QComboBox::editTextChanged, this, Guarded([this] { ComboBox1Change(); }));
    connect(Button1, &QPushButton::clicked, this, Guarded([this] { Button1Click(); }));
    connect(Button2, &QPushButton::clicked, this, Guarded([this] { Button2Click(); }));
}

void TForm6::showEvent(QShowEvent *Event)
{
    TCatalogDialog::showEvent(Event);
    Guarded([this] { FormShow(); })();
}

void TForm6::FormShow()
{
    Label4->clear();
    if (ComboBox2->count() > 0) {
        ComboBox2->setCurrentIndex(0);
        ComboBox2Change();
    }
}

QStringList TForm6::Entries() const
{
    QStringList R;
    for (int I = 0; I < ComboBox2->count(); ++I)
        R << ComboBox2->itemText(I);
    return R;
}

int TForm6::ProductCount() const
{
    const auto *Main = FViewer ? qobject_cast<TForm1 *>(FViewer->parentWidget()) : nullptr;
    return Main ? Main->CellGrid1->RowCount() / 6 : 0;
}

void TForm6::ComboBox2Change()
{
    const int I = ComboBox2->currentIndex();
    if (I < 0)
        return;
    FFilling = true;
    ComboBox1->setEditText(PictureText::ParseEntry(ComboBox2->itemText(I)).Text);
    FFilling = false;
}

void TForm6::ComboBox1Change()
{
    const int I = ComboBox2->currentIndex();
    if (FFilling || I < 0)
        return;
    // Only the text part changes: a text holding commas stays one text.
    ComboBox2->setItemText(I, PictureText::ReplaceText(ComboBox2->itemText(I), ComboBox1->currentText()));
}

void TForm6::Button1Click()
{
    if (RadioButton4->isChecked()
        && MessageDlg(QStringLiteral("您选择了覆盖原文件，这些文字将会永久保存在原先的图片上，不可恢复，是否继续？"), mtWarning,
                      mbYesNo) != mrYes)
        return;
    // The range holds existing products only.
    const int First = qMax(1, StrToInt(Edit1->text()));
    const int Last = qMin(StrToInt(Edit2->text()), ProductCount());
    const QStringList Texts = Entries();
    Button1->setEnabled(false);
    Button2->setText(QStringLiteral("停止"));
    Button2->setEnabled(true);
    FRunning = true;
    SkippedList->clear();
    SkippedList->hide();
    int Written = 0;
    struct TEnd {
        TForm6 *Form;
        ~TEnd()
        {
            Form->FRunning = false;
            Form->Button1->setEnabled(true);
            Form->Button2->setText(QStringLiteral("关闭"));
            Form->Button2->setEnabled(true);
        }
    } End{this};
    for (int N = First; N <= Last; ++N) {
        if (!Button2->isEnabled()) {
            Label4->setText(QStringLiteral("操作被取消。已经处理了 %1 个图片。").arg(N - First));
            return;
        }
        Label4->setText(QStringLiteral("正在处理第 %1 个图片……").arg(N));
        ProcessMessages();
        if (!Button2->isEnabled()) {
            Label4->setText(QStringLiteral("操作被取消。已经处理了 %1 个图片。").arg(N - First));
            return;
        }
        if (!FViewer)
            continue;
        QString Reason;
        if (FViewer->BatchWriteText(N, RadioButton1->isChecked(), Texts, RadioButton3->isChecked(), &Reason))
            ++Written;
        else
            Skipped(N, Reason);
    }
    QString Done = QStringLiteral("操作完成！已在 %1 个图片上写了文字。").arg(Written);
    if (SkippedList->count() > 0)
        Done += QStringLiteral("跳过了 %1 个商品的图片：").arg(SkippedList->count());
    Label4->setText(Done);
}

void TForm6::Skipped(int N, const QString &Reason)
{
    SkippedList->addItem(QStringLiteral("第 %1 个商品，%2").arg(N).arg(Reason));
    SkippedList->show();
}

void TForm6::Button2Click()
{
    if (FRunning)
        Button2->setEnabled(false);   // the run stops before the next picture
    else
        done(mrCancel);
}
