#pragma once
// The PDF value classes and the exact text each one writes.
//
// A document is built in memory as a tree of values and written out once; the
// writer never reads PDF. Ownership: a container (array or dictionary) owns its
// direct items. An indirect object is owned by the cross-reference table and a
// container only holds a reference to it (a TPdfVirtualObject carrying its number).

#include "platform/core/Classes.h"
#include "platform/core/SysUtils.h"
#include "platform/core/Types.h"

#include <QByteArray>
#include <QString>
#include <memory>
#include <vector>

QB_DECLARE_EXCEPTION(EPdfInvalidValue, Exception)
QB_DECLARE_EXCEPTION(EPdfInvalidOperation, Exception)
QB_DECLARE_EXCEPTION(EPdfInvalidImageFormat, Exception)

enum TPdfObjectType { otDirectObject, otIndirectObject, otVirtualObject };

class TPdfObject;
class TPdfDoc;
namespace PdfDetail {
class ScratchFile;
}

// Resolves object numbers to the indirect objects they stand for.
class TPdfObjectMgr : public TObject {
public:
    virtual void AddObject(TPdfObject *AObject) = 0;
    virtual TPdfObject *ObjectByNumber(int ObjectID) const = 0;
};

class TPdfObject : public TObject {
public:
    TPdfObject() = default;

    int ObjectNumber() const { return FObjectNumber; }
    // 1 or more makes the object indirect, anything below makes it direct.
    void SetObjectNumber(int Value);
    int GenerationNumber() const { return FGenerationNumber; }
    TPdfObjectType ObjectType() const { return FObjectType; }

    // A reference ("n g R") for an object that is not direct, its own text otherwise.
    void WriteAsValue(TStream *AStream);
    // The whole indirect object: "n g obj", its text, "endobj".
    void WriteAsObject(TStream *AStream);

protected:
    virtual void WriteOwnText(TStream *AStream);
    TPdfObjectType FObjectType = otDirectObject;
    int FObjectNumber = -1;

private:
    int FGenerationNumber = 0;
};

class TPdfVirtualObject : public TPdfObject {
public:
    // Raises Exception: a virtual object stands for a number and needs one.
    TPdfVirtualObject();
    static std::unique_ptr<TPdfVirtualObject> CreateVirtual(int AObjectID);

private:
    struct NumberTag {};
    TPdfVirtualObject(NumberTag, int AObjectID);
};

class TPdfNull : public TPdfObject {
protected:
    void WriteOwnText(TStream *AStream) override;
};

class TPdfBoolean : public TPdfObject {
public:
    explicit TPdfBoolean(bool AValue = false) : FValue(AValue) {}
    bool Value() const { return FValue; }
    void SetValue(bool AValue) { FValue = AValue; }

protected:
    void WriteOwnText(TStream *AStream) override;

private:
    bool FValue;
};

class TPdfNumber : public TPdfObject {
public:
    explicit TPdfNumber(qint32 AValue = 0) : FValue(AValue) {}
    qint32 Value() const { return FValue; }
    void SetValue(qint32 AValue) { FValue = AValue; }

protected:
    void WriteOwnText(TStream *AStream) override;

private:
    qint32 FValue;
};

// A real number, written in plain decimal notation with up to 15 significant
// digits. A value that is not finite cannot be held (EPdfInvalidValue).
class TPdfReal : public TPdfObject {
public:
    explicit TPdfReal(double AValue = 0);
    double Value() const { return FValue; }
    void SetValue(double AValue);

protected:
    void WriteOwnText(TStream *AStream) override;

private:
    double FValue = 0;
};

// A string of the system's ANSI code page (code page 936). It is written as
// PDFDocEncoding when every character has a place there, otherwise as UTF-16BE
// with its byte-order mark, so readers show exactly the characters given.
class TPdfText : public TPdfObject {
public:
    TPdfText() = default;
    explicit TPdfText(const QByteArray &AValue) : FValue(AValue) {}
    explicit TPdfText(const QString &AValue);
    const QByteArray &Value() const { return FValue; }
    void SetValue(const QByteArray &AValue) { FValue = AValue; }
    QString Text() const;

protected:
    void WriteOwnText(TStream *AStream) override;

private:
    QByteArray FValue;
};

// A name, held without its leading slash.
class TPdfName : public TPdfObject {
public:
    TPdfName() = default;
    explicit TPdfName(const QByteArray &AValue) : FValue(AValue) {}
    explicit TPdfName(const char *AValue) : FValue(AValue) {}
    const QByteArray &Value() const { return FValue; }
    void SetValue(const QByteArray &AValue) { FValue = AValue; }

protected:
    void WriteOwnText(TStream *AStream) override;

private:
    QByteArray FValue;
};

class TPdfArray : public TPdfObject {
public:
    explicit TPdfArray(TPdfObjectMgr *AObjectMgr = nullptr) : FObjectMgr(AObjectMgr) {}
    ~TPdfArray() override;

    // Takes ownership of a direct item; an indirect one is added as a reference.
    // The very same item is never added twice.
    void AddItem(TPdfObject *AItem);
    int ItemCount() const { return int(FArray.size()); }
    // The item at Index, a reference resolved to the object it stands for.
    TPdfObject *Items(int Index) const;
    TPdfName *FindName(QByteArrayView AName) const;
    bool RemoveName(QByteArrayView AName);
    TPdfObjectMgr *ObjectMgr() const { return FObjectMgr; }

protected:
    void WriteOwnText(TStream *AStream) override;

private:
    std::vector<std::unique_ptr<TPdfObject>> FArray;
    TPdfObjectMgr *FObjectMgr;
};

