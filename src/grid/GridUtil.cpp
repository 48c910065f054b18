#include "grid/GridUtil.h"

#include "platform/core/Codec.h"

#include <QRegularExpression>

#include <algorithm>

namespace {

const QChar CR = QLatin1Char('\r');
const QChar LF = QLatin1Char('\n');

bool IsDigit(QChar C) { return C >= QLatin1Char('0') && C <= QLatin1Char('9'); }

// A number as the filter reads it, whole: optional sign,
// digits with an optional fraction, optional exponent; nothing else around it.
bool ValFloat(const QString &S, double &Value)
{
    static const QRegularExpression Re(
        QStringLiteral("^[+-]?(\\d+\\.?\\d*|\\.\\d+)([eE][+-]?\\d+)?$"));
    QString T = S;
    while (!T.isEmpty() && T.at(0) == QLatin1Char(' '))
        T.remove(0, 1);
    if (!Re.match(T).hasMatch())
        return false;
    bool Ok = false;
    Value = T.toDouble(&Ok);
    return Ok;
}

bool WholeInt(const QString &S, int &Value)
{
    return TryStrToInt(S, Value);
}

// The operand of a comparison operator at Index (the operator character):
// blanks skipped, up to the next blank, "&", "|" or the end, one leading and one
// trailing double quote dropped.
QString ComparisonOperand(const QString &Mask, int Index)
{
    int I = Index + 1;
    if (I < Mask.size() && Mask.at(I) == QLatin1Char('='))
        ++I;
    while (I < Mask.size() && Mask.at(I) == QLatin1Char(' '))
        ++I;
    int J = I;
    while (J < Mask.size() && Mask.at(J) != QLatin1Char(' ') && Mask.at(J) != QLatin1Char('&')
           && Mask.at(J) != QLatin1Char('|'))
        ++J;
    QString Operand = Mask.mid(I, J - I);
    if (Operand.startsWith(QLatin1Char('"')))
        Operand.remove(0, 1);
    if (Operand.endsWith(QLatin1Char('"')))
        Operand.chop(1);
    return Operand;
}

// The first Count characters of a text (a character beyond the BMP is one).
QStringView FirstChars(const QString &Text, int Count)
{
    qsizetype I = 0;
    for (int K = 0; K < Count && I < Text.size(); ++K)
        I += Text.at(I).isHighSurrogate() && I + 1 < Text.size() && Text.at(I + 1).isLowSurrogate() ? 2 : 1;
    return QStringView(Text).left(I);
}

// Compares Text with Operand: numerically, as dates, or as texts over at most
// 255 characters, by their code page 936 bytes as the grid sorts texts.
// Negative, zero or positive like a string compare.
int CompareOperand(const QString &Text, const QString &Operand)
{
    double A = 0, B = 0;
    if (ValFloat(Text, A) && ValFloat(Operand, B))
        return A < B ? -1 : (A > B ? 1 : 0);
    TDateTime DA = 0, DB = 0;
    if (StrToDateByFormat(Text, DA) && StrToDateByFormat(Operand, DB))
        return DA < DB ? -1 : (DA > DB ? 1 : 0);
    return Cp936::Encode(FirstChars(Text, 255).toString())
        .compare(Cp936::Encode(FirstChars(Operand, 255).toString()));
}

// Wildcard match of the whole mask: "?" one character, "*" any run. Iterative
// with a single back-track point, so several "*" cost O(mask x text), never
// exponential time; the answers are those of trying every split.
bool WildMatch(const QString &Mask, const QString &Text)
{
    int M = 0, T = 0, Star = -1, Mark = 0;
    const int ML = Mask.size(), TL = Text.size();
    while (T < TL) {
        if (M < ML && Mask.at(M) == QLatin1Char('*')) {
            Star = M++;
            Mark = T;
        } else if (M < ML && (Mask.at(M) == QLatin1Char('?') || Mask.at(M) == Text.at(T))) {
            ++M;
            ++T;
        } else if (Star >= 0) {
            M = Star + 1;
            T = ++Mark;
        } else {
            return false;
        }
    }
    while (M < ML && Mask.at(M) == QLatin1Char('*'))
        ++M;
    return M == ML;
}

QChar UpCase(QChar C)
{
    if (C >= QLatin1Char('a') && C <= QLatin1Char('z'))
        return QChar(C.unicode() - 32);
    return C;
}

int DaysInMonth(int Year, int Month)
{
    static const int Days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (Month == 2 && ((Year % 4 == 0 && Year % 100 != 0) || Year % 400 == 0))
        return 29;
    return Days[Month - 1];
}

// Splits a day-month-year text at the first of "/", "." or "-" it holds.
bool SplitDate(const QString &Text, int &A, int &B, QString &YearPiece, int &C)
{
    QChar Sep;
    for (QChar S : {QLatin1Char('/'), QLatin1Char('.'), QLatin1Char('-')}) {
        if (Text.contains(S)) {
            Sep = S;
            break;
        }
    }
    if (Sep.isNull())
        return false;
    const int P1 = Text.indexOf(Sep);
    const int P2 = Text.indexOf(Sep, P1 + 1);
    if (P2 < 0)
        return false;
    YearPiece = Text.mid(P2 + 1);
    return WholeInt(Text.left(P1), A) && WholeInt(Text.mid(P1 + 1, P2 - P1 - 1), B)
        && WholeInt(YearPiece, C);
}

TDateTime DateOrZero(int Year, int Month, int Day, const QString &YearPiece)
{
    // Only a year written with one or two digits gets its century.
    if (Trim(YearPiece).size() <= 2 && Year >= 0)
        Year += Year > 25 ? 1900 : 2000;
    if (!IsValidDate(Year, Month, Day))
        return 0;
    return EncodeDate(Year, Month, Day);
}

} // namespace

