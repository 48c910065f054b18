#pragma once
// A main window over a fresh program folder (the shipped data), scripted
// answers in place of the user, and pages written as the program writes them.

#include "QStringPrint.h"
#include "TestSupport.h"
#include "catalog/document/CatalogBook.h"
#include "platform/core/Classes.h"
#include "catalog/forms/CatalogUi.h"
#include "catalog/forms/Forms.h"
#include "catalog/forms/MainWindow.h"
#include "platform/core/FileUtils.h"
#include "platform/services/ScriptedPrompts.h"
#include "platform/services/Shell.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QListWidget>
#include <QToolButton>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

namespace BookFixture {

// Every question is recorded; one nobody answered fails the test.
class TScriptedUi {
public:
    TScriptedUi()
    {
        auto P = std::make_unique<TScriptedPrompts>();
        auto S = std::make_unique<TScriptedShell>();
        Prompts = P.get();
        Shell = S.get();
        SetPrompts(std::move(P));
        SetShell(std::move(S));
        ClearScriptFailure();
        Script.ShowModal = [this](QDialog *Dialog) {
            Dialogs.append(Dialog->objectName());
            return OnModal ? OnModal(Dialog) : 2;
        };
        Script.Terminate = [] {};
        CatalogUi::SetScript(&Script);
    }
    ~TScriptedUi()
    {
        EXPECT_EQ(Prompts->PendingAnswers(), 0) << "answers left over";
        EXPECT_EQ(PendingScriptFailure().toStdString(), std::string());
        CatalogUi::SetScript(nullptr);
        SetPrompts(nullptr);
        SetShell(nullptr);
    }
    TScriptedUi(const TScriptedUi &) = delete;
    TScriptedUi &operator=(const TScriptedUi &) = delete;

    void Answer(std::initializer_list<const char *> Buttons)
    {
        for (const char *B : Buttons)
            Prompts->AnswerButton(QString::fromLatin1(B));
    }
    // The message boxes asked so far: "caption|text".
    QStringList Asked() const
    {
        QStringList R;
        for (const TPromptRecord &P : Prompts->Records())
            if (P.Kind == TPromptKind::MessageBox)
                R << P.Caption + QLatin1Char('|') + P.Text;
        return R;
    }
    QStringList ShellCalls() const
    {
        QStringList R;
        for (const TShellCall &C : Shell->Calls())
            R << C.Describe();
        return R;
    }

