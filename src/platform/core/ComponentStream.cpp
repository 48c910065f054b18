#include "ComponentStream.h"

#include <QtEndian>

namespace {

// Value type bytes of the image.
enum : quint8 {
    vaNull = 0, vaList = 1, vaInt8 = 2, vaInt16 = 3, vaInt32 = 4, vaFalse = 8, vaTrue = 9,
    vaBinary = 10, vaUTF8String = 20, vaDouble = 21
};

const char Signature[4] = {'T', 'P', 'F', '0'};

// Appends the parts of an image to a byte buffer.
class ImageWriter {
public:
    QByteArray Out;
    void Byte(quint8 B) { Out.append(char(B)); }
    void ShortString(const QString &S)
    {
        const QByteArray U = S.toUtf8();
        if (U.size() > 255)
            throw EWriteError(QStringLiteral("Stream write error"));
        Byte(quint8(U.size()));
        Out.append(U);
    }
    void Int32(qint32 V)
    {
        char B[4];
        qToLittleEndian(V, B);
        Out.append(B, 4);
    }
    void LongBytes(const QByteArray &B)
    {
        Int32(qint32(B.size()));
        Out.append(B);
    }
    void Value(const QVariant &V)
    {
        switch (V.typeId()) {
        case QMetaType::Int: {
            const int I = V.toInt();
            if (I >= -128 && I <= 127) {
                Byte(vaInt8);
                Byte(quint8(qint8(I)));
            } else if (I >= -32768 && I <= 32767) {
                Byte(vaInt16);
                char B[2];
                qToLittleEndian(qint16(I), B);
                Out.append(B, 2);
            } else {
                Byte(vaInt32);
                Int32(I);
            }
            break;
        }
        case QMetaType::Bool:
            Byte(V.toBool() ? vaTrue : vaFalse);
            break;
        case QMetaType::QString:
            Byte(vaUTF8String);
            LongBytes(V.toString().toUtf8());
            break;
        case QMetaType::QByteArray:
            Byte(vaBinary);
            LongBytes(V.toByteArray());
            break;
        case QMetaType::Double: {
            Byte(vaDouble);
            char B[8];
            qToLittleEndian(V.toDouble(), B);
            Out.append(B, 8);
            break;
        }
        case QMetaType::QStringList:
            Byte(vaList);
            for (const QString &S : V.toStringList()) {
                Byte(vaUTF8String);
                LongBytes(S.toUtf8());
            }
            Byte(vaNull);
            break;
        default:
            throw EWriteError(QStringLiteral("Stream write error"));
        }
    }
};

// Reads the parts of an image from a stream, never past its end.
class ImageReader {
public:
    explicit ImageReader(TStream *S) : FStream(S) {}
    [[noreturn]] void Fail() { throw EReadError(QStringLiteral("Invalid stream format")); }
    QByteArray Bytes(qint64 Count)
    {
        if (Count < 0 || Count > FStream->Size() - FStream->Position())
            Fail();
        QByteArray B = FStream->ReadBytes(Count);
        if (B.size() != Count)
            Fail();
        return B;
    }
    quint8 Byte() { return quint8(Bytes(1).at(0)); }
    QString ShortString()
    {
        const QByteArray B = Bytes(Byte());
        return Utf8(B);
    }
    qint32 Int32() { return qFromLittleEndian<qint32>(Bytes(4).constData()); }
    QByteArray LongBytes() { return Bytes(Int32()); }
    QString Utf8(const QByteArray &B)
    {
        QString S = QString::fromUtf8(B);
        if (S.toUtf8() != B)
            Fail();
        return S;
    }
    QVariant Value()
    {
        switch (Byte()) {
        case vaInt8:
            return int(qint8(Byte()));
        case vaInt16:
            return int(qFromLittleEndian<qint16>(Bytes(2).constData()));
        case vaInt32:
            return int(Int32());
        case vaFalse:
            return false;
        case vaTrue:
            return true;
        case vaUTF8String:
            return Utf8(LongBytes());
        case vaBinary:
            return LongBytes();
        case vaDouble:
            return qFromLittleEndian<double>(Bytes(8).constData());
        case vaList: {
            QStringList L;
            for (quint8 T = Byte(); T != vaNull; T = Byte()) {
                if (T != vaUTF8String)
                    Fail();
                L << Utf8(LongBytes());
            }
            return L;
        }
        default:
            Fail();
        }
    }

private:
    TStream *FStream;
};

TStreamable *StreamableOf(TComponent *Instance)
{
    auto *S = dynamic_cast<TStreamable *>(Instance);
    if (!S)
        throw EStreamError(QStringLiteral("Stream write error"));
    return S;
}

} // namespace

