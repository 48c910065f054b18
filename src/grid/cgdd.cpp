// Drag and drop objects of the grid. Foreign data is untrusted: a format that
// is absent or too short reads as nothing (a column as -1), only local files
// are taken from a file list, and nothing here trusts a size it was given.

#include "grid/cgdd.h"

#include "grid/CellGridClipboard.h"
#include "platform/core/Codec.h"
#include "platform/services/Clipboard.h"
#include "platform/services/DragDrop.h"

#include <QDragEnterEvent>
#include <QDragLeaveEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QTimer>
#include <QtEndian>

#include <map>

quint16 CF_RTF = 0;
quint16 CF_GRIDCOLUMN = 0;
bool OleDropRTFAllowed = false;

namespace {

const QString TextMime = QStringLiteral("text/plain");
const QString UriMime = QStringLiteral("text/uri-list");
const QString RtfMime = QStringLiteral("text/rtf");
const QString ColumnFormat = QStringLiteral("Grid Column");

// Formats registered by name keep their numbers for the life of the process.
quint16 RegisterClipboardFormat(const QString &Name)
{
    static std::map<QString, quint16> Registered;
    auto It = Registered.find(Name);
    if (It != Registered.end())
        return It->second;
    const auto Number = quint16(0xC000 + Registered.size());
    Registered.emplace(Name, Number);
    return Number;
}

void EnsureFormats()
{
    if (!CF_RTF)
        CF_RTF = RegisterClipboardFormat(RichTextFormat);
    if (!CF_GRIDCOLUMN)
        CF_GRIDCOLUMN = RegisterClipboardFormat(ColumnFormat);
}

QByteArray ColumnBytes(int Column)
{
    char B[4];
    qToLittleEndian(qint32(Column), B);
    return QByteArray(B, 4);
}

} // namespace

void ResetDragDropFormats()
{
    CF_RTF = 0;
    CF_GRIDCOLUMN = 0;
    OleDropRTFAllowed = false;
}

quint32 EffectOfAction(Qt::DropAction Action)
{
    switch (Action) {
    case Qt::CopyAction:
        return DROPEFFECT_COPY;
    case Qt::MoveAction:
    case Qt::TargetMoveAction:
        return DROPEFFECT_MOVE;
    default:
        return DROPEFFECT_NONE;
    }
}

Qt::DropAction ActionOfEffect(quint32 Effect)
{
    if (Effect & DROPEFFECT_MOVE)
        return Qt::MoveAction;
    if (Effect & DROPEFFECT_COPY)
        return Qt::CopyAction;
    return Qt::IgnoreAction;
}

quint32 KeyStateOf(Qt::MouseButtons Buttons, Qt::KeyboardModifiers Modifiers)
{
    quint32 K = 0;
    if (Buttons & Qt::LeftButton)
        K |= MK_LBUTTON;
    if (Buttons & Qt::RightButton)
        K |= MK_RBUTTON;
    if (Buttons & Qt::MiddleButton)
        K |= MK_MBUTTON;
    if (Modifiers & Qt::ShiftModifier)
        K |= MK_SHIFT;
    if (Modifiers & Qt::ControlModifier)
        K |= MK_CONTROL;
    return K;
}

// =================================================================== format reader

TEnumFormats::TEnumFormats(const QMimeData *DataObject) : FDataObject(DataObject)
{
    if (!DataObject)
        throw EAssertionFailed(QStringLiteral("Cannot get the format enumerator"));
    EnsureFormats();
    auto Add = [this](quint16 cf) {
        if (std::find(FFormats.begin(), FFormats.end(), cf) == FFormats.end())
            FFormats.push_back(cf);
    };
    for (const QString &M : DataObject->formats()) {
        if (M == TextMime || M.startsWith(TextMime + QLatin1Char(';'))) {
            Add(CF_TEXT);
            Add(CF_UNICODETEXT);
        } else if (M == UriMime) {
            if (HasDroppedFiles(DataObject))
                Add(CF_HDROP);
        } else if (M == RtfMime || M == CellGridMimeType(RichTextFormat)) {
            Add(CF_RTF);
        } else if (M == CellGridMimeType(ColumnFormat)) {
            Add(CF_GRIDCOLUMN);
        }
    }
}

