#pragma once
// The mini-HTML renderer of cell texts: draws (or only measures) a text in
// the grid's small markup on a canvas inside a rectangle, reports its size,
// the link under a point and the cell control under it. Nothing outlives a
// call: the text is read afresh each time, in two passes per line (measure,
// then paint).
//
// Tags: A HREF, B, BR, BLINK, BODY BACKGROUND/BGCOLOR, CONTROL, E, FONT
// FACE/COLOR/BGCOLOR/SIZE, HI, HR, I, IND x, IMG SRC/ALT/WIDTH/HEIGHT/ALIGN, LI,
// P ALIGN/INDENT/BGCOLOR, R ANGLE, S, SHAD, SUB, SUP, U, UL, Z and their end tags.
// Entities in text: &amp; &lt; &gt; &nbsp; &quot; &sect; &permil; &reg; &copy;
// &para; &trade; &euro; become their characters, once, so "&amp;lt;" shows
// "&lt;" and a decoded "<" never opens a tag. Text is drawn without prefix
// processing, so a bare "&" stays as it is.
//
// Damaged markup is safe: an unclosed "<" or quote ends at the end of the
// text, unknown tags are skipped, and word wrap always moves forward (a piece
// wider than the rectangle is split between characters).

#include "grid/GridUtil.h"
#include "platform/graphics/Graphics.h"

#include <QString>

class TImageList;
class TPictureContainer;
class THTMLPictureCache;

// What one HTMLDrawEx call reports besides its result.
struct THTMLDrawResult {
    QString AnchorVal;      // anchor at the point; "ctrl" for a cell control
    int LinkIndex = 0;      // number of that link (links count from 1), 0 for none
    TRect LinkRect;         // its rectangle (a control's rectangle for a control)
    QString CtrlID, CtrlType, CtrlValue;
    int XSize = 0;          // widest line
    int YSize = 0;          // all lines
    int HyperLinks = 0;     // links in the text
    bool MouseInAnchor = false;
};

// Returns true when CheckAnchor is set and (XPos, YPos) lies on a link or a
// cell control. Calc only measures (no hit-test, nothing drawn); CheckAnchor
// lays the text out and hit-tests without drawing. FocusLink and HoverLink are
// link numbers (0: none). Print leaves links uncoloured and draws no hover or
// focus. BlinkOn is the phase of the caller's blinking (false: the BLINK text
// takes the background colour). ResFactor scales pictures (1: their size).
bool HTMLDrawEx(TCanvas *Canvas, const QString &Text, const TRect &R, TImageList *Images,
                TPictureContainer *Pictures, THTMLPictureCache *Cache, int XPos, int YPos, bool CheckAnchor,
                int FocusLink, int HoverLink, TColor HoverColor, TColor HoverFontColor, bool HoverUnderline,
                TColor URLColor, TColor ShadowColor, int ShadowOffset, bool BlinkOn, bool Calc, bool Print,
                bool WordWrap, bool EndEllipsis, double ResFactor, THTMLDrawResult &Result);

// A short form for measuring: the size of Text laid out in R.
TSize HTMLTextSize(TCanvas *Canvas, const QString &Text, const TRect &R, bool WordWrap);

// Each <BR> and <HR> (any case) becomes CR LF, every run from "<" to the next
// ">" goes, and text after an unclosed "<" is dropped.
QString HTMLStrip(const QString &Text);

// Rewrites the <CONTROL> tag whose ID is ID with VALUE set to Value (written
// with &amp; &quot; &lt; &gt;); false when no control has that ID.
bool SetControlValue(QString &HTMLText, const QString &ID, const QString &Value);
// Reads TYPE (upper-cased), ID, WIDTH and VALUE (entities decoded) of a control tag.
void ParseControlTag(const QString &Tag, QString &Type, QString &ID, QString &Width, QString &Value);

// The small (16 px) or large (32 px) desktop icon of a file or folder at (X, Y);
// Size gets its size (times Factor when Stretch). Draw false only measures.
void DrawShellIcon(TCanvas *Canvas, int X, int Y, TSize &Size, double Factor, bool Stretch, bool Draw,
                   bool LargeIcon, const QString &FileName);
void DrawStretchedBitmap(TCanvas *Canvas, const TRect &R, TBitmap *Bitmap);
bool IsDirectory(const QString &Name);