class TComponentWriter {
public:
    static void Write(TStream *Stream, TComponent *Instance)
    {
        TStreamable *S = StreamableOf(Instance);
        TFiler F(true);
        S->DefineProperties(F);
        ImageWriter W;
        W.Out.append(Signature, 4);
        W.ShortString(S->StreamClassName());
        W.ShortString(Instance->Name());
        for (const auto &[Name, Value] : F.FWritten) {
            W.ShortString(Name);
            W.Value(Value);
        }
        W.Byte(0);   // end of properties
        W.Byte(0);   // end of children
        Stream->WriteBuffer(W.Out.constData(), W.Out.size());
    }
};

class TComponentReader {
public:
    static void Read(TStream *Stream, TComponent *Instance)
    {
        TStreamable *S = StreamableOf(Instance);
        ImageReader R(Stream);
        if (R.Bytes(4) != QByteArray(Signature, 4))
            R.Fail();
        if (R.ShortString() != S->StreamClassName())
            R.Fail();
        const QString Name = R.ShortString();
        TFiler F(false);
        for (QString Prop = R.ShortString(); !Prop.isEmpty(); Prop = R.ShortString())
            if (!F.FRead.emplace(Prop, R.Value()).second)
                R.Fail();
        if (R.Byte() != 0)
            R.Fail();   // components here have no children
        S->DefineProperties(F);
        if (!F.FRead.empty())
            R.Fail();   // a property the class does not have
        Instance->SetName(Name);
    }
};

void TFiler::Invalid()
{
    throw EReadError(QStringLiteral("Invalid stream format"));
}

QString TFiler::Full(const QString &Name) const
{
    return FPrefix.isEmpty() ? Name : FPrefix.join(QLatin1Char('.')) + QLatin1Char('.') + Name;
}

void TFiler::Put(const QString &Name, QVariant Value)
{
    FWritten.emplace_back(Full(Name), std::move(Value));
}

QVariant TFiler::Take(const QString &Name, QMetaType::Type Type)
{
    auto It = FRead.find(Full(Name));
    if (It == FRead.end())
        return QVariant();
    QVariant V = std::move(It->second);
    FRead.erase(It);
    if (V.typeId() != Type)
        Invalid();
    return V;
}

void TFiler::Integer(const QString &Name, int &Value)
{
    if (FWriting)
        Put(Name, Value);
    else if (QVariant V = Take(Name, QMetaType::Int); V.isValid())
        Value = V.toInt();
}

void TFiler::Boolean(const QString &Name, bool &Value)
{
    if (FWriting)
        Put(Name, Value);
    else if (QVariant V = Take(Name, QMetaType::Bool); V.isValid())
        Value = V.toBool();
}

void TFiler::String(const QString &Name, QString &Value)
{
    if (FWriting)
        Put(Name, Value);
    else if (QVariant V = Take(Name, QMetaType::QString); V.isValid())
        Value = V.toString();
}

void TFiler::Float(const QString &Name, double &Value)
{
    if (FWriting)
        Put(Name, Value);
    else if (QVariant V = Take(Name, QMetaType::Double); V.isValid())
        Value = V.toDouble();
}

void TFiler::Binary(const QString &Name, QByteArray &Value)
{
    if (FWriting)
        Put(Name, Value);
    else if (QVariant V = Take(Name, QMetaType::QByteArray); V.isValid())
        Value = V.toByteArray();
}

void TFiler::Strings(const QString &Name, QStringList &Value)
{
    if (FWriting)
        Put(Name, Value);
    else if (QVariant V = Take(Name, QMetaType::QStringList); V.isValid())
        Value = V.toStringList();
}

void TFiler::PushPrefix(const QString &Prefix)
{
    FPrefix << Prefix;
}

void TFiler::PopPrefix()
{
    FPrefix.removeLast();
}

void TStream::WriteComponent(TComponent *Instance)
{
    TComponentWriter::Write(this, Instance);
}

void TStream::ReadComponent(TComponent *Instance)
{
    TComponentReader::Read(this, Instance);
}
