#pragma once
// TMetafile: a picture kept as the drawing commands that made it, with a
// width and a height. A TMetafileCanvas records onto it: what is drawn on the
// canvas becomes the metafile's recording when the canvas is freed. Drawing a
// metafile replays the recording scaled from the size it was recorded at
// into the target rectangle, with edges left unsmoothed as every canvas draws
// them, so the same metafile drawn twice at the same place paints exactly the
// same pixels.
//
// A metafile is made in memory only: no file format is read or written
// (LoadFromStream takes an empty stream, giving an empty metafile; anything
// else, and saving a metafile that holds a recording, raise EInvalidGraphic).

#include "platform/graphics/Graphics.h"

#include <QPicture>

class TMetafileCanvas;

class TMetafile : public TGraphic {
public:
    TMetafile();
    TMetafile(const TMetafile &Other);
    TMetafile &operator=(const TMetafile &Other);
    ~TMetafile() override;

    QString ClassName() const override { return QStringLiteral("TMetafile"); }
    std::unique_ptr<TGraphic> NewGraphic() const override;

    // Empty until a canvas has recorded onto it.
    bool Empty() const override { return !FRecorded; }
    // The size the recording is drawn at by TCanvas::Draw. A metafile whose
    // size was not set when its canvas was freed takes the extent of what was
    // drawn (from 0, 0). Setting the size later scales the recording to it.
    int Width() const override { return FWidth; }
    int Height() const override { return FHeight; }
    void SetWidth(int Value) override;
    void SetHeight(int Value) override;
    void SetSize(int AWidth, int AHeight);

    void LoadFromStream(TStream *Stream) override;
    void SaveToStream(TStream *Stream) override;
    // A TMetafile is copied (recording and size); none clears.
    void Assign(const TGraphic *Source) override;
    void Draw(TCanvas &Canvas, const TRect &R) override;
    // Drops the recording and the size.
    void Clear();

private:
    friend class TMetafileCanvas;
    QPicture FRecording;
    bool FRecorded = false;
    int FWidth = 0;
    int FHeight = 0;
    // The size the recording was made at: Draw scales from it.
    int FRecordedWidth = 0;
    int FRecordedHeight = 0;
};

// A canvas whose drawing is recorded for a metafile. The recording replaces
// the metafile's when the canvas is freed. Coordinates run from (0, 0) at the
// metafile's top left; ReferenceDevice is accepted for the callers' sake and
// not used (pixels are the unit).
class TMetafileCanvas : public TCanvas {
public:
    explicit TMetafileCanvas(TMetafile *Metafile, quint32 ReferenceDevice = 0);
    ~TMetafileCanvas() override;
    TMetafileCanvas(const TMetafileCanvas &) = delete;
    TMetafileCanvas &operator=(const TMetafileCanvas &) = delete;

private:
    TMetafile *FMetafile;
    QPicture FPicture;
};
