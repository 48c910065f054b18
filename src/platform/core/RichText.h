#pragma once
// Rich text (RTF) documents: a reader of the subset that text cells, pastes and
// page files carry, and a writer of the same subset. The document model has no
// widgets: paragraphs of runs, each run with its character format.
//
// Reading never fails: RTF is untrusted input. Group depth, numbers, table
// sizes and the document's size are bounded, the reader works without
// recursion, and whatever text it finds in damaged RTF is kept. A text that is
// no RTF at all reads as one plain-text document.
//
// Writing uses code page 936: ASCII stays as it is, every other character is
// written as \uN followed by its code page 936 bytes as \'hh (so readers
// without Unicode still show it).

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <vector>

enum class TRtfAlignment { Left, Center, Right, Justify };

struct TRtfCharFormat {
    bool Bold = false;
    bool Italic = false;
    bool Underline = false;
    bool Strike = false;
    QString FontName;        // "" = the default font
    int FontSize = 0;        // half-points; 0 = the default size
    int Color = -1;          // 0x00BBGGRR; -1 = automatic
    int Highlight = -1;      // background, 0x00BBGGRR; -1 = none
    friend bool operator==(const TRtfCharFormat &, const TRtfCharFormat &) = default;
};

struct TRtfRun {
    QString Text;            // "\n" is a line break inside the paragraph, "\t" a tab
    TRtfCharFormat Format;
    friend bool operator==(const TRtfRun &, const TRtfRun &) = default;
};

struct TRtfParagraph {
    TRtfAlignment Alignment = TRtfAlignment::Left;
    int LeftIndent = 0;      // twips
    int RightIndent = 0;
    int FirstIndent = 0;
    std::vector<TRtfRun> Runs;
    QString Text() const;
    friend bool operator==(const TRtfParagraph &, const TRtfParagraph &) = default;
};

struct TRtfDocument {
    std::vector<TRtfParagraph> Paragraphs;
    // Set when the input was damaged (unbalanced groups, no RTF header, limits reached).
    bool Damaged = false;
    // The paragraphs' texts joined by CR LF.
    QString PlainText() const;
};

namespace Rtf {

// Whether Text starts like an RTF document ("{\rtf").
bool IsRtf(const QString &Text);
// Reads RTF held in a string (each character up to U+00FF is one byte of the
// file; characters above it are taken as they are).
TRtfDocument Read(const QString &Text);
TRtfDocument Read(const QByteArray &Bytes);
// Writes a document as RTF (pure ASCII).
QString Write(const TRtfDocument &Doc);
// The plain text of RTF (paragraphs joined by CR LF).
QString PlainText(const QString &Text);
// A document of plain text: one paragraph per line.
TRtfDocument FromPlainText(const QString &Text);

// Limits the reader keeps.
constexpr int MaxGroupDepth = 200;
constexpr int MaxTableEntries = 1024;
constexpr qsizetype MaxInputSize = 16 * 1024 * 1024;

} // namespace Rtf
