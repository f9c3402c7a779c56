#pragma once
// TSpectrogram: the spectrogram of the visible range, one spectrum per pixel column, computed
// on worker threads and drawn as the columns arrive. Columns sit on a grid of the zoom (column g
// is centred on frame (g + 0.5) x frames per column), so a scroll reuses what was computed; a
// change of zoom, size, settings or sound starts afresh. The cache holds a few screens of
// columns and nothing else, so memory stays flat at any length, and the cost of a redraw
// follows the pixels: one FFT window per column, however many frames the column covers.
//
// The workers read samples through a read-only store of their own on the document's current
// version file (positioned reads), never through the document's store.
//
// Threads: every public member but the constructor's onReady target is called on one thread
// (the user-interface thread, or orvane-cli's). onReady is called on a worker thread.

#include <QImage>
#include <QRect>
#include <QThreadPool>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "spectrum.h"

class TLargeFile;
struct TWaveSource;

class TSpectrogram {
public:
    // `threads` workers at most; 0: one per core.
    explicit TSpectrogram(int threads = 0);
    ~TSpectrogram();  // waits for the workers
    TSpectrogram(const TSpectrogram&) = delete;
    TSpectrogram& operator=(const TSpectrogram&) = delete;

    // Called on a worker thread after it added columns, at most once until the next Draw.
    std::function<void()> onReady;

    void SetSettings(const TSpectrumSettings& settings);
    const TSpectrumSettings& Settings() const { return settings_; }

    // The sound changed or its store goes: forgets every column and the private store.
    void Release();

    // Draws the device-pixel rectangle `area` of `image` (RGB32), its columns starting at frame
    // `firstFrame`, `framesPerColumn` frames each. Columns not computed yet are painted in
    // `pending` and queued (the queue holds only what the last Draw missed). Returns how many
    // were missing.
    int Draw(QImage& image, const QRect& area, const TWaveSource& source, double firstFrame,
             double framesPerColumn, QRgb pending);
    // Blocks until the queue is empty and no worker runs (orvane-cli, tests, benchmarks).
    void Wait();

    size_t CachedColumns() const;

private:
    struct TLayer {
        uint64_t generation = 0;
        double framesPerColumn = 0;
        int rows = 0;
        int channels = 0;
        uint32_t rate = 0;
        TSpectrumSettings settings;
        bool operator==(const TLayer&) const = default;
    };
    struct TJob {
        uint64_t layer;  // layerId_ when queued
        int64_t column;
        int64_t centre;
    };
    void OpenStore(const TWaveSource& source);
    void StartWorkers();
    void Work();

    TSpectrumSettings settings_;
    int threads_;
    QThreadPool pool_;

    mutable std::mutex mutex_;  // guards everything below
    std::condition_variable idle_;
    uint64_t generation_ = 0;
    TLayer layer_;
    uint64_t layerId_ = 0;  // counts layer changes; a result of an older layer is dropped
    std::shared_ptr<TLargeFile> store_;
    int64_t available_ = 0;  // frames the private store holds, all channels present
    std::unordered_map<int64_t, std::vector<uint8_t>> columns_;  // levels, top row first
    std::deque<TJob> queue_;
    std::unordered_set<int64_t> inflight_;  // columns of the current layer being computed
    int running_ = 0;
    bool notify_ = true;  // onReady may be called
};
