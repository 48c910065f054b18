#include "IniFiles.h"

#include "FileUtils.h"
#include "SysUtils.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QStandardPaths>

namespace {

bool IsSectionLine(const QString &Line, QString *Name = nullptr)
{
    const QString T = Trim(Line);
    if (!T.startsWith(QLatin1Char('[')))
        return false;
    const qsizetype Close = T.indexOf(QLatin1Char(']'));
    if (Close < 0)
        return false;
    if (Name)
        *Name = Trim(T.mid(1, Close - 1));
    return true;
}

bool IsComment(const QString &Line)
{
    const QString T = TrimLeft(Line);
    return T.isEmpty() || T.startsWith(QLatin1Char(';'));
}

// Key and value of a key line; false for other lines.
bool SplitKey(const QString &Line, QString &Key, QString &Value)
{
    if (IsComment(Line) || IsSectionLine(Line))
        return false;
    const qsizetype Eq = Line.indexOf(QLatin1Char('='));
    if (Eq < 0)
        return false;
    Key = Trim(Line.left(Eq));
    Value = Trim(Line.mid(Eq + 1));
    // A value in matching quotes loses them.
    if (Value.size() >= 2 && (Value.front() == QLatin1Char('"') || Value.front() == QLatin1Char('\'')) &&
        Value.back() == Value.front())
        Value = Value.mid(1, Value.size() - 2);
    return true;
}

// First line of the section's body and the line after its last line; Begin -1 when absent.
void FindSection(const TStringList &Lines, const QString &Section, int &Begin, int &End)
{
    Begin = End = -1;
    for (int I = 0; I < Lines.Count(); ++I) {
        QString Name;
        if (!IsSectionLine(Lines.Strings(I), &Name))
            continue;
        if (Begin >= 0) {
            End = I;
            return;
        }
        if (SameText(Name, Section))
            Begin = I + 1;
    }
    if (Begin >= 0)
        End = Lines.Count();
}

int FindKey(const TStringList &Lines, int Begin, int End, const QString &Ident)
{
    for (int I = Begin; I < End; ++I) {
        QString Key, Value;
        if (SplitKey(Lines.Strings(I), Key, Value) && SameText(Key, Ident))
            return I;
    }
    return -1;
}

} // namespace

TIniFile::TIniFile(const QString &FileName) : FFileName(FileName)
{
}

TStringList TIniFile::Load() const
{
    TStringList Lines;
    if (FileExists(FFileName))
        Lines.LoadFromFile(FFileName);
    return Lines;
}

void TIniFile::Save(const TStringList &Lines)
{
    Lines.SaveToFile(FFileName);
}

QString TIniFile::ReadString(const QString &Section, const QString &Ident, const QString &Default) const
{
    const TStringList Lines = Load();
    int Begin = 0, End = 0;
    FindSection(Lines, Section, Begin, End);
    if (Begin < 0)
        return Default;
    const int I = FindKey(Lines, Begin, End, Ident);
    if (I < 0)
        return Default;
    QString Key, Value;
    SplitKey(Lines.Strings(I), Key, Value);
    return Value;
}

