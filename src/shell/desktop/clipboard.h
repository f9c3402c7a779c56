#pragma once
// The system clipboard for the document: a WAV image offered as audio/wav, audio/x-wav and
// audio/vnd.wave; any of them, or a text/uri-list naming a .wav file, is accepted on paste.
// The document calls it from its worker through RunOnUiThread, so QClipboard is only touched on
// the user-interface thread.

#include "notifier.h"

class TDesktopClipboard : public TClipboard {
public:
    bool SetWave(const QByteArray& image) override;
    std::optional<QByteArray> GetWave() override;
    bool HasWave() override;

    static const QStringList& WaveMimeTypes();
};
