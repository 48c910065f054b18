#pragma once
// The editor controls a grid shows over a cell while it is edited: the
// default text editor with its character filter by editor kind, and one
// control per other editor kind (combo, spin, date picker, check box,
// ellipsis and unit edits, button, Unicode edit and combo).

#include "grid/BaseGrid.h"
#include "grid/CGEdit.h"
#include "grid/cgcombo.h"
#include "grid/cgspin.h"
#include "grid/CgUni.h"
#include "platform/core/SysUtils.h"

#include <QCheckBox>
#include <QDateTimeEdit>
#include <QLineEdit>
#include <QPushButton>

#include <utility>

class TCellGrid;

// ------------------------------------------------------------------ what every editor shares

// Every editor control of a grid is its control class (Base) with this on
// top: the grid it belongs to; the Tab key kept for itself while the grid's
// options hold goTabs (it commits and moves to the next cell) instead of
// passing the focus on; the grid's editor closed when the focus leaves for a
// widget that is not one of the control's own parts; and the writing back of
// its text on the keys that leave it. Its members are compiled in
// CellGridEditors.cpp for the control classes below.
template <typename Base>
class TGridEditorHost : public Base {
public:
    template <typename... Args>
    explicit TGridEditorHost(TCellGrid *AGrid, Args &&...BaseArgs) : Base(std::forward<Args>(BaseArgs)...), FGrid(AGrid)
    {
    }
    TCellGrid *CellGrid() const { return FGrid; }

protected:
    bool focusNextPrevChild(bool Next) override;
    void focusOutEvent(QFocusEvent *Event) override;
    // True when Focus (the widget that has the focus now) is a part of this
    // control, such as its list, button or menu: the editor stays open.
    virtual bool HoldsFocus(const QWidget *Focus) const;
    // Shows the cell's edit text as the editor opened with it.
    virtual void ShowCellText();
    // Esc: the text that editing began with comes back; the key goes on to
    // the grid, which closes the editor.
    void CancelAndLeave(quint16 VK, TShiftState Shift);
    // Text goes into the cell and through the end-of-edit check. A refused
    // text leaves the editor open, showing what the check left in the cell,
    // all selected: false.
    bool CommitText(const QString &Text);
    // CommitText, then an accepted key goes on to the grid.
    bool CommitAndLeave(const QString &Text, quint16 VK, TShiftState Shift);
    // The leave keys of a text editor: Esc cancels; Tab (with goTabs), Enter,
    // Up and Down commit Text and leave; with PageKeys, PgUp and PgDn leave
    // without a commit. True when VK was one of them.
    bool LeaveKey(quint16 VK, TShiftState Shift, const QString &Text, bool PageKeys = false);
    // Tab leaves an editor only with goTabs in the grid's options.
    bool IsLeaveTab(quint16 VK) const;

    TCellGrid *FGrid;
};

// ------------------------------------------------------------------ default text editor

class TCellInplaceEdit : public TGridEditorHost<TInplaceEdit> {
    Q_OBJECT
public:
    explicit TCellInplaceEdit(TCellGrid *AGrid);
    bool VAlign = false;
    bool WordWrap = false;
    // 0: no limit of its own (the grid's MaxEditLength applies).
    qint16 LengthLimit = 0;
    // Set when a mouse click opened the editor: the caret goes under the mouse.
    bool CaretPositioning = false;
    QPoint CaretPoint;

    // Runs the character filter of the open editor kind on one typed
    // character and types what it lets through. Keypad: the character came
    // from the numeric keypad.
    void TypeChar(QChar Key, bool Keypad = false);
    // Types a whole committed string (an input method's), character by character.
    void TypeText(const QString &Text);
    // Paste with the grid's paste events and the kind's filter.
    void PasteText(const QString &Clip);
    // Applies the window settings of the open kind (password, alignment, limit).
    void ApplyKind();

protected:
    void keyPressEvent(QKeyEvent *Event) override;
    void inputMethodEvent(QInputMethodEvent *Event) override;
    void focusInEvent(QFocusEvent *Event) override;
    void focusOutEvent(QFocusEvent *Event) override;
    void contextMenuEvent(QContextMenuEvent *Event) override;
    void ShowCellText() override;

private:
    // True when the key goes on; the character may be changed.
    bool FilterChar(QChar &Key, bool Keypad);
    void InsertChar(QChar Key);
    bool FClosing = false;
};

// ------------------------------------------------------------------ combo

class TGridCombo : public TGridEditorHost<TCGComboBox> {
    Q_OBJECT
public:
    explicit TGridCombo(TCellGrid *AGrid);
    TCellGrid *Grid() const { return FGrid; }
    bool LookupAllowed = true;
    // Fits the drop-down width to the items (grid canvas font).
    void SizeDropDownWidth();
    // Auto-completion of the typed prefix from the items.
    void DoLookup();
    std::function<void(TObject *Sender)> OnReturn;

protected:
    void keyPressEvent(QKeyEvent *Event) override;
    void keyReleaseEvent(QKeyEvent *Event) override;
    bool eventFilter(QObject *Watched, QEvent *Event) override;
    bool HoldsFocus(const QWidget *Focus) const override;

private:
    bool HandleKey(QKeyEvent *Event);
};

