#include "AutoFill.h"

#include "platform/core/FileUtils.h"
#include "platform/core/SysUtils.h"

namespace AutoFill {

const QString NotANumber = QStringLiteral("必须输入有效的数字。");

int FieldCol(TField Field)
{
    switch (Field) {
    case fName:
    case fUnit:
    case fSize:
        return 5;
    case fPicturePath:
        return 1;
    default:
        return 3;
    }
}

int FieldRow(int Block, TField Field)
{
    const int R = 6 * Block - 5;
    switch (Field) {
    case fID:
    case fName:
        return R;
    case fPrice:
    case fUnit:
        return R + 1;
    case fWeight:
    case fSize:
        return R + 2;
    case fDescription:
        return R + 3;
    case fPicturePath:
        return R + 5;
    }
    return R;
}

QString FieldCaption(TField Field)
{
    static const char *const Captions[] = {"编号", "名称", "价格", "单位", "重量", "规格", "描述", "图片路径"};
    return QString::fromUtf8(Captions[int(Field)]);
}

QString TPrefixAnswer::Next()
{
    QString Number;
    if (Numbering) {
        ++Counter;
        // At least three digits; the sign of a negative start stays in front.
        Number = Counter < 0 ? QStringLiteral("-") + QString::number(-qint64(Counter)).rightJustified(3, QLatin1Char('0'))
                             : QString::number(Counter).rightJustified(3, QLatin1Char('0'));
    }
    return Prefix + Number + Suffix;
}

TPrefixAnswer ParsePrefixAnswer(const QString &Answer)
{
    TPrefixAnswer R;
    QString S = Answer;
    if (const qsizetype P = S.indexOf(QLatin1Char('/')); P >= 0) {
        int Start = 0;
        if (TryStrToInt(S.mid(P + 1, 8), Start))
            R.Counter = Start;
        else
            R.Numbering = false;
        S.remove(P, 8);
    }
    if (const qsizetype P = S.indexOf(QLatin1Char(':')); P >= 0) {
        R.Suffix = S.mid(P + 1, 12);
        S.remove(P, 12);
    }
    R.Prefix = S;
    return R;
}

QString PictureBaseName(const QString &StoredPath)
{
    const QString Name = ExtractFileName(StoredPath);
    const qsizetype Dot = Name.indexOf(QLatin1Char('.'));
    return Dot < 0 ? QString() : Name.left(Dot);
}

TDropCommand DropCommand(int ACol, int ARow)
{
    if (ARow < 1)
        return dcNone;
    if (ACol == 1)
        return dcAddPicture;
    const int Kind = ARow % 6;
    if (ACol == 2 || ACol == 3) {
        switch (Kind) {
        case 1: return dcPrefixID;
        case 2: return dcFixedPrice;
        case 3: return dcFixedWeight;
        case 4: return dcCopyDescription;
        default: return dcNone;
        }
    }
    if (ACol == 4 || ACol == 5) {
        switch (Kind) {
        case 1: return dcPrefixName;
        case 2: return dcUnit;
        case 3: return dcSize;
        default: return dcNone;
        }
    }
    return dcNone;
}

// ---- the filler ----

TAutoFiller::TAutoFiller(TProductGridAccess &Grid, TStore Store)
    : FGrid(Grid), FStore(std::move(Store))
{
}

int TAutoFiller::Blocks() const
{
    return qMax(0, (FGrid.RowCount() - 1) / 6);
}

QString TAutoFiller::Get(int Block, TField Field) const
{
    return FGrid.Cells(FieldCol(Field), FieldRow(Block, Field));
}

void TAutoFiller::Put(int Block, TField Field, const QString &Value)
{
    const int C = FieldCol(Field), R = FieldRow(Block, Field);
    FGrid.SetCells(C, R, Value);
    if (FStore)
        FStore(C, R);
}

void TAutoFiller::FromPictureNames(TField Field)
{
    for (int N = 1; N <= Blocks(); ++N) {
        const QString Path = Get(N, fPicturePath);
        if (!Path.trimmed().isEmpty())
            Put(N, Field, PictureBaseName(Path));
    }
}

void TAutoFiller::NameFromID()
{
    for (int N = 1; N <= Blocks(); ++N)
        Put(N, fName, Get(N, fID));
}

void TAutoFiller::Prefix(int From, TField Field, const QString &Answer)
{
    TPrefixAnswer P = ParsePrefixAnswer(Answer);
    for (int N = qMax(1, From); N <= Blocks(); ++N)
        Put(N, Field, P.Next());
}

void TAutoFiller::Fixed(int From, TField Field, const QString &Value)
{
    for (int N = qMax(1, From); N <= Blocks(); ++N)
        Put(N, Field, Value);
}

QString TAutoFiller::Multiply(int From, TField Field, const QString &Factor, const QString &Format)
{
    double F = 0;
    if (!TryStrToFloat(Factor.trimmed(), F))
        return NotANumber;
    // Every old value is checked first, so a bad one leaves all products as they were.
    QList<double> Results;
    for (int N = qMax(1, From); N <= Blocks(); ++N) {
        const QString Old = Get(N, Field).trimmed();
        double V = 0;
        if (!Old.isEmpty() && !TryStrToFloat(Old, V))
            return QStringLiteral("第%1个商品的%2“%3”不是有效的数字，没有做任何更改。").arg(N).arg(FieldCaption(Field), Old);
        Results << V * F;
    }
    int N = qMax(1, From);
    for (double V : Results)
        Put(N++, Field, FormatFloat(Format, V));
    return QString();
}

QString TAutoFiller::CopyFrom(int From, const QString &K, const QList<TField> &Fields)
{
    int Source = 0;
    if (!TryStrToInt(K.trimmed(), Source) || Source < 1 || Source > Blocks())
        return NotANumber;
    QList<QString> Values;
    for (TField F : Fields)
        Values << Get(Source, F);
    for (int N = qMax(1, From); N <= Blocks(); ++N)
        for (qsizetype I = 0; I < Fields.size(); ++I)
            Put(N, Fields[I], Values[I]);
    return QString();
}

} // namespace AutoFill
