// The filter-graph adapter: abuffer -> the effect's graph -> aformat -> abuffersink, fed and
// drained in blocks of kBlockFrames on the calling (worker) thread.
#include "filtergraph.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <exception>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <cstring>
#include <numbers>
#include <vector>

#include <immintrin.h>

#include "apperror.h"
#include "fileio.h"
#include "largefile.h"
#include "peakbuilder.h"

extern "C" {
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/channel_layout.h>
#include <libavutil/error.h>
#include <libavutil/frame.h>
#include <libavutil/opt.h>
}

namespace {

constexpr int64_t kBlockFrames = 8192;

__attribute__((target("avx"))) void ZeroUpperAvx() {
    _mm256_zeroupper();
}

std::string AvText(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

[[noreturn]] void Fail(const std::string& what, int code) {
    throw EAppError("The filter failed (" + what + "): " + AvText(code));
}

struct TFrameFree {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
using TFramePtr = std::unique_ptr<AVFrame, TFrameFree>;

struct TInOutFree {
    void operator()(AVFilterInOut* p) const { avfilter_inout_free(&p); }
};

}  // namespace

void ClearVectorUpperState() {
    static const bool avx = __builtin_cpu_supports("avx");
    if (avx) ZeroUpperAvx();
}

struct TFilterGraph::TState {
    AVFilterGraph* graph = nullptr;
    AVFilterContext* source = nullptr;
    AVFilterContext* sink = nullptr;
    TFramePtr out{av_frame_alloc()};
    ~TState() { avfilter_graph_free(&graph); }
};

TFilterGraph::TFilterGraph(const std::string& graph, int channels, int sampleRate)
    : s_(std::make_unique<TState>()), channels_(channels), sampleRate_(sampleRate) {
    s_->graph = avfilter_graph_alloc();
    if (!s_->graph || !s_->out) throw EAppError("Out of memory");
    // Filters run on this thread: the document's worker is the one thread of the operation.
    s_->graph->nb_threads = 1;
    const char* layout = channels == 1 ? "mono" : "stereo";
    const std::string args = "time_base=1/" + std::to_string(sampleRate) +
                             ":sample_rate=" + std::to_string(sampleRate) +
                             ":sample_fmt=s16:channel_layout=" + layout;
    int r = avfilter_graph_create_filter(&s_->source, avfilter_get_by_name("abuffer"), "in",
                                         args.c_str(), nullptr, s_->graph);
    if (r < 0) Fail("abuffer", r);
    r = avfilter_graph_create_filter(&s_->sink, avfilter_get_by_name("abuffersink"), "out",
                                     nullptr, nullptr, s_->graph);
    if (r < 0) Fail("abuffersink", r);
    // The sink takes back exactly the shape that went in.
    const std::string full = (graph.empty() ? std::string("anull") : graph) +
                             ",aformat=sample_fmts=s16:sample_rates=" +
                             std::to_string(sampleRate) + ":channel_layouts=" + layout;
    std::unique_ptr<AVFilterInOut, TInOutFree> outputs(avfilter_inout_alloc());
    std::unique_ptr<AVFilterInOut, TInOutFree> inputs(avfilter_inout_alloc());
    if (!outputs || !inputs) throw EAppError("Out of memory");
    outputs->name = av_strdup("in");
    outputs->filter_ctx = s_->source;
    inputs->name = av_strdup("out");
    inputs->filter_ctx = s_->sink;
    AVFilterInOut* in = inputs.release();
    AVFilterInOut* out = outputs.release();
    r = avfilter_graph_parse_ptr(s_->graph, full.c_str(), &in, &out, nullptr);
    avfilter_inout_free(&in);
    avfilter_inout_free(&out);
    if (r < 0) Fail(graph, r);
    r = avfilter_graph_config(s_->graph, nullptr);
    if (r < 0) Fail(graph, r);
}

TFilterGraph::~TFilterGraph() = default;

void TFilterGraph::Push(const int16_t* frames, int64_t count, const TSink& sink) {
    for (int64_t done = 0; done < count;) {
        const int64_t m = std::min(kBlockFrames, count - done);
        TFramePtr f(av_frame_alloc());
        if (!f) throw EAppError("Out of memory");
        f->format = AV_SAMPLE_FMT_S16;
        av_channel_layout_default(&f->ch_layout, channels_);
        f->nb_samples = int(m);
        f->sample_rate = sampleRate_;
        f->pts = pts_;
        int r = av_frame_get_buffer(f.get(), 0);
        if (r < 0) Fail("buffer", r);
        std::memcpy(f->data[0], frames + done * channels_, size_t(m) * channels_ * 2);
        ClearVectorUpperState();
        r = av_buffersrc_add_frame_flags(s_->source, f.get(), 0);
        if (r < 0) Fail("input", r);
        pts_ += m;
        done += m;
        Drain(sink);
    }
}

void TFilterGraph::Finish(const TSink& sink) {
    const int r = av_buffersrc_add_frame_flags(s_->source, nullptr, 0);
    if (r < 0) Fail("end", r);
    Drain(sink);
}

void TFilterGraph::Drain(const TSink& sink) {
    for (;;) {
        ClearVectorUpperState();
        const int r = av_buffersink_get_frame(s_->sink, s_->out.get());
        if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return;
        if (r < 0) Fail("output", r);
        sink(reinterpret_cast<const int16_t*>(s_->out->data[0]), s_->out->nb_samples);
        av_frame_unref(s_->out.get());
    }
}

namespace {

// The frame where a burst sets in: where the level over kOnsetWindow frames first reaches half
// its median over the burst, taken at the window's middle. Robust to a stretcher's smear and to
// the beating of its phases; -1 when there is nothing.
constexpr int64_t kOnsetWindow = 256;

int64_t BurstOnset(const std::vector<int16_t>& v) {
    const int64_t n = int64_t(v.size());
    std::vector<double> level(static_cast<size_t>(n));
    double sum = 0;
    for (int64_t i = 0; i < n; ++i) {
        sum += double(v[size_t(i)]) * v[size_t(i)];
        if (i >= kOnsetWindow) sum -= double(v[size_t(i - kOnsetWindow)]) * v[size_t(i - kOnsetWindow)];
        level[size_t(i)] = std::sqrt(std::max(0.0, sum) / kOnsetWindow);
    }
    const double top = n ? *std::max_element(level.begin(), level.end()) : 0;
    if (top <= 0) return -1;
    std::vector<double> active;
    for (double l : level)
        if (l > 0.1 * top) active.push_back(l);
    std::nth_element(active.begin(), active.begin() + ptrdiff_t(active.size() / 2), active.end());
    const double half = active[active.size() / 2] / 2;
    for (int64_t i = 0; i < n; ++i)
        if (level[size_t(i)] >= half) return std::max<int64_t>(0, i - kOnsetWindow / 2);
    return -1;
}

// A probe someone waits for (a preview about to start) has the cores to itself: the warm-up
// probes of values that may come next stop between blocks while one runs, and go on after.
std::mutex urgentMutex;
std::condition_variable urgentDone;
int urgent = 0;

struct TUrgentProbe {
    TUrgentProbe() {
        std::lock_guard lock(urgentMutex);
        ++urgent;
    }
    ~TUrgentProbe() {
        {
            std::lock_guard lock(urgentMutex);
            --urgent;
        }
        urgentDone.notify_all();
    }
    TUrgentProbe(const TUrgentProbe&) = delete;
    TUrgentProbe& operator=(const TUrgentProbe&) = delete;
};

void GiveWay() {
    std::unique_lock lock(urgentMutex);
    urgentDone.wait(lock, [] { return urgent == 0; });
}

// The first channel of what `graph` makes of `in`; a background probe gives way between blocks.
std::vector<int16_t> Through(const TFilterRun& run, const std::vector<int16_t>& in, int channels,
                             int sampleRate, bool background) {
    std::vector<int16_t> out;
    TFilterGraph graph(run.graph, channels, sampleRate);
    const auto take = [&](const int16_t* p, int64_t count) {
        for (int64_t k = 0; k < count; ++k) out.push_back(p[k * channels]);
    };
    const int64_t frames = int64_t(in.size()) / channels;
    for (int64_t f = 0; f < frames; f += kBlockFrames) {
        if (background) GiveWay();
        graph.Push(in.data() + f * channels, std::min(kBlockFrames, frames - f), take);
    }
    graph.Finish(take);
    return out;
}

// Silence after a stretcher's burst, in input frames: a quarter of a second of input and of
// output is room for several times its window and latency to die away (the onset's measure
// counts nothing below a tenth of the burst's level); never more than half a second of input.
int64_t OnsetTail(const TFilterRun& run, int sampleRate) {
    const int64_t quarter = sampleRate / 4;
    const auto outQuarter = int64_t(std::ceil(quarter / std::max(run.lengthRatio, 1e-3)));
    return std::min<int64_t>(sampleRate / 2, std::max(quarter, outQuarter));
}

int64_t Probe(const TFilterRun& run, int channels, int sampleRate, bool background,
              int64_t tailFrames) {
    // Room for the graph's answer to die away.
    const int64_t tail = tailFrames >= 0                    ? tailFrames
                         : run.probe == TDelayProbe::kOnset ? OnsetTail(run, sampleRate)
                                                            : sampleRate / 2;
    if (run.probe == TDelayProbe::kImpulse) {
        std::vector<int16_t> in(size_t(tail) * channels, 0);
        for (int c = 0; c < channels; ++c) in[size_t(c)] = 8192;
        const std::vector<int16_t> out = Through(run, in, channels, sampleRate, background);
        if (out.empty()) return 0;
        int64_t best = 0;
        for (size_t i = 0; i < out.size(); ++i)
            if (std::abs(int(out[i])) > std::abs(int(out[size_t(best)]))) best = int64_t(i);
        return best;
    }
    // Tone bursts low, middle and high after a lead of silence long enough for any look-ahead to
    // fill; a stretcher's timing moves a little with what it is given, so the median is taken.
    // Each burst goes through a graph of its own, side by side.
    const int64_t lead = sampleRate / 2, burst = sampleRate / 4;
    constexpr double kHz[] = {220.0, 1000.0, 3000.0};
    constexpr int kBursts = 3;
    std::array<std::optional<int64_t>, kBursts> found;
    std::array<std::exception_ptr, kBursts> errors;
    auto measure = [&](int i) {
        try {
            std::vector<int16_t> in(size_t(lead + burst + tail) * channels, 0),
                first(size_t(lead + burst + tail), 0);
            for (int64_t k = 0; k < burst; ++k) {
                const auto v = int16_t(std::lround(
                    8192.0 * std::sin(2.0 * std::numbers::pi * kHz[i] * double(k) / sampleRate)));
                first[size_t(lead + k)] = v;
                for (int c = 0; c < channels; ++c) in[size_t((lead + k) * channels + c)] = v;
            }
            const int64_t at = BurstOnset(Through(run, in, channels, sampleRate, background));
            if (at >= 0)
                found[size_t(i)] = at - std::llround(double(BurstOnset(first)) * run.lengthRatio);
        } catch (...) {
            errors[size_t(i)] = std::current_exception();
        }
    };
    std::vector<std::thread> helpers;
    for (int i = 1; i < kBursts; ++i) helpers.emplace_back(measure, i);
    measure(0);
    for (std::thread& t : helpers) t.join();
    for (const std::exception_ptr& e : errors)
        if (e) std::rethrow_exception(e);
    std::vector<int64_t> delays;
    for (const std::optional<int64_t>& d : found)
        if (d) delays.push_back(*d);
    if (delays.empty()) return 0;
    std::sort(delays.begin(), delays.end());
    return delays[delays.size() / 2];
}

// A graph's delay follows from its text and shape alone: each is measured once per process.
struct TDelayKey {
    std::string graph;
    double lengthRatio;
    int channels, sampleRate;
    auto operator<=>(const TDelayKey&) const = default;
};
std::mutex delaysMutex;
std::map<TDelayKey, int64_t> delays;
constexpr size_t kMaxDelays = 1024;

int64_t Measure(const TFilterRun& run, int channels, int sampleRate, bool background) {
    // The stretchers and resamplers keep their channels apart and the probe feeds every channel
    // the same: one channel finds the same delay at a fraction of the work.
    const int probed = run.probe == TDelayProbe::kOnset ? 1 : channels;
    const TDelayKey key{run.graph + (run.probe == TDelayProbe::kOnset ? "/onset" : "/impulse"),
                        run.lengthRatio, probed, sampleRate};
    {
        std::lock_guard lock(delaysMutex);
        if (const auto it = delays.find(key); it != delays.end()) return it->second;
    }
    std::optional<TUrgentProbe> urgency;
    if (!background) urgency.emplace();
    const int64_t d = Probe(run, probed, sampleRate, background, -1);
    std::lock_guard lock(delaysMutex);
    if (delays.size() >= kMaxDelays) delays.clear();
    delays[key] = d;
    return d;
}

}  // namespace

int64_t ProbeDelay(const TFilterRun& run, int channels, int sampleRate, int64_t tailFrames) {
    return Probe(run, channels, sampleRate, false, tailFrames);
}

int64_t MeasureDelay(const TFilterRun& run, int channels, int sampleRate) {
    return Measure(run, channels, sampleRate, false);
}

TDelayWarmer::~TDelayWarmer() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
        queue_.clear();
    }
    wake_.notify_one();
    if (thread_.joinable()) thread_.join();
}

