#include "SysUtils.h"

#include <QCoreApplication>
#include <QDate>
#include <QDateTime>
#include <QLocale>
#include <QThread>
#include <QTime>

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <vector>
#include <time.h>

// ------------------------------------------------------------------ integers

QString IntToStr(qint64 Value)
{
    return QString::number(Value);
}

QString IntToHex(qint64 Value, int Digits)
{
    QString S = QString::number(quint64(Value), 16).toUpper();
    if (S.size() < Digits)
        S = QString(Digits - S.size(), QLatin1Char('0')) + S;
    return S;
}

namespace {

// The integer syntax of the original: leading blanks, a sign, decimal digits or
// hexadecimal after "$", "0x" or "x". Hexadecimal takes the full bit width
// (so "$FFFFFFFF" is -1 as a 32-bit value); decimal must fit.
bool ParseInteger(const QString &S, int Bits, qint64 &Value)
{
    qsizetype I = 0;
    const qsizetype N = S.size();
    while (I < N && S[I] == QLatin1Char(' '))
        ++I;
    bool Neg = false;
    if (I < N && (S[I] == QLatin1Char('-') || S[I] == QLatin1Char('+'))) {
        Neg = S[I] == QLatin1Char('-');
        ++I;
    }
    bool Hex = false;
    if (I < N && S[I] == QLatin1Char('$')) {
        Hex = true;
        ++I;
    } else if (I < N && (S[I] == QLatin1Char('x') || S[I] == QLatin1Char('X'))) {
        Hex = true;
        ++I;
    } else if (I + 1 < N && S[I] == QLatin1Char('0') && (S[I + 1] == QLatin1Char('x') || S[I + 1] == QLatin1Char('X'))) {
        Hex = true;
        I += 2;
    }
    if (I >= N)
        return false;
    quint64 Acc = 0;
    if (Hex) {
        const quint64 Limit = Bits == 64 ? ~quint64(0) : 0xFFFFFFFFull;
        for (; I < N; ++I) {
            const int D = QChar(S[I]).isDigit() && S[I].unicode() < 0x80 ? S[I].unicode() - '0'
                        : (S[I] >= QLatin1Char('a') && S[I] <= QLatin1Char('f')) ? S[I].unicode() - 'a' + 10
                        : (S[I] >= QLatin1Char('A') && S[I] <= QLatin1Char('F')) ? S[I].unicode() - 'A' + 10
                        : -1;
            if (D < 0 || Acc > (Limit >> 4))
                return false;
            Acc = (Acc << 4) | quint64(D);
        }
        qint64 V = Bits == 64 ? qint64(Acc) : qint64(qint32(quint32(Acc)));
        Value = Neg ? qint64(0ull - quint64(V)) : V;
        if (Bits == 32)
            Value = qint32(quint32(quint64(Value)));
        return true;
    }
    const quint64 Max = Bits == 64 ? quint64(LLONG_MAX) + (Neg ? 1 : 0) : quint64(INT_MAX) + (Neg ? 1 : 0);
    for (; I < N; ++I) {
        const char16_t C = S[I].unicode();
        if (C < '0' || C > '9')
            return false;
        const quint64 D = C - '0';
        if (Acc > (Max - D) / 10)
            return false;
        Acc = Acc * 10 + D;
    }
    Value = Neg ? qint64(0ull - Acc) : qint64(Acc);
    return true;
}

[[noreturn]] void RaiseInteger(const QString &S)
{
    throw EConvertError(QStringLiteral("“%1”不是有效的整数。").arg(S));
}

} // namespace

bool TryStrToInt(const QString &S, int &Value)
{
    qint64 V = 0;
    if (!ParseInteger(S, 32, V))
        return false;
    Value = int(V);
    return true;
}

bool TryStrToInt64(const QString &S, qint64 &Value)
{
    return ParseInteger(S, 64, Value);
}

int StrToInt(const QString &S)
{
    int V = 0;
    if (!TryStrToInt(S, V))
        RaiseInteger(S);
    return V;
}

qint64 StrToInt64(const QString &S)
{
    qint64 V = 0;
    if (!TryStrToInt64(S, V))
        RaiseInteger(S);
    return V;
}

int StrToIntDef(const QString &S, int Default)
{
    int V = 0;
    return TryStrToInt(S, V) ? V : Default;
}

qint64 StrToInt64Def(const QString &S, qint64 Default)
{
    qint64 V = 0;
    return TryStrToInt64(S, V) ? V : Default;
}

// ------------------------------------------------------------ floating point

QChar DecimalSeparator = QLatin1Char('.');
QChar ThousandSeparator = QLatin1Char(',');

bool TryStrToFloat(const QString &S, double &Value)
{
    // Blanks around the number, a sign, digits with at most one ".", an
    // optional exponent. No thousands separators, no locale.
    QByteArray A;
    A.reserve(S.size());
    qsizetype I = 0, N = S.size();
    while (I < N && S[I].unicode() <= ' ')
        ++I;
    while (N > I && S[N - 1].unicode() <= ' ')
        --N;
    if (I >= N)
        return false;
    bool Neg = false;
    if (S[I] == QLatin1Char('+') || S[I] == QLatin1Char('-')) {
        Neg = S[I] == QLatin1Char('-');
        ++I;
    }
    int Digits = 0;
    bool Point = false;
    for (; I < N; ++I) {
        const char16_t C = S[I].unicode();
        if (C >= '0' && C <= '9') {
            ++Digits;
            A.append(char(C));
        } else if (C == '.' && !Point) {
            Point = true;
            A.append('.');
        } else {
            break;
        }
    }
    if (Digits == 0)
        return false;
    if (I < N && (S[I] == QLatin1Char('e') || S[I] == QLatin1Char('E'))) {
        A.append('e');
        ++I;
        if (I < N && (S[I] == QLatin1Char('+') || S[I] == QLatin1Char('-'))) {
            A.append(char(S[I].unicode()));
            ++I;
        }
        int ExpDigits = 0;
        for (; I < N && S[I] >= QLatin1Char('0') && S[I] <= QLatin1Char('9'); ++I, ++ExpDigits)
            A.append(char(S[I].unicode()));
        if (ExpDigits == 0)
            return false;
    }
    if (I != N)
        return false;
    double V = 0;
    const auto R = std::from_chars(A.constData(), A.constData() + A.size(), V);
    if (R.ec == std::errc::result_out_of_range) {
        // Too small is zero; too large is an error, as in the original.
        const qsizetype E = A.indexOf('e');
        const QByteArray Mantissa = E >= 0 ? A.left(E) : A;
        const int Exp = E >= 0 ? A.mid(E + 1).left(9).toInt() : 0;
        const qsizetype Point = Mantissa.indexOf('.') >= 0 ? Mantissa.indexOf('.') : Mantissa.size();
        qsizetype First = 0;
        while (First < Mantissa.size() && (Mantissa[First] == '0' || Mantissa[First] == '.'))
            ++First;
        const qint64 Magnitude = qint64(First < Point ? Point - First : Point - First + 1) + Exp;
        if (Magnitude > 0)
            return false;
        V = 0;
    } else if (R.ec != std::errc() || R.ptr != A.constData() + A.size()) {
        return false;
    }
    Value = Neg ? -V : V;
    return true;
}

