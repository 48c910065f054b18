// The RTF reader keeps its promise to damaged input this way: it is one loop
// over the characters with an explicit stack of group states that never grows
// past MaxGroupDepth (deeper groups are counted, not stacked, and inherit the
// deepest state); a control word's name is at most 32 letters and its number at
// most 10 digits, clamped to the range of the property it sets; the font and
// colour tables keep at most MaxTableEntries entries; input beyond MaxInputSize
// is not read. Unknown control words are ignored and the text is kept, so a
// damaged document still shows its words.

#include "RichText.h"

#include "Codec.h"

#include <iconv.h>

#include <algorithm>
#include <map>

namespace {

// ------------------------------------------------------------------ code pages

int CodePageOfCharset(int Charset)
{
    switch (Charset) {
    case 134: return 936;
    case 128: return 932;
    case 129: return 949;
    case 136: return 950;
    case 0: return 1252;
    default: return 0;   // the document's code page
    }
}

// Decodes bytes of a code page (936 through the program's codec, the others
// through iconv; Latin-1 when iconv cannot).
QString DecodeCodePage(const QByteArray &Bytes, int CodePage)
{
    if (Bytes.isEmpty())
        return QString();
    if (CodePage == 936)
        return Cp936::Decode(Bytes);
    const char *Names[3] = {nullptr, nullptr, nullptr};
    switch (CodePage) {
    case 932: Names[0] = "CP932"; Names[1] = "SHIFT_JIS"; break;
    case 949: Names[0] = "CP949"; Names[1] = "UHC"; break;
    case 950: Names[0] = "CP950"; Names[1] = "BIG5"; break;
    case 1252: Names[0] = "CP1252"; break;
    default: {
        static thread_local QByteArray Name;
        Name = "CP" + QByteArray::number(CodePage);
        Names[0] = Name.constData();
        break;
    }
    }
    for (const char *Name : Names) {
        if (!Name)
            break;
        iconv_t Cd = iconv_open("UTF-16LE", Name);
        if (Cd == reinterpret_cast<iconv_t>(-1))
            continue;
        QByteArray Out(Bytes.size() * 4 + 8, '\0');
        char *Src = const_cast<char *>(Bytes.constData());
        size_t Left = size_t(Bytes.size());
        char *Dst = Out.data();
        size_t Room = size_t(Out.size());
        QString Result;
        while (Left > 0) {
            if (iconv(Cd, &Src, &Left, &Dst, &Room) == size_t(-1)) {
                // A byte that forms no character: kept as its Latin-1 character.
                const qsizetype Done = Dst - Out.data();
                Result += QString::fromUtf16(reinterpret_cast<const char16_t *>(Out.constData()), Done / 2);
                Result += QChar(uchar(*Src));
                ++Src;
                --Left;
                Dst = Out.data();
                Room = size_t(Out.size());
                iconv(Cd, nullptr, nullptr, nullptr, nullptr);
            }
        }
        const qsizetype Done = Dst - Out.data();
        Result += QString::fromUtf16(reinterpret_cast<const char16_t *>(Out.constData()), Done / 2);
        iconv_close(Cd);
        return Result;
    }
    return QString::fromLatin1(Bytes);
}

// ------------------------------------------------------------------ reader

int HexValue(QChar C)
{
    const char16_t U = C.unicode();
    if (U >= '0' && U <= '9')
        return U - '0';
    if (U >= 'a' && U <= 'f')
        return U - 'a' + 10;
    if (U >= 'A' && U <= 'F')
        return U - 'A' + 10;
    return -1;
}

enum class TDest { Text, FontTable, ColorTable, Skip };

struct TFontEntry {
    QString Name;
    int CodePage = 0;
};

struct TGroupState {
    TRtfCharFormat Format;
    int FontIndex = -1;
    int Uc = 1;
    TDest Dest = TDest::Text;
    // Paragraph formatting belongs to the group too.
    TRtfAlignment Alignment = TRtfAlignment::Left;
    int LeftIndent = 0, RightIndent = 0, FirstIndent = 0;
};

constexpr int MaxIndent = 31680;   // 22 inches in twips
constexpr int MaxFontSize = 3276;  // half-points

class TReader {
public:
    explicit TReader(const QString &Text) : FIn(Text) {}
    TRtfDocument Run();

private:
    const QString &FIn;
    qsizetype FPos = 0;
    std::vector<TGroupState> FStack;
    int FOverflow = 0;                 // groups opened beyond MaxGroupDepth
    TGroupState FState;
    int FDocCodePage = 1252;
    int FDefaultFont = -1;
    std::map<int, TFontEntry> FFonts;
    std::vector<int> FColors;          // 0x00BBGGRR, -1 for the automatic entry
    int FRed = 0, FGreen = 0, FBlue = 0;
    bool FColorSeen = false;
    QString FFontName;                 // the font entry being read
    int FFontNumber = -1;
    int FFontCodePage = 0;
    QByteArray FPendingBytes;          // \'hh bytes waiting to be decoded together
    int FSkipChars = 0;                // fallback characters after \uN still to skip
    TRtfDocument FDoc;
    TRtfParagraph FPara;

