#include "WebEffectsDialog.h"

#include "MainWindow.h"
#include "platform/core/Classes.h"
#include "platform/core/FileUtils.h"
#include "platform/services/Application.h"
#include "platform/services/Shell.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

template <class T>
T *Named(T *Widget, const char *Name)
{
    Widget->setObjectName(QString::fromLatin1(Name));
    return Widget;
}

QPushButton *Button(QWidget *Parent, const char *Name, const QString &Caption)
{
    return Named(new QPushButton(Caption, Parent), Name);
}

} // namespace

TForm5::TForm5(QWidget *Parent)
    : TCatalogDialog(Parent, QStringLiteral("Form5"), QStringLiteral("网页特效"))
{
    Label1 = Named(new QLabel(this), "Label1");
    Label2 = Named(new QLabel(QStringLiteral("Catalog背景图："), this), "Label2");
    Edit1 = Named(new QLineEdit(this), "Edit1");
    Button1 = Button(this, "Button1", QStringLiteral("浏览……"));
    Button8 = Button(this, "Button8", QStringLiteral("清除"));
    Label3 = Named(new QLabel(QStringLiteral("Catalog背景音乐："), this), "Label3");
    Edit2 = Named(new QLineEdit(this), "Edit2");
    Button2 = Button(this, "Button2", QStringLiteral("浏览……"));
    Button9 = Button(this, "Button9", QStringLiteral("清除"));
    Button3 = Button(this, "Button3", QStringLiteral("试听"));
    Button4 = Button(this, "Button4", QStringLiteral("停止"));
    Button4->setEnabled(false);
    Label6 = Named(new QLabel(QStringLiteral("英文catalog不要选用中文名字的迷笛"), this), "Label6");
    Label4 = Named(new QLabel(QStringLiteral("Catalog显示效果："), this), "Label4");
    ComboBox1 = Named(new QComboBox(this), "ComboBox1");
    Label5 = Named(new QLabel(this), "Label5");
    Label5->setWordWrap(true);
    Button5 = Button(this, "Button5", QStringLiteral("确定"));
    Button6 = Button(this, "Button6", QStringLiteral("取消"));
    Button7 = Button(this, "Button7", QStringLiteral("预览背景特效"));
    Label2->setBuddy(Edit1);
    Label3->setBuddy(Edit2);
    Label4->setBuddy(ComboBox1);

    OpenPictureDialog1 = std::make_unique<TOpenPictureDialog>();
    OpenPictureDialog1->OwnerWindow = this;
    OpenDialog1 = std::make_unique<TOpenDialog>();
    OpenDialog1->OwnerWindow = this;
    OpenDialog1->Filter = QStringLiteral("MIDI音乐 *.mid|*.mid");

    auto *Grid = new QGridLayout;
    Grid->addWidget(Label2, 0, 0);
    Grid->addWidget(Edit1, 0, 1);
    Grid->addWidget(Button1, 0, 2);
    Grid->addWidget(Button8, 0, 3);
    Grid->addWidget(Label3, 1, 0);
    Grid->addWidget(Edit2, 1, 1);
    Grid->addWidget(Button2, 1, 2);
    Grid->addWidget(Button9, 1, 3);
    auto *Music = new QHBoxLayout;
    Music->addWidget(Label6, 1);
    Music->addWidget(Button3);
    Music->addWidget(Button4);
    Grid->addLayout(Music, 2, 1, 1, 3);
    Grid->addWidget(Label4, 3, 0);
    Grid->addWidget(ComboBox1, 3, 1);
    Grid->addWidget(Label5, 4, 1, 1, 3);
    Grid->setColumnStretch(1, 1);
    auto *Buttons = new QHBoxLayout;
    Buttons->addWidget(Button7);
    Buttons->addStretch(1);
    Buttons->addWidget(Button5);
    Buttons->addWidget(Button6);
    auto *Layout = new QVBoxLayout(this);
    Layout->addWidget(Label1);
    Layout->addLayout(Grid);
    Layout->addStretch(1);
    Layout->addLayout(Buttons);
    resize(560, 260);
    SetDialogButtons(Button5, Button6);
    SetTabOrder({Edit1, Button1, Button8, Edit2, Button2, Button9, Button3, Button4, ComboBox1, Button7, Button5, Button6});

    const std::pair<QPushButton *, void (TForm5::*)()> Handlers[] = {
        {Button1, &TForm5::Button1Click}, {Button2, &TForm5::Button2Click}, {Button3, &TForm5::Button3Click},
        {Button4, &TForm5::Button4Click}, {Button5, &TForm5::Button5Click}, {Button6, &TForm5::Button6Click},
        {Button7, &TForm5::Button7Click}, {Button8, &TForm5::Button8Click}, {Button9, &TForm5::Button9Click}};
    for (const auto &H : Handlers) {
        const auto Handler = H.second;
        connect(H.first, &QPushButton::clicked, this, Guarded([this, Handler] { (this->*Handler)(); }));
    }
    connect(ComboBox1, &QComboBox::activated, this, Guarded([this] { ComboBox1Select(); }));
    Edit1->installEventFilter(this);
    Edit2->installEventFilter(this);
}

TForm5::~TForm5()
{
    if (FPlaying)
        Shell().StopMusic();
}

QString TForm5::PreviewFile()
{
    return ScratchFolder() + QStringLiteral("fvhtml.html");
}

QString TForm5::PageFolder() const
{
    const auto *Main = qobject_cast<const TForm1 *>(parentWidget());
    return Main ? DocumentFolder(Main->FPagePath) : QString();
}

WebEffects::TEffects TForm5::Chosen() const
{
    return {Edit1->text().trimmed(), Edit2->text().trimmed(), ComboBox1->currentText()};
}