// ------------------------------------------------------------ condition language

bool MatchStr(const QString &Condition, const QString &Text, bool CaseSensitive)
{
    // The condition in one pass each way (a filter asks it for every row):
    // the blanks around an operator or "=" go, and every "=" not right after
    // "<" or ">" goes, so ">=10" keeps meaning "at least 10" for the matcher.
    const QString T = Trim(Condition);
    auto IsOp = [](QChar Ch) {
        return Ch == QLatin1Char('&') || Ch == QLatin1Char(';') || Ch == QLatin1Char('^') || Ch == QLatin1Char('|')
            || Ch == QLatin1Char('=');
    };
    QString Spaced;
    Spaced.reserve(T.size());
    for (qsizetype I = 0; I < T.size();) {
        if (T.at(I) != QLatin1Char(' ')) {
            Spaced += T.at(I++);
            continue;
        }
        qsizetype End = I;
        while (End < T.size() && T.at(End) == QLatin1Char(' '))
            ++End;
        const bool NextToOp = (End < T.size() && IsOp(T.at(End))) || (I > 0 && IsOp(T.at(I - 1)));
        if (!NextToOp)
            Spaced += T.mid(I, End - I);
        I = End;
    }
    QString C;
    C.reserve(Spaced.size());
    for (qsizetype I = 0; I < Spaced.size(); ++I) {
        if (Spaced.at(I) == QLatin1Char('=')
            && !(I > 0 && (Spaced.at(I - 1) == QLatin1Char('<') || Spaced.at(I - 1) == QLatin1Char('>'))))
            continue;
        C += Spaced.at(I);
    }

    static const QString Operators = QStringLiteral("&;^|");
    bool Result = true;
    QChar Previous;
    auto Combine = [&](bool R) {
        if (Previous.isNull())
            Result = R;
        else if (Previous == QLatin1Char('&'))
            Result = Result && R;
        else
            Result = Result || R;
    };
    qsizetype From = 0;
    for (qsizetype I = 0; I < C.size(); ++I) {
        if (!Operators.contains(C.at(I)))
            continue;
        Combine(MatchPart(C.mid(From, I - From), Text, CaseSensitive));
        Previous = C.at(I);
        From = I + 1;
    }
    Combine(MatchPart(C.mid(From), Text, CaseSensitive));
    return Result;
}

bool MatchPart(const QString &Part, const QString &Text, bool CaseSensitive)
{
    if (CaseSensitive)
        return Matches(Part, Text);
    return Matches(Part.toUpper(), Text.toUpper());
}

