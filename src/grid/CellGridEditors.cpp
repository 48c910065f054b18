#include "grid/CellGridEditors.h"
#include "grid/CgHTMLE.h"

#include "grid/CellGrid.h"
#include "grid/GridUtil.h"
#include "platform/services/Application.h"
#include "platform/services/Clipboard.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCalendarWidget>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QPainter>
#include <QToolButton>

#include <cmath>
#include <type_traits>

namespace {

QChar LocaleDecimalSeparator()
{
    const QString P = QLocale().decimalPoint();
    return P.isEmpty() ? QLatin1Char('.') : P.at(0);
}

} // namespace

QString StripCellHTML(const QString &Text)
{
    return TextKind(Text, true) == tkHTML ? StripHTMLTags(Text) : Text;
}

QString StripHTMLTags(const QString &Text)
{
    // The tags go as the renderer's HTMLStrip takes them off; the editor then
    // shows the basic entities as their characters (&amp; last, decoded once).
    QString Out = HTMLStrip(Text);
    Out.replace(QStringLiteral("&lt;"), QStringLiteral("<"));
    Out.replace(QStringLiteral("&gt;"), QStringLiteral(">"));
    Out.replace(QStringLiteral("&nbsp;"), QStringLiteral(" "));
    Out.replace(QStringLiteral("&quot;"), QStringLiteral("\""));
    Out.replace(QStringLiteral("&amp;"), QStringLiteral("&"));
    return Out;
}

// =================================================================== character filter

bool GridEditorKeys::NumericFilter(TEditorType Kind, QChar Key, const QString &Text, int SelStart,
                                   const QString &Selected)
{
    const ushort K = Key.unicode();
    const bool Control = K == 8 || K == 9 || K == 13 || K == 27;
    const bool Digit = K >= '0' && K <= '9';
    switch (Kind) {
    case edNumeric:
    case edNumericEditBtn:
        if (Control || Digit)
            return true;
        if (K == '-') {
            if (Text.contains(QLatin1Char('-')) || SelStart != 0) {
                MessageBeep(0);
                return false;
            }
            return true;
        }
        MessageBeep(0);
        return false;
    case edPositiveNumeric:
        if (Control || Digit)
            return true;
        MessageBeep(0);
        return false;
    case edFloat:
    case edFloatEditBtn:
        if (Control || Digit)
            return true;
        if (Key == GridFormat::DecimalSeparator)
            return !Text.contains(Key) || Selected.contains(Key);
        if (Key == GridFormat::ThousandSeparator)
            return false;
        if (K == '-') {
            if (SelStart == 0 && !Text.contains(QLatin1Char('-')))
                return true;
            if (Selected.contains(QLatin1Char('-')))
                return true;
            MessageBeep(0);
            return false;
        }
        return false;
    default:
        return true;
    }
}

// =================================================================== TCellInplaceEdit

TCellInplaceEdit::TCellInplaceEdit(TCellGrid *AGrid) : TGridEditorHost(AGrid, AGrid)
{
    setObjectName(QStringLiteral("CellInplaceEdit"));
    setAttribute(Qt::WA_InputMethodEnabled);
}

