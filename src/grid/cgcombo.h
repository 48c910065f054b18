#pragma once
// A combo box that can draw itself flat, with a frame that lights up while
// the mouse is over it or it has the focus. The grid's combo editors derive
// from it.

#include "platform/core/Types.h"
#include "platform/graphics/Graphics.h"

#include <QComboBox>

#include <functional>

enum TComboBoxStyle { csDropDown, csSimple, csDropDownList, csOwnerDrawFixed, csOwnerDrawVariable };

class TCGCustomCombo : public QComboBox, public TObject {
    Q_OBJECT
public:
    explicit TCGCustomCombo(QWidget *Parent = nullptr);

    bool AutoFocus = false;
    bool Flat() const { return FFlat; }
    void SetFlat(bool Value);
    bool Etched() const { return FEtched; }
    void SetEtched(bool Value);
    int ButtonWidth() const { return FButtonWidth; }
    // Only 14 ... 32 is taken.
    void SetButtonWidth(int Value);
    bool FocusBorder() const { return FFocusBorder; }
    void SetFocusBorder(bool Value);
    int DropWidth() const { return FDropWidth; }
    void SetDropWidth(int Value);
    // Draws the button through the style (set by the grid).
    bool Themed = false;
    bool Ctl3D() const { return FCtl3D; }
    bool MouseIn() const { return FMouseIn; }

    TComboBoxStyle Style() const { return FStyle; }
    void SetStyle(TComboBoxStyle Value);
    TColor Color() const { return FColor; }
    void SetColor(TColor Value);
    bool ParentColor() const { return FParentColor; }
    void SetParentColor(bool Value);
    int DropDownCount() const { return maxVisibleItems(); }
    void SetDropDownCount(int Value) { setMaxVisibleItems(std::max(Value, 1)); }
    int ItemIndex() const { return currentIndex(); }
    void SetItemIndex(int Value) { setCurrentIndex(Value); }
    int ItemHeight() const;
    QString Text() const { return currentText(); }
    void SetText(const QString &Value);
    int MaxLength() const { return FMaxLength; }
    void SetMaxLength(int Value);
    bool DroppedDown() const { return FDroppedDown; }
    void SetDroppedDown(bool Value);

    // True while the frame is lit: the mouse is over the control or it has the focus.
    bool Active() const;
    // Paints the flat frame and button onto a canvas of the control's size.
    void PaintFlat(TCanvas *Canvas);

    std::function<void(TObject *Sender)> OnChange;
    std::function<void(TObject *Sender)> OnDropDown;
    std::function<void(TObject *Sender)> OnCloseUp;

    void showPopup() override;
    void hidePopup() override;

protected:
    void paintEvent(QPaintEvent *Event) override;
    void enterEvent(QEnterEvent *Event) override;
    void leaveEvent(QEvent *Event) override;
    void focusInEvent(QFocusEvent *Event) override;
    void focusOutEvent(QFocusEvent *Event) override;
    void changeEvent(QEvent *Event) override;
    void ApplyColor();
    TColor ParentBrushColor() const;

private:
    void InvalidateButton();
    bool FFlat = true;
    bool FEtched = false;
    TColor FSavedColor = clWindow;
    bool FSavedParentColor = false;
    int FButtonWidth = 0;
    bool FFocusBorder = false;
    bool FMouseIn = false;
    int FDropWidth = 0;
    bool FCtl3D = false;
    TComboBoxStyle FStyle = csDropDown;
    TColor FColor = clWindow;
    bool FParentColor = false;
    int FMaxLength = 0;
    bool FDroppedDown = false;
};

class TCGComboBox : public TCGCustomCombo {
    Q_OBJECT
public:
    using TCGCustomCombo::TCGCustomCombo;
};

// The Unicode twins TCGUniCustomCombo and TCGUniComboBox are in CgUni.h.