namespace {

// Sets Ident=Value in the lines of a settings file (inserting the section or key when absent).
void PutValue(TStringList &Lines, const QString &Section, const QString &Ident, const QString &Value)
{
    int Begin = 0, End = 0;
    FindSection(Lines, Section, Begin, End);
    const QString Line = Ident + QLatin1Char('=') + Value;
    if (Begin < 0) {
        if (Lines.Count() > 0 && !Trim(Lines.Strings(Lines.Count() - 1)).isEmpty())
            Lines.Add(QString());
        Lines.Add(QLatin1Char('[') + Section + QLatin1Char(']'));
        Lines.Add(Line);
        return;
    }
    const int I = FindKey(Lines, Begin, End, Ident);
    if (I >= 0) {
        Lines.SetStrings(I, Line);
        return;
    }
    // After the section's last key, before the blank lines that end it.
    int At = End;
    while (At > Begin && Trim(Lines.Strings(At - 1)).isEmpty())
        --At;
    Lines.Insert(At, Line);
}

// Sets several values of one section as PutValue does one after the other,
// looking through the file once: the section's keys are listed by name, and
// the new lines go in together after its last key.
void PutValues(TStringList &Lines, const QString &Section, const std::vector<std::pair<QString, QString>> &Values)
{
    if (Values.empty())
        return;
    int Begin = 0, End = 0;
    FindSection(Lines, Section, Begin, End);
    if (Begin < 0) {
        if (Lines.Count() > 0 && !Trim(Lines.Strings(Lines.Count() - 1)).isEmpty())
            Lines.Add(QString());
        Lines.Add(QLatin1Char('[') + Section + QLatin1Char(']'));
        Begin = End = Lines.Count();
    }
    // The first line of each key, as FindKey finds it.
    QHash<QString, int> Keys;
    for (int I = Begin; I < End; ++I) {
        QString Key, Value;
        if (SplitKey(Lines.Strings(I), Key, Value) && !Keys.contains(UpperCase(Key)))
            Keys.insert(UpperCase(Key), I);
    }
    int At = End;
    while (At > Begin && Trim(Lines.Strings(At - 1)).isEmpty())
        --At;
    QStringList Added;
    for (const auto &[Ident, Value] : Values) {
        const QString Line = Ident + QLatin1Char('=') + Value;
        const auto It = Keys.constFind(UpperCase(Ident));
        if (It != Keys.cend()) {
            if (*It < At)
                Lines.SetStrings(*It, Line);
            else
                Added[*It - At] = Line;
            continue;
        }
        QString Key, Unused;
        if (SplitKey(Line, Key, Unused) && !Keys.contains(UpperCase(Key)))
            Keys.insert(UpperCase(Key), At + int(Added.size()));
        Added.append(Line);
    }
    if (Added.isEmpty())
        return;
    QStringList All = Lines.ToQStringList();
    All = All.mid(0, At) + Added + All.mid(At);
    Lines = TStringList(All);
}

} // namespace

void TIniFile::WriteString(const QString &Section, const QString &Ident, const QString &Value)
{
    TStringList Lines = Load();
    PutValue(Lines, Section, Ident, Value);
    Save(Lines);
}

void TIniFile::WriteIntegers(const QString &Section, const std::vector<std::pair<QString, int>> &Values)
{
    std::vector<std::pair<QString, QString>> Texts;
    Texts.reserve(Values.size());
    for (const auto &[Ident, Value] : Values)
        Texts.emplace_back(Ident, IntToStr(Value));
    TStringList Lines = Load();
    PutValues(Lines, Section, Texts);
    Save(Lines);
}

int TIniFile::ReadInteger(const QString &Section, const QString &Ident, int Default) const
{
    return StrToIntDef(ReadString(Section, Ident, QString()), Default);
}

void TIniFile::WriteInteger(const QString &Section, const QString &Ident, int Value)
{
    WriteString(Section, Ident, IntToStr(Value));
}

bool TIniFile::ReadBool(const QString &Section, const QString &Ident, bool Default) const
{
    return ReadInteger(Section, Ident, Default ? 1 : 0) != 0;
}

void TIniFile::WriteBool(const QString &Section, const QString &Ident, bool Value)
{
    WriteString(Section, Ident, Value ? QStringLiteral("1") : QStringLiteral("0"));
}

void TIniFile::ReadSection(const QString &Section, TStringList &Strings) const
{
    Strings.BeginUpdate();
    Strings.Clear();
    const TStringList Lines = Load();
    int Begin = 0, End = 0;
    FindSection(Lines, Section, Begin, End);
    for (int I = Begin; Begin >= 0 && I < End; ++I) {
        QString Key, Value;
        if (SplitKey(Lines.Strings(I), Key, Value))
            Strings.Add(Key);
    }
    Strings.EndUpdate();
}

