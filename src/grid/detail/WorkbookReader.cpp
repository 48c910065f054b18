#include "grid/detail/WorkbookReader.h"
#include "grid/detail/XlsReader.h"

#include "platform/core/SysUtils.h"
#include "zip/UnZipper.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QXmlStreamReader>

#include <cmath>
#include <memory>
#include <optional>

// A damaged workbook may say anything: every size, index and reference is
// checked before it is used, members are read up to MaxMemberSize, and a
// failure anywhere makes the whole read fail (rrDamaged) rather than give half a sheet.

namespace WorkbookReader {
namespace {

// Limits of the largest worksheet either format can hold.
constexpr int MaxRows = 1048576;
constexpr int MaxCols = 16384;

// Thrown inside the readers for damage; turned into rrDamaged at the top.
struct Damaged {};

// ---------------------------------------------------------------- values as text

// A date value as the spreadsheet hands it over: the date alone at midnight,
// the time alone on day 0, otherwise both.
QString DateText(TDateTime Value)
{
    Value = std::round(Value * 86400.0) / 86400.0;
    const double Day = std::floor(Value);
    if (Value == Day)
        return DateToStr(Value);
    if (Day == 0)
        return TimeToStr(Value);
    return DateToStr(Value) + QLatin1Char(' ') + TimeToStr(Value);
}

// Excel's 1900 serial numbers count a 29 February 1900 that never was; the
// days before it are one off from TDateTime's. A time alone (day 0) stays on day 0.
std::optional<TDateTime> SerialToDate(double Serial, bool Date1904)
{
    if (!std::isfinite(Serial) || Serial < 0 || Serial >= 2958466)
        return std::nullopt;
    if (Serial < 1)
        return Serial;
    if (Date1904)
        return Serial + 1462;
    return Serial < 61 ? Serial + 1 : Serial;
}

// "YYYY-MM-DD", "YYYY-MM-DD HH:MM:SS", "HH:MM:SS" or ISO 8601 with a "T".
std::optional<TDateTime> ParseIsoDateTime(const QString &Text)
{
    auto Number = [&](int From, int Len, int &Out) {
        if (From + Len > Text.size())
            return false;
        bool Ok = false;
        Out = Text.mid(From, Len).toInt(&Ok);
        return Ok;
    };
    int Y = 0, Mo = 0, D = 0, H = 0, Mi = 0, S = 0;
    int TimeAt = -1;
    TDateTime Result = 0;
    try {
        if (Text.size() >= 10 && Text.at(4) == QLatin1Char('-')) {
            if (!Number(0, 4, Y) || !Number(5, 2, Mo) || !Number(8, 2, D))
                return std::nullopt;
            Result = EncodeDate(Y, Mo, D);
            if (Text.size() > 10)
                TimeAt = 11;
        } else {
            TimeAt = 0;
        }
        if (TimeAt >= 0) {
            if (!Number(TimeAt, 2, H) || !Number(TimeAt + 3, 2, Mi) || !Number(TimeAt + 6, 2, S))
                return std::nullopt;
            Result += EncodeTime(H, Mi, S, 0);
        }
    } catch (const Exception &) {
        return std::nullopt;
    }
    return Result;
}

// ---------------------------------------------------------------- .xlsx

const QLatin1String RelationshipsNs("http://schemas.openxmlformats.org/officeDocument/2006/relationships");

// Workbook parts carry no document type declaration. A part that has one is
// refused before its content is read, so that no entity it declares is ever
// expanded: a few kilobytes of references to one long entity stand for
// gigabytes of text.
void RefuseDocumentType(const QByteArray &Xml)
{
    QXmlStreamReader X(Xml);
    while (!X.atEnd()) {
        const QXmlStreamReader::TokenType Token = X.readNext();
        if (Token == QXmlStreamReader::DTD)
            throw Damaged();
        if (Token == QXmlStreamReader::StartElement)
            return;
    }
    // Damage before the first element is the part reader's to find.
}

class XlsxPackage {
public:
    explicit XlsxPackage(const QString &FileName)
    {
        FZip.DoProcessMessages = false;
        FZip.IncompleteZipMode = izAssumeBad;
        FZip.SetZipName(FileName);
        FZip.OpenAndReadDirectory();
        for (int I = 0; I < FZip.MemberCount(); ++I) {
            const TZipHeaderInfo *H = FZip.Member(I);
            QString Name = H->Directory() + H->FileName();
            FIndex.insert(Name.replace(QLatin1Char('\\'), QLatin1Char('/')).toLower(), I);
        }
    }

