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

class TCellGrid;

// ------------------------------------------------------------------ default text editor

class TCellInplaceEdit : public TInplaceEdit {
    Q_OBJECT
public:
    explicit TCellInplaceEdit(TCellGrid *AGrid);
    TCellGrid *CellGrid() const { return FGrid; }
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
    bool focusNextPrevChild(bool Next) override;
    void keyPressEvent(QKeyEvent *Event) override;
    void inputMethodEvent(QInputMethodEvent *Event) override;
    void focusInEvent(QFocusEvent *Event) override;
    void focusOutEvent(QFocusEvent *Event) override;
    void contextMenuEvent(QContextMenuEvent *Event) override;

private:
    // True when the key goes on; the character may be changed.
    bool FilterChar(QChar &Key, bool Keypad);
    bool Commit();
    void InsertChar(QChar Key);
    TCellGrid *FGrid;
    bool FClosing = false;
};

// ------------------------------------------------------------------ combo

class TGridCombo : public TCGComboBox {
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
    bool focusNextPrevChild(bool Next) override;
    void keyPressEvent(QKeyEvent *Event) override;
    void keyReleaseEvent(QKeyEvent *Event) override;
    void focusOutEvent(QFocusEvent *Event) override;
    bool eventFilter(QObject *Watched, QEvent *Event) override;

private:
    bool HandleKey(QKeyEvent *Event);
    TCellGrid *FGrid;
};

// The grid's Unicode combo: the grid combo's keys and look, with the Unicode combo's item list.
class TGridUniCombo : public TGridCombo {
    Q_OBJECT
public:
    explicit TGridUniCombo(TCellGrid *AGrid) : TGridCombo(AGrid), FItems(this) {}
    TComboBoxStrings *Items() { return &FItems; }

private:
    TComboBoxStrings FItems;
};

// ------------------------------------------------------------------ spin

class TGridSpin : public TCgSpinEdit {
    Q_OBJECT
public:
    explicit TGridSpin(TCellGrid *AGrid);
    void UpClick() override;
    void DownClick() override;

protected:
    bool focusNextPrevChild(bool Next) override;
    void keyPressEvent(QKeyEvent *Event) override;
    void focusOutEvent(QFocusEvent *Event) override;

private:
    void SpinEvent(bool Up);
    TCellGrid *FGrid;
};

// ------------------------------------------------------------------ Unicode edit


class TGridUniEdit : public TCgUniEdit {
    Q_OBJECT
public:
    explicit TGridUniEdit(TCellGrid *AGrid);

protected:
    bool focusNextPrevChild(bool Next) override;
    void keyPressEvent(QKeyEvent *Event) override;
    void focusOutEvent(QFocusEvent *Event) override;

private:
    TCellGrid *FGrid;
};

// ------------------------------------------------------------------ date picker

enum TDateTimeKind { dtkDate, dtkTime };
enum TDTDateMode { dmComboBox, dmUpDown };

class TGridDatePicker : public QDateTimeEdit, public TObject {
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
    bool focusNextPrevChild(bool Next) override;
    void keyPressEvent(QKeyEvent *Event) override;
    void focusOutEvent(QFocusEvent *Event) override;
    bool eventFilter(QObject *Watched, QEvent *Event) override;
    void paintEvent(QPaintEvent *Event) override;

private:
    TCellGrid *FGrid;
    TDateTimeKind FKind = dtkDate;
    TDTDateMode FDateMode = dmComboBox;
    bool FDroppedDown = false;
};

// ------------------------------------------------------------------ check box and button

class TGridCheckBox : public QCheckBox, public TObject {
    Q_OBJECT
public:
    explicit TGridCheckBox(TCellGrid *AGrid);

protected:
    bool focusNextPrevChild(bool Next) override;
    void keyPressEvent(QKeyEvent *Event) override;
    void focusOutEvent(QFocusEvent *Event) override;

private:
    TCellGrid *FGrid;
};

class TGridButton : public QPushButton, public TObject {
    Q_OBJECT
public:
    explicit TGridButton(TCellGrid *AGrid);
    // Runs the grid's ellipsis operation with the caption and shows the result.
    void Click();

protected:
    bool focusNextPrevChild(bool Next) override;
    void keyPressEvent(QKeyEvent *Event) override;
    void focusOutEvent(QFocusEvent *Event) override;

private:
    TCellGrid *FGrid;
};

// ------------------------------------------------------------------ ellipsis and unit edits

class TGridEditBtn : public TCgEditBtn {
    Q_OBJECT
public:
    explicit TGridEditBtn(TCellGrid *AGrid);
    void ClickButton() override;
    void TypeChar(QChar Key);

protected:
    bool focusNextPrevChild(bool Next) override;
    void keyPressEvent(QKeyEvent *Event) override;
    void inputMethodEvent(QInputMethodEvent *Event) override;
    void focusOutEvent(QFocusEvent *Event) override;
    TCellGrid *FGrid;
};

class TGridUnitEditBtn : public TCgUnitEditBtn {
    Q_OBJECT
public:
    explicit TGridUnitEditBtn(TCellGrid *AGrid);

protected:
    bool focusNextPrevChild(bool Next) override;
    void keyPressEvent(QKeyEvent *Event) override;
    void focusOutEvent(QFocusEvent *Event) override;

private:
    TCellGrid *FGrid;
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