void TCellInplaceEdit::ApplyKind()
{
    WordWrap = FGrid->WordWrap();
    SetWordWrap(WordWrap);
    setAlignment((VAlign ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
    if (FGrid->EditorKind == edPassword) {
        setEchoMode(QLineEdit::Password);
        // The grid's password character is drawn in place of each character.
        setStyleSheet(QStringLiteral("lineedit-password-character: %1").arg(int(FGrid->PasswordChar.unicode())));
    } else {
        setEchoMode(QLineEdit::Normal);
        setStyleSheet(QString());
    }
    if (LengthLimit == 0)
        LengthLimit = qint16(std::clamp(FGrid->MaxEditLength(), 0, 32767));
    SetMaxLength(LengthLimit);
}

bool TCellInplaceEdit::FilterChar(QChar &Key, bool Keypad)
{
    const ushort K = Key.unicode();
    // 1. the keypad's decimal key types the locale's decimal separator
    if (FGrid->ExcelStyleDecimalSeparator && Key == QLatin1Char('.') && Keypad)
        Key = LocaleDecimalSeparator();
    // 2. the length limit
    if (LengthLimit > 0 && text().size() >= LengthLimit && !hasSelectedText()) {
        if (!(K == 8 || K == 27 || (K == 13 && FGrid->Navigation()->AdvanceOnEnter)))
            return false;
    }
    const TEditorType Kind = FGrid->EditorKind;
    // 3. a line break on Enter
    if (K == 13 && FGrid->Navigation()->LineFeedOnEnter
        && (Kind == edNormal || Kind == edCapital || Kind == edMixedCase || Kind == edLowerCase || Kind == edUpperCase))
        return true;
    // 4. by kind
    switch (Kind) {
    case edNormal:
    case edPassword:
    case edMixedCase:
        return true;
    case edNumeric:
    case edPositiveNumeric:
    case edFloat: {
        const int SelStart = hasSelectedText() ? selectionStart() : cursorPosition();
        return GridEditorKeys::NumericFilter(Kind, Key, text(), SelStart, selectedText());
    }
    case edCapital:
    case edUpperCase:
        Key = QLocale().toUpper(QString(Key)).at(0);
        return true;
    case edLowerCase:
        Key = QLocale().toLower(QString(Key)).at(0);
        return true;
    default:
        return false;
    }
}

void TCellInplaceEdit::InsertChar(QChar Key)
{
    const ushort K = Key.unicode();
    if (K == 8) {
        backspace();
    } else if (K == 13 || K == 27 || K == 9) {
        return;
    } else {
        const int Before = hasSelectedText() ? selectionStart() : cursorPosition();
        insert(QString(Key));
        if (FGrid->EditorKind == edMixedCase) {
            // The whole text is rewritten in mixed case, the caret one past where it was.
            const QString Mixed = NameCase(text());
            if (Mixed != text())
                SetText(Mixed);
            setCursorPosition(std::min(Before + 1, int(text().size())));
        }
    }
    // Typing goes through the edit's own change notification to the grid.
    FGrid->SetEditText(FGrid->Col(), FGrid->Row(), text());
}

void TCellInplaceEdit::TypeChar(QChar Key, bool Keypad)
{
    if (!FilterChar(Key, Keypad))
        return;
    InsertChar(Key);
}

void TCellInplaceEdit::TypeText(const QString &Text)
{
    for (QChar C : Text)
        TypeChar(C, false);
}

void TCellInplaceEdit::PasteText(const QString &Clip)
{
    QString Value = Clip;
    bool Allow = true;
    if (FGrid->OnClipboardBeforePasteCell)
        FGrid->OnClipboardBeforePasteCell(FGrid, FGrid->RealCol(), FGrid->Row(), Value, Allow);
    if (!Allow)
        return;
    if (LengthLimit >= 1 && Value.size() > LengthLimit)
        return;
    const int Start = hasSelectedText() ? selectionStart() : cursorPosition();
    const int Length = hasSelectedText() ? int(selectedText().size()) : 0;
    QString NewText = text();
    NewText.replace(Start, Length, Value);
    if (LengthLimit >= 1 && NewText.size() > LengthLimit)
        return;
    if (FGrid->OnClipboardPaste)
        FGrid->OnClipboardPaste(FGrid, Allow);
    if (!Allow)
        return;
    switch (FGrid->EditorKind) {
    case edNumeric:
    case edPositiveNumeric:
        if (NumberKind(NewText) != nkInteger)
            return;
        break;
    case edFloat: {
        const int NK = NumberKind(NewText);
        if (NK != nkInteger && NK != nkFloat)
            return;
        break;
    }
    case edMixedCase:
        NewText = NameCase(NewText);
        break;
    case edLowerCase:
        NewText = QLocale().toLower(NewText);
        break;
    case edUpperCase:
        NewText = QLocale().toUpper(NewText);
        break;
    default:
        break;
    }
    SetText(NewText);
    setCursorPosition(std::min(Start + int(Value.size()), int(NewText.size())));
}

void TCellInplaceEdit::ShowCellText()
{
    SetText(FGrid->GetEditText(FGrid->Col(), FGrid->Row()));
}

void TCellInplaceEdit::keyPressEvent(QKeyEvent *Event)
{
    const quint16 VK = VirtualKeyOf(Event);
    const TShiftState Shift = ShiftStateOf(Event->modifiers());
    TNavigation *Nav = FGrid->Navigation();

    if (Event->matches(QKeySequence::Paste)) {
        PasteText(ClipboardText());
        return;
    }
    if (Event->matches(QKeySequence::Copy) || Event->matches(QKeySequence::Cut)) {
        const bool IsCut = Event->matches(QKeySequence::Cut);
        bool Allow = true;
        if (IsCut && FGrid->OnClipboardCut)
            FGrid->OnClipboardCut(FGrid, Allow);
        else if (!IsCut && FGrid->OnClipboardCopy)
            FGrid->OnClipboardCopy(FGrid, Allow);
        if (!Allow)
            return;
        if (IsCut) {
            cut();
            FGrid->SetEditText(FGrid->Col(), FGrid->Row(), text());
        } else {
            copy();
        }
        return;
    }

    switch (VK) {
    case VK_ESCAPE: {
        SetText(FGrid->SavedText);
        QChar Key(27);
        FGrid->KeyPress(Key);
        FGrid->HideEditor();
        FGrid->setFocus();
        return;
    }
    case VK_TAB:
        if (FGrid->Options() & goTabs) {
            if (!CommitText(text()))
                return;
            FGrid->HideEditor();
            FGrid->setFocus();
            quint16 Key = VK_TAB;
            FGrid->KeyDown(Key, Shift);
            return;
        }
        break;
    case VK_UP:
    case VK_DOWN:
        if (!(Shift & (ssCtrl | ssShift))) {
            if (!CommitText(text()))
                return;
            quint16 Key = VK;
            FGrid->KeyDown(Key, Shift);
            if (!isVisible())
                FGrid->setFocus();
            return;
        }
        break;
    case VK_RETURN:
        if (!Nav->LineFeedOnEnter && !(Shift & ssCtrl)) {
            if (!CommitText(text()))
                return;
            const int OC = FGrid->Col(), OR = FGrid->Row();
            FGrid->AdvanceEdit(OC, OR, true, true, false);
            if (FGrid->Col() == OC && FGrid->Row() == OR) {
                FGrid->HideEditor();
                FGrid->setFocus();
            }
            return;
        }
        if (Nav->LineFeedOnEnter && (Shift & ssCtrl)) {
            insert(QStringLiteral("\n"));
            FGrid->SetEditText(FGrid->Col(), FGrid->Row(), text());
            return;
        }
        if (Nav->LineFeedOnEnter) {
            QChar Key(13);
            if (FilterChar(Key, false)) {
                insert(QStringLiteral("\n"));
                FGrid->SetEditText(FGrid->Col(), FGrid->Row(), text());
            }
            return;
        }
        break;
    case VK_RIGHT:
        if (Nav->CursorWalkEditor && cursorPosition() == text().size() && !hasSelectedText()) {
            const TAdvanceDirection Old = Nav->AdvanceDirection;
            Nav->AdvanceDirection = adLeftRight;
            FGrid->AdvanceEdit(FGrid->Col(), FGrid->Row(), true, true, true);
            Nav->AdvanceDirection = Old;
            return;
        }
        break;
    case VK_LEFT:
        if (Nav->CursorWalkEditor && cursorPosition() == 0 && !hasSelectedText()) {
            const TAdvanceDirection Old = Nav->AdvanceDirection;
            Nav->AdvanceDirection = adLeftRight;
            FGrid->AdvanceEdit(FGrid->Col(), FGrid->Row(), false, true, true);
            Nav->AdvanceDirection = Old;
            return;
        }
        break;
    default:
        break;
    }

    const QString Typed = Event->text();
    if (!Typed.isEmpty() && !(Shift & ssCtrl)) {
        const QChar C = Typed.at(0);
        if (C.unicode() == 8 || C.unicode() >= 32) {
            TypeChar(C, Event->modifiers() & Qt::KeypadModifier);
            return;
        }
    }
    TInplaceEdit::keyPressEvent(Event);
}

void TCellInplaceEdit::inputMethodEvent(QInputMethodEvent *Event)
{
    const QString Commit = Event->commitString();
    if (Commit.isEmpty() || FGrid->EditorKind == edNormal || FGrid->EditorKind == edPassword) {
        TInplaceEdit::inputMethodEvent(Event);
        if (!Commit.isEmpty())
            FGrid->SetEditText(FGrid->Col(), FGrid->Row(), text());
        return;
    }
    // A committed string passes the kind's filter whole, character by character.
    QInputMethodEvent Rest(Event->preeditString(), Event->attributes());
    TInplaceEdit::inputMethodEvent(&Rest);
    TypeText(Commit);
    Event->accept();
}

void TCellInplaceEdit::contextMenuEvent(QContextMenuEvent *Event)
{
    // The menu's paste would pass around the kind's filter.
    Event->accept();
}

void TCellInplaceEdit::focusInEvent(QFocusEvent *Event)
{
    TInplaceEdit::focusInEvent(Event);
    TNavigation *Nav = FGrid->Navigation();
    if (Nav->ImproveMaskSel && !inputMask().isEmpty()) {
        setSelection(0, 1);
    } else if (!Nav->EditSelectAll) {
        deselect();
        setCursorPosition(int(text().size()));
    }
    if (CaretPositioning) {
        CaretPositioning = false;
        deselect();
        setCursorPosition(cursorPositionAt(CaretPoint));
    }
}

void TCellInplaceEdit::focusOutEvent(QFocusEvent *Event)
{
    TInplaceEdit::focusOutEvent(Event);
    if (FClosing || !isVisible())
        return;
    FClosing = true;
    if (FGrid->LookupHistory && FGrid->LookupItems()->IndexOf(text()) < 0)
        FGrid->LookupItems()->Add(text());
    QWidget *F = QApplication::focusWidget();
    if (F && F != FGrid && F != FGrid->viewport() && !FGrid->isAncestorOf(F) && FGrid->window() == F->window()) {
        FGrid->EndEdit(FGrid->GetCellText(FGrid->RealCol(), FGrid->Row()));
        FGrid->HideEditor();
    }
    FClosing = false;
}

// =================================================================== TGridCombo

TGridCombo::TGridCombo(TCellGrid *AGrid) : TGridEditorHost(AGrid, AGrid->viewport())
{
    setObjectName(QStringLiteral("InplaceCombo"));
    SetButtonWidth(16);
    Themed = AGrid->Themed();
    hide();
    installEventFilter(this);
    connect(this, &QComboBox::currentIndexChanged, this, Guarded([this](int Index) {
        if (!isVisible() || !FGrid->EditorActive)
            return;
        const int C = FGrid->RealCol(), R = FGrid->Row();
        if (FGrid->OnComboChange)
            FGrid->OnComboChange(FGrid, C, R, Index, currentText());
        if (FGrid->OnComboObjectChange && Index >= 0) {
            auto *Obj = reinterpret_cast<TObject *>(itemData(Index).value<quintptr>());
            if (Obj)
                FGrid->OnComboObjectChange(FGrid, C, R, Index, currentText(), Obj);
        }
    }));
    OnCloseUp = [this](TObject *) {
        if (FGrid->OnComboCloseUp)
            FGrid->OnComboCloseUp(FGrid, FGrid->Row(), FGrid->RealCol());
    };
}

bool TGridCombo::eventFilter(QObject *Watched, QEvent *Event)
{
    // The editable style's line edit gets the keys first.
    if (Event->type() == QEvent::KeyPress && (Watched == this || Watched == lineEdit())) {
        if (HandleKey(static_cast<QKeyEvent *>(Event)))
            return true;
    }
    if (Event->type() == QEvent::KeyRelease && Watched == lineEdit()) {
        keyReleaseEvent(static_cast<QKeyEvent *>(Event));
        return true;
    }
    if (Event->type() == QEvent::FocusOut && Watched == lineEdit()) {
        QFocusEvent Out(QEvent::FocusOut);
        focusOutEvent(&Out);
    }
    return TCGComboBox::eventFilter(Watched, Event);
}

bool TGridCombo::HandleKey(QKeyEvent *Event)
{
    const quint16 VK = VirtualKeyOf(Event);
    const TShiftState Shift = ShiftStateOf(Event->modifiers());
    const bool ListStyle = Style() == csDropDownList || DroppedDown();
    if (VK == VK_DOWN && (Shift & ssAlt)) {
        SetDroppedDown(!DroppedDown());
        return true;
    }
    bool Leave = false;
    switch (VK) {
    case VK_TAB:
    case VK_RETURN:
    case VK_ESCAPE:
        Leave = true;
        break;
    case VK_PRIOR:
    case VK_NEXT:
    case VK_END:
    case VK_UP:
    case VK_DOWN:
        Leave = !ListStyle;
        break;
    case VK_LEFT:
    case VK_RIGHT:
        Leave = ListStyle;
        break;
    default:
        break;
    }
    if (!Leave)
        return false;
    if (DroppedDown())
        SetDroppedDown(false);
    if (VK == VK_RETURN && OnReturn)
        OnReturn(this);
    if (VK == VK_ESCAPE) {
        CancelAndLeave(VK, Shift);
        return true;
    }
    if (!IsLeaveTab(VK))
        return false;
    CommitAndLeave(currentText(), VK, Shift);
    return true;
}

void TGridCombo::keyPressEvent(QKeyEvent *Event)
{
    if (HandleKey(Event))
        return;
    TCGComboBox::keyPressEvent(Event);
}

void TGridCombo::keyReleaseEvent(QKeyEvent *Event)
{
    if (lineEdit() && Event->key() != Qt::Key_Return && Event->key() != Qt::Key_Enter && !Event->text().isEmpty()
        && Event->text().at(0).unicode() >= 32)
        DoLookup();
    TCGComboBox::keyReleaseEvent(Event);
}

void TGridCombo::DoLookup()
{
    if (!LookupAllowed || !FGrid->Lookup || !lineEdit())
        return;
    QLineEdit *E = lineEdit();
    QString Prefix = E->text().left(E->cursorPosition());
    if (Prefix.isEmpty())
        return;
    const bool Case = FGrid->LookupCaseSensitive;
    const QString Key = Case ? Prefix : Prefix.toUpper();
    for (int I = 0; I < count(); ++I) {
        const QString Item = itemText(I);
        if ((Case ? Item : Item.toUpper()).startsWith(Key)) {
            const QString Completed = (Prefix + Item.mid(Prefix.size())).left(255);
            setCurrentIndex(I);
            E->setText(Completed);
            E->setSelection(int(Prefix.size()), int(Completed.size() - Prefix.size()));
            return;
        }
    }
}

void TGridCombo::SizeDropDownWidth()
{
    int W = width();
    TCanvas *C = FGrid->Canvas();
    const bool Scrolls = count() > DropDownCount();
    for (int I = 0; I < count(); ++I) {
        const int TW = C->TextWidth(itemText(I));
        if (TW > W - (Scrolls ? 25 : 5))
            W = TW + (Scrolls ? 25 : 8);
    }
    SetDropWidth(W);
}

bool TGridCombo::HoldsFocus(const QWidget *Focus) const
{
    return DroppedDown() || Focus == this || Focus == lineEdit() || (Focus && view()->isAncestorOf(Focus))
           || Focus == view();
}

void TGridUniCombo::ShowCellText()
{
    SetText(FGrid->GetWideCellText(FGrid->RealCol(), FGrid->Row()));
}

// =================================================================== TGridSpin

TGridSpin::TGridSpin(TCellGrid *AGrid) : TGridEditorHost(AGrid, AGrid->viewport())
{
    setObjectName(QStringLiteral("GridSpin"));
    setFrame(false);
    MinValue = 0;
    MaxValue = 100;
    Increment = 1;
    hide();
}

void TGridSpin::SpinEvent(bool Up)
{
    const int C = FGrid->RealCol(), R = FGrid->Row();
    switch (SpinType()) {
    case sptNormal:
        if (FGrid->OnSpinClick)
            FGrid->OnSpinClick(FGrid, C, R, Value(), Up);
        break;
    case sptFloat:
        if (FGrid->OnFloatSpinClick)
            FGrid->OnFloatSpinClick(FGrid, C, R, FloatValue(), Up);
        break;
    case sptDate:
        if (FGrid->OnDateSpinClick)
            FGrid->OnDateSpinClick(FGrid, C, R, DateValue(), Up);
        break;
    case sptTime:
        if (FGrid->OnTimeSpinClick)
            FGrid->OnTimeSpinClick(FGrid, C, R, TimeValue(), Up);
        break;
    }
}

void TGridSpin::UpClick()
{
    TCgSpinEdit::UpClick();
    SpinEvent(true);
}

void TGridSpin::DownClick()
{
    TCgSpinEdit::DownClick();
    SpinEvent(false);
}

void TGridSpin::keyPressEvent(QKeyEvent *Event)
{
    const quint16 VK = VirtualKeyOf(Event);
    const TShiftState Shift = ShiftStateOf(Event->modifiers());
    const bool IsFloat = SpinType() == sptFloat;
    switch (VK) {
    case VK_PRIOR:
    case VK_NEXT:
    case VK_HOME:
    case VK_END: {
        // PgUp and PgDn step while the value stays within its bounds; Home
        // and End go to the upper and the lower bound.
        const bool Up = VK == VK_PRIOR || VK == VK_HOME, ToBound = VK == VK_HOME || VK == VK_END;
        if (IsFloat) {
            const double V = ToBound ? (Up ? MaxFloatValue : MinFloatValue) : FloatValue() + (Up ? IncrementFloat : -IncrementFloat);
            if (ToBound || (Up ? V <= MaxFloatValue : V >= MinFloatValue))
                SetFloatValue(V);
        } else {
            const int V = ToBound ? (Up ? MaxValue : MinValue) : Value() + (Up ? Increment : -Increment);
            if (ToBound || (Up ? V <= MaxValue : V >= MinValue))
                SetValue(V);
        }
        if (SpinType() == sptNormal)
            SpinEvent(Up);
        return;
    }
    case VK_RETURN: {
        // The commit leaves the current cell where it is.
        const int OC = FGrid->Col(), OR = FGrid->Row();
        if (CommitAndLeave(text(), VK, Shift))
            FGrid->AdvanceEdit(OC, OR, true, false, false);
        return;
    }
    default:
        if (LeaveKey(VK, Shift, text()))
            return;
        break;
    }
    TCgSpinEdit::keyPressEvent(Event);
}

// =================================================================== TGridUniEdit

TGridUniEdit::TGridUniEdit(TCellGrid *AGrid) : TGridEditorHost(AGrid, AGrid->viewport())
{
    setObjectName(QStringLiteral("GridUniEdit"));
    setFrame(false);
    hide();
}

void TGridUniEdit::keyPressEvent(QKeyEvent *Event)
{
    if (LeaveKey(VirtualKeyOf(Event), ShiftStateOf(Event->modifiers()), text()))
        return;
    QLineEdit::keyPressEvent(Event);
}

void TGridUniEdit::ShowCellText()
{
    setText(FGrid->GetWideCellText(FGrid->RealCol(), FGrid->Row()));
}

// =================================================================== TGridDatePicker

TGridDatePicker::TGridDatePicker(TCellGrid *AGrid) : TGridEditorHost(AGrid, AGrid->viewport())
{
    setObjectName(QStringLiteral("GridDatePicker"));
    // The picker sits inside a cell: instead of a sunken frame its edge is two
    // nested frames in the window colour (see paintEvent).
    setFrame(false);
    SetKind(dtkDate);
    SetDateMode(dmComboBox);
    hide();
}

void TGridDatePicker::paintEvent(QPaintEvent *Event)
{
    QDateTimeEdit::paintEvent(Event);
    QPainter P(this);
    P.setPen(TColorToQColor(clWindow));
    P.setBrush(Qt::NoBrush);
    for (int I = 0; I < 2; ++I)
        P.drawRect(rect().adjusted(I, I, -1 - I, -1 - I));
}

TDateTime TGridDatePicker::Date() const
{
    return QDateTimeToDateTime(dateTime());
}

void TGridDatePicker::SetDate(TDateTime Value)
{
    setDateTime(DateTimeToQDateTime(Value));
}

TDateTime TGridDatePicker::Time() const
{
    return QDateTimeToDateTime(dateTime());
}

void TGridDatePicker::SetTime(TDateTime Value)
{
    setDateTime(DateTimeToQDateTime(Value));
}

void TGridDatePicker::SetKind(TDateTimeKind Value)
{
    FKind = Value;
    setDisplayFormat(Value == dtkDate ? QStringLiteral("yyyy-M-d") : QStringLiteral("HH:mm:ss"));
}

void TGridDatePicker::SetDateMode(TDTDateMode Value)
{
    FDateMode = Value;
    setCalendarPopup(Value == dmComboBox && FKind == dtkDate);
    if (calendarWidget())
        calendarWidget()->installEventFilter(this);
}

bool TGridDatePicker::eventFilter(QObject *Watched, QEvent *Event)
{
    if (Watched == calendarWidget()) {
        if (Event->type() == QEvent::Show)
            FDroppedDown = true;
        else if (Event->type() == QEvent::Hide)
            FDroppedDown = false;
    }
    return QDateTimeEdit::eventFilter(Watched, Event);
}

void TGridDatePicker::keyPressEvent(QKeyEvent *Event)
{
    if (FDroppedDown) {
        QDateTimeEdit::keyPressEvent(Event);
        return;
    }
    const quint16 VK = VirtualKeyOf(Event);
    const TShiftState Shift = ShiftStateOf(Event->modifiers());
    switch (VK) {
    case VK_ESCAPE:
        if (FKind == dtkTime)
            SetTime(RestoreValue);
        else
            SetDate(RestoreValue);
        FGrid->EditorLeaveKey(VK, Shift);
        return;
    case VK_TAB:
    case VK_RETURN:
    case VK_PRIOR:
    case VK_NEXT:
    case VK_END:
        if (!IsLeaveTab(VK))
            break;
        FGrid->EditorLeaveKey(VK, Shift);
        return;
    default:
        break;
    }
    QDateTimeEdit::keyPressEvent(Event);
}

bool TGridDatePicker::HoldsFocus(const QWidget *) const
{
    return FDroppedDown;
}

// =================================================================== TGridCheckBox

TGridCheckBox::TGridCheckBox(TCellGrid *AGrid) : TGridEditorHost(AGrid, AGrid->viewport())
{
    setObjectName(QStringLiteral("GridCheckBox"));
    hide();
    connect(this, &QCheckBox::clicked, this, Guarded([this](bool Checked) {
        const int C = FGrid->RealCol(), R = FGrid->Row();
        FGrid->StoreEditText(C, R, Checked ? FGrid->GetCheckTrue(C, R) : FGrid->GetCheckFalse(C, R));
    }));
}

void TGridCheckBox::keyPressEvent(QKeyEvent *Event)
{
    const quint16 VK = VirtualKeyOf(Event);
    const TShiftState Shift = ShiftStateOf(Event->modifiers());
    switch (VK) {
    case VK_RETURN: {
        const int OC = FGrid->Col(), OR = FGrid->Row();
        FGrid->HideCellEditor();
        FGrid->setFocus();
        FGrid->AdvanceEdit(OC, OR, true, false, false);
        return;
    }
    case VK_UP:
    case VK_DOWN: {
        FGrid->HideCellEditor();
        FGrid->setFocus();
        quint16 Key = VK;
        FGrid->KeyDown(Key, Shift);
        return;
    }
    case VK_PRIOR:
    case VK_NEXT:
    case VK_END:
    case VK_LEFT:
    case VK_RIGHT:
        FGrid->HideCellEditor();
        FGrid->setFocus();
        return;
    default:
        break;
    }
    QCheckBox::keyPressEvent(Event);
}

// =================================================================== TGridButton

TGridButton::TGridButton(TCellGrid *AGrid) : TGridEditorHost(AGrid, AGrid->viewport())
{
    setObjectName(QStringLiteral("GridButton"));
    hide();
    connect(this, &QPushButton::clicked, this, Guarded([this]() { Click(); }));
}

void TGridButton::Click()
{
    QString S = text();
    FGrid->EllipsClick(FGrid->RealCol(), FGrid->Row(), S);
    setText(S);
}

void TGridButton::keyPressEvent(QKeyEvent *Event)
{
    const quint16 VK = VirtualKeyOf(Event);
    const TShiftState Shift = ShiftStateOf(Event->modifiers());
    if (VK == VK_LEFT || VK == VK_RIGHT || VK == VK_UP || VK == VK_DOWN) {
        FGrid->HideCellEditor();
        FGrid->setFocus();
        quint16 Key = VK;
        FGrid->KeyDown(Key, Shift);
        return;
    }
    if (VK == VK_ESCAPE) {
        FGrid->HideCellEditor();
        FGrid->setFocus();
        FGrid->EndEdit(FGrid->GetCellText(FGrid->RealCol(), FGrid->Row()));
        quint16 Key = VK;
        FGrid->KeyDown(Key, Shift);
        return;
    }
    QPushButton::keyPressEvent(Event);
}

// =================================================================== TGridEditBtn

TGridEditBtn::TGridEditBtn(TCellGrid *AGrid) : TGridEditorHost(AGrid, AGrid->viewport())
{
    setObjectName(QStringLiteral("GridEditBtn"));
    SetButtonCaption(QStringLiteral("..."));
    SetBorderStyle(false);
    setAttribute(Qt::WA_InputMethodEnabled);
    hide();
}

void TGridEditBtn::ClickButton()
{
    TCgEditBtn::ClickButton();
    QString S = text();
    FGrid->EllipsClick(FGrid->RealCol(), FGrid->Row(), S);
    setText(S);
    selectAll();
}

void TGridEditBtn::TypeChar(QChar Key)
{
    if (Key.unicode() == 13)
        return;
    const int SelStart = hasSelectedText() ? selectionStart() : cursorPosition();
    if (!GridEditorKeys::NumericFilter(FGrid->EditorKind, Key, text(), SelStart, selectedText()))
        return;
    if (Key.unicode() == 8)
        backspace();
    else if (Key.unicode() >= 32)
        insert(QString(Key));
}

void TGridEditBtn::keyPressEvent(QKeyEvent *Event)
{
    if (Event->modifiers() & Qt::ControlModifier) {
        TCgEditBtn::keyPressEvent(Event);
        return;
    }
    const quint16 VK = VirtualKeyOf(Event);
    if (LeaveKey(VK, ShiftStateOf(Event->modifiers()), text(), true))
        return;
    const QString Typed = Event->text();
    if (!Typed.isEmpty() && (Typed.at(0).unicode() >= 32 || Typed.at(0).unicode() == 8) && VK != VK_F2) {
        if (TextInput())
            TypeChar(Typed.at(0));
        return;
    }
    TCgEditBtn::keyPressEvent(Event);
}

void TGridEditBtn::inputMethodEvent(QInputMethodEvent *Event)
{
    const QString Commit = Event->commitString();
    if (Commit.isEmpty() || FGrid->EditorKind == edEditBtn || !TextInput()) {
        TCgEditBtn::inputMethodEvent(Event);
        return;
    }
    QInputMethodEvent Rest(Event->preeditString(), Event->attributes());
    TCgEditBtn::inputMethodEvent(&Rest);
    for (QChar C : Commit)
        TypeChar(C);
    Event->accept();
}

bool TGridEditBtn::HoldsFocus(const QWidget *Focus) const
{
    return Focus == Button() || isAncestorOf(Focus);
}

// =================================================================== TGridUnitEditBtn

TGridUnitEditBtn::TGridUnitEditBtn(TCellGrid *AGrid) : TGridEditorHost(AGrid, AGrid->viewport())
{
    setObjectName(QStringLiteral("GridUnitEditBtn"));
    SetButtonCaption(QStringLiteral("..."));
    SetBorderStyle(false);
    hide();
}

void TGridUnitEditBtn::keyPressEvent(QKeyEvent *Event)
{
    if (Event->modifiers() & Qt::ControlModifier) {
        TCgUnitEditBtn::keyPressEvent(Event);
        return;
    }
    if (LeaveKey(VirtualKeyOf(Event), ShiftStateOf(Event->modifiers()), text() + UnitID(), true))
        return;
    if (Event->text() == QStringLiteral("\r"))
        return;
    TCgUnitEditBtn::keyPressEvent(Event);
}

bool TGridUnitEditBtn::HoldsFocus(const QWidget *Focus) const
{
    return (UnitMenu() && UnitMenu()->isVisible()) || Focus == Button() || isAncestorOf(Focus);
}

void TGridUnitEditBtn::ShowEditText(const QString &EditText)
{
    // Only the leading number is the value; everything after it (the blank
    // included) is the unit, so no character changes its place.
    int Split = 0;
    while (Split < EditText.size()) {
        const QChar Ch = EditText.at(Split);
        if (!(Ch.isDigit() || Ch == QLatin1Char(',') || Ch == QLatin1Char('-') || Ch == QLatin1Char('.')))
            break;
        ++Split;
    }
    setText(EditText.left(Split));
    SetUnitID(EditText.mid(Split));
}

void TGridUnitEditBtn::ShowCellText()
{
    ShowEditText(FGrid->GetEditText(FGrid->Col(), FGrid->Row()));
}

// =================================================================== what every editor shares

template <typename Base>
bool TGridEditorHost<Base>::IsLeaveTab(quint16 VK) const
{
    return VK != VK_TAB || (FGrid->Options() & goTabs);
}

template <typename Base>
bool TGridEditorHost<Base>::focusNextPrevChild(bool Next)
{
    // With goTabs the editor wants the Tab key itself (it commits and moves
    // to the next cell) instead of passing the focus on.
    if (FGrid->Options() & goTabs)
        return false;
    return Base::focusNextPrevChild(Next);
}

template <typename Base>
void TGridEditorHost<Base>::focusOutEvent(QFocusEvent *Event)
{
    Base::focusOutEvent(Event);
    if (this->isVisible() && !HoldsFocus(QApplication::focusWidget()))
        FGrid->HideCellEditor();
}

template <typename Base>
bool TGridEditorHost<Base>::HoldsFocus(const QWidget *) const
{
    return false;
}

template <typename Base>
void TGridEditorHost<Base>::ShowCellText()
{
    if constexpr (std::is_base_of_v<QLineEdit, Base>)
        this->setText(FGrid->GetEditText(FGrid->Col(), FGrid->Row()));
    else if constexpr (std::is_base_of_v<TCGCustomCombo, Base>)
        this->SetText(FGrid->GetEditText(FGrid->Col(), FGrid->Row()));
}

template <typename Base>
void TGridEditorHost<Base>::CancelAndLeave(quint16 VK, TShiftState Shift)
{
    if constexpr (std::is_base_of_v<QLineEdit, Base>)
        this->setText(FGrid->SavedText);
    else if constexpr (std::is_base_of_v<TCGCustomCombo, Base>)
        this->SetText(FGrid->SavedText);
    FGrid->EditorLeaveKey(VK, Shift);
}

template <typename Base>
bool TGridEditorHost<Base>::CommitText(const QString &Text)
{
    if (FGrid->CommitEdit(Text))
        return true;
    ShowCellText();
    if constexpr (std::is_base_of_v<QLineEdit, Base>) {
        this->setCursorPosition(int(this->text().size()));
        this->selectAll();
    } else if constexpr (std::is_base_of_v<QComboBox, Base>) {
        if (this->lineEdit())
            this->lineEdit()->selectAll();
    }
    return false;
}

template <typename Base>
bool TGridEditorHost<Base>::CommitAndLeave(const QString &Text, quint16 VK, TShiftState Shift)
{
    if (!CommitText(Text))
        return false;
    FGrid->EditorLeaveKey(VK, Shift);
    return true;
}

template <typename Base>
bool TGridEditorHost<Base>::LeaveKey(quint16 VK, TShiftState Shift, const QString &Text, bool PageKeys)
{
    switch (VK) {
    case VK_ESCAPE:
        CancelAndLeave(VK, Shift);
        return true;
    case VK_PRIOR:
    case VK_NEXT:
        if (!PageKeys)
            return false;
        FGrid->EditorLeaveKey(VK, Shift);
        return true;
    case VK_TAB:
    case VK_RETURN:
    case VK_UP:
    case VK_DOWN:
        if (!IsLeaveTab(VK))
            return false;
        CommitAndLeave(Text, VK, Shift);
        return true;
    default:
        return false;
    }
}

template class TGridEditorHost<TInplaceEdit>;
template class TGridEditorHost<TCGComboBox>;
template class TGridEditorHost<TCgSpinEdit>;
template class TGridEditorHost<TCgUniEdit>;
template class TGridEditorHost<QDateTimeEdit>;
template class TGridEditorHost<QCheckBox>;
template class TGridEditorHost<QPushButton>;
template class TGridEditorHost<TCgEditBtn>;
template class TGridEditorHost<TCgUnitEditBtn>;
