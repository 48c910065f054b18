// TMetafile over QPicture, which records a painter's commands and replays
// them onto another painter.
#include "platform/graphics/Metafile.h"
#include "platform/graphics/detail/StreamBytes.h"

#include <QPainter>
#include <algorithm>

using namespace GraphicsDetail;

namespace {

// The canvas of a metafile without a size records on a picture this large;
// the metafile then takes the extent of the drawing.
constexpr int UnsizedExtent = 32767;

} // namespace

TMetafile::TMetafile() = default;

TMetafile::TMetafile(const TMetafile &Other)
    : TGraphic(), FRecording(Other.FRecording), FRecorded(Other.FRecorded), FWidth(Other.FWidth),
      FHeight(Other.FHeight), FRecordedWidth(Other.FRecordedWidth), FRecordedHeight(Other.FRecordedHeight)
{
}

TMetafile &TMetafile::operator=(const TMetafile &Other)
{
    Assign(&Other);
    return *this;
}

TMetafile::~TMetafile() = default;

std::unique_ptr<TGraphic> TMetafile::NewGraphic() const { return std::make_unique<TMetafile>(); }

void TMetafile::SetWidth(int Value)
{
    SetSize(Value, FHeight);
}

void TMetafile::SetHeight(int Value)
{
    SetSize(FWidth, Value);
}

void TMetafile::SetSize(int AWidth, int AHeight)
{
    AWidth = std::max(AWidth, 0);
    AHeight = std::max(AHeight, 0);
    if (AWidth == FWidth && AHeight == FHeight)
        return;
    FWidth = AWidth;
    FHeight = AHeight;
    Changed(this);
}

void TMetafile::Clear()
{
    FRecording = QPicture();
    FRecorded = false;
    FWidth = 0;
    FHeight = 0;
    FRecordedWidth = 0;
    FRecordedHeight = 0;
    Changed(this);
}

void TMetafile::LoadFromStream(TStream *Stream)
{
    const QByteArray Data = ReadRest(Stream);
    Clear();
    if (!Data.isEmpty())
        throw EInvalidGraphic(QStringLiteral("Metafile is not valid"));
}

void TMetafile::SaveToStream(TStream *)
{
    if (!Empty())
        throw EInvalidGraphic(QStringLiteral("Metafile cannot be saved"));
}

void TMetafile::Assign(const TGraphic *Source)
{
    if (Source == this)
        return;
    if (!Source) {
        Clear();
        return;
    }
    if (auto *Other = dynamic_cast<const TMetafile *>(Source)) {
        FRecording = Other->FRecording;
        FRecorded = Other->FRecorded;
        FWidth = Other->FWidth;
        FHeight = Other->FHeight;
        FRecordedWidth = Other->FRecordedWidth;
        FRecordedHeight = Other->FRecordedHeight;
        Changed(this);
        return;
    }
    TGraphic::Assign(Source);
}

void TMetafile::Draw(TCanvas &Canvas, const TRect &R)
{
    if (!FRecorded || FRecordedWidth <= 0 || FRecordedHeight <= 0 || R.IsEmpty())
        return;
    QPainter *P = Canvas.Painter();
    if (!P)
        return;
    P->save();
    // The recording stays inside the rectangle it is drawn into.
    if (P->hasClipping())
        P->setClipRect(R.ToQRect(), Qt::IntersectClip);
    else
        P->setClipRect(R.ToQRect());
    P->translate(R.Left, R.Top);
    P->scale(double(R.Width()) / FRecordedWidth, double(R.Height()) / FRecordedHeight);
    P->setRenderHint(QPainter::Antialiasing, false);
    P->setRenderHint(QPainter::SmoothPixmapTransform, false);
    P->drawPicture(0, 0, FRecording);
    P->restore();
}

// ------------------------------------------------------------------ canvas

TMetafileCanvas::TMetafileCanvas(TMetafile *Metafile, quint32 ReferenceDevice) : FMetafile(Metafile)
{
    Q_UNUSED(ReferenceDevice);
    const bool Sized = Metafile && Metafile->Width() > 0 && Metafile->Height() > 0;
    FPicture.setBoundingRect(Sized ? QRect(0, 0, Metafile->Width(), Metafile->Height())
                                   : QRect(0, 0, UnsizedExtent, UnsizedExtent));
    SetDevice(&FPicture);
}

TMetafileCanvas::~TMetafileCanvas()
{
    Release();
    SetDevice(nullptr);
    if (!FMetafile)
        return;
    const bool Sized = FMetafile->Width() > 0 && FMetafile->Height() > 0;
    if (!Sized) {
        // The extent of what was drawn: the bounds a picture works out for
        // itself when it is given no size, here one the recording is played into.
        QPicture Measured;
        {
            QPainter P(&Measured);
            P.drawPicture(0, 0, FPicture);
        }
        const QRect Drawn = Measured.boundingRect();
        FMetafile->FWidth = Drawn.isValid() ? std::max(0, Drawn.right() + 1) : 0;
        FMetafile->FHeight = Drawn.isValid() ? std::max(0, Drawn.bottom() + 1) : 0;
    }
    FMetafile->FRecordedWidth = FMetafile->FWidth;
    FMetafile->FRecordedHeight = FMetafile->FHeight;
    FMetafile->FRecording = FPicture;
    FMetafile->FRecorded = true;
    FMetafile->Changed(FMetafile);
}