    TScriptedPrompts *Prompts;
    TScriptedShell *Shell;
    CatalogUi::TScript Script;
    QStringList Dialogs;
    std::function<int(QDialog *)> OnModal;
};

inline void CopyTree(const QString &From, const QString &To)
{
    QDirIterator It(From, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (It.hasNext()) {
        const QString F = It.next();
        const QString Dest = To + QLatin1Char('/') + QDir(From).relativeFilePath(F);
        QDir().mkpath(QFileInfo(Dest).absolutePath());
        QFile::copy(F, Dest);
    }
}

inline QStringList PageLines(const QString &Id, const QString &Title, int Products)
{
    QStringList L{QStringLiteral("QBT FILE TYPE 2.0"),
                  QStringLiteral("{Catalog编号}=") + Id,
                  QStringLiteral("{Catalog名称}=") + Title,
                  QStringLiteral("{业务员名}=张三"),
                  QStringLiteral("{客户编号}="),
                  QStringLiteral("{客户名称}="),
                  QStringLiteral("{客户公司名}="),
                  QStringLiteral("{日期}=2026-12-7"),
                  QStringLiteral("{货币符号}=￥"),
                  QStringLiteral("{产品单位}=个"),
                  QStringLiteral("{重量单位}=克"),
                  QStringLiteral("{图片宽}=0"),
                  QStringLiteral("{图片高}=0"),
                  QStringLiteral("{输出目录}="),
                  QStringLiteral("{输出方式}=HTML(网页文件类型)"),
                  QStringLiteral("{输出风格}=春天系列"),
                  QStringLiteral("{输出语言}=中文"),
                  QStringLiteral("{订单接收email地址}=order@example.invalid"),
                  QStringLiteral("{图片框百分比}=75"),
                  QStringLiteral("{Catalog说明}=说明"),
                  QStringLiteral("/*以下内容均由程序自动生成，一般用户无需自行修改。"),
                  QStringLiteral("{detail}"),
                  QString()};
    for (int N = 1; N <= Products; ++N)
        L << QStringLiteral("{$%1}").arg(N) << QStringLiteral("{$IMG}=pics\\%2p%1.jpg").arg(N).arg(Id)
          << QStringLiteral("{$PID}=%1-%2").arg(Id).arg(N) << QStringLiteral("{$PNAME}=%1商品%2").arg(Title).arg(N)
          << QStringLiteral("{$PPRICE}=%1.50").arg(N) << QStringLiteral("{$PUNIT}=件") << QStringLiteral("{$PWEIGHT}=5")
          << QStringLiteral("{$PSERIAL}=S%1").arg(N) << QStringLiteral("{$PNOTE}=好");
    return L;
}

class BookWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        TForm1::BrowserEnabled = false;
        Exe = Program.Path() + QLatin1Char('/');
        CopyTree(TestSupport::DataDir(), Program.Path());
        QDir().mkpath(Exe + QStringLiteral("目录册"));
        QDir().mkpath(Exe + QStringLiteral("输出"));
        SetProgramFolder(Program.Path());
        Docs = Data.Path() + QLatin1Char('/');
        QDir().mkpath(Docs + QStringLiteral("pics"));
    }
    void TearDown() override
    {
        Form.reset();
        SetProgramFolder(QString());
    }

    // A window after its start-up walk over Args (no argument: the start dialog is closed).
    TForm1 *Start(const QStringList &Args = {})
    {
        Form = std::make_unique<TForm1>();
        Form->CommandLine = QStringList{QStringLiteral("/opt/quillbook/quillbook")} + Args;
        QApplication::processEvents();
        return Form.get();
    }

    QString WritePage(const QString &Name, const QString &Id, const QString &Title, int Products = 2)
    {
        const QString Path = Docs + Name;
        QDir().mkpath(QFileInfo(Path).absolutePath());
        SaveLines(Path, PageLines(Id, Title, Products));
        for (int N = 1; N <= Products; ++N)
            TestSupport::WriteAll(QFileInfo(Path).absolutePath() + QStringLiteral("/pics/%2p%1.jpg").arg(N).arg(Id),
                                  QByteArray("\xFF\xD8\xFF\xE0 picture ") + Id.toUtf8() + QByteArray::number(N));
        return Path;
    }

    QString WriteBook(const QString &Name, const QStringList &Entries, const QStringList &Settings = {})
    {
        QStringList L{QStringLiteral("Catalog_name=三页目录册"), QStringLiteral("catalog_index_name="),
                      QStringLiteral("Catalog_Lost_name="), QStringLiteral("Catalog_Output=")};
        L << QStringLiteral("{$Files}") << Entries;
        for (const QString &S : Settings) {
            const int Eq = int(S.indexOf(QLatin1Char('=')));
            TCatalogBook::SetValue(L, S.left(Eq), S.mid(Eq + 1));
        }
        SaveLines(Docs + Name, L);
        return Docs + Name;
    }

    QStringList Items() const
    {
        QStringList R;
        for (int I = 0; I < Form->ListBox1->count(); ++I)
            R << Form->ListBox1->item(I)->text();
        return R;
    }

    QStringList Read(const QString &File) const { return LoadLines(File); }

    TestSupport::TempDir Program;
    TestSupport::TempDir Data;
    QString Exe, Docs;
    std::unique_ptr<TForm1> Form;
};

} // namespace BookFixture
