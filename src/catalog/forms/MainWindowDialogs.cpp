// The main window's commands that open the page settings and company
// dialogs, and the output-language switch of the output menu.

#include "Forms.h"
#include "MainWindow.h"
#include "catalog/document/PageSettings.h"
#include "platform/services/Application.h"
#include "platform/services/Prompts.h"

#include <QAction>
#include <QMenu>
#include <QPushButton>
#include <QToolButton>

void TForm1::ConnectDialogCommands()
{
    auto Bind = [this](QObject *Sender, void (TForm1::*Handler)()) {
        if (auto *B = qobject_cast<QAbstractButton *>(Sender))
            connect(B, &QAbstractButton::clicked, this, [this, Handler] { Guard([this, Handler] { (this->*Handler)(); }); });
        else if (auto *A = qobject_cast<QAction *>(Sender))
            connect(A, &QAction::triggered, this, [this, Handler] { Guard([this, Handler] { (this->*Handler)(); }); });
    };
    Bind(SpeedButton8, &TForm1::SpeedButton8Click);
    Bind(Button2, &TForm1::Button2Click);
    Bind(findChild<QAction *>(QStringLiteral("N98")), &TForm1::SpeedButton8Click);
    Bind(findChild<QAction *>(QStringLiteral("N120")), &TForm1::SpeedButton8Click);
    Bind(findChild<QAction *>(QStringLiteral("N18")), &TForm1::Button2Click);
    // 切换输出语言 opens a sub-menu holding the switch itself.
    if (auto *N122 = findChild<QAction *>(QStringLiteral("N122")); N122 && !N122->menu()) {
        auto *Sub = new QMenu(this);
        Sub->setObjectName(QStringLiteral("N122Menu"));
        QAction *N124 = Sub->addAction(QStringLiteral("切换"));
        N124->setObjectName(QStringLiteral("N124"));
        N122->setMenu(Sub);
        Bind(N124, &TForm1::N124Click);
    }
}

void TForm1::SpeedButton8Click()
{
    if (!Form3)
        return;
    if (FPage.Count() < 2)
        NewPage();
    Form3->LoadFromPage(FPage);
    if (ShowModal(Form3) == 1) {
        FPageSaved = false;
        SpeedButton9->setEnabled(true);
        RepaintPageList();
    }
}

void TForm1::Button2Click()
{
    if (Form4)
        ShowModal(Form4);
}

void TForm1::N124Click()
{
    const QString Caption = QStringLiteral("输出语言改变");
    if (FPage.Count() < 10) {
        MessageBox(this, QStringLiteral("当前没有打开页面，不能执行此操作。"), Caption, MB_OK | MB_ICONINFORMATION);
        return;
    }
    if (FPage.Values(PageSettings::LanguageKey).trimmed() != PageSettings::Chinese) {
        FPage.SetValues(PageSettings::LanguageKey, PageSettings::Chinese);
        MessageBox(this, QStringLiteral("输出语言已经更改为“中文”。"), Caption, MB_OK | MB_ICONINFORMATION);
        return;
    }
    const QString Question = QStringLiteral(
        "输出语言如果从“中文”改为英文，不能在图片路径，文件名，描述等地方包含中文字，否则会导致图片不能显示，"
        "或者页面内出现乱码。是否更改输出语言？");
    if (MessageBox(this, Question, Caption, MB_YESNO | MB_ICONWARNING) == IDYES) {
        FPage.SetValues(PageSettings::LanguageKey, PageSettings::English);
        MessageBox(this, QStringLiteral("输出语言已经更改为“英文”。"), Caption, MB_OK | MB_ICONINFORMATION);
    }
}
