#include "grid/CGEdit.h"

#include "grid/GridObj.h"
#include "platform/services/Application.h"

#include <QApplication>
#include <QFontMetrics>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>

#include <algorithm>

// =================================================================== TGridSpeedButton

TGridSpeedButton::TGridSpeedButton(QWidget *Parent) : QAbstractButton(Parent), FGlyph(std::make_unique<TBitmap>())
{
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_Hover);
}

void TGridSpeedButton::SetIsWinXP(bool Value)
{
    FIsWinXP = Value;
    update();
}

void TGridSpeedButton::SetFlat(bool Value)
{
    FFlat = Value;
    update();
}

void TGridSpeedButton::SetGlyph(const TBitmap *Value)
{
    if (Value)
        FGlyph->Assign(Value);
    else
        FGlyph = std::make_unique<TBitmap>();
    update();
}

void TGridSpeedButton::PaintTo(TCanvas *Canvas)
{
    const bool Pressed = isDown();
    TRect R(0, 0, width(), height());
    bool Drawn = false;
    if (FIsWinXP) {
        const unsigned State = Pressed ? unsigned(GridXPVS::tsPressed) : unsigned(FHot ? GridXPVS::tsHot : GridXPVS::tsNormal);
        Drawn = GridXPVS::DrawThemeBackground(Canvas, GridXPVS::tpButton, State, R);
    }
    if (!Drawn) {
        Canvas->Brush()->SetColor(clBtnFace);
        Canvas->FillRect(R);
        if (FFlat)
            DrawEdge(Canvas, R, Pressed ? BDR_SUNKENOUTER : BDR_RAISEDINNER, BF_RECT);
        else
            DrawFrameControl(Canvas, R, DFC_BUTTON, DFCS_BUTTONPUSH | (Pressed ? unsigned(DFCS_PUSHED) : 0u));
    }
    const int Shift = Pressed ? 1 : 0;
    if (!FGlyph->Empty()) {
        const int GW = FGlyph->Width() / std::max(NumGlyphs, 1);
        const int GH = FGlyph->Height();
        const int X = (width() - GW) / 2 + Shift;
        const int Y = (height() - GH) / 2 + Shift;
        Canvas->Draw(X, Y, FGlyph.get());
    }
    if (!text().isEmpty()) {
        Canvas->Font()->AssignQFont(font());
        Canvas->Font()->SetColor(isEnabled() ? clBtnText : clGrayText);
        SetBkMode(Canvas, TRANSPARENT);
        Canvas->TextOut(2 + Shift, 2 + Shift, text());
    }
}

void TGridSpeedButton::paintEvent(QPaintEvent *Event)
{
    Q_UNUSED(Event);
    QPainter Painter(this);
    TCanvas Canvas(&Painter);
    PaintTo(&Canvas);
}

void TGridSpeedButton::enterEvent(QEnterEvent *Event)
{
    QAbstractButton::enterEvent(Event);
    FHot = true;
    update();
}

void TGridSpeedButton::leaveEvent(QEvent *Event)
{
    QAbstractButton::leaveEvent(Event);
    FHot = false;
    update();
}

// =================================================================== TCgEditButton

TCgEditButton::TCgEditButton(QWidget *Parent) : QWidget(Parent), FButton(new TGridSpeedButton(this))
{
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    resize(20, 25);
    FButton->setGeometry(0, 0, width(), height());
    FButton->show();
    connect(FButton, &QAbstractButton::released, this, Guarded([this]() {
        if (FButton->underMouse() || !FButton->isDown())
            Released();
    }));
}

void TCgEditButton::Released()
{
    if (OnClick)
        OnClick(this);
    if (FFocusControl && FFocusControl->isEnabled() && FFocusControl->isVisible() && !FFocusControl->hasFocus())
        FFocusControl->setFocus();
    else if (!FFocusControl && focusPolicy() != Qt::NoFocus && !hasFocus())
        setFocus();
}

void TCgEditButton::SetBounds(int ALeft, int ATop, int AWidth, int AHeight)
{
    setGeometry(ALeft, ATop, std::max(AWidth, 15), AHeight);
}

void TCgEditButton::resizeEvent(QResizeEvent *Event)
{
    QWidget::resizeEvent(Event);
    if (width() < 15)
        resize(15, height());
    FButton->setGeometry(0, 0, width(), height());
}

void TCgEditButton::focusInEvent(QFocusEvent *Event)
{
    QWidget::focusInEvent(Event);
    if (OnEnter)
        OnEnter(this);
}

void TCgEditButton::focusOutEvent(QFocusEvent *Event)
{
    QWidget::focusOutEvent(Event);
    if (OnExit)
        OnExit(this);
}

// =================================================================== TCgEditBtn

TCgEditBtn::TCgEditBtn(QWidget *Parent) : QLineEdit(Parent), FButton(new TCgEditButton(this))
{
    FButton->setGeometry(0, 0, 18, 18);
    FButton->SetFocusControl(this);
    FButton->OnClick = [this](TObject *) { ClickButton(); };
    FButton->show();
    setText(QStringLiteral("0"));
    FRecreateCount = 0;
    RecreateWnd();
}

TCgEditBtn::~TCgEditBtn() = default;

void TCgEditBtn::ClickButton()
{
    if (OnClickBtn)
        OnClickBtn(this);
}

void TCgEditBtn::SetButtonWidth(int Value)
{
    FButtonWidth = Value;
    FButton->SetBounds(FButton->x(), FButton->y(), Value, FButton->height());
    PlaceButton();
}

