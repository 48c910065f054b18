#pragma once
// The spin edit: an edit box with an up/down button pair that steps an
// integer, a float, a date or a time, the button pair on its own, and the
// auto-repeating speed button the pair is made of.
//
// Stepping never invents a value: a float, date or time text that does not
// read is left as it stands and the step beeps. Typed characters pass a check
// by spin type; a refused one beeps and is dropped.

#include "grid/CGEdit.h"
#include "platform/core/SysUtils.h"

#include <QLineEdit>
#include <QTimer>

#include <functional>
#include <memory>

enum TSpinDirection { spVertical, spHorizontal };
enum TCgSpinType { sptNormal, sptFloat, sptDate, sptTime };

// A speed button that repeats its click while it is held down: the first
// repeat 400 ms after the press, then every 100 ms.
class TGridTimerSpeedButton : public TGridSpeedButton, public TObject {
    Q_OBJECT
public:
    enum : int { tbFocusRect = 1, tbAllowTimer = 2 };
    explicit TGridTimerSpeedButton(QWidget *Parent);
    int TimerState = 0;
    // 2 up, 3 down (also left and right of a horizontal pair: 0 and 1).
    int ArrowKind = 0;
    // The repeat timer, made on the first press; nullptr before.
    QTimer *RepeatTimer() const { return FRepeatTimer.get(); }
    // One tick of the repeat timer: the interval becomes 100 ms and, while the
    // button is still held, it clicks again.
    void TimerExpired();

protected:
    void mousePressEvent(QMouseEvent *Event) override;
    void mouseReleaseEvent(QMouseEvent *Event) override;
    void paintEvent(QPaintEvent *Event) override;

private:
    std::unique_ptr<QTimer> FRepeatTimer;
};

// The up/down pair: two halves, upper and lower (spVertical) or left and right.
class TCgSpinButton : public QWidget, public TObject {
    Q_OBJECT
public:
    explicit TCgSpinButton(QWidget *Parent = nullptr);
    TGridTimerSpeedButton *UpButton() const { return FUpButton; }
    TGridTimerSpeedButton *DownButton() const { return FDownButton; }
    TGridTimerSpeedButton *FocusedButton() const { return FFocusedButton; }

    TBitmap *UpGlyph() const { return FUpButton->Glyph(); }
    void SetUpGlyph(const TBitmap *Value) { FUpButton->SetGlyph(Value); }
    int UpNumGlyphs() const { return FUpButton->NumGlyphs; }
    void SetUpNumGlyphs(int Value);
    TBitmap *DownGlyph() const { return FDownButton->Glyph(); }
    void SetDownGlyph(const TBitmap *Value) { FDownButton->SetGlyph(Value); }
    int DownNumGlyphs() const { return FDownButton->NumGlyphs; }
    void SetDownNumGlyphs(int Value);
    TSpinDirection Direction() const { return FDirection; }
    void SetDirection(TSpinDirection Value);
    // Pressing a button gives the focus to this control.
    QWidget *FocusControl = nullptr;
    void SetFlat(bool Value);
    void SetTransparent(bool Value);

    std::function<void(TObject *Sender)> OnUpClick;
    std::function<void(TObject *Sender)> OnDownClick;

protected:
    void resizeEvent(QResizeEvent *Event) override;
    void keyPressEvent(QKeyEvent *Event) override;
    void focusInEvent(QFocusEvent *Event) override;
    void focusOutEvent(QFocusEvent *Event) override;

private:
    void ButtonClicked(TGridTimerSpeedButton *Button);
    void SetFocusBtn(TGridTimerSpeedButton *Button);
    void Layout();
    TGridTimerSpeedButton *FUpButton;
    TGridTimerSpeedButton *FDownButton;
    TGridTimerSpeedButton *FFocusedButton;
    TSpinDirection FDirection = spVertical;
};

// The spin edit.
class TCgSpinEdit : public QLineEdit, public TObject {
    Q_OBJECT
public:
    explicit TCgSpinEdit(QWidget *Parent = nullptr);
    int MinValue = 0;
    int MaxValue = 100;
    double MinFloatValue = 0.0;
    double MaxFloatValue = 100.0;
    TDateTime MinDateValue = 0;
    TDateTime MaxDateValue = 0;
    int Increment = 1;
    double IncrementFloat = 0.0;
    // Decimals written for floats; 0 writes the free format.
    int Precision = 0;
    // Enter moves on like Tab.
    bool ReturnIsTab = false;
    bool EditorEnabled() const { return FEditorEnabled; }
    void SetEditorEnabled(bool Value) { FEditorEnabled = Value; }
    TSpinDirection Direction() const { return FButton->Direction(); }
    void SetDirection(TSpinDirection Value);
    TCgSpinType SpinType() const { return FSpinType; }
    void SetSpinType(TCgSpinType Value) { FSpinType = Value; }
    bool SpinFlat() const { return FSpinFlat; }
    void SetSpinFlat(bool Value);
    bool SpinTransparent() const { return FSpinTransparent; }
    void SetSpinTransparent(bool Value);
    TCgSpinButton *Button() const { return FButton; }

    // The text read as an integer; MinValue when it does not read.
    int Value() const;
    void SetValue(int AValue);
    // The text read as a float; 0 when it does not read.
    double FloatValue() const;
    void SetFloatValue(double AValue);
    // The text read as a date or time; 0 when it does not read.
    TDateTime DateValue() const;
    void SetDateValue(TDateTime AValue);
    TDateTime TimeValue() const;
    void SetTimeValue(TDateTime AValue);
    QString Text() const { return text(); }
    void SetText(const QString &AValue) { setText(AValue); }

    // The steps the buttons and the Up and Down keys run.
    virtual void UpClick();
    virtual void DownClick();
    // After the stored settings were applied: dates and times are rewritten in the platform's form.
    virtual void Loaded();
    // The character check of typed characters; true when the character goes on
    // (a thousands separator of a float may come back as the decimal separator).
    bool IsValidChar(QChar &Key) const;

    // The button pair, for callers that still know it by its halves.
    QAbstractButton *UpButton() const { return FButton->UpButton(); }
    QAbstractButton *DownButton() const { return FButton->DownButton(); }

protected:
    int CheckValue(int NewValue) const;
    double CheckFloatValue(double NewValue) const;
    TDateTime CheckDateValue(TDateTime NewValue) const;
    void resizeEvent(QResizeEvent *Event) override;
    void keyPressEvent(QKeyEvent *Event) override;
    void focusOutEvent(QFocusEvent *Event) override;
    void changeEvent(QEvent *Event) override;
    TCgSpinType FSpinType = sptNormal;

private:
    void Step(int Sign);
    void SetEditRect();
    int MinHeight() const;
    TCgSpinButton *FButton;
    bool FEditorEnabled = true;
    bool FSpinFlat = false;
    bool FSpinTransparent = false;
};
