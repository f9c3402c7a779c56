#pragma once
// TVUMeter: the level meter. One horizontal bar per channel that rises at once to a louder level
// and falls back 3 pixels per update, with a peak marker that holds for 10 updates and then
// falls 1 pixel per update. It computes no levels: the main window passes the player's readout
// (0 ... 128, 128 full scale) every 10 ms while playing. Each update redraws the meter into one
// off-screen image and shows it with one copy.
//
// Thread: user-interface thread only.

#include <QColor>
#include <QImage>
#include <QWidget>
#include <array>
#include <cstdint>
#include <span>

class TVUMeter : public QWidget {
public:
    static constexpr int kMaxChannels = 9;
    static constexpr int32_t kHoldTime = 10;  // updates a peak marker stays put
    static constexpr int32_t kPeakFall = 1;   // pixels per update
    static constexpr int32_t kBarFall = 3;    // pixels per update

    // 127 x 38 with both colours black.
    explicit TVUMeter(QWidget* parent = nullptr);

    QColor backcolor{0, 0, 0};
    QColor forecolor{0, 0, 0};

    // One level per channel (at most 9 are read); redraws the meter. Nothing when not visible;
    // nothing is drawn for an empty span.
    void SetLevels(std::span<const int16_t> levels);
    // Forgets all bars and peaks and shows an empty meter.
    void ResetMeter();
    // Fills the drawing image with backcolor.
    void ClearMeter();

    // State, for tests and for the main window.
    int ChannelCount() const { return count_; }
    int32_t Bar(int channel) const { return bar_[size_t(channel)]; }
    int32_t PeakPos(int channel) const { return peak_[size_t(channel)]; }
    int32_t Age(int channel) const { return age_[size_t(channel)]; }
    const QImage& Image() const { return image_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void FitImage();

    int count_ = 1;
    std::array<int16_t, kMaxChannels> levels_{};
    std::array<int32_t, kMaxChannels> bar_{};
    std::array<int32_t, kMaxChannels> peak_{};
    std::array<int32_t, kMaxChannels> age_{};
    QImage image_;
    bool fromSetLevels_ = false;  // the repaint shows the levels just drawn, not a blank meter
};
