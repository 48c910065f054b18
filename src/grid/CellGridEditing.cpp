// The editing cycle of the grid: whether an editor may open, which editor a
// cell gets, placing and filling it, reading its value back into the cell,
// the end-of-edit check, Esc and Enter, and the advance after an edit.
#include "grid/CellGrid.h"
#include "grid/CellGridEditors.h"
#include "grid/CellRichEdit.h"
#include "grid/GridUtil.h"

#include <QApplication>
#include <QKeyEvent>
#include <QComboBox>
#include <QLineEdit>

namespace {

QString DateTimeKey(TDateTime Value)
{
    return QString::number(Value, 'f', 9);
}

} // namespace

// =================================================================== editor controls

bool TCellGrid::IsGridEditorKind(TEditorType Kind)
{
    switch (Kind) {
    case edNormal:
    case edNumeric:
    case edPositiveNumeric:
    case edFloat:
    case edCapital:
    case edMixedCase:
    case edPassword:
    case edLowerCase:
    case edUpperCase:
        return false;
    default:
        return true;
    }
}

TInplaceEdit *TCellGrid::CreateEditor()
{
    FCellEditor = new TCellInplaceEdit(this);
    // The first edit chooses its kind before the editor exists: the kind's
    // settings (password, length limit) go onto the new editor at once.
    if (FPlatformEditOpen)
        FCellEditor->ApplyKind();
    return FCellEditor;
}

TCellInplaceEdit *TCellGrid::CellEditor()
{
    return FCellEditor;
}

TGridCombo *TCellGrid::InplaceCombo()
{
    if (!FInplaceCombo)
        FInplaceCombo = new TGridCombo(this);
    return FInplaceCombo;
}

TGridSpin *TCellGrid::GridSpin()
{
    if (!FGridSpin)
        FGridSpin = new TGridSpin(this);
    return FGridSpin;
}

TGridUniEdit *TCellGrid::GridUniEdit()
{
    if (!FGridUniEdit)
        FGridUniEdit = new TGridUniEdit(this);
    return FGridUniEdit;
}

TGridUniCombo *TCellGrid::GridUniCombo()
{
    if (!FGridUniCombo) {
        FGridUniCombo = new TGridUniCombo(this);
        FGridUniCombo->setObjectName(QStringLiteral("GridUniCombo"));
    }
    return FGridUniCombo;
}

TGridDatePicker *TCellGrid::GridDatePicker()
{
    if (!FGridDatePicker)
        FGridDatePicker = new TGridDatePicker(this);
    return FGridDatePicker;
}

TGridCheckBox *TCellGrid::GridCheckBox()
{
    if (!FGridCheckBox)
        FGridCheckBox = new TGridCheckBox(this);
    return FGridCheckBox;
}

TGridEditBtn *TCellGrid::GridEditBtn()
{
    if (!FGridEditBtn) {
        FGridEditBtn = new TGridEditBtn(this);
        FGridEditBtn->OnClickBtn = nullptr;
    }
    return FGridEditBtn;
}

TGridUnitEditBtn *TCellGrid::GridUnitEditBtn()
{
    if (!FGridUnitEditBtn)
        FGridUnitEditBtn = new TGridUnitEditBtn(this);
    return FGridUnitEditBtn;
}

TGridButton *TCellGrid::GridButton()
{
    if (!FGridButton)
        FGridButton = new TGridButton(this);
    return FGridButton;
}

bool TCellGrid::HasEditorOfItsKind(TEditorType Kind)
{
    // The kinds without a control of their own here: the data check box and
    // the application's custom kind.
    return Kind != edDataCheckBox && Kind != edCustom;
}

QWidget *TCellGrid::EditorControl(TEditorType Kind)
{
    switch (Kind) {
    case edSpinEdit:
    case edFloatSpinEdit:
    case edTimeSpinEdit:
    case edDateSpinEdit: return GridSpin();
    case edComboEdit:
    case edComboList: return InplaceCombo();
    case edEditBtn:
    case edNumericEditBtn:
    case edFloatEditBtn: return GridEditBtn();
    case edUnitEditBtn: return GridUnitEditBtn();
    case edCheckBox: return GridCheckBox();
    case edDateEdit:
    case edDateEditUpDown:
    case edTimeEdit: return GridDatePicker();
    case edButton: return GridButton();
    case edRichEdit: return InplaceRichEdit();
    case edUniEdit: return GridUniEdit();
    case edUniComboEdit:
    case edUniComboList: return GridUniCombo();
    default: return nullptr;
    }
}

