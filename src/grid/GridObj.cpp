#include "grid/GridObj.h"

#include "platform/core/SysUtils.h"

#include <QApplication>
#include <QPainter>
#include <QPolygon>
#include <QRegion>
#include <QStyle>
#include <QStyleOption>

// =================================================================== TArrowWindow

std::vector<TPoint> TArrowWindow::ArrowPoints(int ADirection)
{
    switch (ADirection) {
    case 0: return {{5, 0}, {10, 5}, {7, 5}, {7, 9}, {3, 9}, {3, 5}, {0, 5}};
    case 1: return {{3, 0}, {7, 0}, {7, 4}, {9, 4}, {5, 8}, {1, 4}, {3, 4}};
    case 2: return {{0, 3}, {0, 7}, {4, 7}, {4, 10}, {8, 5}, {4, 0}, {4, 3}};
    default: return {{0, 5}, {4, 10}, {4, 7}, {8, 7}, {8, 3}, {4, 3}, {4, 0}};
    }
}

TArrowWindow::TArrowWindow(QWidget *AOwner, int ADirection)
    : QWidget(AOwner, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint), FDirection(ADirection)
{
    setAttribute(Qt::WA_ShowWithoutActivating);
    resize(11, 11);
    QPolygon Outline;
    for (const TPoint &P : ArrowPoints(ADirection))
        Outline << P.ToQPoint();
    setMask(QRegion(Outline, Qt::WindingFill));
    hide();
}

void TArrowWindow::paintEvent(QPaintEvent *Event)
{
    Q_UNUSED(Event);
    QPainter P(this);
    P.fillRect(rect(), TColorToQColor(clLime));
}

// =================================================================== TIntList

int TIntList::Items(int Index) const
{
    if (Index < 0 || Index >= Count())
        throw EListError(QStringLiteral("List index out of bounds (%1)").arg(Index));
    return FItems[size_t(Index)];
}

void TIntList::SetItems(int Index, int Value)
{
    if (Index < 0 || Index >= Count())
        throw EListError(QStringLiteral("List index out of bounds (%1)").arg(Index));
    FItems[size_t(Index)] = Value;
    Changed();
}

int TIntList::Add(int Value)
{
    FItems.push_back(Value);
    Changed();
    return Count() - 1;
}

void TIntList::Delete(int Index)
{
    if (Index < 0 || Index >= Count())
        throw EListError(QStringLiteral("List index out of bounds (%1)").arg(Index));
    FItems.erase(FItems.begin() + Index);
    Changed();
}

void TIntList::Insert(int Index, int Value)
{
    if (Index < 0 || Index > Count())
        throw EListError(QStringLiteral("List index out of bounds (%1)").arg(Index));
    FItems.insert(FItems.begin() + Index, Value);
}

QString TIntList::CommaText() const
{
    QStringList Parts;
    for (int V : FItems)
        Parts << QString::number(V);
    return Parts.join(QLatin1Char(','));
}

void TIntList::SetCommaText(const QString &Value)
{
    FItems.clear();
    if (Value.isEmpty())
        return;
    for (const QString &Part : Value.split(QLatin1Char(',')))
        Add(StrToInt(Part));
}

void TIntList::Changed()
{
    if (OnChange)
        OnChange(this, FParam1, FParam2);
}

// =================================================================== TSortIndexList

namespace {
constexpr quint32 DescendingBit = 0x80000000u;
}

void TSortIndexList::AddIndex(int Column, bool Ascending)
{
    quint32 V = quint32(Column) & ~DescendingBit;
    if (!Ascending)
        V |= DescendingBit;
    Add(int(V));
}

int TSortIndexList::FindIndex(int Column) const
{
    for (int I = 0; I < Count(); ++I)
        if ((quint32(Items(I)) & ~DescendingBit) == (quint32(Column) & ~DescendingBit))
            return I;
    return -1;
}

void TSortIndexList::ToggleIndex(int Column)
{
    const int I = FindIndex(Column);
    if (I >= 0)
        SetItems(I, int(quint32(Items(I)) ^ DescendingBit));
}

// =================================================================== TFilePicture

void TFilePicture::SetFilename(const QString &Value)
{
    FFilename = Value;
    FWidth = 0;
    FHeight = 0;
    if (Value.isEmpty())
        return;
    try {
        TPicture Picture;
        Picture.LoadFromFile(Value);
        FWidth = Picture.Width();
        FHeight = Picture.Height();
    } catch (const Exception &) {
        // An unreadable file simply has no size; drawing it shows nothing.
    }
}