bool TEnumFormats::HasFormat(quint16 cf)
{
    FPos = 0;
    FValid = false;
    for (; FPos < FFormats.size(); ++FPos)
        if (FFormats[FPos] == cf) {
            FFormatEtc = TFormatEtc();
            FFormatEtc.cfFormat = cf;
            FValid = true;
            return true;
        }
    return false;
}

QByteArray TEnumFormats::Handle()
{
    if (!FValid)
        return QByteArray();
    const quint16 cf = FFormatEtc.cfFormat;
    if (cf == CF_TEXT || cf == CF_UNICODETEXT)
        return DroppedText(FDataObject).toUtf8();
    if (cf == CF_RTF) {
        const QString Win = CellGridMimeType(RichTextFormat);
        return FDataObject->hasFormat(Win) ? FDataObject->data(Win) : FDataObject->data(RtfMime);
    }
    if (cf == CF_GRIDCOLUMN)
        return FDataObject->data(CellGridMimeType(ColumnFormat));
    return QByteArray();
}

QString TEnumFormats::Text()
{
    if (!HasFormat(CF_TEXT))
        return QString();
    QString S = DroppedText(FDataObject);
    const qsizetype Nul = S.indexOf(QChar(0));
    return Nul >= 0 ? S.left(Nul) : S;
}

QString TEnumFormats::RTF()
{
    if (!HasFormat(CF_RTF))
        return QString();
    QByteArray B = Handle();
    const qsizetype Nul = B.indexOf('\0');
    if (Nul >= 0)
        B.truncate(Nul);
    return Cp936::Decode(B);
}

int TEnumFormats::Column()
{
    if (!HasFormat(CF_GRIDCOLUMN))
        return -1;
    const QByteArray B = Handle();
    return B.size() >= 4 ? qFromLittleEndian<qint32>(B.constData()) : -1;
}

bool TEnumFormats::Files()
{
    if (!HasFormat(CF_HDROP))
        return false;
    const QStringList Names = DroppedFiles(FDataObject);
    for (const QString &N : Names)
        FFiles.Add(N);
    return !Names.isEmpty();
}

// =================================================================== drop target

TCGDropTarget::TCGDropTarget() = default;

TCGDropTarget::~TCGDropTarget()
{
    Revoke();
}

bool TCGDropTarget::Register(QWidget *Window)
{
    if (!Window)
        return false;
    Revoke();
    FWindow = Window;
    FSetAcceptDrops = !Window->acceptDrops();
    if (FSetAcceptDrops)
        Window->setAcceptDrops(true);
    Window->installEventFilter(this);
    return true;
}

void TCGDropTarget::Revoke()
{
    if (!FWindow)
        return;
    FWindow->removeEventFilter(this);
    // Only what Register turned on is turned off: others may take drops on the same window.
    if (FSetAcceptDrops)
        FWindow->setAcceptDrops(false);
    FSetAcceptDrops = false;
    FWindow = nullptr;
}

quint32 TCGDropTarget::EffectOf(quint32 KeyState) const
{
    return (KeyState & MK_CONTROL) ? DROPEFFECT_COPY : DROPEFFECT_MOVE;
}

HRESULT TCGDropTarget::DragEnter(const QMimeData *DataObject, quint32 KeyState, const TPoint &, quint32 &Effect)
{
    TEnumFormats F(DataObject);
    const bool HasText = F.HasFormat(CF_TEXT), HasFiles = F.HasFormat(CF_HDROP);
    const bool HasRTF = F.HasFormat(CF_RTF), HasCol = F.HasFormat(CF_GRIDCOLUMN);
    if (HasText && AcceptText)
        FAcceptable = true;
    else if (HasFiles && AcceptFiles)
        FAcceptable = true;
    else if (HasRTF && OleDropRTFAllowed && AcceptText)
        FAcceptable = true;
    else
        FAcceptable = HasCol && AcceptCols;
    FFormats = (HasText ? 1 : 0) | (HasFiles ? 2 : 0) | (HasRTF ? 8 : 0) | (HasCol ? 4 : 0);
    Effect = AcceptDrop && FAcceptable ? EffectOf(KeyState) : DROPEFFECT_NONE;
    DragMouseEnter();
    return S_OK;
}

