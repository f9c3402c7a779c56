#pragma once
// The peak table of a sound still being loaded, so the view can draw it as it comes. The load's
// threads (one, or one per part of a split decode) publish finished 512-frame blocks together
// with how far their samples are already in the version file; the user-interface thread takes
// what is new into a table of its own a few times a second. What is shared lies under one mutex,
// taken once per publish (every few hundred blocks) and once per take, so neither side holds
// the other up; the user-interface thread never reads a table another thread is growing.
//
// These peaks are for drawing only: a block that two parts share is the larger of both, and the
// table a finished load adopts is the decoder's own.

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

#include "cache.h"

class TLoadingPeaks {
public:
    explicit TLoadingPeaks(int channels);
    TLoadingPeaks(const TLoadingPeaks&) = delete;
    TLoadingPeaks& operator=(const TLoadingPeaks&) = delete;
    int Channels() const { return channels_; }

    // One thread's stretch of the sound, from frame `first` on; it belongs to that thread.
    class TWriter {
    public:
        TWriter(TLoadingPeaks& shared, int64_t first);
        ~TWriter();
        TWriter(const TWriter&) = delete;
        TWriter& operator=(const TWriter&) = delete;

        // Interleaved frames that follow those added before; they are in the file already.
        void Add(const int16_t* samples, size_t frames);
        // Whole blocks scanned elsewhere (a TFilter's), for a writer whose frames so far end on
        // a block boundary; `frames` of them (the last block may be short) are in the file.
        void AddBlocks(const TPeakEntry* entries, size_t blocks, int64_t frames);
        // Makes what was added visible; `last` also the block still open.
        void Publish(bool last = false);

    private:
        void CloseBlock();

        TLoadingPeaks& shared_;
        size_t slot_;
        int64_t end_;       // the frame after the last one added
        int64_t published_ = 0;  // end_ as last published
        int64_t blockStart_;      // first frame of the open block's samples
        std::vector<TPeakEntry> open_;  // the open block's extremes, one per channel
        bool openEmpty_ = true;
        int64_t pendingBlock_ = -1;     // block of pending_[0]
        std::vector<TPeakEntry> pending_;
    };

    // On the user-interface thread: merges everything published since the last call into
    // `table` (grown as needed with zero entries). `contiguous`: the frames from 0 that are in
    // the file without a gap; `furthest`: the end of the furthest stretch. False when nothing
    // was published since.
    bool Take(Tindexdata& table, int64_t& contiguous, int64_t& furthest);

    // Forgets every stretch: the load is writing its file again from the start. The writers
    // of before must be gone.
    void Reset();

private:
    struct TStretch {
        int64_t first = 0, end = 0;
    };
    struct TBlocks {
        int64_t first = 0;  // block number
        std::vector<TPeakEntry> entries;
    };

    std::mutex mutex_;
    const int channels_;
    std::vector<TStretch> stretches_;
    std::vector<TBlocks> pending_;
    bool changed_ = false;
};