// The grid's Unicode combo: the grid combo's keys and look, with the Unicode combo's item list.
class TGridUniCombo : public TGridCombo {
    Q_OBJECT
public:
    explicit TGridUniCombo(TCellGrid *AGrid) : TGridCombo(AGrid), FItems(this) {}
    TComboBoxStrings *Items() { return &FItems; }

protected:
    void ShowCellText() override;   // the cell's wide text

private:
    TComboBoxStrings FItems;
};

// ------------------------------------------------------------------ spin

class TGridSpin : public TGridEditorHost<TCgSpinEdit> {
    Q_OBJECT
public:
    explicit TGridSpin(TCellGrid *AGrid);
    void UpClick() override;
    void DownClick() override;

protected:
    void keyPressEvent(QKeyEvent *Event) override;

private:
    void SpinEvent(bool Up);
};

// ------------------------------------------------------------------ Unicode edit

class TGridUniEdit : public TGridEditorHost<TCgUniEdit> {
    Q_OBJECT
public:
    explicit TGridUniEdit(TCellGrid *AGrid);

protected:
    void keyPressEvent(QKeyEvent *Event) override;
    void ShowCellText() override;   // the cell's wide text
};

// ------------------------------------------------------------------ date picker

enum TDateTimeKind { dtkDate, dtkTime };
enum TDTDateMode { dmComboBox, dmUpDown };

class TGridDatePicker : public TGridEditorHost<QDateTimeEdit>, public TObject {
    Q_OBJECT
public:
    explicit TGridDatePicker(TCellGrid *AGrid);
    TDateTime Date() const;
    void SetDate(TDateTime Value);
    TDateTime Time() const;
    void SetTime(TDateTime Value);
    TDateTimeKind Kind() const { return FKind; }
    void SetKind(TDateTimeKind Value);
    TDTDateMode DateMode() const { return FDateMode; }
    void SetDateMode(TDTDateMode Value);
    bool Checked = true;
    bool DroppedDown() const { return FDroppedDown; }
    // The date or time read from the cell text when the picker opened (Esc restores it).
    TDateTime RestoreValue = 0;

protected:
    void keyPressEvent(QKeyEvent *Event) override;
    bool HoldsFocus(const QWidget *Focus) const override;   // its calendar is open
    bool eventFilter(QObject *Watched, QEvent *Event) override;
    void paintEvent(QPaintEvent *Event) override;

private:
    TDateTimeKind FKind = dtkDate;
    TDTDateMode FDateMode = dmComboBox;
    bool FDroppedDown = false;
};

// ------------------------------------------------------------------ check box and button

class TGridCheckBox : public TGridEditorHost<QCheckBox>, public TObject {
    Q_OBJECT
public:
    explicit TGridCheckBox(TCellGrid *AGrid);

protected:
    void keyPressEvent(QKeyEvent *Event) override;
};

class TGridButton : public TGridEditorHost<QPushButton>, public TObject {
    Q_OBJECT
public:
    explicit TGridButton(TCellGrid *AGrid);
    // Runs the grid's ellipsis operation with the caption and shows the result.
    void Click();

protected:
    void keyPressEvent(QKeyEvent *Event) override;
};

// ------------------------------------------------------------------ ellipsis and unit edits

class TGridEditBtn : public TGridEditorHost<TCgEditBtn> {
    Q_OBJECT
public:
    explicit TGridEditBtn(TCellGrid *AGrid);
    void ClickButton() override;
    void TypeChar(QChar Key);

protected:
    void keyPressEvent(QKeyEvent *Event) override;
    void inputMethodEvent(QInputMethodEvent *Event) override;
    bool HoldsFocus(const QWidget *Focus) const override;   // its button
};

class TGridUnitEditBtn : public TGridEditorHost<TCgUnitEditBtn> {
    Q_OBJECT
public:
    explicit TGridUnitEditBtn(TCellGrid *AGrid);
    // Shows an edit text as the value (its leading number) and the unit (the rest).
    void ShowEditText(const QString &EditText);

protected:
    void keyPressEvent(QKeyEvent *Event) override;
    bool HoldsFocus(const QWidget *Focus) const override;   // its button or unit menu
    void ShowCellText() override;
};

// Shared by the grid editors: the leave keys go to the grid after a commit.
namespace GridEditorKeys {
// The character filter of the numeric and float kinds on an edit's text,
// caret and selection. True when the character goes on.
bool NumericFilter(TEditorType Kind, QChar Key, const QString &Text, int SelStart, const QString &Selected);
} // namespace GridEditorKeys

// The cell text without HTML tags and with the basic entities decoded.
QString StripCellHTML(const QString &Text);
// The same for any text, whether or not it reads as HTML.
QString StripHTMLTags(const QString &Text);
