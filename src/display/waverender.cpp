#include "waverender.h"

#include "wavfile.h"

TWaveSource TWaveSource::Of(const Twavefile* document) {
    TWaveSource s;
    if (!document || !document->Ready()) return s;
    s.ready = true;
    s.channels = document->Channels();
    s.rate = document->SampleRate();
    s.frames = document->Frames();
    s.peaks = &document->PeakTable();
    s.store = document->Store();
    return s;
}

TWaveRenderer::TWaveRenderer() { PrepareImages(kInitialWidth, kInitialHeight, 1.0); }

void TWaveRenderer::PrepareImages(int width, int height, qreal dpr) {
    w_ = width;
    h_ = height;
    backBuffer = QImage(width, height, QImage::Format_RGB32);
    backBuffer.setDevicePixelRatio(dpr);
    cleanImage = backBuffer;
}

void TWaveRenderer::RedrawAll(TWaveState&, const TWaveSource&, int width, int height, qreal dpr) {
    PrepareImages(width, height, dpr);
}

bool TWaveRenderer::UpdateCursor(const TWaveState&, const TWaveSource&, int, int) { return false; }

void TWaveRenderer::InvertRect(QImage&, int, int, int, int) {}
