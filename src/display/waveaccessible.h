#pragma once
// What assistive technology hears of the waveform view: a slider-like object whose value is
// the cursor time, whose description holds the selection and whether it plays, and the events
// that make a screen reader speak when they change.
//
// Thread: user-interface thread only.

#include <QString>
#include <cstdint>

class TWaveView;

// Makes Qt build TWaveView's accessible object; safe to call more than once.
void InstallWaveAccessible();

// A time as spoken: "1 min 5.250 s" (minutes only when there are any), in the active language.
QString SpokenTime(int64_t ms);
// The cursor announcement, "cursor 1 min 5.250 s".
QString WaveValueText(const TWaveView& view);
// "selected 10.000 s to 20.000 s", "playing", joined by ", "; empty when neither holds.
QString WaveDescriptionText(const TWaveView& view);

// Raised by the view when the cursor moved (value) or selection or playback changed.
void AnnounceWaveCursor(TWaveView& view);
void AnnounceWaveState(TWaveView& view);
