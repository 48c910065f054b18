#include "grid/cgspin.h"

#include "grid/GridUtil.h"
#include "platform/services/Application.h"

#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>

#include <algorithm>
#include <cmath>

namespace {

constexpr int FirstRepeatDelay = 400;
constexpr int RepeatInterval = 100;

// "h:m" or "h:m:s" with the time separator; the hour 0..23.
bool ReadTimeText(const QString &Text, TDateTime &Value)
{
    const QStringList Parts = Text.trimmed().split(TimeSeparator);
    if (Parts.size() < 2 || Parts.size() > 3)
        return false;
    int H = 0, M = 0, S = 0;
    if (!TryStrToInt(Parts[0], H) || !TryStrToInt(Parts[1], M) || (Parts.size() == 3 && !TryStrToInt(Parts[2], S)))
        return false;
    if (H < 0 || H > 23 || M < 0 || M > 59 || S < 0 || S > 59)
        return false;
    Value = EncodeTime(H, M, S, 0);
    return true;
}

// Which part of a separated text the caret stands in: the number of
// separators before it (a caret right before a separator is still in the part).
int CaretPart(const QString &Text, QChar Separator, int Caret)
{
    int Part = 0;
    for (int I = 0; I < std::min<int>(Caret, Text.size()); ++I)
        if (Text.at(I) == Separator)
            ++Part;
    return std::min(Part, 2);
}

// The field ('y', 'm' or 'd') that stands in each part of the short date format.
QChar DateField(int Part)
{
    return DateOrder(ShortDateFormat).at(std::clamp(Part, 0, 2));
}

} // namespace

// =================================================================== TGridTimerSpeedButton

TGridTimerSpeedButton::TGridTimerSpeedButton(QWidget *Parent) : TGridSpeedButton(Parent) {}

void TGridTimerSpeedButton::mousePressEvent(QMouseEvent *Event)
{
    TGridSpeedButton::mousePressEvent(Event);
    if (Event->button() == Qt::LeftButton && (TimerState & tbAllowTimer) && isDown()) {
        if (!FRepeatTimer) {
            FRepeatTimer = std::make_unique<QTimer>();
            QObject::connect(FRepeatTimer.get(), &QTimer::timeout, this, Guarded([this] { TimerExpired(); }));
        }
        FRepeatTimer->start(FirstRepeatDelay);
    }
}

void TGridTimerSpeedButton::mouseReleaseEvent(QMouseEvent *Event)
{
    if (FRepeatTimer)
        FRepeatTimer->stop();
    TGridSpeedButton::mouseReleaseEvent(Event);
}

void TGridTimerSpeedButton::TimerExpired()
{
    if (FRepeatTimer)
        FRepeatTimer->setInterval(RepeatInterval);
    if (isDown())
        emit clicked(false);
    else if (!isDown() && FRepeatTimer)
        FRepeatTimer->stop();
}

void TGridTimerSpeedButton::paintEvent(QPaintEvent *Event)
{
    Q_UNUSED(Event);
    QPainter Painter(this);
    TCanvas Canvas(&Painter);
    PaintTo(&Canvas);
    if (Glyph()->Empty()) {
        // The arrow of the button's kind, centred, one pixel down and right while pressed.
        static const unsigned Arrows[4] = {DFCS_SCROLLLEFT, DFCS_SCROLLRIGHT, DFCS_SCROLLUP, DFCS_SCROLLDOWN};
        const int Shift = isDown() ? 1 : 0;
        const QPointF C(width() / 2.0 + Shift, height() / 2.0 + Shift);
        const double S = std::max(2.0, std::min(width(), height()) / 4.0);
        QPolygonF Tri;
        switch (Arrows[std::clamp(ArrowKind, 0, 3)]) {
        case DFCS_SCROLLUP: Tri << QPointF(C.x() - S, C.y() + S / 2) << QPointF(C.x() + S, C.y() + S / 2) << QPointF(C.x(), C.y() - S / 2); break;
        case DFCS_SCROLLDOWN: Tri << QPointF(C.x() - S, C.y() - S / 2) << QPointF(C.x() + S, C.y() - S / 2) << QPointF(C.x(), C.y() + S / 2); break;
        case DFCS_SCROLLLEFT: Tri << QPointF(C.x() + S / 2, C.y() - S) << QPointF(C.x() + S / 2, C.y() + S) << QPointF(C.x() - S / 2, C.y()); break;
        default: Tri << QPointF(C.x() - S / 2, C.y() - S) << QPointF(C.x() - S / 2, C.y() + S) << QPointF(C.x() + S / 2, C.y()); break;
        }
        Painter.setPen(Qt::NoPen);
        Painter.setBrush(isEnabled() ? palette().color(QPalette::ButtonText) : palette().color(QPalette::Mid));
        Painter.drawPolygon(Tri);
    }
    if (TimerState & tbFocusRect)
        DrawFocusRect(&Canvas, TRect(3, 3, width() - 3, height() - 3));
}

