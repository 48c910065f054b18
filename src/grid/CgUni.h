#pragma once
// Unicode text for the grid's Unicode editors: a list of wide strings with an
// ANSI view of it, the Unicode edit and combo box with the combo's item list,
// and the codec that keeps a wide text in an ordinary cell.
//
// Here every string is a QString already, and the program's "ANSI" code page
// 936 goes through the platform codec with its lossless GB18030 fallback, so
// converting between the wide and the ANSI side never changes a text. The
// window-class and window-procedure machinery an ANSI toolkit needs to give a
// control Unicode text has no counterpart: every Qt widget holds Unicode text
// with or without a native window, and input methods commit whole strings.
//
// Wide cell: "|\" followed, for each UTF-16 unit, by the character of its high
// byte and then that of its low byte. Decoding accepts only that shape; any
// other text starting with "|\" (odd length, a character above 0xFF) is
// ordinary text and comes back unchanged.

#include "grid/cgcombo.h"
#include "platform/core/Classes.h"

#include <functional>

#include <QComboBox>
#include <QLineEdit>

#include <memory>

// ---- the wide-cell codec
QString EncodeWideCellText(const QString &Value);
// True when Text is a well-formed wide cell; Value gets the decoded text.
bool DecodeWideCellText(const QString &Text, QString &Value);
// The decoded text of a wide cell, any other text unchanged.
QString WideCellDisplayText(const QString &Text);

class TAnsiStringsForWideStrings;

// An ordered list of wide strings, each with an object (not owned). The
// storage belongs to the descendants; everything else is built on the seven
// primitives Count, Get, Insert, Delete, Clear and the object pair.
class TWideStrings : public TObject {
public:
    TWideStrings();
    ~TWideStrings() override;
    TWideStrings(const TWideStrings &) = delete;
    TWideStrings &operator=(const TWideStrings &) = delete;

    // ---- primitives
    virtual int Count() const = 0;
    virtual QString Get(int Index) const = 0;
    virtual void Put(int Index, const QString &S);          // keeps the object
    virtual TObject *GetObject(int Index) const;            // nullptr unless kept
    virtual void PutObject(int Index, TObject *AObject);    // ignored unless kept
    virtual void Insert(int Index, const QString &S) = 0;
    virtual void Delete(int Index) = 0;
    virtual void Clear() = 0;

    // ---- list operations
    QString Strings(int Index) const { return Get(Index); }
    void SetStrings(int Index, const QString &S) { Put(Index, S); }
    TObject *Objects(int Index) const { return GetObject(Index); }
    void SetObjects(int Index, TObject *AObject) { PutObject(Index, AObject); }
    virtual int Add(const QString &S);
    virtual int AddObject(const QString &S, TObject *AObject);
    void InsertObject(int Index, const QString &S, TObject *AObject);
    virtual void Exchange(int Index1, int Index2);
    // Case-insensitive, as the ANSI list compares; -1 when absent.
    virtual int IndexOf(const QString &S) const;
    void AddStrings(const TWideStrings &Strings);
    void AddStrings(const TStrings &Strings);
    // Same count and the same strings; objects are not compared.
    bool Equals(const TWideStrings &Strings) const;

    // ---- copying: cleared, then the source's strings with their objects, in one update
    void Assign(const TWideStrings &Source);
    void Assign(const TStrings &Source);
    void AssignTo(TStrings &Dest) const;
    void AssignTo(TWideStrings &Dest) const { Dest.Assign(*this); }

    // ---- update bracket: SetUpdateState(true) when the counter leaves 0, (false) when it returns
    void BeginUpdate();
    void EndUpdate();
    int UpdateCount() const { return FUpdateCount; }

    // ---- whole text: lines joined with CR LF; comma text with the string list's quoting
    QString Text() const;
    void SetText(const QString &Value);
    QString CommaText() const;
    void SetCommaText(const QString &Value);

