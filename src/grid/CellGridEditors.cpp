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

TCellInplaceEdit::TCellInplaceEdit(TCellGrid *AGrid) : TInplaceEdit(AGrid), FGrid(AGrid)
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

bool TCellInplaceEdit::Commit()
{
    if (FGrid->CommitEdit(text()))
        return true;
    // Refused: the editor shows what the check left in the cell and stays open.
    SetText(FGrid->GetEditText(FGrid->Col(), FGrid->Row()));
    setCursorPosition(int(text().size()));
    selectAll();
    return false;
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
            if (!Commit())
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
            if (!Commit())
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
            if (!Commit())
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

TGridCombo::TGridCombo(TCellGrid *AGrid) : TCGComboBox(AGrid->viewport()), FGrid(AGrid)
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
        SetText(FGrid->SavedText);
        FGrid->EditorLeaveKey(VK, Shift);
        return true;
    }
    if (VK == VK_TAB && !(FGrid->Options() & goTabs))
        return false;
    if (!FGrid->CommitEdit(currentText())) {
        if (lineEdit())
            lineEdit()->selectAll();
        return true;
    }
    FGrid->EditorLeaveKey(VK, Shift);
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

void TGridCombo::focusOutEvent(QFocusEvent *Event)
{
    TCGComboBox::focusOutEvent(Event);
    QWidget *F = QApplication::focusWidget();
    if (isVisible() && !DroppedDown() && F != this && F != lineEdit() && !(F && view()->isAncestorOf(F))
        && F != view())
        FGrid->HideCellEditor();
}

// =================================================================== TGridSpin

TGridSpin::TGridSpin(TCellGrid *AGrid) : TCgSpinEdit(AGrid->viewport()), FGrid(AGrid)
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
        if (IsFloat) {
            if (FloatValue() + IncrementFloat <= MaxFloatValue)
                SetFloatValue(FloatValue() + IncrementFloat);
        } else if (Value() + Increment <= MaxValue) {
            SetValue(Value() + Increment);
        }
        if (SpinType() == sptNormal)
            SpinEvent(true);
        return;
    case VK_NEXT:
        if (IsFloat) {
            if (FloatValue() - IncrementFloat >= MinFloatValue)
                SetFloatValue(FloatValue() - IncrementFloat);
        } else if (Value() - Increment >= MinValue) {
            SetValue(Value() - Increment);
        }
        if (SpinType() == sptNormal)
            SpinEvent(false);
        return;
    case VK_HOME:
        if (IsFloat)
            SetFloatValue(MaxFloatValue);
        else
            SetValue(MaxValue);
        if (SpinType() == sptNormal)
            SpinEvent(true);
        return;
    case VK_END:
        if (IsFloat)
            SetFloatValue(MinFloatValue);
        else
            SetValue(MinValue);
        if (SpinType() == sptNormal)
            SpinEvent(false);
        return;
    case VK_ESCAPE:
        setText(FGrid->SavedText);
        FGrid->EditorLeaveKey(VK, Shift);
        return;
    case VK_RETURN: {
        if (!FGrid->CommitEdit(text()))
            return;
        const int OC = FGrid->Col(), OR = FGrid->Row();
        FGrid->EditorLeaveKey(VK, Shift);
        FGrid->AdvanceEdit(OC, OR, true, false, false);
        return;
    }
    case VK_TAB:
    case VK_UP:
    case VK_DOWN:
        if (VK == VK_TAB && !(FGrid->Options() & goTabs))
            break;
        if (!FGrid->CommitEdit(text()))
            return;
        FGrid->EditorLeaveKey(VK, Shift);
        return;
    default:
        break;
    }
    TCgSpinEdit::keyPressEvent(Event);
}

void TGridSpin::focusOutEvent(QFocusEvent *Event)
{
    TCgSpinEdit::focusOutEvent(Event);
    if (isVisible())
        FGrid->HideCellEditor();
}

// =================================================================== TGridUniEdit

TGridUniEdit::TGridUniEdit(TCellGrid *AGrid) : TCgUniEdit(AGrid->viewport()), FGrid(AGrid)
{
    setObjectName(QStringLiteral("GridUniEdit"));
    setFrame(false);
    hide();
}

void TGridUniEdit::keyPressEvent(QKeyEvent *Event)
{
    const quint16 VK = VirtualKeyOf(Event);
    const TShiftState Shift = ShiftStateOf(Event->modifiers());
    switch (VK) {
    case VK_ESCAPE:
        setText(FGrid->SavedText);
        FGrid->EditorLeaveKey(VK, Shift);
        return;
    case VK_TAB:
    case VK_RETURN:
    case VK_UP:
    case VK_DOWN:
        if (VK == VK_TAB && !(FGrid->Options() & goTabs))
            break;
        if (!FGrid->CommitEdit(text()))
            return;
        FGrid->EditorLeaveKey(VK, Shift);
        return;
    default:
        break;
    }
    QLineEdit::keyPressEvent(Event);
}

void TGridUniEdit::focusOutEvent(QFocusEvent *Event)
{
    TCgUniEdit::focusOutEvent(Event);
    if (isVisible())
        FGrid->HideCellEditor();
}

// =================================================================== TGridDatePicker

TGridDatePicker::TGridDatePicker(TCellGrid *AGrid) : QDateTimeEdit(AGrid->viewport()), FGrid(AGrid)
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
        if (VK == VK_TAB && !(FGrid->Options() & goTabs))
            break;
        FGrid->EditorLeaveKey(VK, Shift);
        return;
    default:
        break;
    }
    QDateTimeEdit::keyPressEvent(Event);
}