HRESULT TCGDropTarget::DragOver(quint32 KeyState, const TPoint &Pt, quint32 &Effect)
{
    Effect = AcceptDrop && FAcceptable ? EffectOf(KeyState) : DROPEFFECT_NONE;
    bool Allow = true;
    DragMouseMove(Pt, Allow, FFormats);
    if (!Allow)
        Effect = DROPEFFECT_NONE;
    return S_OK;
}

HRESULT TCGDropTarget::DragLeave()
{
    DragMouseLeave();
    return S_OK;
}

HRESULT TCGDropTarget::Drop(const QMimeData *DataObject, quint32 KeyState, const TPoint &Pt, quint32 &Effect)
{
    Effect = DROPEFFECT_NONE;
    if (!AcceptDrop)
        return S_OK;
    TEnumFormats F(DataObject);
    FDropRefused = false;
    const int Col = AcceptCols ? F.Column() : -1;
    bool Handled = false;
    if (Col == -1) {
        if (AcceptText && OleDropRTFAllowed && F.HasFormat(CF_RTF)) {
            DropRTF(Pt, F.RTF());
            Handled = true;
        } else if (AcceptText && F.HasFormat(CF_TEXT)) {
            DropText(Pt, F.Text());
            Handled = true;
        }
    } else {
        DropCol(Pt, Col);
        Handled = true;
    }
    if (AcceptFiles && F.Files()) {
        DropFiles(Pt, F.FileList());
        Handled = true;
    }
    // A drop that nothing took, or that the target refused, takes no effect,
    // so the source keeps what it offered.
    if (Handled && !FDropRefused)
        Effect = EffectOf(KeyState);
    return S_OK;
}

void TCGDropTarget::DropText(const TPoint &, const QString &) {}
void TCGDropTarget::DropCol(const TPoint &, int) {}
void TCGDropTarget::DropRTF(const TPoint &, const QString &) {}
void TCGDropTarget::DropFiles(const TPoint &, TStringList *) {}
void TCGDropTarget::DragMouseMove(const TPoint &, bool &, int) {}
void TCGDropTarget::DragMouseEnter() {}
void TCGDropTarget::DragMouseLeave() {}

namespace {

// The effect as one of the actions the source offers: the other of copy and
// move when the chosen one is not offered.
Qt::DropAction OfferedAction(quint32 Effect, Qt::DropActions Possible)
{
    const Qt::DropAction A = ActionOfEffect(Effect);
    if (A == Qt::IgnoreAction || (Possible & A))
        return A;
    const Qt::DropAction Other = A == Qt::MoveAction ? Qt::CopyAction : Qt::MoveAction;
    return (Possible & Other) ? Other : Qt::IgnoreAction;
}

} // namespace

bool TCGDropTarget::eventFilter(QObject *Watched, QEvent *Event)
{
    if (Watched != FWindow)
        return QObject::eventFilter(Watched, Event);
    switch (Event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto *E = static_cast<QDragMoveEvent *>(Event);
        const quint32 Keys = KeyStateOf(E->buttons(), E->modifiers());
        const TPoint Pt = TPoint::FromQPoint(FWindow->mapToGlobal(E->position().toPoint()));
        quint32 Effect = DROPEFFECT_NONE;
        if (Event->type() == QEvent::DragEnter) {
            DragEnter(E->mimeData(), Keys, Pt, Effect);
            if (!FAcceptable || !AcceptDrop) {
                E->ignore();
                return false;
            }
            // Drag over decides at the point itself.
            DragOver(Keys, Pt, Effect);
            E->accept();
        } else {
            DragOver(Keys, Pt, Effect);
        }
        const Qt::DropAction A = OfferedAction(Effect, E->possibleActions());
        if (A == Qt::IgnoreAction) {
            E->ignore();
        } else {
            E->setDropAction(A);
            E->accept();
        }
        if (Event->type() == QEvent::DragEnter)
            E->accept();   // keep the drag moves coming even where nothing can be dropped
        return true;
    }
    case QEvent::DragLeave:
        DragLeave();
        return true;
    case QEvent::Drop: {
        auto *E = static_cast<QDropEvent *>(Event);
        const quint32 Keys = KeyStateOf(E->buttons(), E->modifiers());
        quint32 Effect = DROPEFFECT_NONE;
        Drop(E->mimeData(), Keys, TPoint::FromQPoint(FWindow->mapToGlobal(E->position().toPoint())), Effect);
        const Qt::DropAction A = OfferedAction(Effect, E->possibleActions());
        if (A == Qt::IgnoreAction) {
            E->ignore();
        } else {
            E->setDropAction(A);
            E->accept();
        }
        return true;
    }
    default:
        return QObject::eventFilter(Watched, Event);
    }
}