// =================================================================== TCgSpinButton

TCgSpinButton::TCgSpinButton(QWidget *Parent)
    : QWidget(Parent), FUpButton(new TGridTimerSpeedButton(this)), FDownButton(new TGridTimerSpeedButton(this))
{
    setFocusPolicy(Qt::StrongFocus);
    for (TGridTimerSpeedButton *B : {FUpButton, FDownButton}) {
        B->TimerState = TGridTimerSpeedButton::tbAllowTimer;
        connect(B, &QAbstractButton::clicked, this, Guarded([this, B] { ButtonClicked(B); }));
        connect(B, &QAbstractButton::pressed, this, Guarded([this] {
                    if (FocusControl && FocusControl->isEnabled() && FocusControl->isVisible()
                        && !FocusControl->hasFocus())
                        FocusControl->setFocus();
                }));
    }
    FUpButton->ArrowKind = 2;
    FDownButton->ArrowKind = 3;
    FFocusedButton = FUpButton;
    resize(15, 25);
    Layout();
}

void TCgSpinButton::SetUpNumGlyphs(int Value)
{
    FUpButton->NumGlyphs = Value;
    FUpButton->update();
}

void TCgSpinButton::SetDownNumGlyphs(int Value)
{
    FDownButton->NumGlyphs = Value;
    FDownButton->update();
}

void TCgSpinButton::SetDirection(TSpinDirection Value)
{
    if (Value == FDirection)
        return;
    FDirection = Value;
    FUpButton->ArrowKind = Value == spVertical ? 2 : 1;
    FDownButton->ArrowKind = Value == spVertical ? 3 : 0;
    Layout();
}

void TCgSpinButton::SetFlat(bool Value)
{
    FUpButton->SetFlat(Value);
    FDownButton->SetFlat(Value);
}

void TCgSpinButton::SetTransparent(bool Value)
{
    for (TGridTimerSpeedButton *B : {FUpButton, FDownButton})
        B->setAttribute(Qt::WA_NoSystemBackground, Value);
}

void TCgSpinButton::Layout()
{
    if (FDirection == spVertical) {
        const int Half = height() / 2;
        FUpButton->setGeometry(0, 0, width(), Half);
        FDownButton->setGeometry(0, Half, width(), height() - Half);
    } else {
        // Left is down, right is up.
        const int Half = width() / 2;
        FDownButton->setGeometry(0, 0, Half, height());
        FUpButton->setGeometry(Half, 0, width() - Half, height());
    }
}

void TCgSpinButton::resizeEvent(QResizeEvent *Event)
{
    QWidget::resizeEvent(Event);
    Layout();
}

void TCgSpinButton::ButtonClicked(TGridTimerSpeedButton *Button)
{
    if (Button == FUpButton) {
        if (OnUpClick)
            OnUpClick(this);
    } else if (OnDownClick) {
        OnDownClick(this);
    }
}