void TCgEditBtn::SetIsWinXP(bool Value)
{
    FIsWinXP = Value;
    FButton->SpeedButton()->SetIsWinXP(Value);
}

void TCgEditBtn::SetRightAlign(bool Value)
{
    if (FRightAlign == Value)
        return;
    FRightAlign = Value;
    RecreateWnd();
}

void TCgEditBtn::SetBorderStyle(bool Value)
{
    if (hasFrame() == Value)
        return;
    setFrame(Value);
    RecreateWnd();
}

void TCgEditBtn::SetUnitSpaceValue(int Value)
{
    FUnitSpace = Value;
    UpdateEditRect();
    update();
}

void TCgEditBtn::RecreateWnd()
{
    ++FRecreateCount;
    setAlignment((FRightAlign ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
    PlaceButton();
}

TRect TCgEditBtn::EditRect() const
{
    const int Inset = hasFrame() ? 1 : 2;
    return TRect(Inset, Inset, width() - FButton->width() - 3 - FUnitSpace, height() + 1);
}

void TCgEditBtn::UpdateEditRect()
{
    const TRect R = EditRect();
    // The edit draws its own frame inside the margins, so only what lies
    // beyond the frame is given as margin.
    const int Frame = hasFrame() ? 2 : 0;
    setTextMargins(std::max(R.Left - Frame, 0), 0, std::max(width() - R.Right - Frame, 0), 0);
}

int TCgEditBtn::MinHeight() const
{
    const int S = QFontMetrics(QApplication::font()).height();
    const int F = QFontMetrics(font()).height();
    return F + std::min(S, F) / 4;
}

void TCgEditBtn::PlaceButton()
{
    const int Top = hasFrame() ? 1 : 0;
    const int Inner = height() - 2 * Top;
    FButton->SetBounds(width() - FButton->width() - Top, Top, FButton->width(), std::max(Inner, 0));
    UpdateEditRect();
}

void TCgEditBtn::resizeEvent(QResizeEvent *Event)
{
    QLineEdit::resizeEvent(Event);
    const int Min = MinHeight();
    if (height() < Min) {
        resize(width(), Min);
        return;
    }
    PlaceButton();
}

void TCgEditBtn::keyPressEvent(QKeyEvent *Event)
{
    if (!FTextInput && (Event->matches(QKeySequence::Cut) || Event->matches(QKeySequence::Paste)
                        || (!Event->text().isEmpty() && Event->text().at(0).unicode() >= 32
                            && !(Event->modifiers() & Qt::ControlModifier))
                        || Event->key() == Qt::Key_Backspace || Event->key() == Qt::Key_Delete)) {
        Event->accept();
        return;
    }
    QLineEdit::keyPressEvent(Event);
    if (Event->key() == Qt::Key_F4)
        ClickButton();
}

void TCgEditBtn::inputMethodEvent(QInputMethodEvent *Event)
{
    if (!FTextInput) {
        Event->accept();
        return;
    }
    QLineEdit::inputMethodEvent(Event);
}

void TCgEditBtn::contextMenuEvent(QContextMenuEvent *Event)
{
    // Without text input the edit's own menu would offer cut and paste.
    if (!FTextInput) {
        Event->accept();
        return;
    }
    QLineEdit::contextMenuEvent(Event);
}

void TCgEditBtn::focusInEvent(QFocusEvent *Event)
{
    QLineEdit::focusInEvent(Event);
    if (AutoSelect && !(QApplication::mouseButtons() & Qt::LeftButton))
        selectAll();
}

void TCgEditBtn::paintEvent(QPaintEvent *Event)
{
    QLineEdit::paintEvent(Event);
    QPainter Painter(this);
    TCanvas Canvas(&Painter);
    PaintExtra(&Canvas);
}

void TCgEditBtn::PaintExtra(TCanvas *Canvas)
{
    Q_UNUSED(Canvas);
}

// =================================================================== TCgUnitEditBtn

TCgUnitEditBtn::TCgUnitEditBtn(QWidget *Parent) : TCgEditBtn(Parent), FUnits(std::make_unique<TStringList>())
{
    SetUnitSpace(20);
    SetRightAlign(true);
}

TCgUnitEditBtn::~TCgUnitEditBtn() = default;

void TCgUnitEditBtn::SetUnitID(const QString &Value)
{
    FUnitID = Value;
    update();
}

void TCgUnitEditBtn::SetUnits(const TStringList *Value)
{
    if (Value)
        FUnits->Assign(*Value);
}

void TCgUnitEditBtn::ClickButton()
{
    delete FMenu;
    FMenu = new QMenu(this);
    for (int I = 0; I < FUnits->Count(); ++I) {
        QAction *A = FMenu->addAction(FUnits->Strings(I));
        const int Id = I + 1;
        A->setData(Id);
        connect(A, &QAction::triggered, this, Guarded([this, Id]() {
            if (Id - 1 < FUnits->Count())
                SetUnitID(FUnits->Strings(Id - 1));
        }));
    }
    FMenu->popup(mapToGlobal(QPoint(width() - 15, height())));
}

void TCgUnitEditBtn::PaintExtra(TCanvas *Canvas)
{
    const int Left = width() - ButtonWidth() - 3 - UnitSpace();
    TRect R(Left, 2, Left + UnitSpace(), height());
    Canvas->Font()->AssignQFont(font());
    Canvas->Font()->SetColor(clWindowText);
    SetBkMode(Canvas, TRANSPARENT);
    DrawText(Canvas, FUnitID, R, DT_EDITCONTROL);
}
