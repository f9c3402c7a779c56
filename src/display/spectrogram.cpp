#include "spectrogram.h"

#include <QThread>
#include <algorithm>
#include <cmath>

#include "largefile.h"
#include "waverender.h"

namespace {
// Columns kept beyond the visible ones: a few screens either side, so scrolling back and forth
// redraws from the cache while memory stays bounded by the view's size.
constexpr int64_t kKeptScreens = 3;
constexpr size_t kMinKeptColumns = 4096;
}  // namespace

TSpectrogram::TSpectrogram(int threads)
    : threads_(threads > 0 ? threads : std::max(1, QThread::idealThreadCount())) {
    pool_.setMaxThreadCount(threads_);
}

TSpectrogram::~TSpectrogram() {
    {
        std::lock_guard lock(mutex_);
        queue_.clear();
    }
    pool_.waitForDone();
}

void TSpectrogram::SetSettings(const TSpectrumSettings& settings) {
    settings_ = settings;
    settings_.window = TSpectrumSettings::ValidWindow(settings.window);
}

void TSpectrogram::Release() {
    std::lock_guard lock(mutex_);
    ++generation_;
    ++layerId_;  // a column being computed from the old sound is dropped when it comes
    columns_.clear();
    inflight_.clear();
    queue_.clear();
    store_.reset();
    available_ = 0;
}

size_t TSpectrogram::CachedColumns() const {
    std::lock_guard lock(mutex_);
    return columns_.size();
}

void TSpectrogram::OpenStore(const TWaveSource& source) {
    // Called with mutex_ held. A store being loaded grows: a fresh private store sees the new
    // length, while workers keep the one they hold.
    if (!source.store) return;
    const bool stale = !store_ || store_->Path() != source.store->Path() ||
                       store_->SampleCount() < source.store->SampleCount();
    if (!stale) return;
    try {
        store_ = std::make_shared<TLargeFile>(source.store->Path());
    } catch (const std::exception&) {
        store_.reset();
    }
    const int n = std::max<int>(source.channels, 1);
    available_ = store_ ? std::min(source.frames, store_->SampleCount() / n) : 0;
}

int TSpectrogram::Draw(QImage& image, const QRect& area, const TWaveSource& source,
                       double firstFrame, double framesPerColumn, QRgb pending) {
    const QRect r = area & image.rect();
    if (r.isEmpty()) return 0;
    const int width = r.width(), rows = r.height();
    auto fill = [&] {
        for (int y = r.top(); y <= r.bottom(); ++y)
            std::fill_n(reinterpret_cast<QRgb*>(image.scanLine(y)) + r.left(), width, pending);
    };
    if (!source.ready || source.channels == 0 || source.rate == 0 || !(framesPerColumn > 0)) {
        fill();
        return 0;
    }
    std::unique_lock lock(mutex_);
    const TLayer layer{generation_, framesPerColumn, rows, source.channels, source.rate, settings_};
    if (!(layer == layer_)) {
        layer_ = layer;
        ++layerId_;
        columns_.clear();
        inflight_.clear();
    }
    OpenStore(source);
    const int64_t g0 = int64_t(std::floor(firstFrame / framesPerColumn));
    const int64_t half = settings_.window / 2;
    const bool whole = available_ >= source.frames;
    std::vector<const uint8_t*> cols(size_t(width), nullptr);
    std::deque<TJob> queue;
    int missing = 0;
    for (int x = 0; x < width; ++x) {
        const int64_t g = g0 + x;
        const int64_t centre = std::llround((double(g) + 0.5) * framesPerColumn);
        if (centre < 0 || centre >= source.frames) continue;
        if (auto it = columns_.find(g); it != columns_.end()) {
            cols[size_t(x)] = it->second.data();
            continue;
        }
        ++missing;
        // During a load a window reaching past what has come waits for it.
        if (store_ && (whole || centre + half <= available_) && !inflight_.contains(g))
            queue.push_back({layerId_, g, centre});
    }
    QRgb lut[kLevels];
    for (int i = 0; i < kLevels; ++i) lut[i] = SpectrumColor(uint8_t(i));
    for (int y = 0; y < rows; ++y) {
        QRgb* line = reinterpret_cast<QRgb*>(image.scanLine(r.top() + y)) + r.left();
        for (int x = 0; x < width; ++x) {
            const uint8_t* c = cols[size_t(x)];
            line[x] = c ? lut[c[y]] : pending;
        }
    }
    if (columns_.size() > std::max(kMinKeptColumns, size_t(width) * (2 * kKeptScreens + 1))) {
        const int64_t lo = g0 - kKeptScreens * width, hi = g0 + (kKeptScreens + 1) * width;
        std::erase_if(columns_, [&](const auto& kv) { return kv.first < lo || kv.first >= hi; });
    }
    // What the last drawing missed is all that is worth computing now.
    queue_ = std::move(queue);
    notify_ = true;
    StartWorkers();
    return missing;
}

void TSpectrogram::StartWorkers() {
    while (running_ < threads_ && size_t(running_) < queue_.size()) {
        ++running_;
        pool_.start([this] { Work(); });
    }
}

void TSpectrogram::Wait() {
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [&] { return queue_.empty() && running_ == 0; });
}

void TSpectrogram::Work() {
    std::unique_ptr<TSpectrumAnalyser> analyser;
    std::vector<uint8_t> levels;
    for (;;) {
        std::unique_lock lock(mutex_);
        if (queue_.empty()) {
            --running_;
            idle_.notify_all();
            return;
        }
        const TJob job = queue_.front();
        queue_.pop_front();
        inflight_.insert(job.column);
        const TLayer layer = layer_;
        const std::shared_ptr<TLargeFile> store = store_;
        const int64_t available = available_;
        lock.unlock();

        levels.assign(size_t(layer.rows), 0);
        try {
            if (!analyser || analyser->Window() != layer.settings.window)
                analyser = std::make_unique<TSpectrumAnalyser>(layer.settings.window);
            if (store) {
                analyser->Analyse(*store, layer.channels, available, job.centre);
                analyser->Rows(layer.rows, layer.rate, layer.settings.logFrequency, levels.data());
            }
        } catch (const std::exception&) {
            // A column that cannot be read shows as silence rather than being asked for again.
        }

        lock.lock();
        bool call = false;
        if (job.layer == layerId_) {
            inflight_.erase(job.column);
            columns_[job.column] = levels;
            call = notify_;
            notify_ = false;
        }
        lock.unlock();
        if (call && onReady) onReady();
    }
}