bool Matches(const QString &Mask, const QString &Text)
{
    bool GT = false, LT = false, GTDone = false, LTDone = false;
    const int GtAt = Mask.indexOf(QLatin1Char('>'));
    if (GtAt >= 0) {
        const bool OrEqual = GtAt + 1 < Mask.size() && Mask.at(GtAt + 1) == QLatin1Char('=');
        const int Cmp = CompareOperand(Text, ComparisonOperand(Mask, GtAt));
        GT = OrEqual ? Cmp >= 0 : Cmp > 0;
        GTDone = true;
    }
    const int LtAt = Mask.indexOf(QLatin1Char('<'));
    if (LtAt >= 0) {
        const bool OrEqual = LtAt + 1 < Mask.size() && Mask.at(LtAt + 1) == QLatin1Char('=');
        const int Cmp = CompareOperand(Text, ComparisonOperand(Mask, LtAt));
        LT = OrEqual ? Cmp <= 0 : Cmp < 0;
        LTDone = true;
    }
    const bool Negated = Mask.contains(QLatin1Char('!'));
    if (Negated) {
        if (GtAt < 0)
            GTDone = true;
        if (LtAt < 0)
            LTDone = true;
    }
    if (Mask.contains(QLatin1Char('^')) && (GTDone || LTDone))
        return LT || GT;
    if (Mask.contains(QLatin1Char('&')) && GTDone && LTDone)
        return LT && GT;
    if ((GtAt >= 0 && GT) || (LtAt >= 0 && LT))
        return true;

    QString Pattern = Mask;
    Pattern.remove(QLatin1Char('!'));
    Pattern.remove(QLatin1Char('"'));
    const bool Ok = WildMatch(Pattern, Text);
    return Negated ? !Ok : Ok;
}

bool StrToDateByFormat(const QString &Text, TDateTime &Date)
{
    const QString Order = DateOrder(ShortDateFormat);
    const int P1 = Text.indexOf(DateSeparator);
    const int P2 = P1 < 0 ? -1 : Text.indexOf(DateSeparator, P1 + 1);
    if (P2 < 0)
        return false;
    const QString Pieces[3] = {Text.left(P1), Text.mid(P1 + 1, P2 - P1 - 1), Text.mid(P2 + 1)};
    int Day = 0, Month = 0, Year = 0;
    for (int I = 0; I < 3; ++I) {
        int V = 0;
        if (!WholeInt(Pieces[I], V))
            return false;
        switch (Order[I].unicode()) {
        case u'd': Day = V; break;
        case u'm': Month = V; break;
        default: Year = V; break;
        }
    }
    if (Day > 31 || Month > 12 || !IsValidDate(Year, Month, Day))
        return false;
    Date = EncodeDate(Year, Month, Day);
    return true;
}

// ------------------------------------------------------------ text classification

int TextKind(const QString &Text, bool HTMLEnabled)
{
    if (Text.size() <= 1)
        return tkPlain;
    if (Text.at(0) == QLatin1Char('='))
        return tkFormula;
    if (Text.startsWith(QLatin1String("|\\")))
        return tkWideText;
    if (Text.startsWith(QLatin1String("{\\")))
        return tkRichText;
    // Markup has "</", "<B" or "<I": one look at each "<" (a cell is painted
    // often and its text may be long).
    if (HTMLEnabled)
        for (qsizetype P = Text.indexOf(QLatin1Char('<')); P >= 0 && P + 1 < Text.size();
             P = Text.indexOf(QLatin1Char('<'), P + 1)) {
            const QChar Next = Text.at(P + 1);
            if (Next == QLatin1Char('/') || Next == QLatin1Char('B') || Next == QLatin1Char('I'))
                return tkHTML;
        }
    return tkPlain;
}

int NumberKind(const QString &Text)
{
    if (Text.isEmpty())
        return nkOther;
    bool IsInt = true, IsFloat = true;
    int Minus = 0, Decimals = 0, LastThousand = 0;
    for (int I = 0; I < Text.size(); ++I) {
        const QChar C = Text.at(I);
        const int Position = I + 1;
        if (C == QLatin1Char('-'))
            ++Minus;
        if (C == GridFormat::DecimalSeparator)
            ++Decimals;
        if (!(C == QLatin1Char('-') || IsDigit(C)))
            IsInt = false;
        if (!(IsDigit(C) || C == QLatin1Char('-') || C == GridFormat::ThousandSeparator
              || C == GridFormat::DecimalSeparator))
            IsFloat = false;
        if (C == GridFormat::ThousandSeparator) {
            if (LastThousand == 0 ? Position < 2 : Position - LastThousand < 3)
                IsFloat = false;
            LastThousand = Position;
        }
    }
    if (Minus > 1 || Decimals >= 2)
        return nkOther;
    if (IsInt)
        return nkInteger;
    return IsFloat ? nkFloat : nkOther;
}

