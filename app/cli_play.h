#pragma once
// orvane-cli --play: plays frames [startFrame, endFrame) of a loaded document through the
// player and the sound device, with the position and a level per channel on standard error,
// until the stretch has played or Ctrl+C stops it. User-interface thread (the CLI's main thread).

#include <cstdint>

class Twavefile;

// Returns 0 when the stretch has played, 130 when interrupted, 1 on a failure (reported on
// standard error). Installs its own SIGINT handler for the time it plays.
int RunPlay(Twavefile& doc, int64_t startFrame, int64_t endFrame);

// orvane-cli --preview: plays the document's preview file (Twavefile::Preview) in the same way,
// the position shown from `startFrame`, the frame the preview's range starts at.
int RunPlayPreview(const Twavefile& doc, int64_t startFrame);