class TPdfDictionaryElement : public TObject {
public:
    // Takes ownership of a direct value; an indirect one is held as a reference.
    // Raises EPdfInvalidValue without a value.
    TPdfDictionaryElement(const QByteArray &AKey, TPdfObject *AValue, bool AIsHidden = false);
    ~TPdfDictionaryElement() override;

    const QByteArray &Key() const { return FKey.Value(); }
    TPdfName *KeyName() { return &FKey; }
    TPdfObject *Value() const { return FValue.get(); }
    bool IsHidden() const { return FIsHidden; }
    // Gives up the value without freeing it.
    TPdfObject *ReleaseValue() { return FValue.release(); }

private:
    TPdfName FKey;
    std::unique_ptr<TPdfObject> FValue;
    bool FIsHidden;
};

class TPdfText;
class TPdfDictionary : public TPdfObject {
public:
    explicit TPdfDictionary(TPdfObjectMgr *AObjectMgr = nullptr) : FObjectMgr(AObjectMgr) {}
    ~TPdfDictionary() override;

    // Removes and frees an element of the same key, then appends the new one.
    // Putting the value a key already holds moves it to the end and keeps it.
    void Put(const QByteArray &AKey, TPdfObject *AValue);
    void PutHidden(const QByteArray &AKey, TPdfObject *AValue);
    void Remove(QByteArrayView AKey);

    TPdfObject *ValueByName(QByteArrayView AKey) const;
    TPdfNumber *PdfNumberByName(QByteArrayView AKey) const;
    TPdfReal *PdfRealByName(QByteArrayView AKey) const;
    TPdfText *PdfTextByName(QByteArrayView AKey) const;
    TPdfName *PdfNameByName(QByteArrayView AKey) const;
    TPdfArray *PdfArrayByName(QByteArrayView AKey) const;
    TPdfDictionary *PdfDictionaryByName(QByteArrayView AKey) const;
    TPdfBoolean *PdfBooleanByName(QByteArrayView AKey) const;
    // The text of the "Type" name, empty when there is none.
    QByteArray TypeName() const;

    int ItemCount() const { return int(FArray.size()); }
    TPdfDictionaryElement *Items(int Index) const { return FArray.at(size_t(Index)).get(); }
    TPdfObjectMgr *ObjectMgr() const { return FObjectMgr; }

protected:
    void WriteOwnText(TStream *AStream) override;

private:
    void PutElement(const QByteArray &AKey, TPdfObject *AValue, bool AIsHidden);
    int IndexOfKey(QByteArrayView AKey) const;
    std::vector<std::unique_ptr<TPdfDictionaryElement>> FArray;
    TPdfObjectMgr *FObjectMgr;
};

// A stream's body is what callers write into Stream(). The document moves the
// body of an image it is given out of memory into its scratch file; the
// stream is then written with those bytes first and anything written into
// Stream() afterwards after them.
class TPdfStream : public TPdfObject {
public:
    explicit TPdfStream(TPdfObjectMgr *AObjectMgr = nullptr);
    ~TPdfStream() override;
    TPdfDictionary *Attributes() const { return FAttributes.get(); }
    TMemoryStream *Stream() const { return FStream.get(); }

protected:
    void WriteOwnText(TStream *AStream) override;

private:
    friend class TPdfDoc;
    // Appends the body held in memory to Scratch and empties Stream() (once;
    // a body moved already stays where it is).
    void MoveBodyTo(const std::shared_ptr<PdfDetail::ScratchFile> &Scratch);

    std::unique_ptr<TPdfDictionary> FAttributes;
    std::unique_ptr<TMemoryStream> FStream;
    // The part of the body kept in the scratch file: where it begins, its size.
    std::shared_ptr<PdfDetail::ScratchFile> FScratch;
    qint64 FScratchOffset = 0;
    qint64 FScratchSize = 0;
};

class TPdfXObject : public TPdfStream {
public:
    using TPdfStream::TPdfStream;
};

class TPdfImage : public TPdfXObject {
public:
    using TPdfXObject::TPdfXObject;
};

// Bytes written unchanged.
class TPdfBinary : public TPdfObject {
public:
    TPdfBinary();
    ~TPdfBinary() override;
    TMemoryStream *Stream() const { return FStream.get(); }

protected:
    void WriteOwnText(TStream *AStream) override;

private:
    std::unique_ptr<TMemoryStream> FStream;
};

// ---- routines used by the writers ----
void WriteText(const QByteArray &Text, TStream *AStream);
void WriteText(const char *Text, TStream *AStream);
// "D:yyyymmddhhnnss".
QByteArray PdfDate(TDateTime Value);
// Rounded half away from zero to two decimals, plain decimal notation, "." as
// the separator. Raises EPdfInvalidValue for a value that is not finite.
QByteArray FormatPdfNumber(double Value);
// Plain decimal notation with up to 15 significant digits (EPdfInvalidValue when not finite).
QByteArray FormatPdfReal(double Value);
// The escaped forms of a name (with its slash) and of a code page 936 text string
// (PDFDocEncoding or UTF-16BE, as TPdfText describes).
QByteArray EscapeName(const QByteArray &Value);
QByteArray EscapeText(const QByteArray &Value);