QString NumericText(const QString &Text)
{
    bool Negative = Text.startsWith(QLatin1Char('(')) && Text.endsWith(QLatin1Char(')'));
    QString S = Text;
    while (S.size() >= 2) {
        const QChar C = S.at(0);
        if (IsDigit(C) || C == GridFormat::ThousandSeparator || C == GridFormat::DecimalSeparator)
            break;
        if (C == QLatin1Char('-'))
            Negative = true;
        S.remove(0, 1);
    }
    QString Result;
    for (QChar C : S) {
        if (C == GridFormat::ThousandSeparator)
            continue;
        if (C == GridFormat::DecimalSeparator)
            Result += QLatin1Char('.');
        else if (C == QLatin1Char('-') || C == QLatin1Char('.') || IsDigit(C))
            Result += C;
        else
            break;
    }
    if (Negative)
        Result.prepend(QLatin1Char('-'));
    return Result;
}

bool IsURL(const QString &Text)
{
    return Text.contains(QLatin1String("://")) || Text.contains(QLatin1String("mailto:"));
}

void StripURLProtocol(QString &Text)
{
    int At = Text.indexOf(QLatin1String("://"));
    if (At >= 0) {
        Text.remove(0, At + 3);
        return;
    }
    At = Text.indexOf(QLatin1String("mailto:"));
    if (At >= 0)
        Text.remove(0, At + 7);
}

bool ParseCellRef(const QString &Text, int &Col, int &Row)
{
    if (Text.size() < 4 || Text.at(0) != QLatin1Char('R'))
        return false;
    const QString Rest = Text.mid(1);
    const int At = Rest.indexOf(QLatin1Char('C'));
    if (At < 0)
        return false;
    int R = 0, C = 0;
    if (!WholeInt(Rest.left(At), R) || !WholeInt(Rest.mid(At + 1), C))
        return false;
    Row = R;
    Col = C;
    return true;
}

// ------------------------------------------------------------ lines and characters

void NextLine(QString &Text, bool KeepRest, QString &Line)
{
    const int At = Text.indexOf(CR);
    if (At < 0) {
        Line = Text;
        Text.clear();
        return;
    }
    Line = Text.left(At);
    int Cut = At + 1;
    if (Cut < Text.size() && Text.at(Cut) == LF)
        ++Cut;
    if (KeepRest)
        Text.remove(0, Cut);
    else
        Text.clear();
}

int LineCount(const QString &Text, bool MultiLine)
{
    return MultiLine ? 1 + int(Text.count(CR)) : 1;
}

QString BackslashNToCR(const QString &Text)
{
    QString Result = Text;
    Result.replace(QLatin1String("\\n"), QString(CR));
    return Result;
}

void QuoteCSV(QString &Text)
{
    Text.replace(QLatin1String("\r\n"), QString(LF));
    Text = QLatin1Char('"') + Text + QLatin1Char('"');
}

void LFToCRLF(QString &Text)
{
    // An LF that already follows a CR stays as it is, so converting twice
    // changes nothing.
    QString Result;
    Result.reserve(Text.size() + 8);
    for (int I = 0; I < Text.size(); ++I) {
        if (Text.at(I) == LF && (I == 0 || Text.at(I - 1) != CR))
            Result += CR;
        Result += Text.at(I);
    }
    Text = Result;
}

void TildeToCRLF(QString &Text)
{
    Text.replace(QLatin1Char('~'), QLatin1String("\r\n"));
}

void OemToAnsi(QString &Text)
{
    // Text is already decoded from the one code page the program uses for both
    // roles, so there is nothing left to convert.
    Q_UNUSED(Text);
}

void FillChars(QString &Text, QChar Ch)
{
    Text.fill(Ch);
}

QString CollapseDoubled(QChar Ch, const QString &Text)
{
    if (!Text.contains(Ch))
        return Text;
    QString Result(Text.at(0));
    for (int I = 1; I < Text.size(); ++I) {
        if (Text.at(I) != Ch || Text.at(I - 1) != Ch)
            Result += Text.at(I);
    }
    return Result;
}

int CharPos(QChar Ch, const QString &Text)
{
    return int(Text.indexOf(Ch)) + 1;
}

int CharPos(QChar Ch, const QString &Text, int &Pos)
{
    Pos = CharPos(Ch, Text);
    return Pos;
}

int PosUpper(const QString &Sub, const QString &Text)
{
    return Pos(Sub, Text.toUpper());
}

