#pragma once
// OLE-style drag and drop for the grid, on Qt's drag and drop: a drop target
// that sorts incoming data by format and hands it to virtual operations, a
// data object carrying a dragged text, RTF text or grid column, its format
// enumerator, a drop source, a reader for the formats of foreign data, and
// the calls that start a drag.
//
// Formats and their MIME types: CF_TEXT and CF_UNICODETEXT are text/plain,
// CF_HDROP is text/uri-list (local files only), the RTF format is text/rtf or
// the Windows MIME form of "Rich Text Format", the column format the Windows
// MIME form of "Grid Column" (4 bytes, little-endian column index). Effects
// are Qt's: copy, move and none (Qt::IgnoreAction).

#include "platform/core/Classes.h"
#include "platform/graphics/GraphicsTypes.h"

#include <QMimeData>
#include <QObject>
#include <QPointer>
#include <QWidget>

#include <memory>

QB_DECLARE_EXCEPTION(EAssertionFailed, Exception)

using HRESULT = qint32;
constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = HRESULT(0x80004001u);
constexpr HRESULT DV_E_FORMATETC = HRESULT(0x80040064u);
constexpr HRESULT OLE_E_ADVISENOTSUPPORTED = HRESULT(0x80040003u);
constexpr HRESULT DRAGDROP_S_DROP = 0x00040100;
constexpr HRESULT DRAGDROP_S_CANCEL = 0x00040101;
constexpr HRESULT DRAGDROP_S_USEDEFAULTCURSORS = 0x00040102;

enum : quint16 { CF_TEXT = 1, CF_UNICODETEXT = 13, CF_HDROP = 15 };
enum : quint32 { DROPEFFECT_NONE = 0, DROPEFFECT_COPY = 1, DROPEFFECT_MOVE = 2 };
enum : quint32 { MK_LBUTTON = 1, MK_RBUTTON = 2, MK_SHIFT = 4, MK_CONTROL = 8, MK_MBUTTON = 16 };
enum : quint32 { DVASPECT_CONTENT = 1, TYMED_HGLOBAL = 1, DATADIR_GET = 1, DATADIR_SET = 2 };

// The formats registered by name ("Rich Text Format", "Grid Column"); 0 until
// the first format reader registers them, and again after ResetDragDropFormats.
extern quint16 CF_RTF;
extern quint16 CF_GRIDCOLUMN;
void ResetDragDropFormats();
// Set by the grid from DragDropSettings.OleDropRTF: RTF is offered and accepted only while it is true.
extern bool OleDropRTFAllowed;

struct TFormatEtc {
    quint16 cfFormat = 0;
    void *ptd = nullptr;
    quint32 dwAspect = DVASPECT_CONTENT;
    qint32 lindex = -1;
    quint32 tymed = TYMED_HGLOBAL;
};

// Qt's actions and the key state as drop effects.
quint32 EffectOfAction(Qt::DropAction Action);
Qt::DropAction ActionOfEffect(quint32 Effect);
quint32 KeyStateOf(Qt::MouseButtons Buttons, Qt::KeyboardModifiers Modifiers);

// Reads the formats of foreign data.
class TEnumFormats : public TObject {
public:
    // EAssertionFailed "Cannot get the format enumerator" without data.
    explicit TEnumFormats(const QMimeData *DataObject);
    bool HasFormat(quint16 cf);
    // The data of the current format ("" when there is none).
    QByteArray Handle();
    QString Text();                    // CF_TEXT
    QString RTF();                     // the RTF format, up to its NUL
    int Column();                      // the column format; -1 when absent or shorter than 4 bytes
    bool Files();                      // CF_HDROP into FileList; true when a name was read
    TStringList *FileList() { return &FFiles; }
    const TFormatEtc &FormatEtc() const { return FFormatEtc; }
    bool Valid() const { return FValid; }

private:
    const QMimeData *FDataObject;
    std::vector<quint16> FFormats;     // the enumerator: the data's formats in its order
    size_t FPos = 0;
    TFormatEtc FFormatEtc;
    bool FValid = false;
    TStringList FFiles;
};

// A drop target on a window (the grid's viewport). The virtual operations do
// nothing here; a descendant applies the drops.
class TCGDropTarget : public QObject {
    Q_OBJECT
public:
    TCGDropTarget();
    ~TCGDropTarget() override;

    bool AcceptDrop = false;   // set by the owner
    bool AcceptText = true;
    bool AcceptFiles = true;
    bool AcceptCols = false;
    // Formats of the last drag enter: 1 text, 2 files, 4 column, 8 RTF.
    int FormatsMask() const { return FFormats; }

