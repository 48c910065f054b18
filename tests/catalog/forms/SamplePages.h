#pragma once
// Page files for the dialog tests, written as the program writes them: the
// header, the marker, "{detail}", an empty line and one block per product;
// and the questions a test's scripted prompts were asked.

#include "platform/core/Classes.h"
#include "platform/services/ScriptedPrompts.h"

#include <QString>
#include <QStringList>

namespace SamplePages {

struct TProduct {
    QString Picture, ID, Name, Price, Unit, Weight, Size, Description;
};

// A product with only an ID, a name and a description.
inline TProduct Simple(const QString &ID, const QString &Name = QString(), const QString &Description = QString())
{
    return TProduct{QString(), ID, Name, QString(), QString(), QString(), QString(), Description};
}

inline QStringList Header(const QStringList &Extra = {})
{
    QStringList L{QStringLiteral("QBT FILE TYPE 2.0"), QStringLiteral("{Catalog编号}=CT-1"),
                  QStringLiteral("{Catalog名称}=样品"), QStringLiteral("{业务员名}=王五"),
                  QStringLiteral("{客户编号}=C-9"), QStringLiteral("{客户名称}=李四"),
                  QStringLiteral("{客户公司名}=李氏贸易"), QStringLiteral("{日期}=2026-12-7"),
                  QStringLiteral("{货币符号}=￥"), QStringLiteral("{产品单位}=个"), QStringLiteral("{重量单位}=克"),
                  QStringLiteral("{图片宽}=0"), QStringLiteral("{图片高}=0"), QStringLiteral("{输出目录}= "),
                  QStringLiteral("{输出方式}=HTML(网页文件类型)"), QStringLiteral("{输出风格}=春天系列"),
                  QStringLiteral("{输出语言}=中文"), QStringLiteral("{订单接收email地址}=order@example.com"),
                  QStringLiteral("{图片框百分比}=75"), QStringLiteral("{Catalog说明}= ")};
    L += Extra;
    L << QStringLiteral("/*以下内容均由程序自动生成，一般用户无需自行修改。") << QStringLiteral("{detail}") << QString();
    return L;
}

inline QStringList Blocks(const QList<TProduct> &Products)
{
    QStringList L;
    int N = 0;
    for (const TProduct &P : Products)
        L << QStringLiteral("{$%1}").arg(++N) << QStringLiteral("{$IMG}=") + P.Picture << QStringLiteral("{$PID}=") + P.ID
          << QStringLiteral("{$PNAME}=") + P.Name << QStringLiteral("{$PPRICE}=") + P.Price
          << QStringLiteral("{$PUNIT}=") + P.Unit << QStringLiteral("{$PWEIGHT}=") + P.Weight
          << QStringLiteral("{$PSERIAL}=") + P.Size << QStringLiteral("{$PNOTE}=") + P.Description;
    return L;
}

inline void Save(const QString &File, const QStringList &Lines)
{
    TStringList(Lines).SaveToFile(File);
}

inline QStringList Load(const QString &File)
{
    TStringList L;
    L.LoadFromFile(File);
    return L.ToQStringList();
}

// The lines of the page text that the driver's page-text printed (after Marker, if given).
inline QStringList PageLines(const QString &Out)
{
    QString T = Out;
    T.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return T.split(QLatin1Char('\n'));
}

// The questions asked so far as "caption|text|answer".
inline QStringList Asked(const TScriptedPrompts &Prompts)
{
    QStringList R;
    for (const TPromptRecord &P : Prompts.Records())
        R << P.Caption + QLatin1Char('|') + P.Text + QLatin1Char('|') + P.Answer;
    return R;
}

} // namespace SamplePages