// =================================================================== data object

HRESULT TSourceEnumFormatEtc::Next(quint32 Count, TFormatEtc *Formats, quint32 *Fetched)
{
    EnsureFormats();
    const quint16 Order[4] = {CF_TEXT, CF_UNICODETEXT, CF_RTF, CF_GRIDCOLUMN};
    quint32 N = 0;
    while (N < Count && FPos < Total()) {
        Formats[N] = TFormatEtc();
        Formats[N].cfFormat = Order[FPos];
        ++N;
        ++FPos;
    }
    if (Fetched)
        *Fetched = N;
    return N == Count ? S_OK : S_FALSE;
}

HRESULT TSourceEnumFormatEtc::Skip(quint32 Count)
{
    if (Count > Total() - FPos) {
        FPos = Total();
        return S_FALSE;
    }
    FPos += Count;
    return S_OK;
}

HRESULT TSourceEnumFormatEtc::Reset()
{
    FPos = 0;
    return S_OK;
}

HRESULT TSourceEnumFormatEtc::Clone(std::unique_ptr<TSourceEnumFormatEtc> &Enum)
{
    Enum = std::make_unique<TSourceEnumFormatEtc>(FColumnPresent);
    Enum->FPos = FPos;
    return S_OK;
}

TSourceDataObject::TSourceDataObject(const QString &Text, const QString &RTF, int Column)
    : FText(Text), FRTF(RTF), FColumn(Column)
{
    EnsureFormats();
}

HRESULT TSourceDataObject::QueryGetData(const TFormatEtc &Format) const
{
    if (Format.dwAspect != DVASPECT_CONTENT || !(Format.tymed & TYMED_HGLOBAL))
        return DV_E_FORMATETC;
    const quint16 cf = Format.cfFormat;
    if (!FText.isEmpty() && (cf == CF_TEXT || cf == CF_UNICODETEXT || (OleDropRTFAllowed && cf == CF_RTF)))
        return S_OK;
    if (FColumn != -1 && cf == CF_GRIDCOLUMN)
        return S_OK;
    return DV_E_FORMATETC;
}

HRESULT TSourceDataObject::GetData(const TFormatEtc &Format, QByteArray &Medium) const
{
    Medium.clear();
    if (QueryGetData(Format) != S_OK)
        return DV_E_FORMATETC;
    const quint16 cf = Format.cfFormat;
    if (cf == CF_TEXT) {
        Medium = Cp936::Encode(FText) + '\0';
    } else if (cf == CF_UNICODETEXT) {
        for (QChar C : FText) {
            Medium.append(char(C.unicode() & 0xFF));
            Medium.append(char(C.unicode() >> 8));
        }
        Medium.append(2, '\0');
    } else if (cf == CF_RTF) {
        // An empty RTF text would make an unusable block: refused.
        if (FRTF.isEmpty())
            return DV_E_FORMATETC;
        Medium = Cp936::Encode(FRTF) + '\0';
    } else {
        Medium = ColumnBytes(FColumn);
    }
    return S_OK;
}

HRESULT TSourceDataObject::GetDataHere(const TFormatEtc &, QByteArray &) const
{
    return E_NOTIMPL;
}

HRESULT TSourceDataObject::GetCanonicalFormatEtc(const TFormatEtc &, TFormatEtc &Out) const
{
    Out.ptd = nullptr;
    return E_NOTIMPL;
}

HRESULT TSourceDataObject::SetData(const TFormatEtc &, const QByteArray &, bool)
{
    return E_NOTIMPL;
}