    // ---- the ANSI view: every operation on it is one on this list
    TAnsiStringsForWideStrings *AnsiStrings();
    void SetAnsiStrings(const TStrings &Value);

protected:
    virtual void SetUpdateState(bool Updating);
    TStringList ToStringList() const;

private:
    // Adds Count items inside one update bracket, closed also when an add throws.
    void AddEach(int Count, const std::function<void(int)> &Add);
    int FUpdateCount = 0;
    std::unique_ptr<TAnsiStringsForWideStrings> FAnsiStrings;
};

// The ANSI view of a wide list.
class TAnsiStringsForWideStrings : public TObject {
public:
    explicit TAnsiStringsForWideStrings(TWideStrings *AWideStrings) : FWideStrings(AWideStrings) {}
    int Count() const { return FWideStrings->Count(); }
    QString Strings(int Index) const;
    void SetStrings(int Index, const QString &S);
    TObject *Objects(int Index) const { return FWideStrings->GetObject(Index); }
    void SetObjects(int Index, TObject *AObject) { FWideStrings->PutObject(Index, AObject); }
    int Add(const QString &S);
    int AddObject(const QString &S, TObject *AObject);
    void Insert(int Index, const QString &S);
    void Delete(int Index) { FWideStrings->Delete(Index); }
    void Clear() { FWideStrings->Clear(); }
    void Exchange(int Index1, int Index2) { FWideStrings->Exchange(Index1, Index2); }
    int IndexOf(const QString &S) const;
    void Assign(const TStrings &Source) { FWideStrings->Assign(Source); }
    void BeginUpdate() { FWideStrings->BeginUpdate(); }
    void EndUpdate() { FWideStrings->EndUpdate(); }
    QString Text() const { return FWideStrings->Text(); }
    void SetText(const QString &Value) { FWideStrings->SetText(Value); }

private:
    TWideStrings *FWideStrings;
};

// The items of a Unicode combo box, kept in the combo itself.
class TComboBoxStrings : public TWideStrings {
public:
    explicit TComboBoxStrings(QComboBox *ACombo) : FCombo(ACombo) {}
    int Count() const override;
    QString Get(int Index) const override;
    void Put(int Index, const QString &S) override;
    TObject *GetObject(int Index) const override;
    void PutObject(int Index, TObject *AObject) override;
    // EOutOfResources when the combo refuses the line (an index beyond the end).
    void Insert(int Index, const QString &S) override;
    int Add(const QString &S) override;
    void Delete(int Index) override;
    void Clear() override;
    int IndexOf(const QString &S) const override;
    QComboBox *Combo() const { return FCombo; }

protected:
    void SetUpdateState(bool Updating) override;

private:
    void CheckIndex(int Index) const;
    QComboBox *FCombo;
};

// The Unicode edit box.
class TCustomUNIEdit : public QLineEdit, public TObject {
    Q_OBJECT
public:
    using QLineEdit::QLineEdit;
    QString Text() const { return text(); }
    // Sets the text only when it differs (the change notification follows).
    void SetText(const QString &Value);
};

class TCgUniEdit : public TCustomUNIEdit {
    Q_OBJECT
public:
    using TCustomUNIEdit::TCustomUNIEdit;
};

// The Unicode combo box. It looks like the platform's combo; its flat
// descendants below take the flat look of the grid's combo.
class TCustomUNIComboBox : public TCGCustomCombo {
    Q_OBJECT
public:
    explicit TCustomUNIComboBox(QWidget *Parent = nullptr);
    ~TCustomUNIComboBox() override;
    TComboBoxStrings *Items() const { return FItems.get(); }
    void SetItems(const TWideStrings &Value) { FItems->Assign(Value); }

private:
    std::unique_ptr<TComboBoxStrings> FItems;
};

class TCGUniCustomCombo : public TCustomUNIComboBox {
    Q_OBJECT
public:
    explicit TCGUniCustomCombo(QWidget *Parent = nullptr);
};

class TCGUniComboBox : public TCGUniCustomCombo {
    Q_OBJECT
public:
    using TCGUniCustomCombo::TCGUniCustomCombo;
};