    int CodePage() const;
    void FlushBytes();
    void Emit(const QString &S);
    void EmitByte(char B);
    void EndParagraph();
    void ControlWord(const QString &Word, bool HasParam, int Param);
    void ControlSymbol(QChar C);
    void OpenGroup();
    void CloseGroup();
    void FinishFontEntry();
};

int TReader::CodePage() const
{
    int Font = FState.FontIndex >= 0 ? FState.FontIndex : FDefaultFont;
    auto It = FFonts.find(Font);
    if (It != FFonts.end() && It->second.CodePage != 0)
        return It->second.CodePage;
    return FDocCodePage;
}

void TReader::FlushBytes()
{
    if (FPendingBytes.isEmpty())
        return;
    const int Page = FState.Dest == TDest::FontTable && FFontCodePage != 0 ? FFontCodePage : CodePage();
    const QString S = DecodeCodePage(FPendingBytes, Page);
    FPendingBytes.clear();
    if (FState.Dest == TDest::FontTable)
        FFontName += S;
    else if (FState.Dest == TDest::Text)
        Emit(S);
}

void TReader::Emit(const QString &S)
{
    if (S.isEmpty() || FState.Dest != TDest::Text)
        return;
    TRtfCharFormat F = FState.Format;
    auto Font = FFonts.find(FState.FontIndex >= 0 ? FState.FontIndex : FDefaultFont);
    if (Font != FFonts.end())
        F.FontName = Font->second.Name;
    if (!FPara.Runs.empty() && FPara.Runs.back().Format == F)
        FPara.Runs.back().Text += S;
    else
        FPara.Runs.push_back(TRtfRun{S, F});
}

void TReader::EmitByte(char B)
{
    if (FSkipChars > 0) {
        --FSkipChars;
        return;
    }
    if (FState.Dest == TDest::Text || FState.Dest == TDest::FontTable)
        FPendingBytes += B;
}

void TReader::EndParagraph()
{
    FlushBytes();
    FPara.Alignment = FState.Alignment;
    FPara.LeftIndent = FState.LeftIndent;
    FPara.RightIndent = FState.RightIndent;
    FPara.FirstIndent = FState.FirstIndent;
    FDoc.Paragraphs.push_back(std::move(FPara));
    FPara = TRtfParagraph();
}

void TReader::OpenGroup()
{
    FlushBytes();
    if (int(FStack.size()) >= Rtf::MaxGroupDepth) {
        ++FOverflow;
        FDoc.Damaged = true;
        return;
    }
    FStack.push_back(FState);
}

void TReader::CloseGroup()
{
    FlushBytes();
    if (FOverflow > 0) {
        --FOverflow;
        return;
    }
    if (FStack.empty()) {
        FDoc.Damaged = true;   // a stray "}"
        return;
    }
    if (FState.Dest == TDest::FontTable)
        FinishFontEntry();
    // The document's own group ends: its last paragraph keeps the formatting it had.
    if (FStack.size() == 1 && !FPara.Runs.empty())
        EndParagraph();
    FState = FStack.back();
    FStack.pop_back();
    FSkipChars = 0;
}

void TReader::FinishFontEntry()
{
    if (FFontNumber >= 0 && int(FFonts.size()) < Rtf::MaxTableEntries) {
        QString Name = FFontName.trimmed();
        if (Name.endsWith(QLatin1Char(';')))
            Name.chop(1);
        FFonts[FFontNumber] = TFontEntry{Name.trimmed(), FFontCodePage};
    }
    FFontNumber = -1;
    FFontName.clear();
    FFontCodePage = 0;
}

void TReader::ControlSymbol(QChar C)
{
    switch (C.unicode()) {
    case '\\': case '{': case '}':
        FlushBytes();
        if (FSkipChars > 0) {
            --FSkipChars;
            return;
        }
        if (FState.Dest == TDest::FontTable)
            FFontName += C;
        else
            Emit(QString(C));
        return;
    case '~': FlushBytes(); Emit(QString(QChar(0x00A0))); return;
    case '_': FlushBytes(); Emit(QString(QChar(0x2011))); return;
    case '*': FlushBytes(); FState.Dest = TDest::Skip; return;
    case '\n': case '\r': FlushBytes(); EndParagraph(); return;   // "\" at a line end is \par
    default: return;                                             // \- \| \: and the rest
    }
}

void TReader::ControlWord(const QString &W, bool HasParam, int P)
{
    FlushBytes();
    TGroupState &S = FState;
    // Destinations whose text is not document text.
    static const char *const Skipped[] = {"stylesheet", "info", "pict", "object", "header", "footer",
                                          "headerl", "headerr", "headerf", "footerl", "footerr", "footerf",
                                          "fldinst", "themedata", "colorschememapping", "latentstyles",
                                          "datastore", "listtable", "listoverridetable", "rsidtbl",
                                          "generator", "xmlnstbl", "mmathPr", "filetbl", "revtbl"};
    for (const char *Name : Skipped)
        if (W == QLatin1String(Name)) {
            S.Dest = TDest::Skip;
            return;
        }
    if (W == QLatin1String("fonttbl")) {
        S.Dest = TDest::FontTable;
        return;
    }
    if (W == QLatin1String("colortbl")) {
        S.Dest = TDest::ColorTable;
        FColors.clear();
        FColorSeen = false;
        FRed = FGreen = FBlue = 0;
        return;
    }
    if (S.Dest == TDest::Skip)
        return;
    if (S.Dest == TDest::FontTable) {
        if (W == QLatin1String("f")) {
            if (FFontNumber >= 0)
                FinishFontEntry();
            FFontNumber = HasParam ? std::max(P, 0) : 0;
        } else if (W == QLatin1String("fcharset")) {
            FFontCodePage = CodePageOfCharset(P);
        } else if (W == QLatin1String("cpg") && HasParam) {
            FFontCodePage = P;
        }
        return;
    }
    if (S.Dest == TDest::ColorTable) {
        if (W == QLatin1String("red"))
            FRed = std::clamp(P, 0, 255), FColorSeen = true;
        else if (W == QLatin1String("green"))
            FGreen = std::clamp(P, 0, 255), FColorSeen = true;
        else if (W == QLatin1String("blue"))
            FBlue = std::clamp(P, 0, 255), FColorSeen = true;
        return;
    }

    // Document text.
    if (W == QLatin1String("par")) {
        EndParagraph();
    } else if (W == QLatin1String("line")) {
        Emit(QStringLiteral("\n"));
    } else if (W == QLatin1String("tab")) {
        Emit(QStringLiteral("\t"));
    } else if (W == QLatin1String("u") && HasParam) {
        const int Code = P < 0 ? P + 65536 : P;
        if (Code >= 0 && Code <= 0xFFFF)
            Emit(QString(QChar(char16_t(Code))));
        FSkipChars = S.Uc;
    } else if (W == QLatin1String("uc")) {
        S.Uc = std::clamp(P, 0, 16);
    } else if (W == QLatin1String("ansicpg")) {
        if (P > 0)
            FDocCodePage = P;
    } else if (W == QLatin1String("deff")) {
        FDefaultFont = P;
    } else if (W == QLatin1String("b")) {
        S.Format.Bold = !HasParam || P != 0;
    } else if (W == QLatin1String("i")) {
        S.Format.Italic = !HasParam || P != 0;
    } else if (W == QLatin1String("ul")) {
        S.Format.Underline = !HasParam || P != 0;
    } else if (W == QLatin1String("ulnone")) {
        S.Format.Underline = false;
    } else if (W == QLatin1String("strike")) {
        S.Format.Strike = !HasParam || P != 0;
    } else if (W == QLatin1String("f")) {
        S.FontIndex = P;
    } else if (W == QLatin1String("fs")) {
        S.Format.FontSize = HasParam ? std::clamp(P, 0, MaxFontSize) : 24;
    } else if (W == QLatin1String("cf")) {
        S.Format.Color = P > 0 && P < int(FColors.size()) ? FColors[size_t(P)] : -1;
    } else if (W == QLatin1String("highlight") || W == QLatin1String("cb")) {
        S.Format.Highlight = P > 0 && P < int(FColors.size()) ? FColors[size_t(P)] : -1;
    } else if (W == QLatin1String("plain")) {
        S.Format = TRtfCharFormat();
        S.FontIndex = -1;
    } else if (W == QLatin1String("pard")) {
        S.Alignment = TRtfAlignment::Left;
        S.LeftIndent = S.RightIndent = S.FirstIndent = 0;
    } else if (W == QLatin1String("ql")) {
        S.Alignment = TRtfAlignment::Left;
    } else if (W == QLatin1String("qc")) {
        S.Alignment = TRtfAlignment::Center;
    } else if (W == QLatin1String("qr")) {
        S.Alignment = TRtfAlignment::Right;
    } else if (W == QLatin1String("qj")) {
        S.Alignment = TRtfAlignment::Justify;
    } else if (W == QLatin1String("li")) {
        S.LeftIndent = std::clamp(P, -MaxIndent, MaxIndent);
    } else if (W == QLatin1String("ri")) {
        S.RightIndent = std::clamp(P, -MaxIndent, MaxIndent);
    } else if (W == QLatin1String("fi")) {
        S.FirstIndent = std::clamp(P, -MaxIndent, MaxIndent);
    } else if (W == QLatin1String("emdash")) {
        Emit(QString(QChar(0x2014)));
    } else if (W == QLatin1String("endash")) {
        Emit(QString(QChar(0x2013)));
    } else if (W == QLatin1String("bullet")) {
        Emit(QString(QChar(0x2022)));
    } else if (W == QLatin1String("lquote")) {
        Emit(QString(QChar(0x2018)));
    } else if (W == QLatin1String("rquote")) {
        Emit(QString(QChar(0x2019)));
    } else if (W == QLatin1String("ldblquote")) {
        Emit(QString(QChar(0x201C)));
    } else if (W == QLatin1String("rdblquote")) {
        Emit(QString(QChar(0x201D)));
    }
    // Every other word is ignored.
}

TRtfDocument TReader::Run()
{
    const qsizetype End = std::min(FIn.size(), Rtf::MaxInputSize);
    if (FIn.size() > Rtf::MaxInputSize)
        FDoc.Damaged = true;
    while (FPos < End) {
        const QChar C = FIn.at(FPos);
        const char16_t U = C.unicode();
        if (U == '{') {
            ++FPos;
            OpenGroup();
            continue;
        }
        if (U == '}') {
            ++FPos;
            CloseGroup();
            continue;
        }
        if (U == '\\') {
            ++FPos;
            if (FPos >= End)
                break;
            const QChar N = FIn.at(FPos);
            if (N == QLatin1Char('\'')) {
                // \'hh: one byte of the current code page.
                int Value = 0, Digits = 0;
                ++FPos;
                while (Digits < 2 && FPos < End && HexValue(FIn.at(FPos)) >= 0) {
                    Value = Value * 16 + HexValue(FIn.at(FPos));
                    ++Digits;
                    ++FPos;
                }
                if (Digits == 2) {
                    if (FState.Dest == TDest::ColorTable || FState.Dest == TDest::Skip)
                        continue;
                    EmitByte(char(Value));
                } else {
                    FDoc.Damaged = true;
                }
                continue;
            }
            const char16_t NU = N.unicode();
            if (!((NU >= 'a' && NU <= 'z') || (NU >= 'A' && NU <= 'Z'))) {
                ++FPos;
                if (FState.Dest != TDest::Skip || NU == '\\' || NU == '{' || NU == '}')
                    ControlSymbol(N);
                continue;
            }
            QString Word;
            while (FPos < End && Word.size() < 32) {
                const char16_t L = FIn.at(FPos).unicode();
                if (!((L >= 'a' && L <= 'z') || (L >= 'A' && L <= 'Z')))
                    break;
                Word += QChar(L);
                ++FPos;
            }
            // A longer name is damage: its remaining letters are dropped.
            while (FPos < End && FIn.at(FPos).isLetter() && FIn.at(FPos).unicode() < 128)
                ++FPos;
            bool Negative = false, HasParam = false;
            qint64 Param = 0;
            if (FPos < End && FIn.at(FPos) == QLatin1Char('-')) {
                Negative = true;
                ++FPos;
            }
            int Digits = 0;
            while (FPos < End && FIn.at(FPos).unicode() >= '0' && FIn.at(FPos).unicode() <= '9') {
                if (Digits < 10)
                    Param = Param * 10 + (FIn.at(FPos).unicode() - '0');
                ++Digits;
                ++FPos;
                HasParam = true;
            }
            Param = std::clamp<qint64>(Negative ? -Param : Param, -2147483647LL, 2147483647LL);
            if (FPos < End && FIn.at(FPos) == QLatin1Char(' '))
                ++FPos;   // the delimiter belongs to the word
            if (Word == QLatin1String("bin")) {
                // Binary data: skipped by its length, never beyond the input.
                FPos = std::min<qint64>(End, FPos + std::max<qint64>(Param, 0));
                continue;
            }
            ControlWord(Word, HasParam, int(Param));
            continue;
        }
        ++FPos;
        if (U == '\r' || U == '\n' || U == 0)
            continue;   // line ends of the file are no text
        if (FState.Dest == TDest::ColorTable) {
            if (U == ';') {
                if (int(FColors.size()) < Rtf::MaxTableEntries)
                    FColors.push_back(FColorSeen ? (FBlue << 16) | (FGreen << 8) | FRed : -1);
                FColorSeen = false;
                FRed = FGreen = FBlue = 0;
            }
            continue;
        }
        if (FState.Dest == TDest::Skip)
            continue;
        if (U < 0x100) {
            if (U < 0x80 && FPendingBytes.isEmpty() && FSkipChars == 0) {
                if (FState.Dest == TDest::FontTable)
                    FFontName += C;
                else
                    Emit(QString(C));
            } else if (U < 0x80) {
                FlushBytes();
                if (FSkipChars > 0)
                    --FSkipChars;
                else if (FState.Dest == TDest::FontTable)
                    FFontName += C;
                else
                    Emit(QString(C));
            } else {
                EmitByte(char(U));
            }
        } else {
            // A character beyond one byte stands for itself.
            FlushBytes();
            if (FSkipChars > 0)
                --FSkipChars;
            else if (FState.Dest == TDest::Text)
                Emit(QString(C));
        }
    }
    FlushBytes();
    if (!FStack.empty() || FOverflow > 0)
        FDoc.Damaged = true;
    if (!FPara.Runs.empty())
        EndParagraph();
    return std::move(FDoc);
}

// ------------------------------------------------------------------ writer

// Text of a run: ASCII as it is (with \\, \{, \} escaped), every other
// character as its own group {\ucK\uN\'hh...} with its K code page 936 bytes,
// so that the skip count never depends on what stands around it.
QString Escaped(const QString &Text)
{
    QString Out;
    for (qsizetype I = 0; I < Text.size(); ++I) {
        const QChar C = Text.at(I);
        const char16_t U = C.unicode();
        if (U == '\\' || U == '{' || U == '}') {
            Out += QLatin1Char('\\');
            Out += C;
        } else if (U == '\n') {
            Out += QStringLiteral("\\line ");
        } else if (U == '\t') {
            Out += QStringLiteral("\\tab ");
        } else if (U >= 0x20 && U < 0x80) {
            Out += C;
        } else if (U < 0x20) {
            // Other control characters are kept as they are, without fallback.
            Out += QStringLiteral("{\\uc0\\u%1}").arg(int(U));
        } else {
            QString Unit(C);
            if (C.isHighSurrogate() && I + 1 < Text.size() && Text.at(I + 1).isLowSurrogate())
                Unit += Text.at(++I);
            const QByteArray Bytes = Cp936::Encode(Unit);
            Out += QLatin1Char('{');
            for (qsizetype K = 0; K < Unit.size(); ++K) {
                // The fallback bytes follow the last unit only.
                Out += QStringLiteral("\\uc%1").arg(K + 1 < Unit.size() ? 0 : int(Bytes.size()));
                const int Code = Unit.at(K).unicode();
                Out += QStringLiteral("\\u%1").arg(Code > 32767 ? Code - 65536 : Code);
            }
            for (char B : Bytes)
                Out += QStringLiteral("\\'%1").arg(uchar(B), 2, 16, QLatin1Char('0'));
            Out += QLatin1Char('}');
        }
    }
    return Out;
}

} // namespace

