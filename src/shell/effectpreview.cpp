#include "effectpreview.h"

#include <QCoreApplication>
#include <QDialog>
#include <QPushButton>
#include <utility>

#include "player.h"

namespace {
// How often a rendering preview is looked at: its end is heard this much late at most.
constexpr int kPollMs = 10;
// How often a cancelled render is looked at: it ends at the worker's next block, and the new
// values' render starts once it has.
constexpr int kCancelPollMs = 2;
}  // namespace

TEffectPreview::TEffectPreview(Twavefile& document, TEffect effect, int64_t start, int64_t end,
                               std::shared_ptr<TAudioBackend> backend)
    : document_(document),
      effect_(std::move(effect)),
      start_(start),
      end_(end),
      backend_(std::move(backend)),
      player_(std::make_unique<TPlayer>()) {
    debounce_.setSingleShot(true);
    debounce_.setInterval(kDebounceMs);
    connect(&debounce_, &QTimer::timeout, this, [this] {
        if (std::exchange(pending_, false)) Render();
    });
    connect(&poll_, &QTimer::timeout, this, [this] { Poll(); });
}

TEffectPreview::~TEffectPreview() {
    Stop();
    player_->Shutdown();
}

bool TEffectPreview::Playing() const {
    return player_->Playing();
}

void TEffectPreview::Start() {
    active_ = true;
    debounce_.stop();
    pending_ = false;
    Render();
}

void TEffectPreview::Changed() {
    if (!active_) return;
    // A change after a quiet spell is heard at once; those that follow it closely (a held
    // arrow, a key repeating) wait until the values have been still for a moment.
    if (debounce_.isActive()) {
        pending_ = true;
    } else {
        Render();
    }
    debounce_.start();
}

void TEffectPreview::Stop() {
    active_ = false;
    debounce_.stop();
    pending_ = false;
    poll_.stop();
    if (player_->BufferExists()) player_->Close();
    if (rendering_) {
        document_.Cancel();
        // A cancel ends at the worker's next block: the document is free for the step that
        // may follow (OK) a moment later.
        while (document_.Busy()) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        rendering_ = false;
    }
    document_.DropPreview();
}

void TEffectPreview::Render() {
    if (!active_) return;
    if (player_->BufferExists()) player_->Close();
    if (rendering_) {
        // The values changed while the last one rendered: it is not worth finishing.
        document_.Cancel();
        stale_ = true;
        poll_.start(kCancelPollMs);
        return;
    }
    const std::optional<TPreviewEffect> effect = effect_();
    if (!effect || document_.Busy()) return;
    rendering_ = document_.Preview(*effect, start_, end_);
    if (rendering_) poll_.start(kPollMs);
}

void TEffectPreview::Poll() {
    if (!rendering_) {
        poll_.stop();
        return;
    }
    if (document_.Busy()) {
        // Heard from the first chunk on while the rest renders: the player takes what has come.
        const QString& file = document_.RenderingPreview();
        if (active_ && !stale_ && !player_->BufferExists() && !file.isEmpty() &&
            document_.PreviewBytesReady() >= TPlayer::ChunkBytes(TWaveFormat::Pcm16(
                                                 document_.Channels(), document_.SampleRate())))
            Play(file, true);
        return;
    }
    poll_.stop();
    rendering_ = false;
    if (!active_) return;
    // The values changed meanwhile: again with the values now.
    if (std::exchange(stale_, false)) {
        Render();
        return;
    }
    // The render failed (the document has said why).
    if (document_.PreviewPath().isEmpty()) {
        if (player_->BufferExists()) player_->Close();
        active_ = false;
        return;
    }
    if (!player_->BufferExists()) Play(document_.PreviewPath(), false);
    // While it plays: the delays of the values a change may bring.
    if (!nearby_) return;
    std::vector<TFilterRun> runs;
    for (const TPreviewEffect& e : nearby_()) {
        if (e.kind != TPreviewEffect::kFilter) continue;
        try {
            runs.push_back(BuildFilterRun(e.filter, int(document_.SampleRate())));
        } catch (const std::exception&) {
            // Values the effect refuses: nothing to measure.
        }
    }
    warmer_.Ask(std::move(runs), document_.Channels(), int(document_.SampleRate()));
}

void TEffectPreview::Play(const QString& file, bool growing) {
    try {
        if (!player_->Device()) player_->Init(backend_);
        if (growing) {
            player_->OpenFile(file, [this] { return document_.PreviewBytesReady(); });
        } else {
            player_->OpenFile(file);
        }
        player_->Play();
    } catch (const std::exception&) {
        // No sound output: the preview stays silent, as playing does.
        if (player_->BufferExists()) player_->Close();
        active_ = false;
    }
}

void AttachPreview(QDialog& dialog, QPushButton& button, TEffectPreview* preview) {
    // Connected with the preview as context: they go with it.
    button.setVisible(preview != nullptr);
    if (!preview) return;
    QObject::connect(&button, &QPushButton::clicked, preview, [preview] { preview->Start(); });
    QObject::connect(&dialog, &QDialog::finished, preview, [preview] { preview->Stop(); });
}
