#include "grid/cgcombo.h"

#include "grid/GridObj.h"
#include "platform/services/Application.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QEnterEvent>
#include <QLineEdit>
#include <QPainter>
#include <QStyle>

TCGCustomCombo::TCGCustomCombo(QWidget *Parent) : QComboBox(Parent)
{
    FButtonWidth = style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 4;
    setMaxVisibleItems(8);
    setMouseTracking(true);
    SetStyle(csDropDown);
    FCtl3D = !FFlat;
    connect(this, &QComboBox::currentTextChanged, this, Guarded([this]() {
        if (OnChange)
            OnChange(this);
    }));
}

void TCGCustomCombo::SetFlat(bool Value)
{
    if (Value == FFlat)
        return;
    FFlat = Value;
    FCtl3D = !Value;
    update();
}

void TCGCustomCombo::SetEtched(bool Value)
{
    if (Value == FEtched)
        return;
    FEtched = Value;
    update();
}

void TCGCustomCombo::SetButtonWidth(int Value)
{
    if (Value < 14 || Value > 32)
        return;
    FButtonWidth = Value;
    update();
}

void TCGCustomCombo::SetFocusBorder(bool Value)
{
    FFocusBorder = Value;
    update();
}

void TCGCustomCombo::SetDropWidth(int Value)
{
    FDropWidth = Value;
    if (Value > 0)
        view()->setMinimumWidth(Value);
}

void TCGCustomCombo::SetStyle(TComboBoxStyle Value)
{
    FStyle = Value;
    const bool Editable = Value == csDropDown || Value == csSimple;
    if (isEditable() != Editable)
        setEditable(Editable);
    if (Editable && FMaxLength > 0)
        lineEdit()->setMaxLength(FMaxLength);
    update();
}

void TCGCustomCombo::SetMaxLength(int Value)
{
    FMaxLength = std::max(Value, 0);
    if (lineEdit())
        lineEdit()->setMaxLength(FMaxLength > 0 ? FMaxLength : 32767);
}

void TCGCustomCombo::SetText(const QString &Value)
{
    if (isEditable()) {
        setEditText(Value);
        return;
    }
    const int I = findText(Value, Qt::MatchFixedString);
    if (I >= 0)
        setCurrentIndex(I);
}

int TCGCustomCombo::ItemHeight() const
{
    return fontMetrics().height() + 2;
}

void TCGCustomCombo::SetDroppedDown(bool Value)
{
    if (Value == FDroppedDown)
        return;
    if (Value)
        showPopup();
    else
        hidePopup();
}

void TCGCustomCombo::showPopup()
{
    FDroppedDown = true;
    if (OnDropDown)
        OnDropDown(this);
    QComboBox::showPopup();
    InvalidateButton();
}

void TCGCustomCombo::hidePopup()
{
    QComboBox::hidePopup();
    const bool Was = FDroppedDown;
    FDroppedDown = false;
    InvalidateButton();
    if (Was && OnCloseUp)
        OnCloseUp(this);
}

void TCGCustomCombo::InvalidateButton()
{
    update(QRect(width() - FButtonWidth, 0, FButtonWidth, height()));
}

// ------------------------------------------------------------------ colours

TColor TCGCustomCombo::ParentBrushColor() const
{
    if (const QWidget *P = parentWidget())
        return QColorToTColor(P->palette().color(P->backgroundRole()));
    return ColorToRGB(clBtnFace);
}

void TCGCustomCombo::ApplyColor()
{
    QPalette Pal = palette();
    const QColor C = TColorToQColor(FColor);
    Pal.setColor(QPalette::Base, C);
    Pal.setColor(QPalette::Button, C);
    setPalette(Pal);
    if (lineEdit())
        lineEdit()->setPalette(Pal);
    update();
}

void TCGCustomCombo::SetColor(TColor Value)
{
    FColor = Value;
    FParentColor = false;
    ApplyColor();
}

void TCGCustomCombo::SetParentColor(bool Value)
{
    FParentColor = Value;
    if (Value) {
        FColor = ParentBrushColor();
        ApplyColor();
    }
}