double StrToFloat(const QString &S)
{
    double V = 0;
    if (!TryStrToFloat(S, V))
        throw EConvertError(QStringLiteral("“%1”不是有效的数值。").arg(S));
    return V;
}

double StrToFloatDef(const QString &S, double Default)
{
    double V = 0;
    return TryStrToFloat(S, V) ? V : Default;
}

namespace {

// A finite value as decimal digits: Value = 0.D1D2D3... x 10^Exponent, at most
// 15 significant digits (the precision a double holds), without trailing zeros.
// Digits is empty for zero. All later rounding works on these digits, so a
// value like 1.005 is rounded as the 1.005 it was written as.
struct Decimal {
    QByteArray Digits;
    int Exponent = 0;
    bool Negative = false;
};

Decimal ToDecimal(double Value)
{
    Decimal D;
    D.Negative = std::signbit(Value);
    if (Value == 0)
        return D;
    // to_chars ignores the C locale, so a comma-decimal locale changes nothing.
    char Buf[40];
    const auto R = std::to_chars(Buf, Buf + sizeof Buf - 1, std::fabs(Value), std::chars_format::scientific, 14);
    *R.ptr = 0;
    // d.dddddddddddddde[+-]xx
    const char *E = std::strchr(Buf, 'e');
    QByteArray Dig;
    for (const char *P = Buf; P < E; ++P)
        if (*P >= '0' && *P <= '9')
            Dig.append(*P);
    D.Exponent = std::atoi(E + 1) + 1;
    while (!Dig.isEmpty() && Dig.endsWith('0'))
        Dig.chop(1);
    D.Digits = Dig;
    return D;
}

// Rounds D half away from zero to Fraction digits after the decimal point.
void RoundToFraction(Decimal &D, int Fraction)
{
    const int Keep = D.Exponent + Fraction; // digits to keep
    if (D.Digits.isEmpty() || Keep >= D.Digits.size())
        return;
    if (Keep < 0) {
        D.Digits.clear();
        return;
    }
    const bool Up = D.Digits[Keep] >= '5';
    D.Digits.truncate(Keep);
    if (Up) {
        int I = Keep - 1;
        while (I >= 0 && D.Digits[I] == '9') {
            D.Digits[I] = '0';
            --I;
        }
        if (I >= 0) {
            D.Digits[I] = char(D.Digits[I] + 1);
        } else {
            D.Digits.prepend('1');
            ++D.Exponent;
        }
    }
    while (!D.Digits.isEmpty() && D.Digits.endsWith('0'))
        D.Digits.chop(1);
}

void RoundToSignificant(Decimal &D, int Count)
{
    if (D.Digits.size() <= Count)
        return;
    RoundToFraction(D, Count - D.Exponent);
}

QString SpecialText(double Value)
{
    if (std::isnan(Value))
        return QStringLiteral("NAN");
    return Value < 0 ? QStringLiteral("-INF") : QStringLiteral("INF");
}

} // namespace

QString FloatToStr(double Value)
{
    if (!std::isfinite(Value))
        return SpecialText(Value);
    Decimal D = ToDecimal(Value);
    if (D.Digits.isEmpty())
        return QStringLiteral("0");
    QString S = D.Negative ? QStringLiteral("-") : QString();
    const QString Dig = QString::fromLatin1(D.Digits);
    if (D.Exponent > 15 || D.Exponent < -3) {
        // Scientific: d.dddE[-]x
        S += Dig.left(1);
        if (Dig.size() > 1)
            S += QLatin1Char('.') + Dig.mid(1);
        S += QLatin1Char('E') + QString::number(D.Exponent - 1);
        return S;
    }
    if (D.Exponent <= 0) {
        S += QStringLiteral("0.") + QString(-D.Exponent, QLatin1Char('0')) + Dig;
    } else if (Dig.size() <= D.Exponent) {
        S += Dig + QString(D.Exponent - Dig.size(), QLatin1Char('0'));
    } else {
        S += Dig.left(D.Exponent) + QLatin1Char('.') + Dig.mid(D.Exponent);
    }
    return S;
}

