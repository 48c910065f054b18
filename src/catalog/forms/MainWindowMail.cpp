// The main window's hand-offs of a page output: to a new mail of the user's
// mail program, and to an FTP address opened by the desktop.
//
// Only a file the output made is handed on (the result without the trailing
// blank that ZIP, MHT and self-extracting results carry, or the compiled help
// file); a hand-off that the desktop refuses is reported, never taken as done.

#include "MainWindow.h"
#include "catalog/output/PageOutput.h"
#include "platform/core/FileUtils.h"
#include "platform/services/Prompts.h"
#include "platform/services/Shell.h"

#include <QHostAddress>
#include <QRegularExpression>

namespace {

bool AskForNewPage(TForm1 *Form)
{
    if (Form->Page().Count() >= 2)
        return false;
    if (MessageBox(Form, QStringLiteral("当前页面文件为空，请先新建Catalog页面，或者打开一个已有的目录册或页面。要新建页面吗？"),
                   QStringLiteral("确认"), MB_OKCANCEL | MB_ICONQUESTION)
        == IDOK)
        Form->NewPage();
    return true;
}

// The file a page output produced: its result path without the trailing blank,
// or the help file it compiled; "" when it made no single file.
QString ProducedFile(const QString &Result, const QString &Chm)
{
    QString Path = Result;
    while (Path.endsWith(QLatin1Char(' ')))
        Path.chop(1);
    if (Path.isEmpty())
        Path = Chm;
    return FileExists(Path) ? Path : QString();
}

} // namespace

// An FTP server as typed: a host name or an IPv4 or bracketed IPv6 address,
// with an optional port; "" when it is none of these. A typed "ftp://" and
// a trailing "/" are accepted and dropped.
QString TForm1::FtpServerAddress(const QString &Answer)
{
    QString S = Answer.trimmed();
    if (S.startsWith(QStringLiteral("ftp://"), Qt::CaseInsensitive))
        S = S.mid(6);
    while (S.endsWith(QLatin1Char('/')))
        S.chop(1);
    if (S.isEmpty() || S.size() > 260)
        return QString();
    QString Host = S;
    QString Port;
    bool HasPort = false;
    if (S.startsWith(QLatin1Char('['))) {
        const qsizetype Close = S.indexOf(QLatin1Char(']'));
        if (Close < 0)
            return QString();
        Host = S.mid(1, Close - 1);
        const QString Rest = S.mid(Close + 1);
        if (!Rest.isEmpty() && !Rest.startsWith(QLatin1Char(':')))
            return QString();
        HasPort = !Rest.isEmpty();
        Port = Rest.mid(1);
        QHostAddress A;
        if (!A.setAddress(Host) || A.protocol() != QAbstractSocket::IPv6Protocol)
            return QString();
    } else {
        const qsizetype Colon = S.indexOf(QLatin1Char(':'));
        if (Colon >= 0) {
            Host = S.left(Colon);
            Port = S.mid(Colon + 1);
            HasPort = true;
        }
        static const QRegularExpression Name(QStringLiteral(
            "^(?=.{1,253}$)[A-Za-z0-9]([A-Za-z0-9-]{0,61}[A-Za-z0-9])?(\\.[A-Za-z0-9]([A-Za-z0-9-]{0,61}[A-Za-z0-9])?)*$"));
        static const QRegularExpression Numeric(QStringLiteral("^[0-9.]+$"));
        if (!Name.match(Host).hasMatch())
            return QString();
        // Digits and dots only: an IPv4 address, or nothing.
        QHostAddress A;
        if (Numeric.match(Host).hasMatch()
            && (!A.setAddress(Host) || A.protocol() != QAbstractSocket::IPv4Protocol || Host.count(QLatin1Char('.')) != 3))
            return QString();
    }
    if (HasPort) {
        bool Ok = false;
        const int N = Port.toInt(&Ok);
        if (!Ok || N < 1 || N > 65535 || !Port.at(0).isDigit())
            return QString();
    }
    return S;
}

void TForm1::Email1Click()
{
    if (AskForNewPage(this))
        return;
    QString R;
    OutputPage(omPage, true, QString(), R);
    if (ExtractFileExt(R.trimmed()).toLower() == QLatin1String(".htm")) {
        MessageBox(this, QStringLiteral("不能email多文件html格式的，请选择zip，chm，qba等格式。"), QStringLiteral("警告"),
                   MB_OK | MB_ICONWARNING);
        return;
    }
    const QString File = ProducedFile(R, FOutputChm);
    if (File.isEmpty()) {
        MessageBox(this, QStringLiteral("没有生成可以作为邮件附件的文件，请选择zip，chm，qba等输出格式。"), QStringLiteral("警告"),
                   MB_OK | MB_ICONWARNING);
        return;
    }
    SendMailMapi(File);
}

void TForm1::SendMailMapi(const QString &Path)
{
    if (!Shell().SendMail(QString(), QString(), QString(), {Path}))
        MessageBox(this,
                   QStringLiteral("不能把文件交给邮件程序：系统中没有设置默认的邮件程序，或者邮件程序没有接受附件。文件保存在：")
                       + Path,
                   QStringLiteral("错误"), MB_OK | MB_ICONERROR);
}

void TForm1::N52Click()
{
    const QString Answer = InputBox(QStringLiteral("请输入ftp服务器域名或ip。"),
                                    QStringLiteral("ftp服务器域名或ip（例如：ftp.example.com 或 192.168.1.10:21）："),
                                    QString());
    if (Answer.trimmed().isEmpty())
        return;
    const QString Server = FtpServerAddress(Answer);
    if (Server.isEmpty()) {
        MessageBox(this, QStringLiteral("“") + Answer.trimmed() + QStringLiteral("”不是有效的ftp服务器域名或ip地址。"),
                   QStringLiteral("错误"), MB_OK | MB_ICONWARNING);
        return;
    }
    QString R;
    OutputPage(omPage, true, QString(), R);
    // Only an output that produced something goes up.
    if (R.trimmed().isEmpty() && !FileExists(FOutputChm))
        return;
    if (!Shell().Open(QStringLiteral("ftp://") + Server))
        MessageBox(this, QStringLiteral("不能打开ftp地址 ftp://") + Server + QStringLiteral("：系统中没有可以处理ftp地址的程序。"),
                   QStringLiteral("错误"), MB_OK | MB_ICONERROR);
}