void TCgSpinButton::SetFocusBtn(TGridTimerSpeedButton *Button)
{
    if (hasFocus() && Button != FFocusedButton) {
        FFocusedButton->TimerState &= ~TGridTimerSpeedButton::tbFocusRect;
        FFocusedButton->update();
        FFocusedButton = Button;
        FFocusedButton->TimerState |= TGridTimerSpeedButton::tbFocusRect;
        FFocusedButton->update();
    }
}

void TCgSpinButton::keyPressEvent(QKeyEvent *Event)
{
    switch (Event->key()) {
    case Qt::Key_Space: ButtonClicked(FFocusedButton); return;
    case Qt::Key_Up:
        SetFocusBtn(FUpButton);
        ButtonClicked(FUpButton);
        return;
    case Qt::Key_Down:
        SetFocusBtn(FDownButton);
        ButtonClicked(FDownButton);
        return;
    default: QWidget::keyPressEvent(Event);
    }
}

void TCgSpinButton::focusInEvent(QFocusEvent *Event)
{
    QWidget::focusInEvent(Event);
    FFocusedButton->TimerState |= TGridTimerSpeedButton::tbFocusRect;
    FFocusedButton->update();
}

void TCgSpinButton::focusOutEvent(QFocusEvent *Event)
{
    QWidget::focusOutEvent(Event);
    FFocusedButton->TimerState &= ~TGridTimerSpeedButton::tbFocusRect;
    FFocusedButton->update();
}

// =================================================================== TCgSpinEdit

TCgSpinEdit::TCgSpinEdit(QWidget *Parent) : QLineEdit(Parent), FButton(new TCgSpinButton(this))
{
    setText(QStringLiteral("0"));
    FButton->setFocusPolicy(Qt::NoFocus);
    FButton->resize(15, 17);
    FButton->FocusControl = this;
    FButton->OnUpClick = [this](TObject *) { UpClick(); };
    FButton->OnDownClick = [this](TObject *) { DownClick(); };
    SetEditRect();
}

void TCgSpinEdit::SetDirection(TSpinDirection Value)
{
    if (Value == FButton->Direction())
        return;
    FButton->SetDirection(Value);
    // Nudging the width lays the control out again.
    resize(width() + 1, height());
    resize(width() - 1, height());
}

void TCgSpinEdit::SetSpinFlat(bool Value)
{
    FSpinFlat = Value;
    FButton->SetFlat(Value);
}

void TCgSpinEdit::SetSpinTransparent(bool Value)
{
    FSpinTransparent = Value;
    FButton->SetTransparent(Value);
}

int TCgSpinEdit::MinHeight() const
{
    // F + min(S, F) div 4, S being the screen font's height and F the control's.
    const int F = QFontMetrics(font()).height();
    const int S = QFontMetrics(QApplication::font()).height();
    return F + std::min(S, F) / 4;
}

void TCgSpinEdit::SetEditRect()
{
    // The text ends 2 pixels left of the buttons, one more without a frame.
    setTextMargins(0, 0, FButton->width() + 2 + (hasFrame() ? 0 : 1), 0);
}

void TCgSpinEdit::resizeEvent(QResizeEvent *Event)
{
    QLineEdit::resizeEvent(Event);
    const int MinH = MinHeight();
    if (height() < MinH) {
        resize(width(), MinH);
        return;
    }
    // The pair stands against the right edge, one pixel in from the top.
    const int Top = hasFrame() ? 1 : 0;
    FButton->setGeometry(width() - FButton->width() - Top, Top, FButton->width(), height() - 2 * Top);
    SetEditRect();
}

void TCgSpinEdit::changeEvent(QEvent *Event)
{
    QLineEdit::changeEvent(Event);
    if (Event->type() == QEvent::FontChange && height() < MinHeight())
        resize(width(), MinHeight());
}

int TCgSpinEdit::CheckValue(int NewValue) const
{
    if (MinValue == MaxValue)
        return NewValue;
    if (NewValue < MinValue)
        return MinValue;
    if (NewValue > MaxValue)
        return MaxValue;
    return NewValue;
}