// The value of the open grid editor as text, to tell whether the user changed it.
QString TCellGrid::EditorValueText()
{
    switch (EditorKind) {
    case edSpinEdit:
    case edFloatSpinEdit:
    case edTimeSpinEdit:
    case edDateSpinEdit: return GridSpin()->text();
    case edComboEdit:
    case edComboList: return InplaceCombo()->currentText();
    case edEditBtn:
    case edNumericEditBtn:
    case edFloatEditBtn: return GridEditBtn()->text();
    case edUnitEditBtn: return GridUnitEditBtn()->text() + GridUnitEditBtn()->UnitID();
    case edDateEdit:
    case edDateEditUpDown: return DateTimeKey(GridDatePicker()->Date());
    case edTimeEdit: return DateTimeKey(GridDatePicker()->Time());
    case edRichEdit: return InplaceRichEdit()->RTF();
    case edUniEdit: return GridUniEdit()->text();
    case edUniComboEdit:
    case edUniComboList: return GridUniCombo()->currentText();
    default: return QString();
    }
}

// =================================================================== choosing the editor

bool TCellGrid::CanEditShow()
{
    if (Validating)
        return false;
    bool Result = TBaseGrid::CanEditShow();
    const int RC = RealCol();
    const TPoint B = BaseCell(RC, Row());
    if (Result && EditorActive && IsGridEditorKind(EditorKind))
        return false;
    if (Result && !EditorActive && HasCheckControl(B.X, B.Y))
        Result = false;
    if (Result && !EditorActive) {
        SavedText = GetCellText(RC, Row());
        EditorKind = edNormal;
        GetCellEditor(B.X, B.Y, EditorKind);
        EditorActive = true;
        FEditOpen = true;
        FEditStartCell = TPoint(RC, Row());
        FEditStartText = SavedText;
        if (!HasEditorOfItsKind(EditorKind)) {
            // Nothing opens, so nothing is left waiting for a read-back.
            EditorActive = false;
            FEditOpen = false;
            Result = false;
        } else if (IsGridEditorKind(EditorKind)) {
            const TPoint D = BaseCell(Col(), Row());
            ShowCellEditor(D.X, D.Y);
            Result = false;
        } else {
            FPlatformEditOpen = true;
            if (FCellEditor) {
                FCellEditor->LengthLimit = 0;
                FCellEditor->ApplyKind();
            }
        }
    }
    return Result;
}

void TCellGrid::TypeStartKey(QWidget *Editor)
{
    if (StartKey.isEmpty() || !Editor)
        return;
    const QString Keys = StartKey;
    StartKey.clear();
    QWidget *Target = Editor->focusProxy() ? Editor->focusProxy() : Editor;
    // The editors select their text when they take the focus, so the typed
    // text replaces it.
    if (auto *Edit = qobject_cast<QLineEdit *>(Target))
        Edit->selectAll();
    else if (auto *Combo = qobject_cast<QComboBox *>(Target); Combo && Combo->lineEdit())
        Combo->lineEdit()->selectAll();
    for (QChar C : Keys) {
        QKeyEvent Press(QEvent::KeyPress, 0, Qt::NoModifier, QString(C));
        QApplication::sendEvent(Target, &Press);
    }
}

// =================================================================== showing a grid editor