void TIniFile::ReadSections(TStringList &Strings) const
{
    Strings.BeginUpdate();
    Strings.Clear();
    const TStringList Lines = Load();
    for (int I = 0; I < Lines.Count(); ++I) {
        QString Name;
        if (IsSectionLine(Lines.Strings(I), &Name))
            Strings.Add(Name);
    }
    Strings.EndUpdate();
}

void TIniFile::ReadSectionValues(const QString &Section, TStringList &Strings) const
{
    Strings.BeginUpdate();
    Strings.Clear();
    const TStringList Lines = Load();
    int Begin = 0, End = 0;
    FindSection(Lines, Section, Begin, End);
    for (int I = Begin; Begin >= 0 && I < End; ++I) {
        QString Key, Value;
        if (SplitKey(Lines.Strings(I), Key, Value))
            Strings.Add(Key + QLatin1Char('=') + Value);
    }
    Strings.EndUpdate();
}

bool TIniFile::SectionExists(const QString &Section) const
{
    const TStringList Lines = Load();
    int Begin = 0, End = 0;
    FindSection(Lines, Section, Begin, End);
    return Begin >= 0;
}

bool TIniFile::ValueExists(const QString &Section, const QString &Ident) const
{
    const TStringList Lines = Load();
    int Begin = 0, End = 0;
    FindSection(Lines, Section, Begin, End);
    return Begin >= 0 && FindKey(Lines, Begin, End, Ident) >= 0;
}

void TIniFile::EraseSection(const QString &Section)
{
    TStringList Lines = Load();
    int Begin = 0, End = 0;
    FindSection(Lines, Section, Begin, End);
    if (Begin < 0)
        return;
    for (int I = End - 1; I >= Begin - 1; --I)
        Lines.Delete(I);
    Save(Lines);
}

void TIniFile::DeleteKey(const QString &Section, const QString &Ident)
{
    TStringList Lines = Load();
    int Begin = 0, End = 0;
    FindSection(Lines, Section, Begin, End);
    const int I = Begin >= 0 ? FindKey(Lines, Begin, End, Ident) : -1;
    if (I < 0)
        return;
    Lines.Delete(I);
    Save(Lines);
}

// ------------------------------------------------------------------ registry store

TRegistryIniFile::TRegistryIniFile(const QString &Key) : FKey(Key), FFile(StoreFileName())
{
}

QString TRegistryIniFile::StoreFileName()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
        + QStringLiteral("/Quillbook/registry.ini");
}

void TRegistryIniFile::EnsureFolder() const
{
    QDir().mkpath(QFileInfo(FFile.FileName()).absolutePath());
}

QString TRegistryIniFile::ReadString(const QString &Section, const QString &Ident, const QString &Default) const
{
    return FFile.ReadString(Full(Section), Ident, Default);
}

void TRegistryIniFile::WriteString(const QString &Section, const QString &Ident, const QString &Value)
{
    EnsureFolder();
    FFile.WriteString(Full(Section), Ident, Value);
}

int TRegistryIniFile::ReadInteger(const QString &Section, const QString &Ident, int Default) const
{
    return FFile.ReadInteger(Full(Section), Ident, Default);
}

void TRegistryIniFile::WriteInteger(const QString &Section, const QString &Ident, int Value)
{
    EnsureFolder();
    FFile.WriteInteger(Full(Section), Ident, Value);
}

void TRegistryIniFile::WriteIntegers(const QString &Section, const std::vector<std::pair<QString, int>> &Values)
{
    EnsureFolder();
    FFile.WriteIntegers(Full(Section), Values);
}

void TRegistryIniFile::ReadSectionValues(const QString &Section, TStringList &Strings) const
{
    FFile.ReadSectionValues(Full(Section), Strings);
}

bool TRegistryIniFile::ValueExists(const QString &Section, const QString &Ident) const
{
    return FFile.ValueExists(Full(Section), Ident);
}

void TRegistryIniFile::EraseSection(const QString &Section)
{
    FFile.EraseSection(Full(Section));
}