namespace {

// Splits a format at ';' outside quotes.
QStringList SplitSections(const QString &Format)
{
    QStringList Out;
    QString Cur;
    QChar Quote;
    for (QChar C : Format) {
        if (!Quote.isNull()) {
            if (C == Quote)
                Quote = QChar();
            Cur += C;
        } else if (C == QLatin1Char('"') || C == QLatin1Char('\'')) {
            Quote = C;
            Cur += C;
        } else if (C == QLatin1Char(';')) {
            Out << Cur;
            Cur.clear();
        } else {
            Cur += C;
        }
    }
    Out << Cur;
    return Out;
}

struct Layout {
    int IntPlaces = 0;       // '0' and '#' before the decimal point
    int IntRequired = 0;     // placeholders from the first '0' to the decimal point
    int FracPlaces = 0;      // placeholders after the point
    int FracRequired = 0;    // up to the last '0' after the point
    bool Point = false;
    bool Thousands = false;
    bool Scientific = false;
    bool ExpPlus = false;
    int ExpDigits = 0;
};

Layout Analyse(const QString &F)
{
    Layout L;
    QChar Quote;
    bool FirstZeroSeen = false;
    for (qsizetype I = 0; I < F.size(); ++I) {
        const QChar C = F[I];
        if (!Quote.isNull()) {
            if (C == Quote)
                Quote = QChar();
            continue;
        }
        if (C == QLatin1Char('"') || C == QLatin1Char('\'')) {
            Quote = C;
        } else if (L.Scientific) {
            continue;
        } else if (C == QLatin1Char('0') || C == QLatin1Char('#')) {
            if (!L.Point) {
                ++L.IntPlaces;
                if (C == QLatin1Char('0'))
                    FirstZeroSeen = true;
                if (FirstZeroSeen)
                    ++L.IntRequired;
            } else {
                ++L.FracPlaces;
                if (C == QLatin1Char('0'))
                    L.FracRequired = L.FracPlaces;
            }
        } else if (C == QLatin1Char('.')) {
            L.Point = true;
        } else if (C == QLatin1Char(',')) {
            if (!L.Point)
                L.Thousands = true;
        } else if ((C == QLatin1Char('E') || C == QLatin1Char('e')) && I + 1 < F.size() &&
                   (F[I + 1] == QLatin1Char('+') || F[I + 1] == QLatin1Char('-'))) {
            L.Scientific = true;
            L.ExpPlus = F[I + 1] == QLatin1Char('+');
            qsizetype J = I + 2;
            while (J < F.size() && F[J] == QLatin1Char('0') && L.ExpDigits < 4) {
                ++L.ExpDigits;
                ++J;
            }
        }
    }
    return L;
}

// Writes one section for a non-negative decimal D already rounded as the layout needs.
QString Render(const QString &F, const Layout &L, const Decimal &D, bool Minus)
{
    QString IntDigits, FracDigits, ExpText;
    if (L.Scientific) {
        const int Sig = L.IntPlaces + L.FracPlaces;
        const int IntShown = qMax(L.IntPlaces, 1);
        int Exp = 0;
        QByteArray Dig = D.Digits;
        if (!Dig.isEmpty())
            Exp = D.Exponent - IntShown;
        while (Dig.size() < qMax(Sig, IntShown))
            Dig.append('0');
        IntDigits = QString::fromLatin1(Dig.left(IntShown));
        FracDigits = QString::fromLatin1(Dig.mid(IntShown, L.FracPlaces));
        while (FracDigits.size() > L.FracRequired && FracDigits.endsWith(QLatin1Char('0')))
            FracDigits.chop(1);
        QString ExpNum = QString::number(std::abs(Exp));
        if (ExpNum.size() < L.ExpDigits)
            ExpNum = QString(L.ExpDigits - ExpNum.size(), QLatin1Char('0')) + ExpNum;
        ExpText = (Exp < 0 ? QStringLiteral("-") : (L.ExpPlus ? QStringLiteral("+") : QString())) + ExpNum;
    } else {
        const QString Dig = QString::fromLatin1(D.Digits);
        if (D.Exponent > 0) {
            IntDigits = Dig.left(D.Exponent);
            if (IntDigits.size() < D.Exponent)
                IntDigits += QString(D.Exponent - IntDigits.size(), QLatin1Char('0'));
            FracDigits = Dig.mid(D.Exponent);
        } else {
            FracDigits = QString(-D.Exponent, QLatin1Char('0')) + Dig;
            if (Dig.isEmpty())
                FracDigits.clear();
        }
        if (IntDigits.size() < L.IntRequired)
            IntDigits = QString(L.IntRequired - IntDigits.size(), QLatin1Char('0')) + IntDigits;
        FracDigits = FracDigits.left(L.FracPlaces);
        if (FracDigits.size() < L.FracRequired)
            FracDigits += QString(L.FracRequired - FracDigits.size(), QLatin1Char('0'));
        while (FracDigits.size() > L.FracRequired && FracDigits.endsWith(QLatin1Char('0')))
            FracDigits.chop(1);
    }

    QString Out;
    if (Minus)
        Out += QLatin1Char('-');
    QChar Quote;
    int IntIndex = 0, FracIndex = 0;
    bool PointDone = false;
    bool ExpDone = false;
    const int Extra = IntDigits.size() - L.IntPlaces; // digits beyond the placeholders
    auto PutInt = [&](int From, int To) {
        for (int K = From; K < To; ++K) {
            Out += IntDigits[K];
            const int Remaining = IntDigits.size() - 1 - K;
            if (L.Thousands && !L.Scientific && Remaining > 0 && Remaining % 3 == 0)
                Out += QLatin1Char(',');
        }
    };
    for (qsizetype I = 0; I < F.size(); ++I) {
        const QChar C = F[I];
        if (!Quote.isNull()) {
            if (C == Quote)
                Quote = QChar();
            else
                Out += C;
            continue;
        }
        if (C == QLatin1Char('"') || C == QLatin1Char('\'')) {
            Quote = C;
        } else if (ExpDone) {
            Out += C;
        } else if (C == QLatin1Char('0') || C == QLatin1Char('#')) {
            if (!PointDone) {
                if (IntIndex == 0 && Extra > 0)
                    PutInt(0, Extra);
                const int K = IntIndex + Extra;
                if (K >= 0)
                    PutInt(K, K + 1);
                ++IntIndex;
            } else {
                if (FracIndex < FracDigits.size())
                    Out += FracDigits[FracIndex];
                ++FracIndex;
            }
        } else if (C == QLatin1Char('.') && !PointDone) {
            if (IntIndex == 0 && Extra > 0) {
                PutInt(0, Extra);
                IntIndex = 1;
            }
            PointDone = true;
            if (!FracDigits.isEmpty())
                Out += QLatin1Char('.');
        } else if (C == QLatin1Char(',')) {
            // thousands separators are placed with the digits
        } else if ((C == QLatin1Char('E') || C == QLatin1Char('e')) && L.Scientific && I + 1 < F.size() &&
                   (F[I + 1] == QLatin1Char('+') || F[I + 1] == QLatin1Char('-'))) {
            if (IntIndex == 0 && Extra > 0)
                PutInt(0, Extra);
            Out += C;
            Out += ExpText;
            I += 1;
            while (I + 1 < F.size() && F[I + 1] == QLatin1Char('0'))
                ++I;
            ExpDone = true;
        } else {
            Out += C;
        }
    }
    return Out;
}

} // namespace

QString FormatFloat(const QString &Format, double Value)
{
    if (!std::isfinite(Value))
        return SpecialText(Value);
    if (Format.isEmpty() || std::fabs(Value) >= 1e18)
        return FloatToStr(Value);
    const QStringList Sections = SplitSections(Format);
    const bool Negative = Value < 0;
    int Index = Negative && Sections.size() > 1 && !Sections[1].isEmpty() ? 1 : 0;
    QString F = Sections[Index];
    Layout L = Analyse(F);
    Decimal D = ToDecimal(std::fabs(Value));
    D.Negative = false;
    if (L.Scientific)
        RoundToSignificant(D, qMax(L.IntPlaces + L.FracPlaces, 1));
    else
        RoundToFraction(D, L.FracPlaces);
    bool Minus = Negative && Index == 0;
    if (D.Digits.isEmpty()) {
        // Zero after rounding: the third section when there is one, else the
        // first, and never "-0".
        Minus = false;
        F = Sections.size() > 2 && !Sections[2].isEmpty() ? Sections[2] : Sections[0];
        L = Analyse(F);
    }
    return Render(F, L, D, Minus);
}

