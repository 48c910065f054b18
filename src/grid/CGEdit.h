#pragma once
// An edit box with a small push button inside its right edge, and a variant
// that also shows a unit of measure picked from a popup menu. The grid's
// ellipsis and unit editors derive from them.

#include "platform/core/Classes.h"
#include "platform/graphics/Graphics.h"

#include <QAbstractButton>
#include <QLineEdit>
#include <QPointer>

#include <functional>
#include <memory>

class QMenu;

// The speed button of the edit's button window: classic, flat or themed.
class TGridSpeedButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit TGridSpeedButton(QWidget *Parent);
    bool IsWinXP() const { return FIsWinXP; }
    void SetIsWinXP(bool Value);
    bool Flat() const { return FFlat; }
    void SetFlat(bool Value);
    bool Hot() const { return FHot; }
    TBitmap *Glyph() const { return FGlyph.get(); }
    void SetGlyph(const TBitmap *Value);
    int NumGlyphs = 1;
    // Draws the button onto a canvas of the button's size (paintEvent uses it too).
    void PaintTo(TCanvas *Canvas);

protected:
    void paintEvent(QPaintEvent *Event) override;
    void enterEvent(QEnterEvent *Event) override;
    void leaveEvent(QEvent *Event) override;

private:
    bool FIsWinXP = false;
    bool FFlat = false;
    bool FHot = false;
    std::unique_ptr<TBitmap> FGlyph;
};

// The button part: a window of its own holding the speed button.
class TCgEditButton : public QWidget, public TObject {
    Q_OBJECT
public:
    explicit TCgEditButton(QWidget *Parent);
    TGridSpeedButton *SpeedButton() const { return FButton; }
    TBitmap *Glyph() const { return FButton->Glyph(); }
    void SetGlyph(const TBitmap *Value) { FButton->SetGlyph(Value); }
    QString ButtonCaption() const { return FButton->text(); }
    void SetButtonCaption(const QString &Value) { FButton->setText(Value); }
    int NumGlyphs() const { return FButton->NumGlyphs; }
    void SetNumGlyphs(int Value) { FButton->NumGlyphs = Value; }
    QWidget *FocusControl() const { return FFocusControl; }
    void SetFocusControl(QWidget *Value) { FFocusControl = Value; }
    bool Flat() const { return FButton->Flat(); }
    void SetFlat(bool Value) { FButton->SetFlat(Value); }
    // Never narrower than 15 pixels.
    void SetBounds(int ALeft, int ATop, int AWidth, int AHeight);

    std::function<void(TObject *Sender)> OnClick;
    std::function<void(TObject *Sender)> OnEnter;
    std::function<void(TObject *Sender)> OnExit;

protected:
    void resizeEvent(QResizeEvent *Event) override;
    void focusInEvent(QFocusEvent *Event) override;
    void focusOutEvent(QFocusEvent *Event) override;

private:
    void Released();
    TGridSpeedButton *FButton;
    QPointer<QWidget> FFocusControl;
};

class TCgEditBtn : public QLineEdit, public TObject {
    Q_OBJECT
public:
    explicit TCgEditBtn(QWidget *Parent = nullptr);
    ~TCgEditBtn() override;

    TCgEditButton *Button() const { return FButton; }
    QString Text() const { return text(); }
    void SetText(const QString &Value) { setText(Value); }
    int ButtonWidth() const { return FButtonWidth; }
    void SetButtonWidth(int Value);
    TBitmap *Glyph() const { return FButton->Glyph(); }
    void SetGlyph(const TBitmap *Value) { FButton->SetGlyph(Value); }
    QString ButtonCaption() const { return FButton->ButtonCaption(); }
    void SetButtonCaption(const QString &Value) { FButton->SetButtonCaption(Value); }
    bool IsWinXP() const { return FIsWinXP; }
    void SetIsWinXP(bool Value);
    bool RightAlign() const { return FRightAlign; }
    void SetRightAlign(bool Value);
    // False: typed characters, cut and paste are ignored (the button still works).
    bool TextInput() const { return FTextInput; }
    void SetTextInput(bool Value) { FTextInput = Value; }
    bool AutoSelect = true;
    bool BorderStyle() const { return hasFrame(); }
    void SetBorderStyle(bool Value);
    // How often the window was re-created (a style change that needs a new window).
    int RecreateCount() const { return FRecreateCount; }
    // The edit rectangle, in client coordinates.
    TRect EditRect() const;
    // The minimum height the control keeps for its font.
    int MinHeight() const;

    // The button's click: fires OnClickBtn. The target of the button's OnClick.
    virtual void ClickButton();
    std::function<void(TObject *Sender)> OnClickBtn;

protected:
    int UnitSpaceValue() const { return FUnitSpace; }
    void SetUnitSpaceValue(int Value);
    void RecreateWnd();
    void UpdateEditRect();
    void keyPressEvent(QKeyEvent *Event) override;
    void inputMethodEvent(QInputMethodEvent *Event) override;
    void resizeEvent(QResizeEvent *Event) override;
    void focusInEvent(QFocusEvent *Event) override;
    void paintEvent(QPaintEvent *Event) override;
    void contextMenuEvent(QContextMenuEvent *Event) override;
    // Draws whatever the edit shows besides its text (the unit).
    virtual void PaintExtra(TCanvas *Canvas);

private:
    void PlaceButton();
    TCgEditButton *FButton;
    int FUnitSpace = 0;
    bool FRightAlign = false;
    bool FTextInput = true;
    int FButtonWidth = 18;
    bool FIsWinXP = false;
    int FRecreateCount = 0;
};

class TCgUnitEditBtn : public TCgEditBtn {
    Q_OBJECT
public:
    explicit TCgUnitEditBtn(QWidget *Parent = nullptr);
    ~TCgUnitEditBtn() override;
    QString UnitID() const { return FUnitID; }
    void SetUnitID(const QString &Value);
    TStringList *Units() const { return FUnits.get(); }
    void SetUnits(const TStringList *Value);
    int UnitSpace() const { return UnitSpaceValue(); }
    void SetUnitSpace(int Value) { SetUnitSpaceValue(Value); }
    // Opens the unit menu below the button.
    void ClickButton() override;
    // The menu of the last button click (tests choose from it).
    QMenu *UnitMenu() const { return FMenu; }

protected:
    void PaintExtra(TCanvas *Canvas) override;

private:
    QString FUnitID;
    std::unique_ptr<TStringList> FUnits;
    QMenu *FMenu = nullptr;
};
