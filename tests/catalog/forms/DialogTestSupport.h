#pragma once
// Shared by the dialog tests: a program folder per test, company and defaults
// files written and read as code page 936 by python3 (so the bytes on disk are
// checked by a codec other than ours), and scripted answers for every question.

#include "QStringPrint.h"
#include "TestSupport.h"
#include "platform/core/FileUtils.h"
#include "catalog/forms/CatalogUi.h"

#include <QDialog>
#include <QList>
#include <QStringList>
#include <functional>
#include <gtest/gtest.h>

namespace DialogTest {

// Text into a file as code page 936 (GBK), written exactly as given.
inline void WriteGbk(const QString &FileName, const QString &Text)
{
    TestSupport::WriteAll(FileName + QStringLiteral(".utf8"), Text.toUtf8());
    const int Rc = TestSupport::RunProgram(
        QStringLiteral("python3"),
        {QStringLiteral("-c"),
         QStringLiteral("import sys; open(sys.argv[2],'wb').write(open(sys.argv[1],encoding='utf-8',newline='').read().encode('gbk'))"),
         FileName + QStringLiteral(".utf8"), FileName});
    ASSERT_EQ(Rc, 0);
}

// A code page 936 file's text, decoded by python3; line ends stay as they are.
inline QString ReadGbk(const QString &FileName)
{
    QByteArray Out;
    const int Rc = TestSupport::RunProgram(
        QStringLiteral("python3"),
        {QStringLiteral("-c"),
         QStringLiteral("import sys; sys.stdout.buffer.write(open(sys.argv[1],'rb').read().decode('gbk').encode('utf-8'))"),
         FileName},
        &Out);
    EXPECT_EQ(Rc, 0) << FileName.toStdString();
    return QString::fromUtf8(Out);
}

// The lines of a file that must end every line with CR LF.
inline QStringList GbkLines(const QString &FileName)
{
    const QString Text = ReadGbk(FileName);
    EXPECT_TRUE(Text.endsWith(QStringLiteral("\r\n"))) << FileName.toStdString();
    QStringList Lines = Text.split(QStringLiteral("\r\n"));
    Lines.removeLast();
    for (const QString &L : Lines)
        EXPECT_FALSE(L.contains(QLatin1Char('\r')) || L.contains(QLatin1Char('\n'))) << L.toStdString();
    return Lines;
}

// A fresh program folder for the catalog's file services.
class TProgramFolder {
public:
    TProgramFolder() { SetProgramFolder(Dir.Path()); }
    ~TProgramFolder() { SetProgramFolder(QString()); }
    QString File(const QString &Name) const { return Dir.File(Name); }
    QString Path() const { return Dir.Path(); }
    TestSupport::TempDir Dir;
};

struct TQuestion {
    QString Text;
    QString Caption;
    unsigned Flags;
};

// Answers in order; a question nobody expected fails the test.
class TScriptedUi {
public:
    TScriptedUi()
    {
        Script.MessageBox = [this](const QString &Text, const QString &Caption, unsigned Flags) {
            Asked.append({Text, Caption, Flags});
            if (Answers.isEmpty()) {
                ADD_FAILURE() << "unexpected question: " << Text.toStdString();
                return int(CatalogUi::IDCANCEL);
            }
            return Answers.takeFirst();
        };
        Script.BrowseForFolder = [this](const QString &Caption) {
            FolderCaptions.append(Caption);
            if (Folders.isEmpty()) {
                ADD_FAILURE() << "unexpected folder browser";
                return QString();
            }
            return Folders.takeFirst();
        };
        Script.ShowModal = [this](QDialog *Dialog) {
            Dialogs.append(Dialog->objectName());
            if (!InDialog)
                return ModalResult;
            // The dialog shows (its show handler runs), the test acts in it, and
            // whatever result its buttons set comes back.
            Dialog->setResult(0);
            Dialog->show();
            InDialog(Dialog);
            Dialog->hide();
            return Dialog->result();
        };
        CatalogUi::SetScript(&Script);
    }
    ~TScriptedUi()
    {
        CatalogUi::SetScript(nullptr);
        EXPECT_TRUE(Answers.isEmpty()) << "answers left over";
        EXPECT_TRUE(Folders.isEmpty()) << "folders left over";
    }
    QStringList Texts() const
    {
        QStringList T;
        for (const TQuestion &Q : Asked)
            T << Q.Text;
        return T;
    }

    CatalogUi::TScript Script;
    QList<int> Answers;
    QStringList Folders;
    QStringList FolderCaptions;
    QList<TQuestion> Asked;
    QStringList Dialogs;
    std::function<void(QDialog *)> InDialog;
    int ModalResult = 2;
};

} // namespace DialogTest