qint64 Round(double X)
{
    if (!std::isfinite(X) || std::fabs(X) >= 9.2233720368547758e18)
        throw EInvalidOperation(QStringLiteral("Invalid floating point operation"));
    // nearbyint follows the default rounding mode: to nearest, ties to even.
    return qint64(std::nearbyint(X));
}

qint64 Trunc(double X)
{
    if (!std::isfinite(X) || std::fabs(X) >= 9.2233720368547758e18)
        throw EInvalidOperation(QStringLiteral("Invalid floating point operation"));
    return qint64(std::trunc(X));
}

int MulDiv(int Number, int Numerator, int Denominator)
{
    if (Denominator == 0)
        return -1;
    const qint64 P = qint64(Number) * Numerator;
    qint64 Q = P / Denominator;
    const qint64 R = P % Denominator;
    // Half away from zero.
    if (R != 0 && 2 * (R < 0 ? -R : R) >= (Denominator < 0 ? -qint64(Denominator) : qint64(Denominator)))
        Q += ((P < 0) != (Denominator < 0)) ? -1 : 1;
    if (Q > INT_MAX || Q < INT_MIN)
        return -1;
    return int(Q);
}

// ------------------------------------------------------------------ strings

QString Trim(const QString &S)
{
    qsizetype I = 0, N = S.size();
    while (I < N && S[I].unicode() <= ' ')
        ++I;
    while (N > I && S[N - 1].unicode() <= ' ')
        --N;
    return S.mid(I, N - I);
}

QString TrimLeft(const QString &S)
{
    qsizetype I = 0;
    while (I < S.size() && S[I].unicode() <= ' ')
        ++I;
    return S.mid(I);
}

QString TrimRight(const QString &S)
{
    qsizetype N = S.size();
    while (N > 0 && S[N - 1].unicode() <= ' ')
        --N;
    return S.left(N);
}

// Only ASCII letters change case, as in the original (Chinese text is left alone).
QString UpperCase(const QString &S)
{
    QString R = S;
    for (QChar &C : R)
        if (C >= QLatin1Char('a') && C <= QLatin1Char('z'))
            C = QChar(char16_t(C.unicode() - 32));
    return R;
}

QString LowerCase(const QString &S)
{
    QString R = S;
    for (QChar &C : R)
        if (C >= QLatin1Char('A') && C <= QLatin1Char('Z'))
            C = QChar(char16_t(C.unicode() + 32));
    return R;
}

int CompareText(const QString &S1, const QString &S2)
{
    return CompareStr(UpperCase(S1), UpperCase(S2));
}

int CompareStr(const QString &S1, const QString &S2)
{
    const qsizetype N = qMin(S1.size(), S2.size());
    for (qsizetype I = 0; I < N; ++I)
        if (S1[I] != S2[I])
            return int(S1[I].unicode()) - int(S2[I].unicode());
    return int(S1.size() - S2.size());
}

bool SameText(const QString &S1, const QString &S2)
{
    return CompareText(S1, S2) == 0;
}

int Pos(const QString &Substr, const QString &S)
{
    if (Substr.isEmpty())
        return 0;
    return int(S.indexOf(Substr)) + 1;
}

QString Copy(const QString &S, int Index, int Count)
{
    if (Index < 1)
        Index = 1;
    if (Count <= 0 || Index > S.size())
        return QString();
    return S.mid(Index - 1, Count);
}

QString QuotedStr(const QString &S)
{
    QString R = S;
    R.replace(QLatin1Char('\''), QStringLiteral("''"));
    return QLatin1Char('\'') + R + QLatin1Char('\'');
}

QString StringReplace(const QString &S, const QString &OldPattern, const QString &NewPattern, int Flags)
{
    if (OldPattern.isEmpty())
        return S;
    const Qt::CaseSensitivity CS = (Flags & rfIgnoreCase) ? Qt::CaseInsensitive : Qt::CaseSensitive;
    if (Flags & rfReplaceAll) {
        QString R = S;
        return R.replace(OldPattern, NewPattern, CS);
    }
    const qsizetype P = S.indexOf(OldPattern, 0, CS);
    if (P < 0)
        return S;
    return S.left(P) + NewPattern + S.mid(P + OldPattern.size());
}

// -------------------------------------------------------------------- dates

namespace {

constexpr qint64 MSecsPerDay = 86400000;

qint64 DeltaJulian()
{
    static const qint64 D = QDate(1899, 12, 30).toJulianDay();
    return D;
}

// Splits D into whole days and milliseconds of the day the way the original
// does: the day is the truncated value, the time the absolute fraction.
void Split(TDateTime D, qint64 &Days, qint64 &MSecs)
{
    if (!std::isfinite(D) || std::fabs(D) > 3e6)
        throw EConvertError(QStringLiteral("Invalid argument to date encode"));
    Days = qint64(std::trunc(D));
    MSecs = qint64(std::llround(std::fabs(D - std::trunc(D)) * MSecsPerDay));
    if (MSecs >= MSecsPerDay) {
        MSecs = 0;
        Days += D < 0 ? -1 : 1;
    }
}

} // namespace

TDateTime Now()
{
    return QDateTimeToDateTime(QDateTime::currentDateTime());
}

TDateTime Date()
{
    const QDate N = QDate::currentDate();
    return EncodeDate(N.year(), N.month(), N.day());
}

bool IsValidDate(int Year, int Month, int Day)
{
    return Year >= 1 && Year <= 9999 && QDate::isValid(Year, Month, Day);
}

TDateTime EncodeDate(int Year, int Month, int Day)
{
    if (!IsValidDate(Year, Month, Day))
        throw EConvertError(QStringLiteral("Invalid argument to date encode"));
    return double(QDate(Year, Month, Day).toJulianDay() - DeltaJulian());
}