double TCgSpinEdit::CheckFloatValue(double NewValue) const
{
    if (MaxFloatValue > MinFloatValue)
        return std::clamp(NewValue, MinFloatValue, MaxFloatValue);
    return NewValue;
}

TDateTime TCgSpinEdit::CheckDateValue(TDateTime NewValue) const
{
    if (MaxDateValue > MinDateValue)
        return std::clamp(NewValue, MinDateValue, MaxDateValue);
    return NewValue;
}

int TCgSpinEdit::Value() const
{
    int V = 0;
    return TryStrToInt(text().trimmed(), V) ? V : MinValue;
}

void TCgSpinEdit::SetValue(int AValue)
{
    setText(IntToStr(CheckValue(AValue)));
    if (!FEditorEnabled)
        selectAll();
}

double TCgSpinEdit::FloatValue() const
{
    double V = 0;
    return TryStrToFloat(text().trimmed(), V) ? V : 0.0;
}

void TCgSpinEdit::SetFloatValue(double AValue)
{
    AValue = CheckFloatValue(AValue);
    if (Precision != 0) {
        // Fixed format with 15 significant digits at most.
        const int Digits = std::clamp(Precision, 0, 15);
        setText(QString::number(AValue, 'f', Digits));
    } else {
        setText(FloatToStr(AValue));
    }
}

TDateTime TCgSpinEdit::DateValue() const
{
    TDateTime D = 0;
    return TryStrToDate(text().trimmed(), D) ? D : 0;
}

void TCgSpinEdit::SetDateValue(TDateTime AValue)
{
    setText(DateToStr(CheckDateValue(AValue)));
}

TDateTime TCgSpinEdit::TimeValue() const
{
    TDateTime T = 0;
    return ReadTimeText(text(), T) ? T : 0;
}

void TCgSpinEdit::SetTimeValue(TDateTime AValue)
{
    setText(TimeToStr(CheckDateValue(AValue)));
}

void TCgSpinEdit::Step(int Sign)
{
    if (isReadOnly()) {
        MessageBeep(0);
        return;
    }
    const int Caret = cursorPosition();
    switch (FSpinType) {
    case sptNormal: SetValue(Value() + Sign * Increment); break;
    case sptFloat: {
        double V = 0;
        if (!TryStrToFloat(text().trimmed(), V)) {
            MessageBeep(0);
            return;
        }
        SetFloatValue(V + Sign * IncrementFloat);
        break;
    }
    case sptDate: {
        TDateTime D = 0;
        if (!TryStrToDate(text().trimmed(), D)) {
            MessageBeep(0);
            return;
        }
        // The part under the caret is stepped, in the order of the short date format.
        switch (DateField(CaretPart(text(), DateSeparator, Caret)).unicode()) {
        case u'd': D += Sign; break;
        case u'm': D = IncDate(0, Sign, 0, D, 0); break;
        default: D = IncDate(Sign, 0, 0, D, 0); break;
        }
        SetDateValue(D);
        break;
    }
    case sptTime: {
        TDateTime T = 0;
        if (!ReadTimeText(text(), T)) {
            MessageBeep(0);
            return;
        }
        static const int Seconds[3] = {3600, 60, 1};
        int Total = int(std::lround(T * 86400.0)) + Sign * Seconds[CaretPart(text(), TimeSeparator, Caret)];
        Total = ((Total % 86400) + 86400) % 86400;
        SetTimeValue(EncodeTime(Total / 3600, Total / 60 % 60, Total % 60, 0));
        break;
    }
    }
    setCursorPosition(std::min<int>(Caret, text().size()));
}

void TCgSpinEdit::UpClick()
{
    Step(1);
}

void TCgSpinEdit::DownClick()
{
    Step(-1);
}

void TCgSpinEdit::Loaded()
{
    if (FSpinType == sptDate)
        setText(DateToStr(DateValue()));
    else if (FSpinType == sptTime)
        setText(TimeToStr(TimeValue()));
    SetSpinType(FSpinType);
}

