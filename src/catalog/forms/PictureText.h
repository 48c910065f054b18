#pragma once
// PictureText: texts written onto product pictures. The entries ("x,y,text",
// picture pixels), the placeholders a batch replaces by each product's cells,
// the names of copies, the zoom steps of the viewer, and loading, drawing and
// saving the pictures. No widgets.
//
// A picture is rewritten only as JPEG and only through a temporary file and a
// rename; a GIF or BMP is never overwritten with JPEG bytes (its JPEG goes
// beside it under a name of its own).

#include "platform/graphics/Graphics.h"

#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

namespace PictureText {

// ---- entries ----
struct TEntry {
    int X = 0;
    int Y = 0;
    QString Text;
};
// x and y are the integers before the first and the second ","; the text is the
// rest. A coordinate that is no integer raises the conversion error.
TEntry ParseEntry(const QString &Line);
QString FormatEntry(int X, int Y, const QString &Text);
// The entry with its text part replaced.
QString ReplaceText(const QString &Line, const QString &Text);

// The placeholders a batch entry's whole text may be, with the cell of product n
// (column, row) they stand for; false for any other text.
extern const QStringList Placeholders;
bool PlaceholderCell(const QString &Text, int N, int &ACol, int &ARow);

// A picture position from a point of the shown picture (relative to its left
// top) when the picture of size Picture is shown at size Shown.
QPoint PicturePoint(const QPoint &Shown, const QSize &ShownSize, const QSize &Picture);
// A position scaled from the viewer's picture to another picture (relative placement).
QPoint Relative(const QPoint &At, const QSize &ViewerPicture, const QSize &Picture);

// ---- file names ----
bool IsJpegName(const QString &Path);     // ".jpg" or ".jpeg", any case
// base(k).ext for the first k from 2 whose file does not exist ("a.jpg" -> "a(2).jpg",
// "a" -> "a(2)"); the extension is the one of the file name only.
QString CopyName(const QString &Path);
// Where a save of Path goes: Path itself for a JPEG, else the first free one of
// base.jpg, base(2).jpg ...
QString JpegTargetFor(const QString &Path);

// ---- zoom ----
// The panel after one wheel step: Delta below 1 shrinks it by 2 steps (a tenth of
// its size each), centred on the axes where Client is larger; otherwise it moves
// left and up by a step (when that stays at 0 or more) and grows by 2 steps.
// The size stays within 1/20 and 8 times the picture (at least 8 pixels, at most
// 16000): a step beyond leaves the panel as it is.
QRect Zoom(const QRect &Panel, const QSize &Picture, const QSize &Client, int Delta);
constexpr double MinZoom = 0.05;
constexpr double MaxZoom = 8.0;
constexpr int MaxShown = 16000;

// ---- pictures ----
// The picture of a JPEG, GIF or BMP file as a true-colour bitmap; raises
// EFOpenError (naming the file and the system's reason) when the file cannot
// be opened, EInvalidGraphic when it holds no picture that can be read.
std::unique_ptr<TBitmap> LoadPicture(const QString &FileName);
// Draws Text with a transparent background in Font at (X, Y).
void DrawText(TBitmap &Bitmap, const TFont &Font, int X, int Y, const QString &Text);
// Writes the bitmap as JPEG of the quality through a temporary file beside Path.
void SaveJpeg(const TBitmap &Bitmap, const QString &Path, int Quality = 80);

// One product of a batch: the entries drawn onto the JPEG picture Picture (others
// give false), placed relative to ViewerPicture when Relative, placeholders taken
// from Cell(column, row); saved to a copy (MakeCopy) or over the picture.
// Target is the file written. Over a picture made read-only it raises
// EFCreateError (CheckFileReplaceable) and writes nothing.
bool WriteEntries(const QString &Picture, int N, bool Relative, const QStringList &Entries,
                  const QSize &ViewerPicture, const TFont &Font, bool MakeCopy,
                  const std::function<QString(int, int)> &Cell, QString &Target);

} // namespace PictureText
