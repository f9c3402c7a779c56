#pragma once
// TEffectPreview: lets an effect dialog play the effect's result on a range while it stays
// open. Start renders the preview (Twavefile::Preview, on the document's worker) and plays it
// through a player of its own, from its first chunk on while the rest renders; Changed
// restarts a running preview with the new values; Stop (and the destructor) ends it and
// deletes the preview file. The document itself never changes. User-interface thread only.

#include <QObject>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "filtergraph.h"
#include "wavfile.h"

class TAudioBackend;
class TPlayer;

class TEffectPreview : public QObject {
public:
    // The values of the dialog as an effect, or nothing when they make none.
    using TEffect = std::function<std::optional<TPreviewEffect>()>;
    // A change is rendered at once; further changes within this quiet time are rendered
    // together once it has passed: well inside the 100 ms a listener notices, long enough to
    // let a held spin-box arrow settle.
    static constexpr int kDebounceMs = 40;

    TEffectPreview(Twavefile& document, TEffect effect, int64_t start, int64_t end,
                   std::shared_ptr<TAudioBackend> backend = nullptr);
    ~TEffectPreview() override;

    void Start();
    void Changed();
    void Stop();
    // The effects the dialog may ask for next (a step up or down of each value): a filter's
    // delay is measured for them while the preview plays, so a change restarts it sooner.
    using TNearby = std::function<std::vector<TPreviewEffect>()>;
    void SetNearby(TNearby nearby) { nearby_ = std::move(nearby); }

    // Previewing: rendering or playing.
    bool Active() const { return active_; }
    bool Playing() const;
    TPlayer& Player() { return *player_; }

private:
    void Render();
    void Poll();
    // Plays `file`; `growing` while the document still writes it.
    void Play(const QString& file, bool growing);

    Twavefile& document_;
    TEffect effect_;
    int64_t start_, end_;
    std::shared_ptr<TAudioBackend> backend_;
    std::unique_ptr<TPlayer> player_;
    TNearby nearby_;
    // Declared after the player: it ends (its probe in hand finished) before the rest goes.
    TDelayWarmer warmer_;
    QTimer debounce_, poll_;
    bool active_ = false;
    // The document's worker is rendering our preview.
    bool rendering_ = false;
    // The values changed while it rendered: what it renders is not what is asked for.
    bool stale_ = false;
    // A change came within the quiet time of the last: rendered when it has passed.
    bool pending_ = false;
};

class QDialog;
class QPushButton;
// Wires a dialog to a preview for as long as the preview lives: the button starts it and the
// dialog's closing ends it (the dialog connects its own value changes to Changed). Null
// `preview` hides the button.
void AttachPreview(QDialog& dialog, QPushButton& button, TEffectPreview* preview);