TDateTime EncodeTime(int Hour, int Min, int Sec, int MSec)
{
    if (Hour < 0 || Hour > 23 || Min < 0 || Min > 59 || Sec < 0 || Sec > 59 || MSec < 0 || MSec > 999)
        throw EConvertError(QStringLiteral("Invalid argument to time encode"));
    return double(((qint64(Hour) * 60 + Min) * 60 + Sec) * 1000 + MSec) / MSecsPerDay;
}

void DecodeDate(TDateTime D, int &Year, int &Month, int &Day)
{
    qint64 Days = 0, MSecs = 0;
    Split(D, Days, MSecs);
    const QDate Q = QDate::fromJulianDay(Days + DeltaJulian());
    Year = Q.year();
    Month = Q.month();
    Day = Q.day();
}

void DecodeTime(TDateTime D, int &Hour, int &Min, int &Sec, int &MSec)
{
    qint64 Days = 0, MSecs = 0;
    Split(D, Days, MSecs);
    MSec = int(MSecs % 1000);
    MSecs /= 1000;
    Sec = int(MSecs % 60);
    MSecs /= 60;
    Min = int(MSecs % 60);
    Hour = int(MSecs / 60);
}

QDateTime DateTimeToQDateTime(TDateTime D)
{
    int Y = 0, Mo = 0, Dd = 0, H = 0, Mi = 0, S = 0, Ms = 0;
    DecodeDate(D, Y, Mo, Dd);
    DecodeTime(D, H, Mi, S, Ms);
    return QDateTime(QDate(Y, Mo, Dd), QTime(H, Mi, S, Ms));
}

TDateTime QDateTimeToDateTime(const QDateTime &D)
{
    const QDate Dd = D.date();
    const QTime T = D.time();
    return EncodeDate(Dd.year(), Dd.month(), Dd.day()) + EncodeTime(T.hour(), T.minute(), T.second(), T.msec());
}

QString ShortDateFormat = QStringLiteral("yyyy-m-d");
QString LongTimeFormat = QStringLiteral("hh:nn:ss");
QChar DateSeparator = QLatin1Char('-');
QChar TimeSeparator = QLatin1Char(':');

namespace {

// A locale's short date format (Qt's letters: d, M, y, text in single
// quotes) in the program's letters, when it is three numbers with one
// separator between them: the text between the fields is kept (blanks
// included), text before the first field and quoted text after the last are
// dropped, and a separator right after the last field stays.
bool ConvertShortDate(const QString &QtFormat, QString &Format, QChar &Separator)
{
    struct Field {
        QChar Letter;
        qsizetype Width;
    };
    std::vector<Field> Fields;
    QStringList Gaps;   // the text in front of each field, then the text after the last
    QString Gap;
    const qsizetype N = QtFormat.size();
    for (qsizetype I = 0; I < N;) {
        const QChar C = QtFormat[I];
        if (C == QLatin1Char('\'')) {
            qsizetype J = I + 1;
            while (J < N && !(QtFormat[J] == QLatin1Char('\'') && (J + 1 >= N || QtFormat[J + 1] != QLatin1Char('\''))))
                J += QtFormat[J] == QLatin1Char('\'') ? 2 : 1;
            Gap += QLatin1Char('\'');   // marks the gap as holding text
            I = J + 1;
            continue;
        }
        if (C == QLatin1Char('d') || C == QLatin1Char('M') || C == QLatin1Char('y')) {
            qsizetype J = I;
            while (J < N && QtFormat[J] == C)
                ++J;
            Gaps << Gap;
            Gap.clear();
            Fields.push_back({C.toLower(), J - I});
            I = J;
            continue;
        }
        if (C.category() != QChar::Other_Format)   // direction marks carry nothing
            Gap += C;
        ++I;
    }
    Gaps << Gap;
    if (Fields.size() != 3)
        return false;
    QString Order;
    for (const Field &F : Fields) {
        if (Order.contains(F.Letter) || (F.Letter != QLatin1Char('y') && F.Width > 2))
            return false;   // a field twice, or a day or month by name
        Order += F.Letter;
    }
    const QString Between = Gaps[1].trimmed();
    if (Between.size() != 1 || Gaps[2].trimmed() != Between)
        return false;
    Separator = Between[0];
    if (Separator.isLetterOrNumber() || Separator == QLatin1Char('\'') || Separator == QLatin1Char('"')
        || Separator == QLatin1Char(':'))
        return false;
    Format.clear();
    for (int K = 0; K < 3; ++K) {
        if (K > 0)
            Format += Gaps[K];
        const Field &F = Fields[size_t(K)];
        Format += F.Letter == QLatin1Char('y') ? QStringLiteral("yyyy") : QString(F.Width, F.Letter);
    }
    if (Gaps[3] == QString(Separator))
        Format += Separator;
    return true;
}

} // namespace

void LoadDateSettings(const QLocale &Locale)
{
    QString Format;
    QChar Separator;
    if (!ConvertShortDate(Locale.dateFormat(QLocale::ShortFormat), Format, Separator)) {
        Format = QStringLiteral("yyyy-m-d");
        Separator = QLatin1Char('-');
    }
    ShortDateFormat = Format;
    DateSeparator = Separator;
}

QString DateOrder(const QString &Format)
{
    QString Order;
    for (qsizetype I = 0; I < Format.size(); ++I) {
        const QChar C = Format[I];
        if (C == QLatin1Char('"') || C == QLatin1Char('\'')) {
            const qsizetype End = Format.indexOf(C, I + 1);
            I = End < 0 ? Format.size() : End;
            continue;
        }
        const QChar L = C.toLower();
        if ((L == QLatin1Char('d') || L == QLatin1Char('m') || L == QLatin1Char('y')) && !Order.contains(L))
            Order += L;
    }
    return Order.size() == 3 ? Order : QStringLiteral("ymd");
}

