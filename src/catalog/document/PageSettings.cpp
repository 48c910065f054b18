#include "PageSettings.h"

#include "CompanyFiles.h"
#include "PageDocument.h"
#include "platform/core/Classes.h"
#include "platform/core/FileUtils.h"

#include <QFile>

namespace PageSettings {

const QString StyleKey = QStringLiteral("{输出风格}");
const QString LanguageKey = QStringLiteral("{输出语言}");
const QString Chinese = QStringLiteral("中文");
const QString English = QStringLiteral("英文");

const QList<TSettingRow> &Rows()
{
    static const QList<TSettingRow> List = {
        {rowCatalogId, QStringLiteral("Catalog编号"), QStringLiteral("{Catalog编号}")},
        {rowCatalogName, QStringLiteral("Catalog名称"), QStringLiteral("{Catalog名称}")},
        {rowSalesman, QStringLiteral("业务员名"), QStringLiteral("{业务员名}")},
        {rowCustomerId, QStringLiteral("客户编号"), QStringLiteral("{客户编号}")},
        {rowCustomerName, QStringLiteral("客户名称"), QStringLiteral("{客户名称}")},
        {rowCustomerCompany, QStringLiteral("客户公司名"), QStringLiteral("{客户公司名}")},
        {rowDate, QStringLiteral("日期"), QStringLiteral("{日期}")},
        {rowCurrency, QStringLiteral("货币符号"), QStringLiteral("{货币符号}")},
        {rowUnit, QStringLiteral("产品单位"), QStringLiteral("{产品单位}")},
        {rowWeightUnit, QStringLiteral("重量单位"), QStringLiteral("{重量单位}")},
        {rowPictureWidth, QStringLiteral("图片宽(象素)"), QStringLiteral("{图片宽}")},
        {rowPictureHeight, QStringLiteral("图片高(象素)"), QStringLiteral("{图片高}")},
        {rowOutputFolder, QStringLiteral("输出目录"), QStringLiteral("{输出目录}")},
        {rowOutputType, QStringLiteral("输出方式(请选择)"), QStringLiteral("{输出方式}")},
        {rowOrderMail, QStringLiteral("订单接收email地址"), QStringLiteral("{订单接收email地址}")},
        {rowRemark, QStringLiteral("Catalog说明"), QStringLiteral("{Catalog说明}")},
        {rowPicturePercent, QStringLiteral("图片栏所占百分比"), QStringLiteral("{图片框百分比}")},
    };
    return List;
}

QString RowLabel(int Row)
{
    for (const TSettingRow &R : Rows())
        if (R.Row == Row)
            return R.Label;
    return QString();
}

const QStringList &OutputTypes()
{
    static const QStringList List = {
        QStringLiteral("CHM(帮助文件类型)"), QStringLiteral("MHT(单文件网页)"), QStringLiteral("HTML(网页文件类型)"),
        QStringLiteral("ZIP(压缩文件类型)"), QStringLiteral("QBA(Catalog包文件)"),
    };
    return List;
}

QString OutputTypeHint()
{
    return QStringLiteral("输出方式分为单文件CHM，单文件ZIP，单文件RAR，单文件EXE，单文件QBA，多文件HTML\r\n"
                          "双击鼠标下拉选择。单文件适合用电子邮件发送给客户；多文件适合在网上发布。\r\n"
                          "单文件exe方式的能自动独立运行。RAR的体积最小，CHM的通用性很好，QBA文件用于交换。"
                          "windows平台下推荐使用CHM格式");
}

QString RowHint(int Row)
{
    switch (Row) {
    case rowCatalogId: return QStringLiteral("Catalog编号必填");
    case rowPictureWidth: return QStringLiteral("宽设为零表示自动");
    case rowPictureHeight: return QStringLiteral("高设为零表示自动");
    case rowOutputType: return OutputTypeHint();
    case rowOrderMail: return QStringLiteral("email必填");
    default: return QString();
    }
}

QString DefaultCatalogId(const QString &Today)
{
    QString Date = Today;
    for (int K = 0; K < 2; ++K) {
        const qsizetype Dash = Date.indexOf(QLatin1Char('-'));
        if (Dash >= 0)
            Date.remove(Dash, 1);
    }
    return QStringLiteral("CT") + Date + QLatin1Char('-');
}

QMap<int, QString> DefaultRowValues(const QString &Today, bool English)
{
    const QString Company = CompanyFiles::LanguageFile(English);
    QMap<int, QString> V;
    for (const TSettingRow &R : Rows())
        V.insert(R.Row, QString());
    V[rowCatalogId] = DefaultCatalogId(Today);
    V[rowDate] = Today;
    V[rowCurrency] = QStringLiteral("￥");
    V[rowUnit] = QStringLiteral("个");
    V[rowWeightUnit] = QStringLiteral("克");
    V[rowPictureWidth] = QStringLiteral("自动");
    V[rowPictureHeight] = QStringLiteral("自动");
    V[rowOutputFolder] = CompanyFiles::ReadDatLine(Company, CompanyFiles::lnOutputFolder);
    V[rowOutputType] = OutputTypes().constFirst();
    V[rowOrderMail] = CompanyFiles::ReadDatLine(Company, CompanyFiles::lnMail);
    V[rowPicturePercent] = QStringLiteral("75");
    return V;
}

QString CurrencyForLanguage(const QString &Currency, bool English)
{
    if (English && Currency == QStringLiteral("￥"))
        return QStringLiteral("$");
    if (!English && Currency == QStringLiteral("$"))
        return QStringLiteral("￥");
    return Currency;
}

QString DefaultsFileName()
{
    return ProgramFolder() + QStringLiteral("defaultset.txt");
}

QStringList DefaultsFileLines(const QMap<QString, QString> &Values)
{
    QStringList Lines{TPageDocument::Magic};
    for (const QString &Key : TPageDocument::HeaderKeys)
        Lines << Key + QLatin1Char('=') + TPageDocument::OneLine(Values.value(Key));
    return Lines;
}

void SaveDefaultsFile(const QMap<QString, QString> &Values)
{
    SaveLines(DefaultsFileName(), DefaultsFileLines(Values));
}

bool DeleteDefaultsFile()
{
    const QString Name = DefaultsFileName();
    if (!FileExists(Name))
        return true;
    return QFile::remove(Name);
}

} // namespace PageSettings