void TCellGrid::ShowCellEditor(int ACol, int ARow)
{
    // The editor stands over its cell as the cell is shown: mirrored around
    // the client width when the grid is laid out right to left.
    const TRect R = ViewportRect(GetCellRect(ACol, ARow));
    const int W = R.Right - R.Left - 1;
    const int H = R.Bottom - R.Top - 1;
    const int RC = RealColIndex(ACol);

    TBrush Brush;
    Brush.SetColor(Color());
    TFont CellFont;
    CellFont.Assign(*Font());
    GetCellColor(RC, Row(), 0, &Brush, &CellFont);
    const QColor C = TColorToQColor(Brush.Color());
    auto Paint = [&C](QWidget *Ctl) {
        QPalette Pal = Ctl->palette();
        Pal.setColor(QPalette::Base, C);
        Ctl->setPalette(Pal);
    };
    auto Place = [&](QWidget *Ctl) {
        EditorActive = true;
        Ctl->setGeometry(R.Left, R.Top, std::max(W, 1), std::max(H, 1));
    };
    FEditorValueRead = true;
    QWidget *KeyTarget = nullptr;
    const QString EditText = GetEditText(ACol, ARow);

    switch (EditorKind) {
    case edSpinEdit:
    case edFloatSpinEdit:
    case edTimeSpinEdit:
    case edDateSpinEdit: {
        TGridSpin *S = GridSpin();
        Place(S);
        Paint(S);
        if (EditorKind == edSpinEdit) {
            S->SetSpinType(sptNormal);
            int V = 0;
            // A text that is no integer is shown as it is rather than as a number.
            if (TryStrToInt(EditText.trimmed(), V))
                S->SetValue(V);
            else
                S->setText(EditText);
        } else if (EditorKind == edFloatSpinEdit) {
            S->SetSpinType(sptFloat);
            double V = 0;
            if (TryStrToFloat(NumericText(EditText), V))
                S->SetFloatValue(V);
            else
                S->setText(EditText);
        } else if (EditorKind == edTimeSpinEdit) {
            S->SetSpinType(sptTime);
            S->setText(EditText);
        } else {
            TDateTime D = 0;
            if (EditText.isEmpty() || !TryStrToDate(EditText.trimmed(), D)) {
                D = Now();
                FEditorValueRead = false;
            }
            S->SetDateValue(D);
            S->SetSpinType(sptDate);
        }
        S->setEnabled(true);
        S->show();
        S->setFocus();
        KeyTarget = S;
        break;
    }
    case edComboEdit:
    case edComboList:
    case edUniComboEdit:
    case edUniComboList: {
        const bool Uni = EditorKind == edUniComboEdit || EditorKind == edUniComboList;
        TGridCombo *Cb = Uni ? GridUniCombo() : InplaceCombo();
        const bool ListStyle = EditorKind == edComboList || EditorKind == edUniComboList;
        Cb->setGeometry(R.Left, R.Top, 0, 0);
        Cb->setEnabled(true);
        Cb->SetDroppedDown(false);
        Cb->SetStyle(ListStyle ? csDropDownList : csDropDown);
        // The editable style's own edit gets the keys first; the leave keys are the combo's.
        if (Cb->lineEdit())
            Cb->lineEdit()->installEventFilter(Cb);
        if (Uni) {
            // The items are read out and added again before use.
            QStringList Items;
            for (int I = 0; I < Cb->count(); ++I)
                Items << Cb->itemText(I);
            Cb->clear();
            Cb->addItems(Items);
            Cb->setFont(Font()->ToQFont());
        }
        // The Unicode kinds show the cell's wide text.
        const QString CellText = Uni ? GetWideCellText(RC, ARow) : GetCellText(RC, ARow);
        if (ListStyle) {
            const int Index = Cb->findText(CellText, Qt::MatchExactly);
            Cb->setCurrentIndex(Index >= 0 ? Index : 0);
        }
        Cb->setGeometry(R.Left, R.Top, std::max(W, 1), std::max(H, 1));
        EditorActive = true;
        if (!ListStyle)
            Cb->SetText(Uni ? CellText : EditText);
        Paint(Cb);
        Cb->show();
        Cb->SetFlat(Look() == glSoft || Look() == glHouse);
        Cb->SetEtched(Look() == glSoft || Look() == glHouse);
        if (Navigation()->AutoComboDropSize)
            Cb->SizeDropDownWidth();
        Cb->setFocus();
        if (MouseActions()->DirectComboDrop)
            Cb->SetDroppedDown(true);
        if (!Uni)
            KeyTarget = Cb;
        break;
    }
    case edEditBtn:
    case edNumericEditBtn:
    case edFloatEditBtn: {
        TGridEditBtn *E = GridEditBtn();
        E->setMaxLength(MaxEditLength() > 0 ? MaxEditLength() : 32767);
        Place(E);
        E->setText(EditText);
        Paint(E);
        E->setEnabled(true);
        E->show();
        E->setFocus();
        KeyTarget = E;
        E->resize(E->width(), std::max(H, 1));
        break;
    }
    case edUnitEditBtn: {
        TGridUnitEditBtn *E = GridUnitEditBtn();
        E->setMaxLength(MaxEditLength() > 0 ? MaxEditLength() : 32767);
        Place(E);
        E->ShowEditText(EditText);
        Paint(E);
        E->setEnabled(true);
        E->show();
        E->setFocus();
        KeyTarget = E;
        E->resize(E->width(), std::max(H, 1));
        break;
    }
    case edCheckBox: {
        TGridCheckBox *Ck = GridCheckBox();
        Place(Ck);
        Ck->setText(EditText);
        Ck->setChecked(false);
        Ck->setEnabled(true);
        Ck->show();
        Ck->setFocus();
        break;
    }
    case edDateEdit:
    case edDateEditUpDown:
    case edTimeEdit: {
        TGridDatePicker *P = GridDatePicker();
        Place(P);
        const bool IsTime = EditorKind == edTimeEdit;
        TDateTime V = 0;
        bool Read = false;
        if (!EditText.trimmed().isEmpty()) {
            if (IsTime) {
                const QTime T = QTime::fromString(EditText.trimmed(), QStringLiteral("H:m:s"));
                const QTime T2 = T.isValid() ? T : QTime::fromString(EditText.trimmed(), QStringLiteral("H:m"));
                if (T2.isValid()) {
                    V = EncodeTime(T2.hour(), T2.minute(), T2.second(), 0);
                    Read = true;
                }
            } else {
                Read = TryStrToDate(EditText.trimmed(), V);
            }
        }
        if (!Read) {
            V = Now();
            FEditorValueRead = false;
        }
        P->RestoreValue = V;
        P->SetKind(IsTime ? dtkTime : dtkDate);
        P->SetDateMode(EditorKind == edDateEditUpDown ? dmUpDown : dmComboBox);
        if (IsTime)
            P->SetTime(V);
        else
            P->SetDate(V);
        if (P->sizeHint().height() > H)
            P->resize(P->width(), std::max(H, 1));
        Paint(P);
        P->setEnabled(true);
        P->show();
        P->setFocus();
        break;
    }
    case edButton: {
        TGridButton *B = GridButton();
        EditorActive = true;
        B->setGeometry(R.Left - 1, R.Top - 1, W + 2, H + 2);
        B->setText(EditText);
        B->setEnabled(true);
        B->show();
        B->setFocus();
        break;
    }
    case edUniEdit: {
        TGridUniEdit *U = GridUniEdit();
        EditorActive = true;
        const TPoint M = CellTextMargin;
        U->setGeometry(R.Left + 2 + M.X, R.Top + 2 + M.Y, std::max(W - 2 - 2 * M.X, 1), std::max(H - 2 - 2 * M.Y, 1));
        U->setFont(Font()->ToQFont());
        U->setText(GetWideCellText(RC, ARow));
        Paint(U);
        U->setEnabled(true);
        U->show();
        U->setFocus();
        KeyTarget = U;
        break;
    }
    case edRichEdit:
        OpenRichEditor(R, GetCellText(RC, ARow), CellFont, C);
        KeyTarget = InplaceRichEdit();
        break;
    default:
        // No control here (the kinds without one).
        break;
    }
    FEditorOpenValue = EditorValueText();
    TypeStartKey(KeyTarget);
    StartKey.clear();
}