bool TCgSpinEdit::IsValidChar(QChar &Key) const
{
    const QChar Dec(GridFormat::DecimalSeparator), Thou(GridFormat::ThousandSeparator);
    const QChar DateSep = DateSeparator, TimeSep = TimeSeparator;
    const bool Control = Key.unicode() < 0x20 || Key.unicode() == 0x7F;
    const bool Enter = Key == QLatin1Char('\r') || Key == QLatin1Char('\n');
    bool Result = Key == QLatin1Char('+') || Key == QLatin1Char('-') || (Key >= QLatin1Char('0') && Key <= QLatin1Char('9'))
                  || Key == Dec || Key == Thou || Key == DateSep || Key == TimeSep || (Control && !Enter);
    if (Key == TimeSep && FSpinType != sptTime)
        Result = false;
    if (Key == DateSep && FSpinType != sptDate && DateSep != QLatin1Char('-'))
        Result = false;
    if (Result && FSpinType == sptFloat && !Control) {
        if (Key == Thou)
            Key = Dec;
        const QString T = text();
        const int Sep = int(T.indexOf(Dec));
        if (Key == Dec && Sep >= 0)
            Result = false;
        else if (Precision >= 1 && Sep >= 0 && Sep <= cursorPosition() && !hasSelectedText()
                 && T.size() - Sep - 1 >= Precision)
            Result = false;
    }
    if (Result && FSpinType == sptTime && Key == TimeSep && text().count(TimeSep) >= 2)
        Result = false;
    if (!FEditorEnabled && (!Control || Key == QLatin1Char('\b')))
        Result = false;
    return Result;
}

void TCgSpinEdit::keyPressEvent(QKeyEvent *Event)
{
    switch (Event->key()) {
    case Qt::Key_Up: UpClick(); return;
    case Qt::Key_Down: DownClick(); return;
    case Qt::Key_Delete:
        if (!FEditorEnabled)
            return;
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (ReturnIsTab) {
            QApplication::postEvent(this, new QKeyEvent(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier));
            return;
        }
        break;
    default: break;
    }
    // A key that carries characters passes the check one character at a
    // time; keys without text (arrows, shortcuts) go to the edit as they are.
    const QString Typed = Event->text();
    if (Typed.isEmpty() || (Event->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
        QLineEdit::keyPressEvent(Event);
        return;
    }
    QString Accepted;
    for (QChar C : Typed) {
        if (IsValidChar(C))
            Accepted += C;
        else
            MessageBeep(0);
    }
    if (Accepted == Typed) {
        QLineEdit::keyPressEvent(Event);
    } else if (!Accepted.isEmpty()) {
        if (Accepted.size() == 1 && Accepted.at(0).unicode() >= 0x20)
            insert(Accepted);
        else {
            QKeyEvent Changed(Event->type(), Event->key(), Event->modifiers(), Accepted);
            QLineEdit::keyPressEvent(&Changed);
        }
    }
}

void TCgSpinEdit::focusOutEvent(QFocusEvent *Event)
{
    // Leaving clamps the value of the current type and writes it back when clamping changed it.
    switch (FSpinType) {
    case sptNormal: {
        int V = 0;
        if (TryStrToInt(text().trimmed(), V) && CheckValue(V) != V)
            SetValue(V);
        break;
    }
    case sptFloat: {
        double V = 0;
        if (TryStrToFloat(text().trimmed(), V) && CheckFloatValue(V) != V)
            SetFloatValue(V);
        break;
    }
    case sptDate: {
        TDateTime D = 0;
        if (TryStrToDate(text().trimmed(), D) && CheckDateValue(D) != D)
            SetDateValue(D);
        break;
    }
    case sptTime: {
        TDateTime T = 0;
        if (ReadTimeText(text(), T) && CheckDateValue(T) != T)
            SetTimeValue(T);
        break;
    }
    }
    QLineEdit::focusOutEvent(Event);
}
