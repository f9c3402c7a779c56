#pragma once
// Runs a libavfilter graph over a stretch of the sample store, block by block, into a new
// version: memory stays flat at any length. The result lines up with its source: the graph's
// delay, measured once with a probe signal, is dropped at the head and flushed out at the tail.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class TLargeFile;
class TVersionWriter;

// How a graph's delay is found. kImpulse: the peak of its answer to a click (filters and
// dynamics, whose output sample n belongs to input sample n - delay). kOnset: where a tone burst
// starts in its output against where it should (time stretching and pitch shifting, which smear
// a click).
enum class TDelayProbe { kImpulse, kOnset };

struct TFilterRun {
    // The graph between the source and the sink, in libavfilter's syntax ("highpass=f=1000").
    std::string graph;
    // Output frames per input frame: 1 for a filter, 2 for a tempo of 50 %.
    double lengthRatio = 1.0;
    TDelayProbe probe = TDelayProbe::kImpulse;
};

// One graph from interleaved 16-bit frames to interleaved 16-bit frames at the same rate and
// channel count. Errors (a graph that does not parse, a filter that fails) are thrown as
// EAppError. Used from one thread.
class TFilterGraph {
public:
    TFilterGraph(const std::string& graph, int channels, int sampleRate);
    ~TFilterGraph();
    TFilterGraph(const TFilterGraph&) = delete;
    TFilterGraph& operator=(const TFilterGraph&) = delete;

    using TSink = std::function<void(const int16_t* frames, int64_t count)>;
    // Feeds `count` frames and hands whatever the graph gives back to `sink`.
    void Push(const int16_t* frames, int64_t count, const TSink& sink);
    // Ends the input and hands the graph's tail to `sink`.
    void Finish(const TSink& sink);

private:
    void Drain(const TSink& sink);
    struct TState;
    std::unique_ptr<TState> s_;
    int channels_;
    int sampleRate_;
    int64_t pts_ = 0;
};

// Code run earlier on a thread can leave the upper halves of the AVX registers dirty; every
// SSE instruction after that pays a transition penalty (measured: libavfilter's compressor and
// Rubber Band ran four to ten times slower). Called before handing a block to a DSP library.
void ClearVectorUpperState();

// The delay of `run` in output frames, at this shape; negative when its answer comes early.
// Kept once measured (it depends on nothing else), so a graph is probed once per process.
int64_t MeasureDelay(const TFilterRun& run, int channels, int sampleRate);
// The probe alone, uncached, with `tailFrames` of silence after its signal (-1: as short as
// MeasureDelay's, which brings out the whole answer).
int64_t ProbeDelay(const TFilterRun& run, int channels, int sampleRate, int64_t tailFrames = -1);

// Measures delays ahead of need on a thread of its own, so that the values a dialog is about to
// be given (the next step of each field) find theirs known: the stretchers' probes take a good
// part of a second. Ask replaces what still waits and is served in its order; the destructor
// lets the probe in hand end and drops the rest.
class TDelayWarmer {
public:
    TDelayWarmer() = default;
    ~TDelayWarmer();
    TDelayWarmer(const TDelayWarmer&) = delete;
    TDelayWarmer& operator=(const TDelayWarmer&) = delete;
    void Ask(std::vector<TFilterRun> runs, int channels, int sampleRate);

private:
    void Serve();
    std::mutex mutex_;
    std::condition_variable wake_;
    std::vector<TFilterRun> queue_;
    int channels_ = 0, sampleRate_ = 0;
    bool stop_ = false;
    std::thread thread_;
};

// Filters source frames [from, to) into exactly `outFrames` frames of target from frame `at`:
// the first `delay` frames of output dropped (or, when it is negative, that much
// silence put first), the input followed by enough silence to bring out
// the tail, anything short of outFrames written as silence. `progress` gets 0..100 of the
// stretch; a cancel stops it at the next block (EAbort).
void RunFilterGraph(const TFilterRun& run, int64_t delay, TLargeFile& source,
                    TVersionWriter& target, int channels, int sampleRate, int64_t from, int64_t to,
                    int64_t at, int64_t outFrames, std::atomic<int32_t>& progress);