namespace {

const char *const ShortMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
const char *const LongMonths[] = {"January", "February", "March", "April", "May", "June", "July",
                                  "August", "September", "October", "November", "December"};
const char *const ShortDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char *const LongDays[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};

QString Pad(int V, int Width)
{
    return QString::number(V).rightJustified(Width, QLatin1Char('0'));
}

bool StartsWithCI(const QString &F, qsizetype I, const char *Word)
{
    const qsizetype L = qsizetype(std::strlen(Word));
    return F.mid(I, L).compare(QLatin1String(Word), Qt::CaseInsensitive) == 0;
}

void FormatInto(QString &Out, const QString &F, TDateTime DT, int Depth)
{
    int Y = 0, Mo = 0, Dd = 0, H = 0, Mi = 0, S = 0, Ms = 0;
    DecodeDate(DT, Y, Mo, Dd);
    DecodeTime(DT, H, Mi, S, Ms);
    // An "h" before "m" makes that "m" mean minutes.
    bool LastWasHour = false;
    // 12-hour clock when the format holds an am/pm specifier.
    const bool Clock12 = F.contains(QLatin1String("am/pm"), Qt::CaseInsensitive) ||
                         F.contains(QLatin1String("a/p"), Qt::CaseInsensitive) ||
                         F.contains(QLatin1String("ampm"), Qt::CaseInsensitive);
    const int H12 = H % 12 == 0 ? 12 : H % 12;
    const int WeekDay = QDate(Y, Mo, Dd).dayOfWeek() % 7; // 0 = Sunday
    qsizetype I = 0;
    const qsizetype N = F.size();
    auto Run = [&](QChar C) {
        qsizetype J = I;
        while (J < N && F[J].toLower() == C)
            ++J;
        return int(J - I);
    };
    while (I < N) {
        const QChar C = F[I];
        const QChar L = C.toLower();
        if (C == QLatin1Char('"') || C == QLatin1Char('\'')) {
            qsizetype J = I + 1;
            while (J < N && F[J] != C)
                ++J;
            Out += F.mid(I + 1, J - I - 1);
            I = J < N ? J + 1 : N;
            continue;
        }
        if (L == QLatin1Char('y')) {
            const int K = Run(L);
            Out += K <= 2 ? Pad(Y % 100, 2) : Pad(Y, 4);
            I += K;
            LastWasHour = false;
        } else if (L == QLatin1Char('m')) {
            const int K = Run(L);
            if (LastWasHour && K <= 2) {
                Out += K == 1 ? QString::number(Mi) : Pad(Mi, 2);
            } else {
                switch (K) {
                case 1: Out += QString::number(Mo); break;
                case 2: Out += Pad(Mo, 2); break;
                case 3: Out += QLatin1String(ShortMonths[Mo - 1]); break;
                default: Out += QLatin1String(LongMonths[Mo - 1]); break;
                }
            }
            I += K;
            LastWasHour = false;
        } else if (L == QLatin1Char('d')) {
            const int K = Run(L);
            switch (K) {
            case 1: Out += QString::number(Dd); break;
            case 2: Out += Pad(Dd, 2); break;
            case 3: Out += QLatin1String(ShortDays[WeekDay]); break;
            case 4: Out += QLatin1String(LongDays[WeekDay]); break;
            default:
                if (Depth < 2)
                    FormatInto(Out, ShortDateFormat, DT, Depth + 1);
                break;
            }
            I += K;
            LastWasHour = false;
        } else if (L == QLatin1Char('h')) {
            const int K = Run(L);
            const int V = Clock12 ? H12 : H;
            Out += K == 1 ? QString::number(V) : Pad(V, 2);
            I += K;
            LastWasHour = true;
        } else if (L == QLatin1Char('n')) {
            const int K = Run(L);
            Out += K == 1 ? QString::number(Mi) : Pad(Mi, 2);
            I += K;
            LastWasHour = false;
        } else if (L == QLatin1Char('s')) {
            const int K = Run(L);
            Out += K == 1 ? QString::number(S) : Pad(S, 2);
            I += K;
            LastWasHour = false;
        } else if (L == QLatin1Char('z')) {
            const int K = Run(L);
            Out += K >= 3 ? Pad(Ms, 3) : QString::number(Ms);
            I += K;
        } else if (StartsWithCI(F, I, "am/pm")) {
            const QString T = H < 12 ? QStringLiteral("am") : QStringLiteral("pm");
            Out += F[I].isUpper() ? T.toUpper() : T;
            I += 5;
        } else if (StartsWithCI(F, I, "a/p")) {
            const QString T = H < 12 ? QStringLiteral("a") : QStringLiteral("p");
            Out += F[I].isUpper() ? T.toUpper() : T;
            I += 3;
        } else if (StartsWithCI(F, I, "ampm")) {
            Out += H < 12 ? QStringLiteral("AM") : QStringLiteral("PM");
            I += 4;
        } else if (L == QLatin1Char('c')) {
            if (Depth < 2) {
                FormatInto(Out, ShortDateFormat, DT, Depth + 1);
                if (H || Mi || S || Ms) {
                    Out += QLatin1Char(' ');
                    FormatInto(Out, LongTimeFormat, DT, Depth + 1);
                }
            }
            ++I;
        } else if (L == QLatin1Char('t')) {
            const int K = Run(L);
            if (Depth < 2)
                FormatInto(Out, K >= 2 ? LongTimeFormat : QStringLiteral("h:nn"), DT, Depth + 1);
            I += K;
        } else if (C == QLatin1Char('/')) {
            Out += DateSeparator;
            ++I;
        } else if (C == QLatin1Char(':')) {
            Out += TimeSeparator;
            ++I;
        } else {
            Out += C;
            ++I;
        }
    }
}

} // namespace

QString FormatDateTime(const QString &Format, TDateTime DateTime)
{
    QString Out;
    FormatInto(Out, Format.isEmpty() ? QStringLiteral("c") : Format, DateTime, 0);
    return Out;
}

QString DateToStr(TDateTime D)
{
    return FormatDateTime(ShortDateFormat, D);
}

QString StoredDateToStr(TDateTime D)
{
    return FormatDateTime(QStringLiteral("yyyy-m-d"), D);
}

QString TimeToStr(TDateTime D)
{
    return FormatDateTime(LongTimeFormat, D);
}

QString DateTimeToStr(TDateTime D)
{
    return FormatDateTime(QStringLiteral("c"), D);
}

bool TryStrToDate(const QString &S, TDateTime &D)
{
    const QString T = Trim(S);
    QChar Sep;
    for (QChar C : T)
        if (C == QLatin1Char('-') || C == QLatin1Char('/') || C == DateSeparator) {
            Sep = C;
            break;
        }
    if (Sep.isNull())
        return false;
    QStringList P = T.split(Sep);
    if (P.size() == 4 && Trim(P[3]).isEmpty())
        P.removeLast();   // "2007. 4. 15." ends with its separator
    if (P.size() != 3)
        return false;
    int V[3] = {0, 0, 0};
    for (int K = 0; K < 3; ++K) {
        P[K] = Trim(P[K]);
        if (!TryStrToInt(P[K], V[K]))
            return false;
    }
    const QString Order = P[0].size() >= 3 ? QStringLiteral("ymd") : DateOrder(ShortDateFormat);
    int Y = 0, M = 0, Dd = 0;
    for (int K = 0; K < 3; ++K) {
        switch (Order[K].unicode()) {
        case u'd': Dd = V[K]; break;
        case u'm': M = V[K]; break;
        default:
            Y = V[K];
            if (P[K].size() <= 2)
                Y += Y < 50 ? 2000 : 1900;
            break;
        }
    }
    if (!IsValidDate(Y, M, Dd))
        return false;
    D = EncodeDate(Y, M, Dd);
    return true;
}