QString TRtfParagraph::Text() const
{
    QString S;
    for (const TRtfRun &R : Runs)
        S += R.Text;
    return S;
}

QString TRtfDocument::PlainText() const
{
    QStringList Lines;
    for (const TRtfParagraph &P : Paragraphs)
        Lines << P.Text();
    return Lines.join(QStringLiteral("\r\n"));
}

namespace Rtf {

bool IsRtf(const QString &Text)
{
    return Text.startsWith(QLatin1String("{\\rtf"));
}

TRtfDocument Read(const QString &Text)
{
    if (!IsRtf(Text)) {
        TRtfDocument D = FromPlainText(Text.left(MaxInputSize));
        D.Damaged = true;
        return D;
    }
    return TReader(Text).Run();
}

TRtfDocument Read(const QByteArray &Bytes)
{
    return Read(QString::fromLatin1(Bytes.left(MaxInputSize)));
}

QString PlainText(const QString &Text)
{
    return Read(Text).PlainText();
}

TRtfDocument FromPlainText(const QString &Text)
{
    TRtfDocument D;
    QString T = Text;
    T.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
    for (const QString &Line : T.split(QLatin1Char('\n'))) {
        TRtfParagraph P;
        if (!Line.isEmpty())
            P.Runs.push_back(TRtfRun{Line, TRtfCharFormat()});
        D.Paragraphs.push_back(std::move(P));
    }
    return D;
}

QString Write(const TRtfDocument &Doc)
{
    // Tables first: fonts and colours in order of first use.
    QStringList Fonts;
    std::vector<int> Colors;
    auto FontIndex = [&](const QString &Name) {
        const qsizetype I = Fonts.indexOf(Name);
        if (I >= 0)
            return int(I);
        Fonts << Name;
        return int(Fonts.size() - 1);
    };
    auto ColorIndex = [&](int Color) {
        auto It = std::find(Colors.begin(), Colors.end(), Color);
        if (It != Colors.end())
            return int(It - Colors.begin()) + 1;
        Colors.push_back(Color);
        return int(Colors.size());
    };
    FontIndex(QString());   // \f0: the default font
    for (const TRtfParagraph &P : Doc.Paragraphs)
        for (const TRtfRun &R : P.Runs) {
            FontIndex(R.Format.FontName);
            if (R.Format.Color >= 0)
                ColorIndex(R.Format.Color);
            if (R.Format.Highlight >= 0)
                ColorIndex(R.Format.Highlight);
        }

    QString Out = QStringLiteral("{\\rtf1\\ansi\\ansicpg936\\deff0{\\fonttbl");
    for (int I = 0; I < Fonts.size(); ++I) {
        // \f0 has no name: the reader's default font.
        const QString Name = Fonts.at(I);
        Out += QStringLiteral("{\\f%1\\fcharset134 ").arg(I);
        // Font names in the table are bytes of the code page only.
        for (char B : Cp936::Encode(Name)) {
            const uchar U = uchar(B);
            if (U >= 0x20 && U < 0x80 && U != '\\' && U != '{' && U != '}' && U != ';')
                Out += QChar(U);
            else
                Out += QStringLiteral("\\'%1").arg(U, 2, 16, QLatin1Char('0'));
        }
        Out += QStringLiteral(";}");
    }
    Out += QLatin1Char('}');
    if (!Colors.empty()) {
        Out += QStringLiteral("{\\colortbl ;");
        for (int C : Colors)
            Out += QStringLiteral("\\red%1\\green%2\\blue%3;").arg(C & 0xFF).arg((C >> 8) & 0xFF).arg((C >> 16) & 0xFF);
        Out += QLatin1Char('}');
    }
    Out += QStringLiteral("\\uc1\n");
    for (size_t PI = 0; PI < Doc.Paragraphs.size(); ++PI) {
        const TRtfParagraph &P = Doc.Paragraphs[PI];
        static const char *const Align[] = {"\\ql", "\\qc", "\\qr", "\\qj"};
        Out += QStringLiteral("\\pard%1").arg(QLatin1String(Align[int(P.Alignment)]));
        if (P.LeftIndent)
            Out += QStringLiteral("\\li%1").arg(P.LeftIndent);
        if (P.RightIndent)
            Out += QStringLiteral("\\ri%1").arg(P.RightIndent);
        if (P.FirstIndent)
            Out += QStringLiteral("\\fi%1").arg(P.FirstIndent);
        Out += QLatin1Char(' ');
        for (const TRtfRun &R : P.Runs) {
            const TRtfCharFormat &F = R.Format;
            Out += QStringLiteral("{\\f%1").arg(FontIndex(F.FontName));
            if (F.FontSize > 0)
                Out += QStringLiteral("\\fs%1").arg(F.FontSize);
            if (F.Bold)
                Out += QStringLiteral("\\b");
            if (F.Italic)
                Out += QStringLiteral("\\i");
            if (F.Underline)
                Out += QStringLiteral("\\ul");
            if (F.Strike)
                Out += QStringLiteral("\\strike");
            if (F.Color >= 0)
                Out += QStringLiteral("\\cf%1").arg(ColorIndex(F.Color));
            if (F.Highlight >= 0)
                Out += QStringLiteral("\\highlight%1").arg(ColorIndex(F.Highlight));
            Out += QLatin1Char(' ');
            Out += Escaped(R.Text);
            Out += QLatin1Char('}');
        }
        if (PI + 1 < Doc.Paragraphs.size())
            Out += QStringLiteral("\\par\n");
    }
    Out += QStringLiteral("}");
    return Out;
}

} // namespace Rtf