// =================================================================== reading back

void TCellGrid::StoreEditText(int ACol, int ARow, const QString &Value)
{
    SetEditText(DisplColIndex(ACol), ARow, Value);
    SetCellText(ACol, ARow, Value);
}

void TCellGrid::RestoreEditText()
{
    const int RC = RealCol();
    SetCellText(RC, Row(), SavedText);
    SetCellText(RC, Row(), GetCellText(RC, Row()));
}

void TCellGrid::ReadBackEditor(int ACol, int ARow)
{
    StartKey.clear();
    const int RC = RealColIndex(ACol);
    // An editor closed without a change leaves the cell exactly as it was.
    const bool Changed = IsGridEditorKind(EditorKind) && EditorValueText() != FEditorOpenValue;
    switch (EditorKind) {
    case edSpinEdit:
    case edFloatSpinEdit:
    case edTimeSpinEdit:
    case edDateSpinEdit: {
        EditorActive = false;
        TGridSpin *S = GridSpin();
        if (Changed) {
            if (EditorKind == edFloatSpinEdit)
                SetFloats(RC, ARow, S->FloatValue());
            else if (EditorKind == edDateSpinEdit)
                SetDates(RC, ARow, S->DateValue());
            else
                StoreEditText(RC, ARow, S->text());
        }
        S->hide();
        break;
    }
    case edComboEdit:
    case edComboList:
        if (EditorActive) {
            EditorActive = false;
            if (Changed)
                StoreEditText(RC, ARow, InplaceCombo()->currentText());
            InplaceCombo()->SetDroppedDown(false);
            InplaceCombo()->hide();
        }
        break;
    case edEditBtn:
    case edNumericEditBtn:
    case edFloatEditBtn:
        if (Changed)
            StoreEditText(RC, ARow, GridEditBtn()->text());
        GridEditBtn()->hide();
        EditorActive = false;
        break;
    case edUnitEditBtn:
        if (Changed)
            StoreEditText(RC, ARow, GridUnitEditBtn()->text() + GridUnitEditBtn()->UnitID());
        GridUnitEditBtn()->hide();
        break;
    case edCheckBox:
        GridCheckBox()->hide();
        break;
    case edButton:
        GridButton()->hide();
        break;
    case edDateEdit:
    case edDateEditUpDown: {
        TGridDatePicker *P = GridDatePicker();
        if (Changed)
            StoreEditText(RC, ARow, P->Checked ? DateToStr(P->Date()) : QString());
        P->hide();
        break;
    }
    case edTimeEdit: {
        TGridDatePicker *P = GridDatePicker();
        if (Changed)
            StoreEditText(RC, ARow, TimeToStr(P->Time()));
        P->hide();
        break;
    }
    case edRichEdit:
        CloseRichEditor(RC, ARow, Changed);
        break;
    case edUniEdit:
        EditorActive = false;
        if (Changed)
            SetWideCellText(RC, ARow, GridUniEdit()->text());
        GridUniEdit()->hide();
        break;
    case edUniComboEdit:
    case edUniComboList:
        EditorActive = false;
        if (Changed)
            SetWideCellText(RC, ARow, GridUniCombo()->currentText());
        GridUniCombo()->SetDroppedDown(false);
        GridUniCombo()->hide();
        break;
    default:
        break;
    }
    if (OnEditingDone)
        OnEditingDone(this);
}

