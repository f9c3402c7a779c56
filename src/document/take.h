#pragma once
// Recording into the document. A front end opens an input (TTakeInput: a capture device that
// copies what it hears into a TCaptureRing, src/playback/capture.h) and hands it to
// Twavefile::Record with a TTakeRequest saying where the take goes: a new sound, inserted at a
// frame, over a range (punch-in: the take stops at the range's length) or appended. The take is
// the document's running operation: its worker drains the ring into a version file of its own
// in the temporary folder (16-bit PCM, the header brought up to date and the file synced twice
// a second, and a journal line naming it, so a killed run's take is offered by recovery), and
// once it ends (StopRecording, the length reached, the disk near full, the input failing) the
// take becomes one undo step; Cancel leaves the document as it was. Twavefile::PollRecord, called
// by the front end's timer on the user-interface thread as PollLoad is, takes in the take's
// state (TTakeStatus: length, input peaks, clips, dropouts, disk time left) and raises
// OnTakeDropout for each new dropout; the take's waveform grows in TakePeakTable(), and a new
// sound shows as a load does (Loading(), PeakTable(), Store()).

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "cache.h"

class TCaptureRing;

// Where a take is heard from. Made on the user-interface thread; Start, Pause and Stop are
// called by the document (Pause on the user-interface thread, Start and Stop on its worker).
class TTakeInput {
public:
    virtual ~TTakeInput() = default;
    virtual uint16_t Channels() const = 0;
    virtual uint32_t SampleRate() const = 0;
    // What the device's callback fills; the document's worker is its only reader.
    virtual TCaptureRing& Ring() = 0;
    // The device runs; until then nothing is counted.
    virtual void Start() = 0;
    // A paused device delivers nothing and counts nothing; the take goes on on resuming.
    virtual void Pause(bool paused) = 0;
    // Closes the device (no callback runs after it returns) and closes the ring.
    virtual void Stop() = 0;
    // The device's failure (it went away), empty while it works. Any thread.
    virtual std::string Failure() const { return {}; }
};

enum class TTakePlace {
    kNewSound,  // a document of its own (what was open is closed first)
    kInsert,    // inserted at `at`
    kReplace,   // over [at, end): exactly end - at frames, unless stopped early
    kAppend,    // after the last frame
};

struct TTakeRequest {
    TTakePlace place = TTakePlace::kNewSound;
    int64_t at = 0, end = 0;
    // The take ends by itself after this many device frames (0: only when stopped). A replace
    // takes the range's length whatever is given.
    int64_t maxFrames = 0;
    // Stops cleanly (the take kept) when the temporary folder's disk has less than this left
    // beyond what placing the take into the sound will need.
    int64_t reserveBytes = 64 << 20;
};

// Why the last take ended.
enum class TTakeEnd {
    kNone,         // none ended yet, or one is running
    kStopped,      // StopRecording
    kLength,       // the frames asked for are in
    kDiskFull,     // stopped and kept: the disk is near full
    kInputFailed,  // stopped and kept: the device went away
    kCancelled,    // Cancel: the document is as it was
    kFailed,       // an error was shown; nothing of the take was kept
};

// The running take as the user-interface thread last took it in (PollRecord).
struct TTakeStatus {
    int64_t frames = 0;  // in the take's file so far (device frames, gaps as silence)
    uint16_t channels = 0;
    uint32_t sampleRate = 0;
    // The input's highest absolute sample per channel since the poll before.
    std::array<int16_t, kMaxPeakChannels> peak{};
    int64_t clips = 0;                   // samples at full scale (32767 or -32768)
    int64_t dropouts = 0;                // gaps so far (the ring overflowed)
    int64_t lostFrames = 0;              // frames those gaps lost (written as silence)
    std::vector<int64_t> dropoutFrames;  // frames of the take where each began (as known)
    // What the free disk holds at this rate, above the reserve and the room the take's placing
    // will need; -1 before known.
    double diskSecondsLeft = -1;
    bool paused = false;
    bool running = false;
};