HRESULT TSourceDataObject::EnumFormatEtc(quint32 Direction, std::unique_ptr<TSourceEnumFormatEtc> &Enum) const
{
    if (Direction != DATADIR_GET)
        return E_NOTIMPL;
    Enum = std::make_unique<TSourceEnumFormatEtc>(FColumn != -1);
    return S_OK;
}

HRESULT TSourceDataObject::DAdvise(const TFormatEtc &, quint32, quint32 *Connection)
{
    if (Connection)
        *Connection = 0;
    return OLE_E_ADVISENOTSUPPORTED;
}

HRESULT TSourceDataObject::DUnadvise(quint32)
{
    return OLE_E_ADVISENOTSUPPORTED;
}

HRESULT TSourceDataObject::EnumDAdvise(void **EnumAdvise)
{
    if (EnumAdvise)
        *EnumAdvise = nullptr;
    return OLE_E_ADVISENOTSUPPORTED;
}

QStringList TSourceDataObject::formats() const
{
    QStringList L;
    if (!FText.isEmpty()) {
        L << TextMime;
        if (OleDropRTFAllowed && !FRTF.isEmpty())
            L << RtfMime << CellGridMimeType(RichTextFormat);
    }
    if (FColumn != -1)
        L << CellGridMimeType(ColumnFormat);
    return L;
}

bool TSourceDataObject::hasFormat(const QString &MimeType) const
{
    return formats().contains(MimeType);
}

QVariant TSourceDataObject::retrieveData(const QString &MimeType, QMetaType) const
{
    if (!hasFormat(MimeType))
        return QVariant();
    if (MimeType == TextMime)
        return FText;
    if (MimeType == RtfMime)
        return Cp936::Encode(FRTF);
    if (MimeType == CellGridMimeType(RichTextFormat))
        return Cp936::Encode(FRTF) + '\0';
    return ColumnBytes(FColumn);
}

// =================================================================== drop source

HRESULT TCGDropSource::QueryContinueDrag(bool EscapePressed, quint32 KeyState)
{
    HRESULT Result = S_OK;
    if (EscapePressed)
        Result = DRAGDROP_S_CANCEL;
    else if (!(KeyState & MK_LBUTTON))
        Result = DRAGDROP_S_DROP;
    DragNotify();
    return Result;
}

HRESULT TCGDropSource::GiveFeedback(quint32 Effect)
{
    FNoEffect = Effect == DROPEFFECT_NONE;
    return DRAGDROP_S_USEDEFAULTCURSORS;
}

namespace {

HRESULT DoDragDrop(TCGDropSource *Source, TSourceDataObject *Data, quint32 AllowedEffects, quint32 &Effect)
{
    Qt::DropActions Allowed;
    if (AllowedEffects & DROPEFFECT_COPY)
        Allowed |= Qt::CopyAction;
    if (AllowedEffects & DROPEFFECT_MOVE)
        Allowed |= Qt::MoveAction;
    // Qt's drag loop runs its own events: the source is told at intervals
    // while it runs, and of the final effect at its end.
    QTimer Notify;
    QObject::connect(&Notify, &QTimer::timeout, [Source] { Source->DragNotify(); });
    Notify.start(30);
    const Qt::DropAction Result = StartDrag(Source->Window(), Data, Allowed);
    Notify.stop();
    Effect = EffectOfAction(Result);
    Source->GiveFeedback(Effect);
    if (Effect == DROPEFFECT_NONE || Source->LastEffectNone()) {
        Effect = DROPEFFECT_NONE;
        return DRAGDROP_S_CANCEL;
    }
    return DRAGDROP_S_DROP;
}

} // namespace

HRESULT StartTextDoDragDrop(TCGDropSource *Source, const QString &Text, const QString &RTF, quint32 AllowedEffects,
                            quint32 &Effect)
{
    return DoDragDrop(Source, new TSourceDataObject(Text, RTF, -1), AllowedEffects, Effect);
}

HRESULT StartColumnDoDragDrop(TCGDropSource *Source, int Column, quint32 AllowedEffects, quint32 &Effect)
{
    return DoDragDrop(Source, new TSourceDataObject(QString(), QString(), Column), AllowedEffects, Effect);
}
