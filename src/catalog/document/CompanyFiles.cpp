#include "CompanyFiles.h"

#include "PageDocument.h"
#include "platform/core/Classes.h"
#include "platform/core/FileUtils.h"

namespace CompanyFiles {

namespace {

// A stored value is cut to this many characters when it follows a label.
constexpr int ValueLimit = 240;

} // namespace

const QStringList &RowLabels()
{
    static const QStringList Labels = {
        QStringLiteral("类型"), QStringLiteral("公司名"), QStringLiteral("联系人"),
        QStringLiteral("手机"), QStringLiteral("电话"), QStringLiteral("传真"),
        QStringLiteral("网址"), QStringLiteral("邮件地址"), QStringLiteral("公司地址"),
        QStringLiteral("邮政编码"), QStringLiteral("工程保存路径"), QStringLiteral("Catalog输出路径"),
    };
    return Labels;
}

const QStringList &Headings()
{
    static const QStringList List = {
        QStringLiteral("中文内容"),
        QStringLiteral("英文内容"),
        QStringLiteral("自定义内容，格式：{name}=text"),
    };
    return List;
}

QString FileName(int Column)
{
    return ProgramFolder() + QStringLiteral("cols%1.dat").arg(Column);
}

QString LanguageFile(bool English)
{
    return FileName(English ? 2 : 1);
}

namespace {

// Where a labelled line's value starts; -1 when the line is a value alone.
qsizetype ValueStart(const QString &Line)
{
    const qsizetype Eq = Line.indexOf(QLatin1Char('='));
    if (Eq < 0)
        return -1;
    for (qsizetype I = 0; I < Eq; ++I)
        if (QStringLiteral(":/\\?&#@<>\"'%").contains(Line.at(I)))
            return -1;
    return Eq + 1;
}

} // namespace

QString LineValue(const QString &Line)
{
    const qsizetype Start = ValueStart(Line);
    return Start < 0 ? Line : Line.mid(Start);
}

QString ReadDatLine(const QString &FileName, int Line)
{
    if (Line < 0 || !FileExists(FileName))
        return QString();
    const QStringList Lines = LoadLines(FileName);
    if (Line >= Lines.size())
        return QString();
    const QString &S = Lines.at(Line);
    if (ValueStart(S) < 0)
        return S;
    return TPageDocument::CutChars(LineValue(S), ValueLimit);
}

QStringList LoadFile(const QString &FileName)
{
    if (!FileExists(FileName))
        return QStringList();
    return LoadLines(FileName);
}

void SaveFile(const QString &FileName, const QStringList &Cells)
{
    // What the grid does not show stays in the file: an unreadable file raises
    // here, before anything is written over it.
    QStringList Lines = LoadFile(FileName);
    for (qsizetype I = 0; I < Cells.size(); ++I) {
        const QString Cell = TPageDocument::OneLine(Cells.at(I));
        if (I < Lines.size())
            Lines[I] = Cell;
        else
            Lines.append(Cell);
    }
    SaveLines(FileName, Lines);
}

} // namespace CompanyFiles