void TCellGrid::HideCellEditor()
{
    if (!EditorActive || FHidingEditor)
        return;
    FHidingEditor = true;
    QWidget *Ctl = EditorControl(EditorKind);
    QWidget *Focused = QApplication::focusWidget();
    const bool HadFocus = Ctl && Focused && (Focused == Ctl || Ctl->isAncestorOf(Focused));
    HideEditor();
    ReadBackEditor(Col(), Row());
    EditorActive = false;
    FEditOpen = false;
    FPlatformEditOpen = false;
    if (HadFocus)
        setFocus();
    FHidingEditor = false;
    SelectCell(Col(), Row());
}

// =================================================================== the end-of-edit check

bool TCellGrid::EndEdit(const QString &NewValue)
{
    if (!FEditOpen || Validating)
        return true;
    Validating = true;
    FEditOpen = false;
    const TPoint Cell = FEditStartCell;
    const QString Start = FEditStartText;
    QString Value = NewValue;
    bool Valid = true;
    if (NewValue != Start) {
        if (CellChecker && CellChecker->AutoCorrect)
            Value = CellChecker->Correct(Value);
        if (OnCellValidate)
            OnCellValidate(this, Cell.X, Cell.Y, Value, Valid);
        if (CellChecker && CellChecker->AutoMarkError)
            Value = CellChecker->MarkError(Value);
        CellsChanged(TRect(Cell.X, Cell.Y, Cell.X, Cell.Y));
    }
    if (Cell.X >= 0 && Cell.Y >= 0 && Cell.Y < RowCount()) {
        if (Valid) {
            if (GetCellText(Cell.X, Cell.Y) != Value)
                SetCellText(Cell.X, Cell.Y, Value);
        } else {
            SetCellText(Cell.X, Cell.Y, Value != NewValue ? Value : Start);
            // The edit goes on until a valid value is given.
            FEditOpen = true;
        }
        FEditStartText = GetCellText(Cell.X, Cell.Y);
    }
    Validating = false;
    return Valid;
}

