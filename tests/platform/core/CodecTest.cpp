#include "platform/core/Codec.h"

#include "Printers.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

namespace {

QByteArray Bytes(std::initializer_list<int> List)
{
    QByteArray B;
    for (int V : List)
        B.append(char(V));
    return B;
}

TEST(Cp936Codec, ChineseTextAndEuroRoundTrip)
{
    const QString Text = QStringLiteral("价格：€12.50，产品名称ABC");
    const QByteArray Enc = Cp936::Encode(Text);
    // 价 is BC DB in the code page; the euro sign is the single byte 0x80.
    EXPECT_TRUE(Enc.startsWith(Bytes({0xBC, 0xDB})));
    EXPECT_TRUE(Enc.contains(char(0x80)));
    EXPECT_EQ(Cp936::Decode(Enc), Text);
    EXPECT_TRUE(Cp936::CanEncode(Text));
    EXPECT_EQ(Cp936::EncodedLength(Text), Enc.size());
    EXPECT_EQ(Cp936::Decode(Bytes({0x80})), QString(QChar(0x20AC)));
    EXPECT_EQ(Cp936::Encode(QStringLiteral("plain ascii")), QByteArray("plain ascii"));
}

TEST(Cp936Codec, EveryCodePageSequenceKeepsItsBytes)
{
    // All one- and two-byte sequences, valid or not, come back byte for byte,
    // but for the few codes the code page lacks whose GB18030 character is
    // written another way: A2 E3, the euro sign (0x80), and those that stand
    // for characters beyond the BMP (four-byte sequences, as all of those).
    QByteArray All;
    for (int B = 0; B < 0x100; ++B)
        All.append(char(B)).append(' ');
    for (int Lead = 0x81; Lead <= 0xFE; ++Lead)
        for (int Trail = 0x40; Trail <= 0xFE; ++Trail) {
            const QByteArray Code = Bytes({Lead, Trail});
            const QString Ch = Cp936::Decode(Code);
            if (Ch != QString(QChar(0x20AC)) && !(Ch.size() == 2 && Ch.at(0).isHighSurrogate()))
                All.append(Code).append('|');
        }
    EXPECT_EQ(Cp936::Encode(Cp936::Decode(All)), All);

    // So do four-byte sequences: the BMP range, some of the supplementary
    // planes and codes beyond them.
    QByteArray Four;
    for (int B1 : {0x81, 0x82, 0x83, 0x84, 0x85, 0x90, 0xE3, 0xE4, 0xFE})
        for (int B2 = 0x30; B2 <= 0x39; ++B2)
            for (int B3 = 0x81; B3 <= 0xFE; ++B3)
                for (int B4 = 0x30; B4 <= 0x39; ++B4)
                    Four.append(char(B1)).append(char(B2)).append(char(B3)).append(char(B4));
    EXPECT_EQ(Cp936::Encode(Cp936::Decode(Four)), Four);
}

TEST(Cp936Codec, CharactersOutsideTheCodePageUseFourByteSequences)
{
    const QString Emoji = QString::fromUtf8("\xF0\x9F\x98\x80");   // U+1F600
    EXPECT_EQ(Cp936::Encode(Emoji), Bytes({0x94, 0x39, 0xFC, 0x36}));
    EXPECT_FALSE(Cp936::CanEncode(Emoji));
    EXPECT_EQ(Cp936::EncodedLength(Emoji), 4);
    // A BMP character the code page lacks (a Korean syllable) and a no-break
    // space, which is not the euro sign.
    const QString Text = QStringLiteral("a\uD55C\u00A0b") + Emoji + QStringLiteral("\u20AC");
    const QByteArray Enc = Cp936::Encode(Text);
    EXPECT_EQ(Cp936::Decode(Enc), Text);
    EXPECT_EQ(Cp936::EncodedLength(Text), Enc.size());
    EXPECT_EQ(Enc.right(1), Bytes({0x80}));
    // User-defined codes read as private use characters and count as the code page's.
    EXPECT_EQ(Cp936::Decode(Bytes({0xAA, 0xA1})), QString(QChar(0xE000)));
    EXPECT_TRUE(Cp936::CanEncode(QString(QChar(0xE000))));
}

TEST(Cp936Codec, TwoByteCodesReadAsGb18030ReadsThem)
{
    // Every two-byte code, one a line, read by iconv's GB18030 decoder and by
    // ours: the same character each. The code page's own codes keep their
    // bytes (above); those it lacks are GB18030's, written back as GB18030
    // writes them, or with the code page's code where it has one.
    QByteArray All;
    for (int Lead = 0x81; Lead <= 0xFE; ++Lead)
        for (int Trail = 0x40; Trail <= 0xFE; ++Trail)
            if (Trail != 0x7F)
                All.append(char(Lead)).append(char(Trail)).append('\n');
    TestSupport::TempDir Dir;
    TestSupport::WriteAll(Dir.File(QStringLiteral("codes.txt")), All);
    QByteArray Peer;
    ASSERT_EQ(TestSupport::RunProgram(QStringLiteral("iconv"),
                                      {QStringLiteral("-f"), QStringLiteral("GB18030"), QStringLiteral("-t"),
                                       QStringLiteral("UTF-8"), Dir.File(QStringLiteral("codes.txt"))},
                                      &Peer),
              0)
        << Peer.left(300).constData();
    const QStringList Expected = QString::fromUtf8(Peer).split(QLatin1Char('\n'));
    const QStringList Ours = Cp936::Decode(All).split(QLatin1Char('\n'));
    ASSERT_EQ(Ours.size(), Expected.size());
    int Differ = 0;
    for (qsizetype I = 0; I < Ours.size(); ++I)
        if (Ours[I] != Expected[I] && ++Differ <= 10)
            ADD_FAILURE() << "code " << QByteArray(All.constData() + I * 3, 2).toHex().constData();
    EXPECT_EQ(Differ, 0);

    // GB18030's euro sign: read as the euro sign, written as the code page writes it.
    EXPECT_EQ(Cp936::Decode(Bytes({0xA2, 0xE3})), QString(QChar(0x20AC)));
    EXPECT_EQ(Cp936::Encode(Cp936::Decode(Bytes({'x', 0xA2, 0xE3, 0x80}))), Bytes({'x', 0x80, 0x80}));
    // Other codes the code page lacks keep their bytes, but for those that
    // stand for characters beyond the BMP: those go out as four bytes.
    const QString Rest = Cp936::Decode(Bytes({0xA6, 0xD9, 0xA8, 0xBC, 0xFE, 0x50}));
    EXPECT_EQ(Rest, QString::fromUtf8("\xEF\xB8\x90\xE1\xB8\xBF\xE2\xBA\x81"));
    EXPECT_EQ(Cp936::Encode(Rest), Bytes({0xA6, 0xD9, 0xA8, 0xBC, 0xFE, 0x50}));
    EXPECT_TRUE(Cp936::CanEncode(Rest));
    const QString Beyond = Cp936::Decode(Bytes({0xFE, 0x51}));
    EXPECT_EQ(Beyond, QString::fromUtf8("\xF0\xA0\x82\x87"));   // U+20087
    EXPECT_EQ(Cp936::Decode(Cp936::Encode(Beyond)), Beyond);
    EXPECT_EQ(Cp936::EncodedLength(Beyond), 4);
}

TEST(Cp936Codec, EveryCharacterComesBack)
{
    // Every BMP character outside the surrogates and the private use area
    // (a few private use characters have no GB18030 code of their own left).
    QString All;
    for (int C = 1; C < 0x10000; ++C)
        if ((C < 0xD800 || C > 0xDFFF) && (C < 0xE000 || C > 0xF8FF))
            All.append(QChar(char16_t(C)));
    const QByteArray Enc = Cp936::Encode(All);
    EXPECT_EQ(Cp936::Decode(Enc), All);
    EXPECT_EQ(Cp936::EncodedLength(All), Enc.size());
}

TEST(Cp936Codec, InvalidAndTruncatedBytesAreKept)
{
    // A lead byte at the end, a lead byte before a control character, 0xFF, and
    // a four-byte sequence cut short.
    const QByteArray Damaged = Bytes({'A', 0xC4, 0x0A, 0xFF, 'B', 0x81, 0x30, 0x81, 'C', 0xD6});
    const QString Text = Cp936::Decode(Damaged);
    EXPECT_EQ(Text[1], QChar(0xF7C4));
    EXPECT_EQ(Text[2], QLatin1Char('\n'));
    EXPECT_EQ(Text.back(), QChar(0xF7D6));
    EXPECT_EQ(Cp936::Encode(Text), Damaged);
    // A lone surrogate is not a character; it becomes '?' rather than garbage.
    EXPECT_EQ(Cp936::Encode(QString(QChar(0xD800)) + QLatin1Char('x')), QByteArray("?x"));
}

TEST(Cp936Codec, WebPagesReferToCharactersTheCodePageLacks)
{
    // Kept as bytes: the code page's own characters, the euro sign, markup and
    // bytes of damaged input. Referred to: everything the code page lacks.
    const QString Text = QString::fromUtf8("\xE4\xBB\xB7\xE2\x82\xAC<&> \xF0\x9F\x98\x80\xED\x95\x9C\xC3\xB1\xF0\xA0\x80\x80")
        + QChar(0xF7C4);
    EXPECT_EQ(Cp936::EncodeHtml(Text), Bytes({0xBC, 0xDB, 0x80}) + "<&> &#128512;&#54620;&#241;&#131072;" + Bytes({0xC4}));
    EXPECT_EQ(Cp936::EncodeHtmlAscii(Text), QByteArray("&#20215;&#8364;<&> &#128512;&#54620;&#241;&#131072;") + Bytes({0xC4}));
    EXPECT_EQ(Cp936::EncodeHtml(QString(QChar(0xD800))), QByteArray("?"));
    // A damaged byte stays unless the text after it would join it into another
    // character (a letter, a character of the page's code page).
    const QString Lone = QString(QChar(0xF781));
    EXPECT_EQ(Cp936::EncodeHtml(Lone + QStringLiteral("<b>")), Bytes({0x81}) + "<b>");
    EXPECT_EQ(Cp936::EncodeHtml(Lone + QStringLiteral("A") + Lone + QString::fromUtf8("\xE4\xBB\xB7")),
              QByteArray("?A?") + Bytes({0xBC, 0xDB}));
    EXPECT_EQ(Cp936::EncodeHtmlAscii(Lone + QStringLiteral("A")), Bytes({0x81}) + "A");

    // Every BMP character, one a line, read back by python's own code page
    // decoder (which lacks only the euro sign) with the references resolved
    // (as HTML resolves them: C1 controls and non-characters are left out).
    QString All;
    for (int C = 0xA0; C < 0x10000; ++C)
        if ((C < 0xD800 || C > 0xDFFF) && (C < 0xF780 || C > 0xF7FF) && (C < 0xFDD0 || C > 0xFDEF) && C < 0xFFFE
            && C != 0x20AC)
            All.append(QChar(char16_t(C))).append(QLatin1Char('\n'));
    const QByteArray Enc = Cp936::EncodeHtml(All);
    TestSupport::TempDir Dir;
    TestSupport::WriteAll(Dir.File(QStringLiteral("page.htm")), Enc);
    QByteArray Read;
    ASSERT_EQ(TestSupport::RunProgram(QStringLiteral("/usr/bin/python3"),
                                      {QStringLiteral("-c"),
                                       QStringLiteral("import sys, html; b = open(sys.argv[1], 'rb').read(); "
                                                      "sys.stdout.buffer.write(html.unescape(b.decode('gbk')).encode('utf-8'))"),
                                       Dir.File(QStringLiteral("page.htm"))},
                                      &Read),
              0)
        << Read.left(300).constData();
    EXPECT_TRUE(QString::fromUtf8(Read) == All);
}

TEST(Utf8Validator, StrictAndAcrossPieces)
{
    // Whole and cut at every place, each sequence is judged the same.
    const struct {
        QByteArray Bytes;
        bool Utf8;
        bool NonAscii;
    } Cases[] = {
        {QByteArray("plain, ascii\r\n"), true, false},
        {QStringLiteral("名称,价格 €½ 𠀀").toUtf8(), true, true},
        {Bytes({0xEF, 0xBB, 0xBF, 'a'}), true, true},
        {Bytes({0xC3}), false, true},                     // cut short at the end
        {Bytes({0xC0, 0x80}), false, true},               // overlong forms
        {Bytes({0xE0, 0x80, 0x80}), false, true},
        {Bytes({0xF0, 0x8F, 0xBF, 0xBF}), false, true},
        {Bytes({0xED, 0xA0, 0x80}), false, true},         // a surrogate
        {Bytes({0xED, 0x9F, 0xBF}), true, true},          // U+D7FF
        {Bytes({0xF4, 0x8F, 0xBF, 0xBF}), true, true},    // U+10FFFF
        {Bytes({0xF4, 0x90, 0x80, 0x80}), false, true},   // beyond it
        {Bytes({0xF5, 0x80, 0x80, 0x80}), false, true},
        {Bytes({'a', 0x80, 'b'}), false, true},           // a continuation byte alone
        {Bytes({0xD6, 0xD0, 0xCE, 0xC4}), false, true},   // code page 936: 中文
        {Bytes({0xE4, 0xB8, 'x'}), false, true},
    };
    for (const auto &C : Cases)
        for (qsizetype Cut = 0; Cut <= C.Bytes.size(); ++Cut) {
            Utf8::TValidator V;
            V.Feed(C.Bytes.constData(), Cut);
            V.Feed(C.Bytes.constData() + Cut, C.Bytes.size() - Cut);
            EXPECT_EQ(V.Complete(), C.Utf8) << C.Bytes.toHex().constData() << " cut at " << Cut;
            if (C.Utf8) {
                EXPECT_EQ(V.NonAscii(), C.NonAscii) << C.Bytes.toHex().constData();
            }
        }
}

} // namespace