void TDelayWarmer::Ask(std::vector<TFilterRun> runs, int channels, int sampleRate) {
    {
        std::lock_guard lock(mutex_);
        // Taken from the back: the first asked goes first.
        std::reverse(runs.begin(), runs.end());
        queue_ = std::move(runs);
        channels_ = channels;
        sampleRate_ = sampleRate;
    }
    if (!thread_.joinable()) thread_ = std::thread([this] { Serve(); });
    wake_.notify_one();
}

void TDelayWarmer::Serve() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stop_ || !queue_.empty(); });
        if (stop_) return;
        const TFilterRun run = std::move(queue_.back());
        queue_.pop_back();
        const int channels = channels_, rate = sampleRate_;
        lock.unlock();
        try {
            Measure(run, channels, rate, true);
        } catch (const std::exception&) {
            // A graph that fails here fails again, with its message, when it is run.
        }
        lock.lock();
    }
}

void RunFilterGraph(const TFilterRun& run, int64_t delay, TLargeFile& source,
                    TVersionWriter& target, int channels, int sampleRate, int64_t from, int64_t to,
                    int64_t at, int64_t outFrames, std::atomic<int32_t>& progress) {
    const int n = channels;
    TFilterGraph graph(run.graph, channels, sampleRate);
    // A graph that answers early (a negative delay) has its result moved back by silence.
    int64_t skip = std::max<int64_t>(0, delay), written = 0;
    std::vector<int16_t> buf(size_t(kBlockFrames) * n, 0);
    for (int64_t early = std::min(outFrames, std::max<int64_t>(0, -delay)); written < early;) {
        const int64_t count = std::min(kBlockFrames, early - written);
        target.WriteSamples(buf.data(), (at + written) * n, (at + written + count) * n - 1);
        written += count;
    }
    const auto put = [&](const int16_t* p, int64_t count) {
        const int64_t drop = std::min(skip, count);
        skip -= drop;
        p += drop * n;
        count -= drop;
        count = std::min(count, outFrames - written);
        if (count <= 0) return;
        target.WriteSamples(p, (at + written) * n, (at + written + count) * n - 1);
        written += count;
    };
    for (int64_t f = from; f < to;) {
        ThrowIfCancelled();
        const int64_t count = std::min(kBlockFrames, to - f);
        source.ReadSamples(buf.data(), f * n, (f + count) * n - 1);
        graph.Push(buf.data(), count, put);
        f += count;
        progress = static_cast<int32_t>((f - from) * 100 / std::max<int64_t>(1, to - from));
    }
    // Silence after the input brings out what the graph holds back, then its own tail.
    std::fill(buf.begin(), buf.end(), int16_t(0));
    int64_t pad = int64_t(std::ceil(double(std::max<int64_t>(0, delay)) / std::max(run.lengthRatio, 1e-3))) + kBlockFrames;
    while (pad > 0 && written < outFrames) {
        ThrowIfCancelled();
        const int64_t count = std::min(kBlockFrames, pad);
        graph.Push(buf.data(), count, put);
        pad -= count;
    }
    graph.Finish(put);
    // A graph that gives back a few frames less than the ratio promises ends in silence.
    while (written < outFrames) {
        const int64_t count = std::min(kBlockFrames, outFrames - written);
        target.WriteSamples(buf.data(), (at + written) * n, (at + written + count) * n - 1);
        written += count;
    }
    progress = 100;
}
