#pragma once
// Markers in a WAV (or RF64) file, in the form other editors read: a "cue " chunk with one cue
// point per marker (its frame), and a LIST chunk of type "adtl" holding a "labl" (the name,
// UTF-8) per cue point and an "ltxt" (purpose "rgn ", the length in frames) per region.
// Our own chunk code, beside the header layout: TagLib's RIFF support has no cue points.

#include <QString>

#include "markers.h"

// The markers of the WAV or RF64 file at `path`; none when it has none or is no such file. A
// malformed chunk ends the reading, keeping what came before.
TMarkerList ReadWavMarkers(const QString& path);

// Appends the two chunks for `marks` to the WAV or RF64 file at `path` and fixes the RIFF
// size. Nothing happens for no markers. Markers past frame 2^32 - 1, which a cue point cannot
// hold, are left out. Throws EAppError when the file cannot be written or would pass the 4 GiB
// of the RIFF form.
void AppendWavMarkersOrThrow(const QString& path, const TMarkerList& marks);