bool TCellGrid::CommitEdit(const QString &Text)
{
    const int RC = RealCol(), R = Row();
    if (IsGridEditorKind(EditorKind)) {
        if (EditorValueText() != FEditorOpenValue) {
            // The spin kinds store what reading back would: a float in the
            // grid's float format, a date as a date text; the Unicode kinds a wide cell.
            if (EditorKind == edFloatSpinEdit)
                SetFloats(RC, R, GridSpin()->FloatValue());
            else if (EditorKind == edDateSpinEdit)
                SetDates(RC, R, GridSpin()->DateValue());
            else if (EditorKind == edUniEdit || EditorKind == edUniComboEdit || EditorKind == edUniComboList)
                SetWideCellText(RC, R, Text);
            else
                StoreEditText(RC, R, Text);
            FEditorOpenValue = EditorValueText();
        }
    } else if (FEditOpenCell == TPoint(RC, R) && Text == FEditOpenText) {
        SetCellText(RC, R, FEditOpenRaw);
        // The cell's markup stays out of the open editor.
        if (FCellEditor && FCellEditor->isVisible() && FCellEditor->text() != Text) {
            const int Pos = FCellEditor->cursorPosition();
            FCellEditor->QLineEdit::setText(Text);
            FCellEditor->setCursorPosition(std::min(Pos, int(Text.size())));
        }
    } else {
        SetEditText(Col(), R, Text);
    }
    return EndEdit(GetCellText(RC, R));
}

void TCellGrid::EditorLeaveKey(quint16 Key, TShiftState Shift)
{
    // Esc takes nothing from the editor back into the cell.
    if (Key == VK_ESCAPE && EditorActive && IsGridEditorKind(EditorKind))
        FEditorOpenValue = EditorValueText();
    HideCellEditor();
    setFocus();
    if (Key == VK_ESCAPE || Key == VK_RETURN)
        return;
    quint16 K = Key;
    KeyDown(K, Shift);
}

void TCellGrid::EllipsClick(int ACol, int ARow, QString &S)
{
    if (OnEllipsClick)
        OnEllipsClick(this, ACol, ARow, S);
}

// =================================================================== edit text

QString TCellGrid::GetEditText(int ACol, int ARow)
{
    const int RC = RealColIndex(ACol);
    const QString Raw = GetCellText(RC, ARow);
    QString Value = EditWithTags || !EnableHTML ? Raw : StripCellHTML(Raw);
    if (OnGetEditText)
        OnGetEditText(this, ACol, ARow, Value);
    FEditOpenCell = TPoint(RC, ARow);
    FEditOpenRaw = Raw;
    FEditOpenText = Value;
    return Value;
}

void TCellGrid::SetEditText(int ACol, int ARow, const QString &Value)
{
    const int RC = RealColIndex(ACol);
    // The editor shows the cell without its markup; closing it on the same
    // text puts the original cell text back, markup and all. (While it is
    // open the text goes in as typed, so the editor never shows the markup.)
    const bool Closed = !(InplaceEditor() && InplaceEditor()->isVisible());
    if (Closed && FEditOpenCell == TPoint(RC, ARow) && Value == FEditOpenText)
        SetCellText(RC, ARow, FEditOpenRaw);
    else
        SetCellText(RC, ARow, Value);
    if (OnSetEditText)
        OnSetEditText(this, ACol, ARow, Value);
    // The platform editor writes its text one last time when it closes.
    if (FPlatformEditOpen && !FHidingEditor && InplaceEditor() && !InplaceEditor()->isVisible()) {
        FPlatformEditOpen = false;
        EndEdit(GetCellText(RC, ARow));
        FEditOpen = false;
        EditorActive = false;
        if (OnEditingDone)
            OnEditingDone(this);
    }
}

// =================================================================== editability

bool TCellGrid::IsEditable(int ACol, int ARow)
{
    if (!((Options() & goEditing) || MouseActions()->RangeSelectAndEdit || FEditingRemoved))
        return false;
    if (ACol < 0 || ARow < 0 || ACol >= ColCount() + NumHiddenColumns() || ARow >= RowCount())
        return false;
    if (!IsBaseCell(ACol, ARow))
        return false;
    // Both answers are asked fresh for every cell.
    bool CanEdit = true;
    CanEditCell(ACol, ARow, CanEdit);
    bool IsFixed = false;
    QueryFixedCell(ACol, ARow, IsFixed);
    return CanEdit && !IsFixed;
}

