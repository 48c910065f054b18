#include "CellTextEditor.h"

namespace CellTextEditor {

const QString Hint = QStringLiteral(
    "在Html文件中，换行用<br>标记，分段用<p>标记，在描述栏内按回车键自动输入<br>，CTRL +回车输入<p>");

QString CopyText(const QString &Selected)
{
    QString S = Selected;
    return S.replace(QStringLiteral("<br>"), QStringLiteral("\r\n"));
}

QString HtmlPasteText(const QString &Html)
{
    static const QString Start = QStringLiteral("<!--StartFragment-->");
    static const QString End = QStringLiteral("<!--EndFragment-->");
    QString S = Html;
    const qsizetype From = S.indexOf(Start);
    const qsizetype To = From < 0 ? -1 : S.indexOf(End, From + Start.size());
    if (From >= 0 && To >= 0)
        S = S.mid(From + Start.size(), To - From - Start.size());
    // A value is one line: line ends of any kind go.
    S.remove(QStringLiteral("\r\n"));
    S.remove(QLatin1Char('\r'));
    S.remove(QLatin1Char('\n'));
    return S;
}

QString PlainPasteText(const QString &Text)
{
    QString S = Text;
    S.replace(QStringLiteral("\r\n"), QStringLiteral("<br>"));
    S.replace(QLatin1Char('\r'), QStringLiteral("<br>"));
    S.replace(QLatin1Char('\n'), QStringLiteral("<br>"));
    return S;
}

QString EnterText(int RowInBlock, bool Ctrl)
{
    if (RowInBlock != 4)
        return QString();
    return Ctrl ? QStringLiteral("<p>") : QStringLiteral("<br>");
}

bool IsEditorCell(int ACol, int ARow)
{
    return (ACol == 3 || ACol == 5) && ARow >= 1 && ARow % 6 != 0;
}

bool IsStoredCell(int ACol, int ARow)
{
    return (ACol == 3 || ACol == 5) && ARow >= 1 && ARow % 6 >= 1 && ARow % 6 <= 4;
}

} // namespace CellTextEditor