TDateTime StrToDate(const QString &S)
{
    TDateTime D = 0;
    if (!TryStrToDate(S, D))
        throw EConvertError(QStringLiteral("“%1”不是有效的日期。").arg(S));
    return D;
}

quint32 EncodeFileDate(int Year, int Month, int Day, int Hour, int Min, int Sec)
{
    const quint32 DatePart = ((quint32(Year - 1980) & 0x7F) << 9) | ((quint32(Month) & 0x0F) << 5) | (quint32(Day) & 0x1F);
    const quint32 TimePart = ((quint32(Hour) & 0x1F) << 11) | ((quint32(Min) & 0x3F) << 5) | (quint32(Sec / 2) & 0x1F);
    return DatePart << 16 | TimePart;
}

void DecodeFileDate(quint32 FileDate, int &Year, int &Month, int &Day, int &Hour, int &Min, int &Sec)
{
    Year = int(FileDate >> 25) + 1980;
    Month = int(FileDate >> 21 & 0x0F);
    Day = int(FileDate >> 16 & 0x1F);
    Hour = int(FileDate >> 11 & 0x1F);
    Min = int(FileDate >> 5 & 0x3F);
    Sec = int(FileDate & 0x1F) * 2;
}

quint32 DateTimeToFileDate(TDateTime D)
{
    int Y = 0, Mo = 0, Dd = 0, H = 0, Mi = 0, S = 0, Ms = 0;
    DecodeDate(D, Y, Mo, Dd);
    DecodeTime(D, H, Mi, S, Ms);
    if (Y < 1980 || Y > 2107)
        return 0;
    return EncodeFileDate(Y, Mo, Dd, H, Mi, S);
}

TDateTime FileDateToDateTime(quint32 FileDate)
{
    int Y = 0, Mo = 0, Dd = 0, H = 0, Mi = 0, S = 0;
    DecodeFileDate(FileDate, Y, Mo, Dd, H, Mi, S);
    // An impossible stamp (as found in damaged archives) gives 0 rather than an exception.
    if (!IsValidDate(Y, Mo, Dd) || H > 23 || Mi > 59 || S > 59)
        return 0;
    return EncodeDate(Y, Mo, Dd) + EncodeTime(H, Mi, S, 0);
}

quint32 UnixTimeToFileDate(qint64 UnixTime)
{
    const time_t T = time_t(UnixTime);
    struct tm Tm {};
    localtime_r(&T, &Tm);
    const int Year = Tm.tm_year + 1900;
    if (Year < 1980)
        return EncodeFileDate(1980, 1, 1, 0, 0, 0);
    return EncodeFileDate(std::min(Year, 2107), Tm.tm_mon + 1, Tm.tm_mday, Tm.tm_hour, Tm.tm_min, Tm.tm_sec);
}

qint64 FileDateToUnixTime(quint32 FileDate)
{
    int Y = 0, Mo = 0, Dd = 0, H = 0, Mi = 0, S = 0;
    DecodeFileDate(FileDate, Y, Mo, Dd, H, Mi, S);
    struct tm Tm {};
    Tm.tm_year = Y - 1900;
    Tm.tm_mon = Mo - 1;
    Tm.tm_mday = Dd;
    Tm.tm_hour = H;
    Tm.tm_min = Mi;
    Tm.tm_sec = S;
    Tm.tm_isdst = -1;
    return qint64(mktime(&Tm));
}

// ------------------------------------------------------------- command line

namespace {
std::mutex ParamsLock;
QStringList &Params()
{
    static QStringList P;
    return P;
}
} // namespace

int ParamCount()
{
    std::lock_guard<std::mutex> G(ParamsLock);
    return qMax(0, int(Params().size()) - 1);
}

QString ParamStr(int Index)
{
    std::lock_guard<std::mutex> G(ParamsLock);
    if (Index < 0 || Index >= Params().size())
        return QString();
    return Params().at(Index);
}

void SetParams(const QStringList &Args)
{
    std::lock_guard<std::mutex> G(ParamsLock);
    Params() = Args;
}

// ------------------------------------------------------------------- Format

namespace {

[[noreturn]] void RaiseFormat(const QString &Fmt)
{
    throw EConvertError(QStringLiteral("Format '%1' invalid or incompatible with argument").arg(Fmt));
}

bool IsIntegerVariant(const QVariant &V)
{
    switch (V.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
        return true;
    default:
        return false;
    }
}

bool IsFloatVariant(const QVariant &V)
{
    return V.typeId() == QMetaType::Double || V.typeId() == QMetaType::Float || IsIntegerVariant(V);
}

} // namespace

