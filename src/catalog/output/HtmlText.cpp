// The template scan is a small part of an HTML tokenizer: it follows text,
// tags with their attributes (double, single and unquoted values), end tags,
// comments, declarations and the elements whose content is text up to their
// end tag (script, style, title...). It never fails: whatever a template
// holds, every placeholder gets a flag.

#include "HtmlText.h"

#include "platform/core/Codec.h"
#include "platform/core/FileUtils.h"
#include "platform/core/SysUtils.h"
#include "platform/core/Types.h"

#include <QHash>
#include <QMutex>
#include <cerrno>
#include <optional>
#include <vector>

namespace HtmlText {

namespace {

bool IsSpace(QChar C)
{
    return C == QLatin1Char(' ') || C == QLatin1Char('\t') || C == QLatin1Char('\n') || C == QLatin1Char('\r')
        || C == QLatin1Char('\f');
}

bool IsAsciiLetter(QChar C)
{
    const char16_t U = C.unicode();
    return (U >= 'a' && U <= 'z') || (U >= 'A' && U <= 'Z');
}

bool IsAsciiDigit(QChar C)
{
    return C.unicode() >= '0' && C.unicode() <= '9';
}

bool IsAsciiAlnum(QChar C)
{
    return IsAsciiLetter(C) || IsAsciiDigit(C);
}

// Elements whose content runs as text up to their end tag: a "<" there opens nothing.
bool IsRawTextElement(const QString &Name)
{
    static const QStringList Names{QStringLiteral("script"),   QStringLiteral("style"),   QStringLiteral("title"),
                                   QStringLiteral("textarea"), QStringLiteral("xmp"),     QStringLiteral("iframe"),
                                   QStringLiteral("noembed"),  QStringLiteral("noframes"), QStringLiteral("noscript")};
    return Names.contains(Name);
}

class TTagScanner {
public:
    // Where the scan stands: in an attribute value (or right before one), in
    // the text of a raw text element or a comment, or in the page's text (or
    // between the attributes of a tag, where the program's own markup goes).
    TPlace Place() const
    {
        switch (FState) {
        case ValueDouble:
        case ValueSingle:
        case ValueBare:
        case BeforeValue:
        case EndTag:
        case Declaration:
            return plAttribute;
        case RawText:
        case Comment:
        case MarkupOpen:
            return plRawText;
        default:
            return plText;
        }
    }

    // A placeholder reads as ordinary characters of the place it stands in.
    void Placeholder()
    {
        switch (FState) {
        case BeforeValue: FState = ValueBare; break;
        case BeforeName:
        case AfterName: FState = Name; break;
        case TagOpen: FState = Data; break;
        case MarkupOpen: FState = Declaration; break;
        case RawText: FRawMatched = 0; break;
        case Comment: FDashes = 0; break;
        default: break;
        }
    }