void TForm5::showEvent(QShowEvent *Event)
{
    TCatalogDialog::showEvent(Event);
    Guarded([this] { FormShow(); })();
}

void TForm5::FormShow()
{
    Label1->setText(QStringLiteral("这里设定的网页视听特效将会应用到Catalog当中。"));
    Edit1->clear();
    Edit2->clear();
    if (FPlaying)
        Button4Click();
    ComboBox1->clear();
    ComboBox1->addItem(WebEffects::NoEffect);
    ComboBox1->addItems(WebEffects::EffectNames(ProgramFolder()));
    FDescriptions = WebEffects::LoadDescriptions(ProgramFolder());
    WebEffects::TEffects Stored;
    if (auto *Main = qobject_cast<TForm1 *>(parentWidget()))
        Stored = WebEffects::Read(Main->Page().Lines(), PageFolder(), ProgramFolder());
    Edit1->setText(Stored.Background);
    Edit2->setText(Stored.Music);
    const int Index = Stored.Effect.isEmpty() ? -1 : ComboBox1->findText(Stored.Effect);
    ComboBox1->setCurrentIndex(Index < 0 ? 0 : Index);
    ComboBox1Select();
}

void TForm5::ComboBox1Select()
{
    Label5->setText(WebEffects::Description(FDescriptions, ComboBox1->currentText()));
}

void TForm5::Button1Click()
{
    OpenPictureDialog1->InitialDir = ProgramFolder() + QStringLiteral("gif");
    if (OpenPictureDialog1->Execute())
        Edit1->setText(ExpandFileName(OpenPictureDialog1->FileName));
}

void TForm5::Button2Click()
{
    if (FPlaying)
        Button4Click();
    OpenDialog1->InitialDir = ProgramFolder() + QStringLiteral("mid");
    if (OpenDialog1->Execute())
        Edit2->setText(ExpandFileName(OpenDialog1->FileName));
}

void TForm5::Button3Click()
{
    const QString Music = Edit2->text().trimmed();
    if (Music.isEmpty())
        return;
    Button3->setEnabled(false);
    Shell().StopMusic();
    Label6->setText(QStringLiteral("已停止"));
    Label6->setText(QStringLiteral("正在打开文件，请稍候"));
    ProcessMessages();
    if (!Shell().PlayMusic(NativePath(Music))) {
        Label6->setText(QStringLiteral("已停止"));
        Button3->setEnabled(true);
        MessageBox(this, QStringLiteral("不能播放背景音乐：") + Music + QStringLiteral("\r\n文件不存在，或者本机没有可以播放MIDI音乐的程序。"),
                   windowTitle(), MB_OK | MB_ICONWARNING);
        return;
    }
    Label6->setText(QStringLiteral("播放中……"));
    Button4->setEnabled(true);
    FPlaying = true;
}

void TForm5::Button4Click()
{
    Button3->setEnabled(true);
    Shell().StopMusic();
    Label6->setText(QStringLiteral("已停止"));
    Button4->setEnabled(false);
    FPlaying = false;
}

void TForm5::Button8Click()
{
    Edit1->clear();
}

void TForm5::Button9Click()
{
    Edit2->clear();
}

void TForm5::Button5Click()
{
    if (FPlaying)
        Button4Click();
    auto *Main = qobject_cast<TForm1 *>(parentWidget());
    if (!Main) {
        done(mrOk);
        return;
    }
    QStringList Lines = Main->Page().Lines();
    QString Error;
    if (!WebEffects::Apply(Lines, Chosen(), PageFolder(), ProgramFolder(), Error)) {
        MessageBox(this, Error, windowTitle(), MB_OK | MB_ICONWARNING);
        return;
    }
    if (Lines != Main->Page().Lines())
        Main->Page().SetLines(Lines);
    done(mrOk);
}

void TForm5::Button6Click()
{
    if (FPlaying)
        Button4Click();
    done(mrCancel);
}

void TForm5::reject()
{
    if (FPlaying)
        Button4Click();
    TCatalogDialog::reject();
}

void TForm5::Button7Click()
{
    const WebEffects::TEffects E = Chosen();
    const bool HasEffect = E.Effect != WebEffects::NoEffect;
    auto *Main = qobject_cast<TForm1 *>(parentWidget());
    const QString Head = HasEffect && Main ? Main->LoadEffectHead(E.Effect) : QString();
    const QString Body = HasEffect && Main ? Main->LoadEffectBody(E.Effect) : QString();
    QList<QPair<QString, QString>> Links;
    if (Main)
        Links = {{Main->StartPageUrl(), QStringLiteral("Quillbook 目录制作")},
                 {Main->MakerPageUrl(QString()), QStringLiteral("联系我们")}};
    const QString File = PreviewFile();
    SaveLines(File, WebEffects::PreviewLines(E, Head, Body, Links));
    Shell().Open(File);
}

void TForm5::Edit1KeyPress(QObject *Sender, QChar &Key)
{
    if (Sender == Edit2 && Key == QChar(8) && FPlaying)
        Button4Click();
}

bool TForm5::eventFilter(QObject *Watched, QEvent *Event)
{
    if ((Watched == Edit1 || Watched == Edit2) && Event->type() == QEvent::KeyPress) {
        auto *K = static_cast<QKeyEvent *>(Event);
        QChar Key = K->key() == Qt::Key_Backspace ? QChar(8) : (K->text().isEmpty() ? QChar() : K->text().at(0));
        Guarded([&] { Edit1KeyPress(Watched, Key); })();
    }
    return TCatalogDialog::eventFilter(Watched, Event);
}
