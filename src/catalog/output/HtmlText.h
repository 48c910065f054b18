#pragma once
// User text in the web pages the outputs write.
//
// A template puts a value either into the page's text, where it stays as the
// user typed it (users write <br> and <font> on purpose), inside an attribute
// value of a tag (alt="{$PNAME}"), or inside an element whose content is text
// up to its end tag (<title>{$CATA_NAME}</title>, a script, a comment); in the
// last two it is written as plain text: tags removed and the characters that
// could end the value, the tag or the element escaped, so no value can break
// the page. Which placeholder stands where is read from the template once per
// template text.
//
// Every web page the outputs write goes through PageBytes: characters its
// character set cannot hold become numeric character references, so every
// reader (the program's own browser engine, help viewers, mail programs)
// shows them.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <memory>

namespace HtmlText {

// Where a placeholder stands.
enum TPlace : unsigned char {
    plText,        // in the page's text: the value stays as written
    plAttribute,   // inside an attribute value of a tag
    plRawText,     // inside a title, script, style or other raw text element, or a comment
};

// For every template line, the place of each placeholder in the order the
// expansion meets them (a "{" up to the next "}", the scan going on after that
// "}" and ending at a "}" before the next "{"). Read once per template text.
using TAttributePlaces = QList<QList<TPlace>>;
std::shared_ptr<const TAttributePlaces> AttributePlaces(const QStringList &Template);

// A value as it may stand at Place: unchanged in the text, AttributeValue in
// an attribute, RawTextValue in raw text.
QString ValueFor(TPlace Place, const QString &Value);

// A value as it may stand inside an attribute value: tags and comments
// removed, then ", ', <, > and every & that starts no character reference
// escaped.
QString AttributeValue(const QString &Value);

// A value as it may stand inside a raw text element (a title, a script) or a
// comment: tags and comments removed, then <, > and every & that starts no
// character reference escaped. A title shows it as the text the page shows.
QString RawTextValue(const QString &Value);

// The text a value shows, for names made from it (a file name): tags and
// comments removed and character references resolved.
QString PlainText(const QString &Value);

// A relative or absolute file path as the address a page refers to it by:
// the characters that mean something in an address ("%", "#", "?", "\"),
// controls (a tab) and blanks at its ends escaped, so the reference names the
// file whatever its name holds.
QString FileAddress(const QString &Path);

// True when Value shows nothing in a browser: only tags, comments, white
// space and references to white space ("&nbsp;", "&#160;", "&#x20;").
bool ShowsNoText(const QString &Value);

// The bytes of a web page: code page 936 for a Chinese page ("gb2312"), ASCII
// for any other, every character the set lacks as a numeric reference.
QByteArray PageBytes(const QString &Text, bool Chinese);

// Saves Lines (each followed by CR LF) as a web page; replaces an existing
// file only by a complete new one. Raises EFCreateError naming the file.
void SavePage(const QString &FileName, const QStringList &Lines, bool Chinese);

} // namespace HtmlText