QString Format(const QString &Fmt, const QVariantList &Args)
{
    QString Out;
    int ArgIndex = 0;
    const qsizetype N = Fmt.size();
    auto NextArg = [&]() -> const QVariant & {
        if (ArgIndex >= Args.size())
            RaiseFormat(Fmt);
        return Args[ArgIndex++];
    };
    for (qsizetype I = 0; I < N; ++I) {
        const QChar C = Fmt[I];
        if (C != QLatin1Char('%')) {
            Out += C;
            continue;
        }
        if (++I >= N)
            RaiseFormat(Fmt);
        if (Fmt[I] == QLatin1Char('%')) {
            Out += QLatin1Char('%');
            continue;
        }
        // [index:][-][width][.precision]type
        auto ReadNumber = [&](int &Value) -> bool {
            if (I < N && Fmt[I] == QLatin1Char('*')) {
                const QVariant &V = NextArg();
                if (!IsIntegerVariant(V))
                    RaiseFormat(Fmt);
                Value = V.toInt();
                ++I;
                return true;
            }
            bool Any = false;
            Value = 0;
            while (I < N && Fmt[I] >= QLatin1Char('0') && Fmt[I] <= QLatin1Char('9')) {
                Value = qMin(Value * 10 + (Fmt[I].unicode() - '0'), 100000);
                ++I;
                Any = true;
            }
            return Any;
        };
        int Number = 0;
        bool HaveNumber = ReadNumber(Number);
        if (HaveNumber && I < N && Fmt[I] == QLatin1Char(':')) {
            ArgIndex = Number;
            ++I;
            HaveNumber = false;
        }
        bool Left = false;
        if (I < N && Fmt[I] == QLatin1Char('-')) {
            Left = true;
            ++I;
        }
        int Width = 0;
        if (HaveNumber)
            Width = Number;
        else
            ReadNumber(Width);
        int Prec = -1;
        if (I < N && Fmt[I] == QLatin1Char('.')) {
            ++I;
            if (!ReadNumber(Prec))
                Prec = 0;
        }
        if (I >= N)
            RaiseFormat(Fmt);
        const QChar T = Fmt[I].toLower();
        QString Piece;
        const QVariant &V = NextArg();
        if (T == QLatin1Char('d') || T == QLatin1Char('u')) {
            if (!IsIntegerVariant(V))
                RaiseFormat(Fmt);
            qint64 X = V.toLongLong();
            if (T == QLatin1Char('u') && X < 0)
                X = qint64(quint32(X));
            QString Digits = QString::number(X < 0 ? quint64(-(X + 1)) + 1 : quint64(X));
            if (Prec > Digits.size())
                Digits = QString(Prec - Digits.size(), QLatin1Char('0')) + Digits;
            Piece = (X < 0 ? QStringLiteral("-") : QString()) + Digits;
        } else if (T == QLatin1Char('x')) {
            if (!IsIntegerVariant(V))
                RaiseFormat(Fmt);
            const qint64 X = V.toLongLong();
            Piece = QString::number(V.typeId() == QMetaType::Int ? quint64(quint32(X)) : quint64(X), 16).toUpper();
            if (Prec > Piece.size())
                Piece = QString(Prec - Piece.size(), QLatin1Char('0')) + Piece;
        } else if (T == QLatin1Char('s')) {
            if (!V.canConvert<QString>())
                RaiseFormat(Fmt);
            Piece = V.toString();
            if (Prec >= 0)
                Piece = Piece.left(Prec);
        } else if (T == QLatin1Char('f') || T == QLatin1Char('n') || T == QLatin1Char('m') ||
                   T == QLatin1Char('e') || T == QLatin1Char('g')) {
            if (!IsFloatVariant(V))
                RaiseFormat(Fmt);
            const double X = V.toDouble();
            if (!std::isfinite(X)) {
                Piece = SpecialText(X);
            } else if (T == QLatin1Char('e')) {
                const int P = Prec < 0 ? 15 : qBound(1, Prec, 18);
                QString F = QStringLiteral("0.") + QString(P - 1, QLatin1Char('0')) + QStringLiteral("E+000");
                if (P == 1)
                    F = QStringLiteral("0E+000");
                Piece = FormatFloat(F, X);
            } else if (T == QLatin1Char('g')) {
                Piece = FloatToStr(X);
            } else {
                const int P = Prec < 0 ? 2 : qMin(Prec, 18);
                QString F = (T == QLatin1Char('f') ? QStringLiteral("0") : QStringLiteral("#,##0"));
                if (P > 0)
                    F += QLatin1Char('.') + QString(P, QLatin1Char('0'));
                Piece = FormatFloat(F, X);
            }
        } else if (T == QLatin1Char('p')) {
            if (!IsIntegerVariant(V))
                RaiseFormat(Fmt);
            Piece = QString::number(quint64(V.toLongLong()), 16).toUpper().rightJustified(8, QLatin1Char('0'));
        } else {
            RaiseFormat(Fmt);
        }
        if (Piece.size() < Width)
            Piece = Left ? Piece.leftJustified(Width) : Piece.rightJustified(Width);
        Out += Piece;
    }
    return Out;
}

// ------------------------------------------------------------------- system

QString SysErrorMessage(int ErrorCode)
{
    // The user reads these texts in a Chinese interface; the C library's are English.
    switch (ErrorCode) {
    case EPERM: return QStringLiteral("不允许的操作。");
    case ENOENT: return QStringLiteral("系统找不到指定的文件或文件夹。");
    case EIO: return QStringLiteral("读写设备时出错。");
    case EBADF: return QStringLiteral("文件句柄无效。");
    case ENOMEM: return QStringLiteral("内存不足。");
    case EACCES: return QStringLiteral("拒绝访问，没有该文件或文件夹的权限。");
    case EBUSY: return QStringLiteral("文件或设备正被使用。");
    case EEXIST: return QStringLiteral("文件已经存在。");
    case EXDEV: return QStringLiteral("不能在不同的磁盘之间移动文件。");
    case ENOTDIR: return QStringLiteral("路径中有一部分不是文件夹。");
    case EISDIR: return QStringLiteral("这是一个文件夹，不是文件。");
    case EINVAL: return QStringLiteral("参数无效。");
    case EMFILE:
    case ENFILE: return QStringLiteral("打开的文件太多。");
    case EFBIG: return QStringLiteral("文件太大。");
    case ENOSPC: return QStringLiteral("磁盘空间不足。");
    case EROFS: return QStringLiteral("磁盘是只读的。");
    case ENAMETOOLONG: return QStringLiteral("文件名太长。");
    case ENOTEMPTY: return QStringLiteral("文件夹不是空的。");
    case ELOOP: return QStringLiteral("路径中的符号链接太多。");
    case EDQUOT: return QStringLiteral("超出了磁盘配额。");
    case ETXTBSY: return QStringLiteral("文件正被使用。");
    default: return QStringLiteral("系统错误 %1。").arg(ErrorCode);
    }
}

QString CannotCreateFileText(const QString &FileName, int ErrorCode)
{
    const QString Text = QStringLiteral("无法创建文件“%1”。").arg(FileName);
    return ErrorCode == 0 ? Text : Text + SysErrorMessage(ErrorCode);
}

QString CannotOpenFileText(const QString &FileName, int ErrorCode)
{
    const QString Text = QStringLiteral("无法打开文件“%1”。").arg(FileName);
    return ErrorCode == 0 ? Text : Text + SysErrorMessage(ErrorCode);
}

quint32 GetTickCount()
{
    timespec T{};
    clock_gettime(CLOCK_MONOTONIC, &T);
    return quint32(quint64(T.tv_sec) * 1000 + quint64(T.tv_nsec) / 1000000);
}

bool IsMainThread()
{
    const QCoreApplication *App = QCoreApplication::instance();
    return !App || QThread::currentThread() == App->thread();
}