    bool Has(const QString &Name) const { return FIndex.contains(Name.toLower()); }

    // A member's bytes; damage when it is missing, too big, fails its check
    // or declares a document type.
    QByteArray Read(const QString &Name)
    {
        const auto It = FIndex.constFind(Name.toLower());
        if (It == FIndex.constEnd())
            throw Damaged();
        const TZipHeaderInfo *H = FZip.Member(*It);
        if (H->UncompressedSize() < 0 || H->UncompressedSize() > MaxMemberSize)
            throw Damaged();
        TMemoryStream M;
        if (!FZip.UnzipToStream(*It, &M))
            throw Damaged();
        QByteArray Bytes = M.Bytes();
        RefuseDocumentType(Bytes);
        return Bytes;
    }

private:
    TUnZipper FZip;
    QHash<QString, int> FIndex;
};

// A relationship target relative to the folder of the part that names it.
QString ResolveTarget(const QString &BaseFolder, const QString &Target)
{
    QString T = Target;
    T.replace(QLatin1Char('\\'), QLatin1Char('/'));
    const QString Path = T.startsWith(QLatin1Char('/')) ? T.mid(1) : BaseFolder + T;
    const QString Clean = QDir::cleanPath(Path);
    if (Clean.startsWith(QLatin1String("../")) || Clean == QLatin1String(".."))
        throw Damaged();
    return Clean;
}

QString FolderOf(const QString &Part)
{
    const qsizetype Slash = Part.lastIndexOf(QLatin1Char('/'));
    return Slash < 0 ? QString() : Part.left(Slash + 1);
}

void CheckXml(const QXmlStreamReader &X)
{
    if (X.hasError())
        throw Damaged();
}

struct Relationship {
    QString Id, Type, Target;
};

std::vector<Relationship> ReadRelationships(const QByteArray &Xml)
{
    std::vector<Relationship> Result;
    QXmlStreamReader X(Xml);
    while (!X.atEnd()) {
        X.readNext();
        if (X.isStartElement() && X.name() == QLatin1String("Relationship")) {
            const auto A = X.attributes();
            Result.push_back({A.value(QLatin1String("Id")).toString(), A.value(QLatin1String("Type")).toString(),
                              A.value(QLatin1String("Target")).toString()});
        }
    }
    CheckXml(X);
    return Result;
}

QString TargetOfType(const std::vector<Relationship> &Rels, QLatin1String TypeSuffix)
{
    for (const auto &R : Rels)
        if (R.Type.endsWith(TypeSuffix))
            return R.Target;
    return QString();
}

// Number formats that show a date or time: the built-in ones and codes with
// date or time letters outside quoted text, escapes and bracketed parts.
bool IsDateFormatId(int Id)
{
    return (Id >= 14 && Id <= 22) || (Id >= 27 && Id <= 36) || (Id >= 45 && Id <= 47) || (Id >= 50 && Id <= 58);
}

bool IsDateFormatCode(const QString &Code)
{
    bool InQuotes = false;
    int Bracket = 0;
    for (qsizetype I = 0; I < Code.size(); ++I) {
        const QChar C = Code.at(I);
        if (InQuotes) {
            InQuotes = C != QLatin1Char('"');
            continue;
        }
        if (C == QLatin1Char('"'))
            InQuotes = true;
        else if (C == QLatin1Char('\\') || C == QLatin1Char('_') || C == QLatin1Char('*'))
            ++I;
        else if (C == QLatin1Char('['))
            ++Bracket;
        else if (C == QLatin1Char(']'))
            Bracket = std::max(0, Bracket - 1);
        else if (Bracket == 0 && QStringLiteral("dmyhsDMYHS").contains(C))
            return true;
    }
    return false;
}

// Which cell styles (xf indexes) show dates.
std::vector<bool> ReadDateStyles(const QByteArray &Xml)
{
    QHash<int, QString> Codes;
    std::vector<bool> Result;
    QXmlStreamReader X(Xml);
    bool InCellXfs = false;
    while (!X.atEnd()) {
        X.readNext();
        if (X.isStartElement()) {
            if (X.name() == QLatin1String("numFmt")) {
                const auto A = X.attributes();
                Codes.insert(A.value(QLatin1String("numFmtId")).toInt(), A.value(QLatin1String("formatCode")).toString());
            } else if (X.name() == QLatin1String("cellXfs")) {
                InCellXfs = true;
            } else if (InCellXfs && X.name() == QLatin1String("xf")) {
                const int Id = X.attributes().value(QLatin1String("numFmtId")).toInt();
                const auto Code = Codes.constFind(Id);
                Result.push_back(Code != Codes.constEnd() ? IsDateFormatCode(*Code) : IsDateFormatId(Id));
            }
        } else if (X.isEndElement() && X.name() == QLatin1String("cellXfs")) {
            InCellXfs = false;
        }
    }
    CheckXml(X);
    return Result;
}

// The text of a string item (<si> or <is>): its <t> parts, phonetic runs left out.
QString ReadStringItem(QXmlStreamReader &X)
{
    const QString End = X.name().toString();
    QString Text;
    int Phonetic = 0;
    while (!X.atEnd()) {
        X.readNext();
        if (X.isStartElement()) {
            if (X.name() == QLatin1String("rPh"))
                ++Phonetic;
            else if (X.name() == QLatin1String("t") && Phonetic == 0)
                Text += X.readElementText(QXmlStreamReader::IncludeChildElements);
        } else if (X.isEndElement()) {
            if (X.name() == QLatin1String("rPh"))
                --Phonetic;
            else if (X.name() == End)
                break;
        }
    }
    return Text;
}

std::vector<QString> ReadSharedStrings(const QByteArray &Xml)
{
    std::vector<QString> Result;
    QXmlStreamReader X(Xml);
    while (!X.atEnd()) {
        X.readNext();
        if (X.isStartElement() && X.name() == QLatin1String("si"))
            Result.push_back(ReadStringItem(X));
    }
    CheckXml(X);
    return Result;
}

// "AB12" into a 0-based column and row; false for anything else.
bool ParseCellReference(QStringView Ref, int &Col, int &Row)
{
    qsizetype I = 0;
    qint64 C = 0, R = 0;
    while (I < Ref.size() && I < 4 && Ref.at(I).isLetter() && Ref.at(I).unicode() < 128) {
        C = C * 26 + (Ref.at(I).toUpper().unicode() - 'A' + 1);
        ++I;
    }
    if (I == 0 || C > MaxCols)
        return false;
    const qsizetype Digits = I;
    while (I < Ref.size() && I - Digits < 8 && Ref.at(I).isDigit() && Ref.at(I).unicode() < 128) {
        R = R * 10 + (Ref.at(I).unicode() - '0');
        ++I;
    }
    if (I == Digits || I != Ref.size() || R < 1 || R > MaxRows)
        return false;
    Col = int(C - 1);
    Row = int(R - 1);
    return true;
}

void ReadSheetCells(const QByteArray &Xml, const std::vector<QString> &Strings, const std::vector<bool> &DateStyles,
                    bool Date1904, TSheet &Sheet)
{
    QXmlStreamReader X(Xml);
    int Row = -1;
    int Col = -1;
    while (!X.atEnd()) {
        X.readNext();
        if (!X.isStartElement())
            continue;
        if (X.name() == QLatin1String("row")) {
            const auto R = X.attributes().value(QLatin1String("r"));
            if (R.isEmpty()) {
                ++Row;
            } else {
                bool Ok = false;
                const int N = R.toInt(&Ok);
                if (!Ok || N < 1 || N > MaxRows)
                    throw Damaged();
                Row = N - 1;
            }
            if (Row >= MaxRows)
                throw Damaged();
            Col = -1;
            continue;
        }
        if (X.name() != QLatin1String("c"))
            continue;
        const auto A = X.attributes();
        const QStringView Ref = A.value(QLatin1String("r"));
        if (Ref.isEmpty()) {
            if (Row < 0 || ++Col >= MaxCols)
                throw Damaged();
        } else if (!ParseCellReference(Ref, Col, Row)) {
            throw Damaged();
        }
        const QString Type = A.value(QLatin1String("t")).toString();
        const QStringView Style = A.value(QLatin1String("s"));
        const int StyleIndex = Style.isEmpty() ? 0 : Style.toInt();
        QString Value;
        bool HasValue = false;
        bool Inline = false;
        while (!X.atEnd()) {
            X.readNext();
            if (X.isStartElement()) {
                if (X.name() == QLatin1String("v")) {
                    Value = X.readElementText(QXmlStreamReader::IncludeChildElements);
                    HasValue = true;
                } else if (X.name() == QLatin1String("is")) {
                    Value = ReadStringItem(X);
                    HasValue = Inline = true;
                } else {
                    X.skipCurrentElement();
                }
            } else if (X.isEndElement()) {
                break;
            }
        }
        if (!HasValue)
            continue;
        QString Text;
        if (Inline || Type == QLatin1String("inlineStr") || Type == QLatin1String("str")
            || Type == QLatin1String("e")) {
            Text = Value;
        } else if (Type == QLatin1String("s")) {
            bool Ok = false;
            const qlonglong Index = Value.trimmed().toLongLong(&Ok);
            if (!Ok || Index < 0 || Index >= qlonglong(Strings.size()))
                throw Damaged();
            Text = Strings[size_t(Index)];
        } else if (Type == QLatin1String("b")) {
            Text = Value.trimmed() == QLatin1String("1") || Value.trimmed() == QLatin1String("true")
                       ? QStringLiteral("True")
                       : QStringLiteral("False");
        } else if (Type == QLatin1String("d")) {
            const auto Date = ParseIsoDateTime(Value.trimmed());
            Text = Date ? DateText(*Date) : Value;
        } else {
            bool Ok = false;
            const double Number = Value.trimmed().toDouble(&Ok);
            if (!Ok)
                throw Damaged();
            const bool DateStyle =
                StyleIndex >= 0 && size_t(StyleIndex) < DateStyles.size() && DateStyles[size_t(StyleIndex)];
            Text = NumberCellText(Number, DateStyle, Date1904);
        }
        if (!Text.isEmpty())
            Sheet.Cells.push_back({Row, Col, Text});
    }
    CheckXml(X);
}

TReadResult ReadXlsx(const QString &FileName, const QString &SheetName, TSheet &Sheet)
{
    XlsxPackage Package(FileName);
    QString WorkbookPart = QStringLiteral("xl/workbook.xml");
    if (Package.Has(QStringLiteral("_rels/.rels"))) {
        const QString Target = TargetOfType(ReadRelationships(Package.Read(QStringLiteral("_rels/.rels"))),
                                            QLatin1String("/officeDocument"));
        if (!Target.isEmpty())
            WorkbookPart = ResolveTarget(QString(), Target);
    }
    const QString Folder = FolderOf(WorkbookPart);
    const QString RelsPart = Folder + QStringLiteral("_rels/") + WorkbookPart.mid(Folder.size()) + QStringLiteral(".rels");
    const std::vector<Relationship> Rels = ReadRelationships(Package.Read(RelsPart));

    // The workbook: its sheets, the active tab and the date system.
    struct SheetEntry {
        QString Name, RelId;
    };
    std::vector<SheetEntry> Sheets;
    int ActiveTab = 0;
    bool Date1904 = false;
    {
        QXmlStreamReader X(Package.Read(WorkbookPart));
        while (!X.atEnd()) {
            X.readNext();
            if (!X.isStartElement())
                continue;
            const auto A = X.attributes();
            if (X.name() == QLatin1String("sheet")) {
                SheetEntry E;
                E.Name = A.value(QLatin1String("name")).toString();
                for (const auto &Attr : A)
                    if (Attr.name() == QLatin1String("id") && Attr.namespaceUri() == RelationshipsNs)
                        E.RelId = Attr.value().toString();
                Sheets.push_back(E);
            } else if (X.name() == QLatin1String("workbookView")) {
                ActiveTab = A.value(QLatin1String("activeTab")).toInt();
            } else if (X.name() == QLatin1String("workbookPr")) {
                const auto D = A.value(QLatin1String("date1904"));
                Date1904 = D == QLatin1String("1") || D == QLatin1String("true");
            }
        }
        CheckXml(X);
    }
    if (Sheets.empty())
        throw Damaged();
    const SheetEntry *Chosen = nullptr;
    if (SheetName.isEmpty()) {
        Chosen = &Sheets[size_t(ActiveTab >= 0 && size_t(ActiveTab) < Sheets.size() ? ActiveTab : 0)];
    } else {
        for (const auto &E : Sheets)
            if (E.Name == SheetName) {
                Chosen = &E;
                break;
            }
        if (!Chosen)
            return rrSheetNotFound;
    }
    QString SheetPart;
    for (const auto &R : Rels)
        if (R.Id == Chosen->RelId)
            SheetPart = ResolveTarget(Folder, R.Target);
    if (SheetPart.isEmpty())
        throw Damaged();

    std::vector<QString> Strings;
    const QString StringsTarget = TargetOfType(Rels, QLatin1String("/sharedStrings"));
    if (!StringsTarget.isEmpty())
        Strings = ReadSharedStrings(Package.Read(ResolveTarget(Folder, StringsTarget)));
    std::vector<bool> DateStyles;
    const QString StylesTarget = TargetOfType(Rels, QLatin1String("/styles"));
    if (!StylesTarget.isEmpty())
        DateStyles = ReadDateStyles(Package.Read(ResolveTarget(Folder, StylesTarget)));
    ReadSheetCells(Package.Read(SheetPart), Strings, DateStyles, Date1904, Sheet);
    return rrOk;
}

} // namespace

QString NumberCellText(double Value, bool DateFormat, bool Date1904)
{
    if (DateFormat)
        if (const auto Date = SerialToDate(Value, Date1904))
            return DateText(*Date);
    // Whole numbers below 10^15 are what FloatToStr writes as plain digits;
    // most cells of a sheet are such numbers.
    if (std::abs(Value) < 1e15 && Value == std::trunc(Value))
        return QString::number(qint64(Value));
    return FloatToStr(Value);
}

TReadResult ReadSheet(const QString &FileName, const QString &SheetName, TSheet &Sheet)
{
    Sheet.Cells.clear();
    QFile File(FileName);
    if (!File.open(QIODevice::ReadOnly))
        return rrDamaged;
    const QByteArray Magic = File.read(8);
    const bool Xls = XlsReader::IsXlsFile(reinterpret_cast<const uchar *>(Magic.constData()), Magic.size());
    const bool Xlsx = Magic.startsWith("PK\x03\x04");
    if (!Xls && !Xlsx)
        return rrNoReader;
    if (Xls) {
        // The whole file: the reader follows the file's own sector chains through it.
        if (File.size() > MaxXlsFileSize || !File.seek(0))
            return rrDamaged;
        const QByteArray Bytes = File.readAll();
        if (Bytes.size() != File.size())
            return rrDamaged;
        return XlsReader::ReadSheet(reinterpret_cast<const uchar *>(Bytes.constData()), Bytes.size(), SheetName,
                                    Sheet);
    }
    File.close();
    TReadResult Result = rrDamaged;
    try {
        Result = ReadXlsx(FileName, SheetName, Sheet);
    } catch (const Damaged &) {
        Result = rrDamaged;
    } catch (const Exception &) {
        Result = rrDamaged;
    } catch (const std::bad_alloc &) {
        Result = rrDamaged;
    }
    if (Result != rrOk)
        Sheet.Cells.clear();
    return Result;
}

} // namespace WorkbookReader
