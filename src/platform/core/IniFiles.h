#pragma once
// Settings files of sections and name=value lines, kept in code page 936 like
// every text file of the program. Section and key names compare
// case-insensitively. Every write goes to the file at once, replacing it whole.

#include "Classes.h"

#include <QString>

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

private:
    QString FFileName;
    TStringList Load() const;                   // the file's lines; none when it is missing
    void Save(const TStringList &Lines);        // EFCreateError when it cannot be written
};
