#pragma once
// Settings files of sections and name=value lines, kept in code page 936 like
// every text file of the program. Section and key names compare
// case-insensitively. Every write goes to the file at once, replacing it whole.

#include "Classes.h"

#include <QString>

#include <utility>
#include <vector>

class TIniFile : public TObject {
public:
    explicit TIniFile(const QString &FileName);

    QString FileName() const { return FFileName; }

    QString ReadString(const QString &Section, const QString &Ident, const QString &Default) const;
    void WriteString(const QString &Section, const QString &Ident, const QString &Value);
    int ReadInteger(const QString &Section, const QString &Ident, int Default) const;
    void WriteInteger(const QString &Section, const QString &Ident, int Value);
    bool ReadBool(const QString &Section, const QString &Ident, bool Default) const;
    void WriteBool(const QString &Section, const QString &Ident, bool Value);

    void ReadSection(const QString &Section, TStringList &Strings) const;        // the key names
    void ReadSections(TStringList &Strings) const;                               // the section names
    void ReadSectionValues(const QString &Section, TStringList &Strings) const;  // "key=value" lines
    bool SectionExists(const QString &Section) const;
    bool ValueExists(const QString &Section, const QString &Ident) const;
    void EraseSection(const QString &Section);
    void DeleteKey(const QString &Section, const QString &Ident);
    // Writes several integers of one section with a single save of the file.
    void WriteIntegers(const QString &Section, const std::vector<std::pair<QString, int>> &Values);

private:
    QString FFileName;
    TStringList Load() const;                   // the file's lines; none when it is missing
    void Save(const TStringList &Lines);        // EFCreateError when it cannot be written
};

// The settings store that stands for the registry: one INI file in the user's
// configuration folder (Quillbook/registry.ini), a key's values in the section
// Key + "\" + Section.
class TRegistryIniFile : public TObject {
public:
    explicit TRegistryIniFile(const QString &Key);
    // The file behind every registry store.
    static QString StoreFileName();
    QString Key() const { return FKey; }

    QString ReadString(const QString &Section, const QString &Ident, const QString &Default) const;
    void WriteString(const QString &Section, const QString &Ident, const QString &Value);
    int ReadInteger(const QString &Section, const QString &Ident, int Default) const;
    void WriteInteger(const QString &Section, const QString &Ident, int Value);
    void WriteIntegers(const QString &Section, const std::vector<std::pair<QString, int>> &Values);
    void ReadSectionValues(const QString &Section, TStringList &Strings) const;  // "key=value" lines
    bool ValueExists(const QString &Section, const QString &Ident) const;
    void EraseSection(const QString &Section);

private:
    QString FKey;
    TIniFile FFile;
    QString Full(const QString &Section) const { return FKey + QLatin1Char('\\') + Section; }
    void EnsureFolder() const;
};