int VarPos(const QString &Sub, const QString &Text, int &APos)
{
    APos = Pos(Sub, Text);
    return APos;
}

QChar FirstCharInSet(const QString &CharSet, const QString &Text)
{
    for (QChar C : Text) {
        if (CharSet.contains(C))
            return C;
    }
    return QChar(0);
}

int OddRunPos(QChar Ch, const QString &Text, int &APos)
{
    APos = 0;
    int I = 0;
    const int N = Text.size();
    while (I < N) {
        if (Text.at(I) != Ch) {
            ++I;
            continue;
        }
        int J = I;
        while (J < N && Text.at(J) == Ch)
            ++J;
        if (J == N) {
            APos = N;
            return APos;
        }
        if ((J - I) % 2 == 1) {
            APos = J; // 1-based position of the run's last character
            return APos;
        }
        I = J;
    }
    return APos;
}

int SeparatorCount(QChar Ch, const QString &Text)
{
    int Count = 0;
    QString Rest = Text;
    int P = 0;
    while (OddRunPos(Ch, Rest, P) > 0) {
        ++Count;
        Rest.remove(0, P);
    }
    return Count;
}

int CharCount(QChar Ch, const QString &Text)
{
    return int(Text.count(Ch));
}

QChar LowerChar(QChar Ch)
{
    if (Ch >= QLatin1Char('A') && Ch <= QLatin1Char('Z'))
        return QChar(Ch.unicode() + 32);
    return Ch;
}

QString NameCase(const QString &Text)
{
    static const QString Breaks = QStringLiteral(" ',-.");
    QString Result;
    bool WordStart = true;
    const int N = Text.size();
    for (int I = 0; I < N; ++I) {
        const QChar C = Text.at(I);
        if (Breaks.contains(C)) {
            Result += C;
            WordStart = true;
            continue;
        }
        bool Upper = WordStart;
        if (Result.endsWith(QLatin1String("Mc"))
            && (Result.size() == 2 || Result.at(Result.size() - 3) == QLatin1Char(' ')))
            Upper = true;
        if (I >= N - 3 && (Result.endsWith(QLatin1String(" I")) || Result.endsWith(QLatin1String(" II"))))
            Upper = true;
        Result += Upper ? UpCase(C) : LowerChar(C);
        WordStart = false;
    }
    return Result;
}

// ------------------------------------------------------------ dates

TDateTime IncDate(int Years, int Months, int Days, TDateTime Date, TDateTime Delta)
{
    if (Years == 0 && Months == 0 && Days != 0)
        return Date + Days;
    int Y = 0, M = 0, D = 0;
    if (Years != 0 && Months == 0 && Days == 0) {
        DecodeDate(Date, Y, M, D);
        Y += Years;
    } else if (Years == 0 && Months != 0 && Days == 0) {
        DecodeDate(Date, Y, M, D);
        M += Months;
        while (M <= 0) {
            M += 12;
            --Y;
        }
        while (M > 12) {
            M -= 12;
            ++Y;
        }
    } else {
        return Date + Delta;
    }
    // The 31st of a shorter month (or 29 February in a common year) becomes
    // that month's last day instead of an impossible date.
    if (Y < 1 || Y > 9999)
        return Date;
    D = qMin(D, DaysInMonth(Y, M));
    return EncodeDate(Y, M, D) + (Date - Trunc(Date));
}

TDateTime DateFromMDY(const QString &Text)
{
    int Month = 0, Day = 0, Year = 0;
    QString YearPiece;
    if (!SplitDate(Text, Month, Day, YearPiece, Year))
        return 0;
    return DateOrZero(Year, Month, Day, YearPiece);
}

TDateTime DateFromDMY(const QString &Text)
{
    int Month = 0, Day = 0, Year = 0;
    QString YearPiece;
    if (!SplitDate(Text, Day, Month, YearPiece, Year))
        return 0;
    return DateOrZero(Year, Month, Day, YearPiece);
}

// ------------------------------------------------------------ numbers and geometry

int LimitSize(int Value, int Minimum, int Maximum)
{
    if (Minimum == Maximum)
        return Value;
    if (Maximum > 0 && Value > Maximum)
        return Maximum;
    if (Minimum > 0 && Value < Minimum)
        return Minimum;
    return Value;
}

int MaxOf(int A, int B) { return A > B ? A : B; }
int MinOf(int A, int B) { return A < B ? A : B; }
