#pragma once
// The page's effects: background picture {背景图片}, background music
// {背景音乐} and visual effect {视觉效果}, three lines of the page header that
// the page output turns into page effects. No widgets: the web-effects dialog
// shows and edits what this reads and writes, and previews it. The effects'
// own texts are read here for every reader: the page output writes them into
// the page, the picture renderer plays its own copy of them.
//
// Only header lines (before "{detail}") that begin with a key are effect
// lines; a product's text holding the same words is never touched.

#include <QString>
#include <QList>
#include <QPair>
#include <QStringList>

namespace WebEffects {

extern const QString BackgroundKey;   // "{背景图片}="
extern const QString MusicKey;        // "{背景音乐}="
extern const QString EffectKey;       // "{视觉效果}="
extern const QString NoEffect;        // "无效果"
constexpr int MaxPathLength = 256;

struct TEffects {
    QString Background;   // full path, "" for none
    QString Music;        // full path, "" for none
    QString Effect;       // effect folder name, "" for none
};

// The stored values of a page text, paths made absolute: a relative one lies in
// the page folder when that file exists there, else in the program folder.
TEffects Read(const QStringList &Lines, const QString &PageFolder, const QString &ProgramFolder);
QString AbsolutePath(const QString &Stored, const QString &PageFolder, const QString &ProgramFolder);

// The text a path is stored as: relative to the page folder when it lies inside
// it (whole path components), else relative to the program folder when inside
// that, else as it is; relative paths use "\" as separator. Error is set (and ""
// returned) when the stored text would exceed MaxPathLength characters.
QString StoredPath(const QString &Path, const QString &PageFolder, const QString &ProgramFolder, QString &Error);

// Replaces the effect lines of the header: the old ones go, the new ones stand
// as lines 5, 6, 7 (effect, music, background), before the header's end when it
// is shorter. An effect of "" or NoEffect writes no effect line. False (Lines
// unchanged) with Error set when a path is refused.
bool Apply(QStringList &Lines, const TEffects &Effects, const QString &PageFolder, const QString &ProgramFolder,
           QString &Error);

// The effect folders below css/ of the program folder, by name; names holding ".." are left out.
QStringList EffectNames(const QString &ProgramFolder);
// The whole text of css/<effect>/<effect>head.txt (Part "head") or body.txt
// ("body"), lines joined by CR LF; "" when missing or when the name is not
// one plain folder name.
QString LoadEffectText(const QString &ProgramFolder, const QString &Effect, const QString &Part);
// The lines of 视觉效果.txt ("name=description") and the description of one effect
// ("”简介“没有找到" when it has none); at most 128 characters.
QStringList LoadDescriptions(const QString &ProgramFolder);
QString Description(const QStringList &Descriptions, const QString &Effect);

// The preview page: background, music and effect as a page would show them,
// values escaped in the markup. Head and Body are the effect's fragments.
// Links: address and text of the two link paragraphs at its end.
QStringList PreviewLines(const TEffects &Effects, const QString &Head, const QString &Body,
                         const QList<QPair<QString, QString>> &Links);

} // namespace WebEffects