// =================================================================== advance after an edit

void TCellGrid::AdvanceEdit(int ACol, int ARow, bool Forward, bool FromEditor, bool Force)
{
    TNavigation *Nav = Navigation();
    if (!Nav->AdvanceOnEnter && !Force)
        return;
    if (MouseActions()->RangeSelectAndEdit && !(Options() & goEditing))
        SetOptions(Options() | goEditing);
    const int OC = Col(), OR = Row();
    StartKey.clear();

    const int LastCol = ColCount() - 1 - FixedRightCols();
    const int LastRow = RowCount() - 1 - FixedFooters();
    // Non-editable cells are skipped in the same direction; after one full
    // pass over the grid without an editable cell the cursor stays put.
    const int Limit = ColCount() * RowCount() + 2;
    int C = ACol, R = ARow;
    for (int Pass = 0; Pass < Limit; ++Pass) {
        const int S = std::max(CellSpan(RealColIndex(C), R).X, 0);
        int NC = C, NR = R;
        const bool LR = Nav->AdvanceDirection == adLeftRight;
        if (Forward && LR) {
            if (C + S < LastCol) {
                NC = C + 1 + S;
            } else if (R < LastRow) {
                NC = FixedCols();
                NR = R + 1;
            } else if (Nav->AdvanceInsert) {
                bool CanAdd = true;
                if (OnCanAddRow)
                    OnCanAddRow(this, CanAdd);
                if (!CanAdd)
                    return;
                AddRow();
                NR = R + 1;
                NC = FixedCols();
                if (OnAutoAddRow)
                    OnAutoAddRow(this, RowCount() - 1 - FixedFooters());
            } else {
                NC = FixedCols();
                NR = FixedRows();
            }
        } else if (Forward) {
            if (R >= LastRow) {
                if (C < LastCol) {
                    NR = FixedRows();
                    NC = C + 1 + S;
                    if (NC >= ColCount())
                        NC = FixedCols();
                } else if (Nav->AdvanceInsert) {
                    SetColCount(ColCount() + 1);
                    NC = C + 1 + S;
                    NR = FixedRows();
                    if (OnAutoInsertCol)
                        OnAutoInsertCol(this, ColCount() - 1 - FixedRightCols());
                } else {
                    NC = FixedCols();
                    NR = FixedRows();
                }
                InvalidateGrid();
            } else {
                NR = R + 1;
            }
        } else if (LR) {
            if (C <= FixedCols()) {
                NR = R <= FixedRows() ? LastRow : R - 1;
                NC = LastCol;
            } else {
                NC = C - 1;
            }
        } else {
            if (R <= FixedRows()) {
                NC = C <= FixedCols() ? LastCol : C - 1;
                NR = LastRow;
            } else {
                NR = R - 1;
            }
        }
        if (NC < 0 || NR < 0 || NC >= ColCount() || NR >= RowCount())
            return;

        const int RNC = RealColIndex(NC);
        if (!IsEditable(RNC, NR)) {
            C = NC;
            R = NR;
            continue;
        }
        bool Allow = true;
        if (OnCellChanging)
            OnCellChanging(this, OR, OC, NR, NC, Allow);
        FAdvancing = true;
        if (Allow)
            FocusCell(NC, NR, true);
        else
            SelectCell(OC, OR);
        FAdvancing = false;

        const bool Check = HasCheckControl(RNC, NR);
        if (!FromEditor && !Check)
            return;
        if (!Check) {
            SetEditorMode(true);
            return;
        }
        FAdvancing = true;
        FocusCell(OC, OR, true);
        FocusCell(NC, NR, true);
        FAdvancing = false;
        if (!HasCheckControl(RealColIndex(OC), OR)) {
            const TRect Rc = GetCellRect(NC, NR);
            MouseDown(mbLeft, ssLeft, Rc.Left + 2, Rc.Top + 2);
            MouseUp(mbLeft, 0, Rc.Left + 2, Rc.Top + 2);
        }
        if (Nav->AdvanceDirection == adTopBottom)
            SetEditorMode(false);
        Allow = true;
        if (OnCellChanging)
            OnCellChanging(this, OR, OC, Row(), Col(), Allow);
        return;
    }
}
