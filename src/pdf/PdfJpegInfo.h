#pragma once
// What the image object needs to know of a JPEG file, read from its markers.

#include <QByteArray>

struct TPdfJpegInfo {
    int Width = 0;
    int Height = 0;
    int Components = 0;      // 1 grey, 3 colour, 4 CMYK
    int BitsPerComponent = 0;
    bool AdobeMarker = false; // an APP14 "Adobe" segment: CMYK is stored inverted
};

// Walks the markers from SOI to the start of scan, bounded by the data, and
// checks that an end-of-image marker follows. False for anything that is not
// a complete baseline or progressive JPEG with 1, 3 or 4 components of 8 bits.
bool ReadPdfJpegInfo(const QByteArray &Data, TPdfJpegInfo &Info);