void TCGCustomCombo::changeEvent(QEvent *Event)
{
    QComboBox::changeEvent(Event);
    if (Event->type() != QEvent::EnabledChange || !FFlat)
        return;
    if (isEnabled()) {
        // Back to the colour the control had before it was disabled.
        SetColor(FSavedColor);
        FParentColor = FSavedParentColor;
    } else {
        FSavedColor = FColor;
        FSavedParentColor = FParentColor;
        SetParentColor(true);
    }
}

// ------------------------------------------------------------------ mouse and focus

void TCGCustomCombo::enterEvent(QEnterEvent *Event)
{
    QComboBox::enterEvent(Event);
    if (!FMouseIn && isEnabled()) {
        FMouseIn = true;
        update();
        if (AutoFocus)
            setFocus();
    }
}

void TCGCustomCombo::leaveEvent(QEvent *Event)
{
    QComboBox::leaveEvent(Event);
    if (FMouseIn && isEnabled()) {
        FMouseIn = false;
        update();
    }
}

void TCGCustomCombo::focusInEvent(QFocusEvent *Event)
{
    QComboBox::focusInEvent(Event);
    update();
}

void TCGCustomCombo::focusOutEvent(QFocusEvent *Event)
{
    QComboBox::focusOutEvent(Event);
    update();
}

bool TCGCustomCombo::Active() const
{
    const QWidget *Focused = QApplication::focusWidget();
    return FMouseIn || Focused == this || (Focused && isAncestorOf(Focused));
}

// ------------------------------------------------------------------ painting

void TCGCustomCombo::PaintFlat(TCanvas *Canvas)
{
    const int CW = width(), CH = height();
    const bool IsActive = Active();
    const bool Highlighted = IsActive && FFocusBorder;

    // The outer frame.
    TRect R(0, 0, CW, CH);
    if (Highlighted) {
        DrawEdge(Canvas, R, BDR_SUNKENOUTER, BF_RECT | BF_ADJUST);
        Canvas->Brush()->SetColor(clBtnFace);
        Canvas->FrameRect(R);
        InflateRect(R, -1, -1);
        Canvas->Brush()->SetColor(FColor);
        Canvas->FrameRect(R);
    } else {
        Canvas->Brush()->SetColor(ParentBrushColor());
        Canvas->FrameRect(R);
        InflateRect(R, -1, -1);
        Canvas->FrameRect(R);
        InflateRect(R, -1, -1);
        Canvas->Brush()->SetColor(FColor);
        Canvas->FrameRect(R);
    }
    if (FStyle == csSimple)
        return;

    // The button's frame.
    TRect B(CW - FButtonWidth - 2, 0, CW, CH);
    InflateRect(B, -2, -2);
    if (IsActive) {
        DrawEdge(Canvas, B, FEtched ? EDGE_ETCHED : EDGE_RAISED, BF_RECT | (FDroppedDown ? unsigned(BF_FLAT) : 0u));
    } else {
        Canvas->Brush()->SetColor(clBtnFace);
        Canvas->FillRect(TRect(B.Left, B.Top + 1, B.Right, B.Bottom - 1));
    }

    // The button itself, inside the frame.
    const TRect Interior(CW - FButtonWidth + 4, 4, CW - 4, CH - 4);
    Canvas->IntersectClipRect(Interior);
    TRect Btn(CW - FButtonWidth, 0, CW, CH);
    InflateRect(Btn, -1, -1);
    bool Drawn = false;
    if (Themed) {
        const bool Down = QApplication::mouseButtons() & (Qt::LeftButton | Qt::RightButton);
        Drawn = GridXPVS::DrawThemeBackground(Canvas, GridXPVS::tpComboButton,
                                              unsigned(Down && underMouse() ? GridXPVS::tsPressed : GridXPVS::tsNormal), Btn);
    }
    if (!Drawn)
        DrawFrameControl(Canvas, Btn, DFC_SCROLL, DFCS_SCROLLCOMBOBOX | DFCS_FLAT);
    Canvas->SelectClipRect(nullptr);
}

void TCGCustomCombo::paintEvent(QPaintEvent *Event)
{
    QComboBox::paintEvent(Event);
    if (!FFlat)
        return;
    QPainter Painter(this);
    TCanvas Canvas(&Painter);
    PaintFlat(&Canvas);
}
