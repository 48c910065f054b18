#pragma once
// Small objects the grid owns or streams: the arrow windows shown while a
// column or row is dragged, integer lists with change notification, a picture
// given by file name, the popup button of size hints, the cell-check component
// interface, and the theme facade used for themed drawing.

#include "platform/core/Types.h"
#include "platform/graphics/Graphics.h"

#include <QWidget>

#include <functional>
#include <vector>

// A small always-on-top arrow (0 up, 1 down, 2 right, 3 left), lime green,
// shaped by a 7-point polygon; starts hidden.
class TArrowWindow : public QWidget {
    Q_OBJECT
public:
    TArrowWindow(QWidget *AOwner, int ADirection);
    int Direction() const { return FDirection; }
    // The outline of an arrow of the given direction, in pixels.
    static std::vector<TPoint> ArrowPoints(int ADirection);
    TColor Color() const { return clLime; }

protected:
    void paintEvent(QPaintEvent *Event) override;

private:
    int FDirection;
};

// A list of integers; changes through item set, Add and Delete (not Insert)
// fire OnChange with the two integers given at construction.
class TIntList : public TObject {
public:
    TIntList(int AParam1, int AParam2) : FParam1(AParam1), FParam2(AParam2) {}

    int Count() const { return int(FItems.size()); }
    int Items(int Index) const;                 // EListError outside the list
    void SetItems(int Index, int Value);
    int Add(int Value);
    void Delete(int Index);
    void Insert(int Index, int Value);
    void Clear() { FItems.clear(); }
    QString CommaText() const;
    void SetCommaText(const QString &Value);   // EConvertError for an element that is no integer

    std::function<void(TObject *Sender, int Param1, int Param2)> OnChange;

protected:
    void Changed();

private:
    std::vector<int> FItems;
    int FParam1;
    int FParam2;
};

// Items are column numbers in bits 0..30 with bit 31 set for a descending column.
class TSortIndexList : public TIntList {
public:
    TSortIndexList() : TIntList(0, 0) {}
    void AddIndex(int Column, bool Ascending);
    int FindIndex(int Column) const;
    void ToggleIndex(int Column);
};

// A picture known by its file name; its size is read when the name is set and
// the file is loaded again for every drawing.
class TFilePicture : public TObject {
public:
    QString Filename() const { return FFilename; }
    // A file that cannot be read leaves the size 0 x 0.
    void SetFilename(const QString &Value);
    int Width() const { return FWidth; }
    int Height() const { return FHeight; }
    void Draw(TCanvas *Canvas, const TRect &R) const;
    void Assign(const TFilePicture &Source);

private:
    QString FFilename;
    int FWidth = 0;
    int FHeight = 0;
};

// A borderless, disabled, always-on-top caption window (size hints).
class TPopupButton : public QWidget {
    Q_OBJECT
public:
    explicit TPopupButton(QWidget *AOwner);
    QString Caption() const { return FCaption; }
    void SetCaption(const QString &Value);
    bool Flat() const { return FFlat; }
    void SetFlat(bool Value);
    // Paints the button onto a canvas of its size (also used by paintEvent).
    void PaintTo(TCanvas *Canvas);

protected:
    void paintEvent(QPaintEvent *Event) override;

private:
    QString FCaption;
    bool FFlat = false;
};

// The interface through which a checker corrects or marks a cell text at the
// end of an edit. This base does nothing; descendants supply the checking.
class TCellGridCheck : public TComponent {
public:
    explicit TCellGridCheck(TComponent *AOwner = nullptr) : TComponent(AOwner) {}
    bool GotoCell = false;
    bool AutoCorrect = false;
    bool AutoMarkError = false;
    bool UseCorrect = false;
    bool UseMarkError = false;
    virtual QString Correct(const QString &Value) { return Value; }
    virtual QString MarkError(const QString &Value) { return Value; }
    virtual void StartCheck() {}
    virtual void StopCheck() {}
};

// Themed drawing through the application style. When the style is not
// available (no application, or switched off) every themed call is skipped
// and the caller draws the classic look.
namespace GridXPVS {
enum TThemePart { tpButton, tpCheckBox, tpRadioButton, tpHeader, tpComboButton, tpEdit };
enum TThemeState : unsigned { tsNormal = 0, tsHot = 1, tsPressed = 2, tsChecked = 4, tsDisabled = 8 };

bool ThemeLibraryLoaded();
bool IsThemeActive();
bool IsAppThemed();
// Test seam and switch: false makes the library count as missing.
void SetThemeLibraryAvailable(bool Value);
// Draws a themed part; false (nothing drawn) when themes are off.
bool DrawThemeBackground(TCanvas *Canvas, TThemePart Part, unsigned State, const TRect &R);
} // namespace GridXPVS