    void Feed(QChar C)
    {
        switch (FState) {
        case Data:
            if (C == QLatin1Char('<'))
                FState = TagOpen;
            break;
        case TagOpen:
            if (IsAsciiLetter(C)) {
                FTag = C.toLower();
                FState = TagName;
            } else if (C == QLatin1Char('/')) {
                FState = EndTag;
            } else if (C == QLatin1Char('!')) {
                FState = MarkupOpen;
                FDashes = 0;
            } else if (C == QLatin1Char('?')) {
                FState = Declaration;
            } else if (C != QLatin1Char('<')) {
                FState = Data;
            }
            break;
        case TagName:
            if (IsSpace(C) || C == QLatin1Char('/'))
                FState = BeforeName;
            else if (C == QLatin1Char('>'))
                TagEnd();
            else
                FTag += C.toLower();
            break;
        case BeforeName:
            if (C == QLatin1Char('>'))
                TagEnd();
            else if (!IsSpace(C) && C != QLatin1Char('/'))
                FState = Name;
            break;
        case Name:
            if (C == QLatin1Char('='))
                FState = BeforeValue;
            else if (IsSpace(C))
                FState = AfterName;
            else if (C == QLatin1Char('/'))
                FState = BeforeName;
            else if (C == QLatin1Char('>'))
                TagEnd();
            break;
        case AfterName:
            if (C == QLatin1Char('='))
                FState = BeforeValue;
            else if (C == QLatin1Char('>'))
                TagEnd();
            else if (C == QLatin1Char('/'))
                FState = BeforeName;
            else if (!IsSpace(C))
                FState = Name;
            break;
        case BeforeValue:
            if (C == QLatin1Char('"'))
                FState = ValueDouble;
            else if (C == QLatin1Char('\''))
                FState = ValueSingle;
            else if (C == QLatin1Char('>'))
                TagEnd();
            else if (!IsSpace(C))
                FState = ValueBare;
            break;
        case ValueDouble:
            if (C == QLatin1Char('"'))
                FState = BeforeName;
            break;
        case ValueSingle:
            if (C == QLatin1Char('\''))
                FState = BeforeName;
            break;
        case ValueBare:
            if (IsSpace(C))
                FState = BeforeName;
            else if (C == QLatin1Char('>'))
                TagEnd();
            break;
        case EndTag:
        case Declaration:
            if (C == QLatin1Char('>'))
                FState = Data;
            break;
        case MarkupOpen:
            // "<!--" opens a comment; any other "<!" a declaration.
            if (C == QLatin1Char('-') && ++FDashes == 2) {
                FState = Comment;
                FDashes = 0;
            } else if (C != QLatin1Char('-')) {
                FState = C == QLatin1Char('>') ? Data : Declaration;
            }
            break;
        case Comment:
            if (C == QLatin1Char('>') && FDashes >= 2)
                FState = Data;
            FDashes = C == QLatin1Char('-') ? FDashes + 1 : 0;
            break;
        case RawText: {
            // Waits for "</" + the element's name followed by a blank, "/" or ">".
            const QString &End = FRawEnd;
            if (FRawMatched == End.size()) {
                FRawMatched = 0;
                if (IsSpace(C) || C == QLatin1Char('/')) {
                    FState = EndTag;
                    break;
                }
                if (C == QLatin1Char('>')) {
                    FState = Data;
                    break;
                }
            }
            if (FRawMatched < End.size() && C.toLower() == End.at(FRawMatched))
                ++FRawMatched;
            else
                FRawMatched = C == QLatin1Char('<') ? 1 : 0;
            break;
        }
        }
    }

private:
    enum TState {
        Data, TagOpen, TagName, BeforeName, Name, AfterName, BeforeValue, ValueDouble, ValueSingle, ValueBare,
        EndTag, MarkupOpen, Declaration, Comment, RawText,
    };
    TState FState = Data;
    QString FTag;          // lower-cased name of the start tag being read
    QString FRawEnd;       // "</" + the name of the raw text element the scan is in
    int FDashes = 0;
    int FRawMatched = 0;   // characters of "</name" matched inside a raw text element