void TGridDatePicker::focusOutEvent(QFocusEvent *Event)
{
    QDateTimeEdit::focusOutEvent(Event);
    if (isVisible() && !FDroppedDown)
        FGrid->HideCellEditor();
}

// =================================================================== TGridCheckBox

TGridCheckBox::TGridCheckBox(TCellGrid *AGrid) : QCheckBox(AGrid->viewport()), FGrid(AGrid)
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

void TGridCheckBox::focusOutEvent(QFocusEvent *Event)
{
    QCheckBox::focusOutEvent(Event);
    if (isVisible())
        FGrid->HideCellEditor();
}

// =================================================================== TGridButton

TGridButton::TGridButton(TCellGrid *AGrid) : QPushButton(AGrid->viewport()), FGrid(AGrid)
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

void TGridButton::focusOutEvent(QFocusEvent *Event)
{
    QPushButton::focusOutEvent(Event);
    if (isVisible())
        FGrid->HideCellEditor();
}

// =================================================================== TGridEditBtn

TGridEditBtn::TGridEditBtn(TCellGrid *AGrid) : TCgEditBtn(AGrid->viewport()), FGrid(AGrid)
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
    const TShiftState Shift = ShiftStateOf(Event->modifiers());
    switch (VK) {
    case VK_ESCAPE:
        setText(FGrid->SavedText);
        FGrid->EditorLeaveKey(VK, Shift);
        return;
    case VK_PRIOR:
    case VK_NEXT:
        FGrid->EditorLeaveKey(VK, Shift);
        return;
    case VK_TAB:
    case VK_RETURN:
    case VK_UP:
    case VK_DOWN:
        if (VK == VK_TAB && !(FGrid->Options() & goTabs))
            break;
        if (!FGrid->CommitEdit(text())) {
            setText(FGrid->GetEditText(FGrid->Col(), FGrid->Row()));
            selectAll();
            return;
        }
        FGrid->EditorLeaveKey(VK, Shift);
        return;
    default:
        break;
    }
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

void TGridEditBtn::focusOutEvent(QFocusEvent *Event)
{
    TCgEditBtn::focusOutEvent(Event);
    const QWidget *F = QApplication::focusWidget();
    if (isVisible() && F != Button() && !isAncestorOf(F))
        FGrid->HideCellEditor();
}

// =================================================================== TGridUnitEditBtn

TGridUnitEditBtn::TGridUnitEditBtn(TCellGrid *AGrid) : TCgUnitEditBtn(AGrid->viewport()), FGrid(AGrid)
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
    const quint16 VK = VirtualKeyOf(Event);
    const TShiftState Shift = ShiftStateOf(Event->modifiers());
    switch (VK) {
    case VK_ESCAPE:
        setText(FGrid->SavedText);
        FGrid->EditorLeaveKey(VK, Shift);
        return;
    case VK_PRIOR:
    case VK_NEXT:
        FGrid->EditorLeaveKey(VK, Shift);
        return;
    case VK_TAB:
    case VK_RETURN:
    case VK_UP:
    case VK_DOWN:
        if (VK == VK_TAB && !(FGrid->Options() & goTabs))
            break;
        if (!FGrid->CommitEdit(text() + UnitID()))
            return;
        FGrid->EditorLeaveKey(VK, Shift);
        return;
    default:
        break;
    }
    if (Event->text() == QStringLiteral("\r"))
        return;
    TCgUnitEditBtn::keyPressEvent(Event);
}

void TGridUnitEditBtn::focusOutEvent(QFocusEvent *Event)
{
    TCgUnitEditBtn::focusOutEvent(Event);
    const QWidget *F = QApplication::focusWidget();
    if (isVisible() && !(UnitMenu() && UnitMenu()->isVisible()) && F != Button() && !isAncestorOf(F))
        FGrid->HideCellEditor();
}

// =================================================================== Tab with goTabs

// With goTabs in the grid's options every editor wants the Tab key itself
// (it commits and moves to the next cell) instead of passing the focus on.

bool TCellInplaceEdit::focusNextPrevChild(bool Next)
{
    if (FGrid->Options() & goTabs)
        return false;
    return TInplaceEdit::focusNextPrevChild(Next);
}

bool TGridCombo::focusNextPrevChild(bool Next)
{
    if (FGrid->Options() & goTabs)
        return false;
    return TCGComboBox::focusNextPrevChild(Next);
}

bool TGridSpin::focusNextPrevChild(bool Next)
{
    if (FGrid->Options() & goTabs)
        return false;
    return TCgSpinEdit::focusNextPrevChild(Next);
}

bool TGridUniEdit::focusNextPrevChild(bool Next)
{
    if (FGrid->Options() & goTabs)
        return false;
    return TCgUniEdit::focusNextPrevChild(Next);
}

bool TGridDatePicker::focusNextPrevChild(bool Next)
{
    if (FGrid->Options() & goTabs)
        return false;
    return QDateTimeEdit::focusNextPrevChild(Next);
}

bool TGridCheckBox::focusNextPrevChild(bool Next)
{
    if (FGrid->Options() & goTabs)
        return false;
    return QCheckBox::focusNextPrevChild(Next);
}

bool TGridButton::focusNextPrevChild(bool Next)
{
    if (FGrid->Options() & goTabs)
        return false;
    return QPushButton::focusNextPrevChild(Next);
}

bool TGridEditBtn::focusNextPrevChild(bool Next)
{
    if (FGrid->Options() & goTabs)
        return false;
    return TCgEditBtn::focusNextPrevChild(Next);
}

bool TGridUnitEditBtn::focusNextPrevChild(bool Next)
{
    if (FGrid->Options() & goTabs)
        return false;
    return TCgUnitEditBtn::focusNextPrevChild(Next);
}
