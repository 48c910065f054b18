#include "AboutBox.h"

#include "ProgramIcon.h"

#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace {

const QString ProductTitle = QStringLiteral("Quillbook 2007");
const QString AuthorLine = QStringLiteral("Quillbook 开发组");

} // namespace

TAboutBox::TAboutBox(QWidget *Parent)
    : TCatalogDialog(Parent, QStringLiteral("AboutBox"), QStringLiteral("关于 ") + ProductTitle)
{
    const QIcon Icon = ProgramIcon();
    setWindowIcon(Icon);
    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setPixmap(Icon.pixmap(64, 64));
    Image1->setAlignment(Qt::AlignTop | Qt::AlignHCenter);
    Label1 = new QLabel(ProductTitle, this);
    Label1->setObjectName(QStringLiteral("Label1"));
    QFont Title = Label1->font();
    Title.setBold(true);
    Title.setPointSizeF(Title.pointSizeF() * 1.4);
    Label1->setFont(Title);
    Label2 = new QLabel(AuthorLine, this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Button1 = new QPushButton(QStringLiteral("确定"), this);
    Button1->setObjectName(QStringLiteral("Button1"));

    auto *Texts = new QVBoxLayout;
    Texts->addWidget(Label1);
    Texts->addWidget(Label2);
    Texts->addStretch(1);
    auto *Top = new QHBoxLayout;
    Top->addWidget(Image1);
    Top->addSpacing(12);
    Top->addLayout(Texts, 1);
    auto *Buttons = new QHBoxLayout;
    Buttons->addStretch(1);
    Buttons->addWidget(Button1);
    auto *Layout = new QVBoxLayout(this);
    Layout->addLayout(Top);
    Layout->addLayout(Buttons);
    Layout->setSizeConstraint(QLayout::SetFixedSize);

    // A window manager cuts a caption that its title bar has no room for: the
    // box is as wide as the caption in a title font somewhat larger than the
    // box's own, with room for the window's icon and its buttons.
    QFont CaptionFont = font();
    CaptionFont.setBold(true);
    CaptionFont.setPointSizeF(CaptionFont.pointSizeF() * 1.25);
    const int Caption = QFontMetrics(CaptionFont).horizontalAdvance(windowTitle());
    const int TitleBarIcons = 5 * style()->pixelMetric(QStyle::PM_TitleBarHeight);
    Layout->addStrut(Caption + TitleBarIcons);

    SetDialogButtons(Button1, Button1);
    connect(Button1, &QPushButton::clicked, this, [this] { SetModalResult(1); });
}