    void TagEnd()
    {
        FRawMatched = 0;
        FState = Data;
        if (IsRawTextElement(FTag)) {
            FState = RawText;
            FRawEnd = QStringLiteral("</") + FTag;
        }
    }
};

TAttributePlaces Scan(const QStringList &Template)
{
    TAttributePlaces Places;
    Places.reserve(Template.size());
    TTagScanner Scanner;
    for (const QString &Line : Template) {
        QList<TPlace> Flags;
        const qsizetype N = Line.size();
        qsizetype I = 0;
        // The placeholders as the expansion meets them; between them the text
        // goes through the scanner.
        for (qsizetype From = 0;;) {
            const qsizetype A = Line.indexOf(QLatin1Char('{'), From);
            const qsizetype B = A < 0 ? -1 : Line.indexOf(QLatin1Char('}'), From);
            if (A < 0 || B < 0 || A > B)
                break;
            for (; I < A; ++I)
                Scanner.Feed(Line.at(I));
            Flags << Scanner.Place();
            Scanner.Placeholder();
            I = B + 1;
            From = B + 1;
        }
        for (; I < N; ++I)
            Scanner.Feed(Line.at(I));
        Scanner.Feed(QLatin1Char('\n'));
        Places << Flags;
    }
    return Places;
}

// Length of the character reference at I ("&amp;", "&#39;", "&#x1F600;"), 0 when none starts there.
qsizetype ReferenceLength(const QString &S, qsizetype I)
{
    const qsizetype N = S.size();
    qsizetype J = I + 1;
    if (J < N && S.at(J) == QLatin1Char('#')) {
        ++J;
        const bool Hex = J < N && (S.at(J) == QLatin1Char('x') || S.at(J) == QLatin1Char('X'));
        if (Hex)
            ++J;
        const qsizetype Digits = J;
        while (J < N && J - Digits < 8
               && (Hex ? QStringLiteral("0123456789abcdefABCDEF").contains(S.at(J)) : IsAsciiDigit(S.at(J))))
            ++J;
        if (J == Digits)
            return 0;
    } else {
        const qsizetype Name = J;
        while (J < N && J - Name < 32 && IsAsciiAlnum(S.at(J)))
            ++J;
        if (J == Name || !IsAsciiLetter(S.at(Name)))
            return 0;
    }
    return J < N && S.at(J) == QLatin1Char(';') ? J + 1 - I : 0;
}

// Where each tag that starts in V would end: for every place, the first ">"
// outside quoted values from there on for a scan standing there outside a
// quoted value, just after "=" (where a quote opens a value) or not; -1 when
// there is none. A quoted value goes on to the next quote of its kind.
// Worked out once from the end backwards, so that a text full of tags that
// never end is not looked through again for each of them.
class TTagEnds {
public:
    explicit TTagEnds(const QString &V, qsizetype LastEnd)
        : FPlain(size_t(LastEnd + 2), -1), FAfterEquals(size_t(LastEnd + 2), -1)
    {
        qsizetype NextDouble = -1, NextSingle = -1;   // the first quote of each kind after P
        for (qsizetype P = LastEnd; P >= 0; --P) {
            const QChar Ch = V.at(P);
            const size_t I = size_t(P);
            if (Ch == QLatin1Char('>')) {
                FPlain[I] = FAfterEquals[I] = P;
            } else if (IsSpace(Ch)) {
                FPlain[I] = FPlain[I + 1];
                FAfterEquals[I] = FAfterEquals[I + 1];
            } else if (Ch == QLatin1Char('=')) {
                FPlain[I] = FAfterEquals[I] = FAfterEquals[I + 1];
            } else {
                FPlain[I] = FPlain[I + 1];
                const qsizetype Close = Ch == QLatin1Char('"') ? NextDouble : Ch == QLatin1Char('\'') ? NextSingle : P;
                FAfterEquals[I] = Close < 0 ? -1 : FPlain[size_t(Close) + 1];
            }
            if (Ch == QLatin1Char('"'))
                NextDouble = P;
            else if (Ch == QLatin1Char('\''))
                NextSingle = P;
        }
    }
    // The end of the tag whose name starts at P (-1: none).
    qsizetype TagEnd(qsizetype P) const { return FPlain[size_t(P)]; }

private:
    std::vector<qsizetype> FPlain, FAfterEquals;
};

// The value with its tags and comments left out. A "<" that opens no tag
// (no letter, "/", "!" or "?" after it, or no ">" to close it) is text. A tag
// ends at the first ">" outside its quoted values (a quote opens a value only
// after "=").
QString WithoutTags(const QString &V)
{
    if (!V.contains(QLatin1Char('<')))
        return V;
    QString Out;
    Out.reserve(V.size());
    const qsizetype N = V.size();
    // A "<" after the last ">" starts no tag, and once no "-->" follows a
    // comment's start none follows a later one.
    const qsizetype LastEnd = V.lastIndexOf(QLatin1Char('>'));
    std::optional<TTagEnds> Ends;
    bool CommentsEnd = true;
    qsizetype I = 0;
    while (I < N) {
        const QChar C = V.at(I);
        if (C == QLatin1Char('<') && I + 1 < N && I < LastEnd) {
            if (CommentsEnd && V.mid(I, 4) == QLatin1String("<!--")) {
                const qsizetype End = V.indexOf(QStringLiteral("-->"), I + 4);
                if (End >= 0) {
                    I = End + 3;
                    continue;
                }
                CommentsEnd = false;
            }
            const QChar D = V.at(I + 1);
            if (IsAsciiLetter(D) || D == QLatin1Char('/') || D == QLatin1Char('!') || D == QLatin1Char('?')) {
                if (!Ends)
                    Ends.emplace(V, LastEnd);
                const qsizetype End = Ends->TagEnd(I + 1);
                if (End >= 0) {
                    I = End + 1;
                    continue;
                }
            }
        }
        Out += C;
        ++I;
    }
    return Out;
}

} // namespace

std::shared_ptr<const TAttributePlaces> AttributePlaces(const QStringList &Template)
{
    // Few templates exist (the styles' head, body and tail in two languages);
    // a book output expands the same ones for every page.
    static QMutex Lock;
    static QHash<QString, std::shared_ptr<const TAttributePlaces>> Cache;
    const QString Key = Template.join(QLatin1Char('\n'));
    QMutexLocker Locked(&Lock);
    const auto Found = Cache.constFind(Key);
    if (Found != Cache.constEnd())
        return Found.value();
    if (Cache.size() >= 64)
        Cache.clear();
    auto Places = std::make_shared<const TAttributePlaces>(Scan(Template));
    Cache.insert(Key, Places);
    return Places;
}

namespace {

// The text of Value (tags removed) with its markup characters escaped; quotes too
// where it stands inside an attribute. A reference the text already holds stays.
QString EscapedText(const QString &Value, bool Quotes)
{
    const QString Text = WithoutTags(Value);
    QString Out;
    Out.reserve(Text.size() + 8);
    for (qsizetype I = 0; I < Text.size(); ++I) {
        const QChar C = Text.at(I);
        switch (C.unicode()) {
        case '"': Out += Quotes ? QLatin1String("&quot;") : QLatin1String("\""); break;
        case '\'': Out += Quotes ? QLatin1String("&#39;") : QLatin1String("'"); break;
        case '<': Out += QLatin1String("&lt;"); break;
        case '>': Out += QLatin1String("&gt;"); break;
        case '&':
            Out += ReferenceLength(Text, I) > 0 ? QLatin1String("&") : QLatin1String("&amp;");
            break;
        default: Out += C;
        }
    }
    return Out;
}

} // namespace

QString AttributeValue(const QString &Value)
{
    return EscapedText(Value, true);
}

QString RawTextValue(const QString &Value)
{
    return EscapedText(Value, false);
}

QString ValueFor(TPlace Place, const QString &Value)
{
    switch (Place) {
    case plAttribute: return AttributeValue(Value);
    case plRawText: return RawTextValue(Value);
    default: return Value;
    }
}

QString PlainText(const QString &Value)
{
    const QString Text = WithoutTags(Value);
    QString Out;
    Out.reserve(Text.size());
    for (qsizetype I = 0; I < Text.size(); ++I) {
        const QChar C = Text.at(I);
        const qsizetype Len = C == QLatin1Char('&') ? ReferenceLength(Text, I) : 0;
        if (Len == 0) {
            Out += C;
            continue;
        }
        const QString Ref = Text.mid(I + 1, Len - 2);
        bool Ok = false;
        uint Code = 0;
        if (Ref.startsWith(QLatin1String("#x"), Qt::CaseInsensitive))
            Code = Ref.mid(2).toUInt(&Ok, 16);
        else if (Ref.startsWith(QLatin1Char('#')))
            Code = Ref.mid(1).toUInt(&Ok, 10);
        else {
            static const QHash<QString, uint> Named{{QStringLiteral("amp"), '&'},   {QStringLiteral("lt"), '<'},
                                                    {QStringLiteral("gt"), '>'},    {QStringLiteral("quot"), '"'},
                                                    {QStringLiteral("apos"), '\''}, {QStringLiteral("nbsp"), ' '}};
            const auto It = Named.constFind(Ref);
            Ok = It != Named.constEnd();
            Code = Ok ? It.value() : 0;
        }
        // A reference to no character (or to a control) is left as written.
        if (!Ok || Code < 0x20 || Code > 0x10FFFF || (Code >= 0xD800 && Code <= 0xDFFF)) {
            Out += C;
            continue;
        }
        const char32_t Ch = Code;
        Out += QString::fromUcs4(&Ch, 1);
        I += Len - 1;
    }
    return Out;
}

QString FileAddress(const QString &Path)
{
    // A browser drops tabs and line breaks from an address, takes a backslash
    // for "/" and trims blanks at its ends: those characters are escaped too
    // (controls as their byte, which is the same in every code page). Blanks
    // inside and other characters stay as written; the browser escapes them
    // itself, as UTF-8.
    QString Out;
    Out.reserve(Path.size());
    for (qsizetype I = 0; I < Path.size(); ++I) {
        const char16_t C = Path.at(I).unicode();
        const bool EndBlank = C == ' ' && (I == 0 || I == Path.size() - 1);
        if (C == '%' || C == '#' || C == '?' || C == '\\' || C < 0x20 || C == 0x7F || EndBlank)
            Out += QStringLiteral("%%1").arg(uint(C), 2, 16, QLatin1Char('0')).toUpper();
        else
            Out += QChar(C);
    }
    return Out;
}

bool ShowsNoText(const QString &Value)
{
    const QString Text = WithoutTags(Value);
    for (qsizetype I = 0; I < Text.size(); ++I) {
        const QChar C = Text.at(I);
        if (C.isSpace())
            continue;
        const qsizetype Len = C == QLatin1Char('&') ? ReferenceLength(Text, I) : 0;
        if (Len == 0)
            return false;
        const QString Ref = Text.mid(I + 1, Len - 2).toLower();
        bool Ok = false;
        uint Code = 0;
        if (Ref.startsWith(QLatin1String("#x")))
            Code = Ref.mid(2).toUInt(&Ok, 16);
        else if (Ref.startsWith(QLatin1Char('#')))
            Code = Ref.mid(1).toUInt(&Ok, 10);
        static const QStringList Blanks{QStringLiteral("nbsp"), QStringLiteral("ensp"), QStringLiteral("emsp"),
                                        QStringLiteral("thinsp"), QStringLiteral("tab"), QStringLiteral("newline")};
        const bool Blank = Ok ? Code <= 0xFFFF && QChar(char16_t(Code)).isSpace() : Blanks.contains(Ref);
        if (!Blank)
            return false;
        I += Len - 1;
    }
    return true;
}

QByteArray PageBytes(const QString &Text, bool Chinese)
{
    return Chinese ? Cp936::EncodeHtml(Text) : Cp936::EncodeHtmlAscii(Text);
}

void SavePage(const QString &FileName, const QStringList &Lines, bool Chinese)
{
    QString Text;
    qsizetype Len = 0;
    for (const QString &L : Lines)
        Len += L.size() + 2;
    Text.reserve(Len);
    for (const QString &L : Lines) {
        Text += L;
        Text += QLatin1String("\r\n");
    }
    if (!WriteFileAtomic(FileName, PageBytes(Text, Chinese))) {
        const int Err = errno;
        throw EFCreateError(CannotCreateFileText(FileName, Err));
    }
}

} // namespace HtmlText