    // Makes Window a drop target (turning on its acceptDrops when it was off)
    // and takes its drag events; Revoke undoes exactly that.
    bool Register(QWidget *Window);
    void Revoke();
    QWidget *Window() const { return FWindow; }

    // The target's side of a drag; points in screen coordinates.
    HRESULT DragEnter(const QMimeData *DataObject, quint32 KeyState, const TPoint &Pt, quint32 &Effect);
    HRESULT DragOver(quint32 KeyState, const TPoint &Pt, quint32 &Effect);
    HRESULT DragLeave();
    HRESULT Drop(const QMimeData *DataObject, quint32 KeyState, const TPoint &Pt, quint32 &Effect);

    // ---- virtual operations, in this order
    virtual void DropText(const TPoint &Pt, const QString &S);
    virtual void DropCol(const TPoint &Pt, int Col);
    virtual void DropRTF(const TPoint &Pt, const QString &S);
    virtual void DropFiles(const TPoint &Pt, TStringList *Files);
    virtual void DragMouseMove(const TPoint &Pt, bool &Allow, int Formats);
    virtual void DragMouseEnter();
    virtual void DragMouseLeave();

protected:
    bool eventFilter(QObject *Watched, QEvent *Event) override;
    // A drop operation that refuses the drop calls this: the drop then takes
    // no effect, so a source that moved its data keeps it.
    void RefuseDrop() { FDropRefused = true; }

private:
    quint32 EffectOf(quint32 KeyState) const;
    QPointer<QWidget> FWindow;
    bool FSetAcceptDrops = false;
    bool FAcceptable = false;
    bool FDropRefused = false;
    int FFormats = 0;
};

// The enumerator of a TSourceDataObject's formats.
class TSourceEnumFormatEtc : public TObject {
public:
    explicit TSourceEnumFormatEtc(bool ColumnPresent) : FColumnPresent(ColumnPresent) {}
    HRESULT Next(quint32 Count, TFormatEtc *Formats, quint32 *Fetched);
    HRESULT Skip(quint32 Count);
    HRESULT Reset();
    HRESULT Clone(std::unique_ptr<TSourceEnumFormatEtc> &Enum);

private:
    quint32 Total() const { return FColumnPresent ? 4 : 3; }
    quint32 FPos = 0;
    bool FColumnPresent;
};

// The data of a drag out: a text with its RTF form, or a column.
class TSourceDataObject : public QMimeData {
    Q_OBJECT
public:
    TSourceDataObject(const QString &Text, const QString &RTF, int Column);
    QString Text() const { return FText; }
    QString RTFText() const { return FRTF; }
    int Column() const { return FColumn; }

    HRESULT QueryGetData(const TFormatEtc &Format) const;
    HRESULT GetData(const TFormatEtc &Format, QByteArray &Medium) const;
    HRESULT GetDataHere(const TFormatEtc &Format, QByteArray &Medium) const;
    HRESULT GetCanonicalFormatEtc(const TFormatEtc &In, TFormatEtc &Out) const;
    HRESULT SetData(const TFormatEtc &Format, const QByteArray &Medium, bool Release);
    HRESULT EnumFormatEtc(quint32 Direction, std::unique_ptr<TSourceEnumFormatEtc> &Enum) const;
    HRESULT DAdvise(const TFormatEtc &Format, quint32 Flags, quint32 *Connection);
    HRESULT DUnadvise(quint32 Connection);
    HRESULT EnumDAdvise(void **EnumAdvise);

    // Qt's view: the formats in the enumerator's order.
    QStringList formats() const override;
    bool hasFormat(const QString &MimeType) const override;

protected:
    QVariant retrieveData(const QString &MimeType, QMetaType Type) const override;

private:
    QString FText;
    QString FRTF;
    int FColumn;
};

// The source's side of a drag.
class TCGDropSource : public TObject {
public:
    explicit TCGDropSource(QWidget *Window) : FWindow(Window) {}
    HRESULT QueryContinueDrag(bool EscapePressed, quint32 KeyState);
    HRESULT GiveFeedback(quint32 Effect);
    bool LastEffectNone() const { return FNoEffect; }
    QWidget *Window() const { return FWindow; }
    // Told while the drag runs.
    virtual void DragNotify() {}

private:
    QPointer<QWidget> FWindow;
    bool FNoEffect = false;
};

// Start a drag and wait for its end: DRAGDROP_S_DROP with the effect the drop
// took, or DRAGDROP_S_CANCEL (also when the last feedback was no effect).
HRESULT StartTextDoDragDrop(TCGDropSource *Source, const QString &Text, const QString &RTF, quint32 AllowedEffects,
                            quint32 &Effect);
HRESULT StartColumnDoDragDrop(TCGDropSource *Source, int Column, quint32 AllowedEffects, quint32 &Effect);