void TFilePicture::Draw(TCanvas *Canvas, const TRect &R) const
{
    if (FFilename.isEmpty())
        return;
    try {
        TPicture Picture;
        Picture.LoadFromFile(FFilename);
        Canvas->StretchDraw(R, Picture.Graphic());
    } catch (const Exception &) {
    }
}

void TFilePicture::Assign(const TFilePicture &Source)
{
    FFilename = Source.FFilename;
    FWidth = Source.FWidth;
    FHeight = Source.FHeight;
}

// =================================================================== TPopupButton

TPopupButton::TPopupButton(QWidget *AOwner)
    : QWidget(AOwner, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
{
    setAttribute(Qt::WA_ShowWithoutActivating);
    setEnabled(false);
    QPalette Pal = palette();
    Pal.setColor(QPalette::Window, TColorToQColor(clBtnFace));
    setPalette(Pal);
    setAutoFillBackground(true);
    hide();
}

void TPopupButton::SetCaption(const QString &Value)
{
    FCaption = Value;
    update();
}

void TPopupButton::SetFlat(bool Value)
{
    FFlat = Value;
    update();
}

void TPopupButton::PaintTo(TCanvas *Canvas)
{
    const TRect R(0, 0, width(), height());
    Canvas->Brush()->SetColor(clBtnFace);
    Canvas->FillRect(R);
    if (!FFlat) {
        Canvas->Pen()->SetWidth(1);
        Canvas->Pen()->SetColor(clWhite);
        Canvas->MoveTo(R.Left, R.Bottom - 1);
        Canvas->LineTo(R.Left, R.Top);
        Canvas->LineTo(R.Right - 1, R.Top);
        Canvas->Pen()->SetColor(clGray);
        Canvas->LineTo(R.Right - 1, R.Bottom - 1);
        Canvas->LineTo(R.Left, R.Bottom - 1);
    }
    SetBkMode(Canvas, TRANSPARENT);
    TRect T = R;
    DrawText(Canvas, FCaption, T, DT_CENTER | DT_END_ELLIPSIS);
}

void TPopupButton::paintEvent(QPaintEvent *Event)
{
    Q_UNUSED(Event);
    QPainter P(this);
    TCanvas C(&P);
    PaintTo(&C);
}

// =================================================================== theme facade

namespace GridXPVS {

namespace {
bool Available = true;
}

bool ThemeLibraryLoaded()
{
    return Available && qobject_cast<QApplication *>(QCoreApplication::instance()) && QApplication::style();
}

bool IsThemeActive() { return ThemeLibraryLoaded(); }
bool IsAppThemed() { return ThemeLibraryLoaded(); }
void SetThemeLibraryAvailable(bool Value) { Available = Value; }

bool DrawThemeBackground(TCanvas *Canvas, TThemePart Part, unsigned State, const TRect &R)
{
    if (!ThemeLibraryLoaded() || !Canvas)
        return false;
    QStyle *Style = QApplication::style();
    QPainter *P = Canvas->Painter();
    QStyleOptionButton Opt;
    Opt.rect = R.ToQRect();
    Opt.state = QStyle::State_Enabled;
    if (State & tsDisabled)
        Opt.state &= ~QStyle::State_Enabled;
    if (State & tsHot)
        Opt.state |= QStyle::State_MouseOver;
    if (State & tsPressed)
        Opt.state |= QStyle::State_Sunken;
    Opt.state |= (State & tsChecked) ? QStyle::State_On : QStyle::State_Off;
    switch (Part) {
    case tpCheckBox: Style->drawPrimitive(QStyle::PE_IndicatorCheckBox, &Opt, P); break;
    case tpRadioButton: Style->drawPrimitive(QStyle::PE_IndicatorRadioButton, &Opt, P); break;
    case tpHeader: {
        QStyleOptionHeader H;
        H.rect = Opt.rect;
        H.state = Opt.state;
        Style->drawControl(QStyle::CE_HeaderSection, &H, P);
        break;
    }
    case tpComboButton: Style->drawPrimitive(QStyle::PE_IndicatorArrowDown, &Opt, P); break;
    case tpEdit: {
        QStyleOptionFrame F;
        F.rect = Opt.rect;
        F.state = Opt.state | QStyle::State_Sunken;
        F.lineWidth = 1;
        Style->drawPrimitive(QStyle::PE_PanelLineEdit, &F, P);
        break;
    }
    default: Style->drawControl(QStyle::CE_PushButtonBevel, &Opt, P); break;
    }
    return true;
}

} // namespace GridXPVS
