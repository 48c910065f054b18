#pragma once
// Component images: a component's named, typed properties written to a stream
// and read back into an existing instance (TStream::WriteComponent and
// ReadComponent).
//
// Layout of one image: the signature "TPF0", the class name and the component
// name (each a length byte and that many bytes), then the properties, each a
// name (length byte and bytes) followed by a value type byte and the value,
// ended by an empty name, and an end byte for the (always empty) list of
// children. Integers are stored in the smallest of 1, 2 or 4 little-endian
// bytes, strings as UTF-8 with a 4-byte length, binary data with a 4-byte
// length, floats as 8-byte doubles and string lists as a list of strings.
// Nested objects write their properties under "Object.Property" names.
//
// Reading trusts nothing: every length is checked against what is left of the
// stream before anything is read, the class name must be the instance's, every
// property must be one the instance defines, with its type, and every image
// is read whole before its properties are handed out. A damaged image raises
// EReadError "Invalid stream format"; the instance may then hold some of its
// properties, so callers read into fresh instances.

#include "Classes.h"

#include <QVariant>

#include <map>

// The properties of a streamable component, defined once for both directions:
// DefineProperties names each property with a reference to its value; when
// writing the value is written, when reading it is assigned.
class TFiler {
public:
    bool Writing() const { return FWriting; }

    void Integer(const QString &Name, int &Value);
    void Boolean(const QString &Name, bool &Value);
    void String(const QString &Name, QString &Value);
    void Float(const QString &Name, double &Value);
    void Binary(const QString &Name, QByteArray &Value);
    void Strings(const QString &Name, QStringList &Value);
    // Properties of a nested object are named "Prefix.Name" while the prefix is pushed.
    void PushPrefix(const QString &Prefix);
    void PopPrefix();

    // An integer property of an enumeration or small integer type, range-checked when read.
    template <typename T>
    void Enum(const QString &Name, T &Value, int Min, int Max)
    {
        int V = int(Value);
        Integer(Name, V);
        if (!FWriting) {
            if (V < Min || V > Max)
                Invalid();
            Value = T(V);
        }
    }

private:
    friend class TComponentWriter;
    friend class TComponentReader;
    TFiler(bool AWriting) : FWriting(AWriting) {}
    [[noreturn]] static void Invalid();
    QString Full(const QString &Name) const;
    void Put(const QString &Name, QVariant Value);
    QVariant Take(const QString &Name, QMetaType::Type Type);

    bool FWriting;
    QStringList FPrefix;
    // Writing: the properties in order. Reading: those of the image, by name.
    std::vector<std::pair<QString, QVariant>> FWritten;
    std::map<QString, QVariant> FRead;
};

// What a component must offer to be written and read as a component image.
class TStreamable {
public:
    virtual ~TStreamable() = default;
    virtual QString StreamClassName() const = 0;
    virtual void DefineProperties(TFiler &Filer) = 0;
};
