#include "recorder.h"

#include <QAction>
#include <QLabel>
#include <QStatusBar>
#include <algorithm>
#include <cmath>
#include <vector>

#include "capture.h"
#include "closingflow.h"
#include "commands.h"
#include "durationtext.h"
#include "mainform.h"
#include "settings.h"
#include "shelltexts.h"
#include "vumeter.h"
#include "waveview.h"
#include "wavfile.h"

namespace {

// The take's state is taken in this often; the view is redrawn every kRedrawTicks of them.
constexpr int kPollMs = 25;
constexpr int kRedrawTicks = 4;
const QString kSeparator = QStringLiteral("  \u00b7  ");

}  // namespace

TRecorder::TRecorder(Tmainform& form) : form_(form) {
    panel_ = new QLabel(form.statusBar());
    panel_->setObjectName(QStringLiteral("RecordPanel"));
    panel_->setAccessibleName(MsgText("recording"));
    form.statusBar()->addPermanentWidget(panel_);
    panel_->hide();
    QObject::connect(&timer_, &QTimer::timeout, &form, [this] { Poll(); });
    Twavefile& doc = form.Document();
    doc.OnTakeDropout = [this](Twavefile*, int64_t frame) { Dropout(frame); };
    doc.OnTakeEnded = [this](Twavefile*, TTakeEnd end) { end_ = end; };
}

TRecorder::~TRecorder() {
    timer_.stop();
    Twavefile& doc = form_.Document();
    doc.OnTakeDropout = nullptr;
    doc.OnTakeEnded = nullptr;
    // The view points at the marks and the take's peaks: it lets go of them first.
    form_.View().ShowTake(nullptr);
}

namespace {

// The device of the settings; a device chosen once and gone since gives the default rather
// than none.
std::string ChosenDevice() {
    std::string device = Settings.recdevice.toStdString();
    if (device.empty()) return device;
    const std::vector<std::string> present = CaptureDevices();
    if (std::find(present.begin(), present.end(), device) == present.end()) device.clear();
    return device;
}

}  // namespace

std::unique_ptr<TTakeInput> TRecorder::DefaultInput(uint16_t channels, uint32_t rate) const {
    return std::make_unique<TSdlCapture>(ChosenDevice(), channels, rate);
}

bool TRecorder::Record(bool append) {
    Twavefile& doc = form_.Document();
    if (active_ || doc.Busy()) return false;
    TWaveView& view = form_.View();
    // The take goes where the cursor stands now, not where playback would take it.
    if (view.Playing()) view.Stop();
    TTakeRequest request;
    uint16_t channels = uint16_t(Settings.recchannels);
    uint32_t rate = uint32_t(Settings.recrate);
    if (form_.Loaded()) {
        channels = doc.Channels();
        rate = doc.SampleRate();
        const auto [start, stop] = view.OrderedSelection();
        if (append) {
            request.place = TTakePlace::kAppend;
        } else if (view.HasSelection() && stop > start) {
            request.place = TTakePlace::kReplace;
            request.at = start;
            request.end = stop;
        } else {
            request.place = TTakePlace::kInsert;
            request.at = view.CursorFrame();
        }
    } else if (doc.CanUndo() || doc.Modified()) {
        // What a failed job left (the earlier work one Undo away) is closed as any close does,
        // asked about, before a new sound replaces it.
        if (!form_.ClosingFlow().Close()) return false;
    }
    // One device, one user: the monitor gives the input to the take.
    monitor_.reset();
    std::unique_ptr<TTakeInput> input;
    try {
        input = MakeInput ? MakeInput(channels, rate) : DefaultInput(channels, rate);
    } catch (...) {
        ReopenMonitor();
        throw;
    }
    marks_.clear();
    lastDropout_.clear();
    end_ = TTakeEnd::kNone;
    if (!input || !doc.Record(std::move(input), request)) {
        ReopenMonitor();
        return false;
    }
    active_ = true;
    ticks_ = 0;
    form_.Commands().SetRecording(true);
    form_.Meter().ResetMeter();
    panel_->setStyleSheet(QString());
    // The take's panel in the place of the document's: the whole bar for a dropout's words.
    for (int i = 0; i < 4; ++i) form_.Panel(i)->hide();
    panel_->show();
    ShowStatus();
    ShowTakeInView();
    timer_.start(kPollMs);
    return true;
}

void TRecorder::Stop() {
    if (active_) form_.Document().StopRecording();
}

bool TRecorder::Paused() const {
    return active_ && form_.Document().TakeStatus().paused;
}

void TRecorder::TogglePause() {
    if (!active_ || !form_.Document().Recording()) return;
    form_.Document().PauseRecording(!Paused());
    ShowStatus();
}

void TRecorder::SetMonitor(bool on) {
    if (!on) {
        monitor_.reset();
        if (!active_) timer_.stop();
        form_.Meter().ResetMeter();
        return;
    }
    if (active_ || monitor_) return;
    const Twavefile& doc = form_.Document();
    const bool loaded = form_.Loaded();
    const uint16_t channels = loaded ? doc.Channels() : uint16_t(Settings.recchannels);
    const uint32_t rate = loaded ? doc.SampleRate() : uint32_t(Settings.recrate);
    monitor_ =
        std::make_unique<TInputMonitor>(ChosenDevice(), std::clamp<uint16_t>(channels, 1, 2), rate);
    timer_.start(kPollMs);
}

void TRecorder::ReopenMonitor() {
    QAction* monitor = form_.Commands().MonitorAction;
    if (!monitor->isChecked()) return;
    try {
        SetMonitor(true);
    } catch (const std::exception&) {
        // The device is gone: the toggle says so rather than a second message.
        monitor->setChecked(false);
    }
}

void TRecorder::ShowLevels(const int16_t* peaks, uint16_t channels) {
    std::vector<int16_t> levels(std::max<uint16_t>(channels, 1));
    for (size_t c = 0; c < levels.size(); ++c) levels[c] = MeterLevel(peaks[c]);
    form_.Meter().SetLevels(levels);
}

void TRecorder::Poll() {
    Twavefile& doc = form_.Document();
    if (monitor_) {
        const auto peaks = monitor_->TakePeaks();
        ShowLevels(peaks.data(), monitor_->Channels());
    }
    if (!active_) {
        if (!monitor_) timer_.stop();
        return;
    }
    // False once the take's frames are in; its job goes on until OnReady.
    if (!doc.PollRecord()) return;
    const TTakeStatus& s = doc.TakeStatus();
    ShowLevels(s.peak.data(), s.channels);
    if (++ticks_ % kRedrawTicks == 0) ShowTakeInView();
    ShowStatus();
}

void TRecorder::ShowTakeInView() {
    const Twavefile& doc = form_.Document();
    const TTakeStatus& s = doc.TakeStatus();
    source_ = {};
    source_.ready = true;
    source_.channels = s.channels;
    source_.rate = s.sampleRate;
    source_.frames = s.frames;
    source_.peaks = &doc.TakePeakTable();
    source_.markers = &marks_;
    form_.View().ShowTake(&source_);
}

void TRecorder::Dropout(int64_t takeFrame) {
    marks_.push_back(TMarker{takeFrame, takeFrame, MsgText("dropoutmarker")});
    const TTakeStatus& s = form_.Document().TakeStatus();
    const uint32_t rate = std::max<uint32_t>(s.sampleRate, 1);
    lastDropout_ = MsgText("recdropouts")
                       .arg(std::max<int64_t>(s.dropouts, int64_t(marks_.size())))
                       .arg(ClockText(double(takeFrame) / rate));
    // Seen at once: in the panel, in warning colours, and over the take.
    panel_->setStyleSheet(QStringLiteral("QLabel { color: white; background: #b3261e; }"));
    ShowStatus();
    ShowTakeInView();
}

QString TRecorder::ClockText(double seconds) {
    const int64_t s = std::isfinite(seconds) && seconds > 0 ? int64_t(seconds) : 0;
    return QStringLiteral("%1:%2:%3")
        .arg(s / 3600)
        .arg(s / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(s % 60, 2, 10, QLatin1Char('0'));
}

int16_t TRecorder::MeterLevel(int32_t peak) {
    // The player's readout: -90 dB and below at 1, full scale at 128, 127 steps in between.
    const int32_t a = std::min(std::abs(peak), 32768);
    if (a == 0) return 1;
    const double db = 20.0 * std::log10(a / 32768.0);
    return int16_t(std::clamp(std::trunc(db * 127.0 / 90.0 + 128.0), 1.0, 128.0));
}

QString TRecorder::StatusText(const TTakeStatus& s) {
    const double seconds = s.sampleRate > 0 ? double(s.frames) / s.sampleRate : 0;
    QString text = (s.paused ? MsgText("recpaused") : MsgText("rectake")).arg(ClockText(seconds));
    if (s.diskSecondsLeft >= 0)
        text += kSeparator + MsgText("recleft").arg(ClockText(s.diskSecondsLeft));
    text += kSeparator + MsgText("recclips").arg(s.clips);
    return text;
}

void TRecorder::ShowStatus() {
    QString text = StatusText(form_.Document().TakeStatus());
    if (!lastDropout_.isEmpty()) text += kSeparator + lastDropout_;
    panel_->setText(text);
}

void TRecorder::RefreshTexts() {
    panel_->setAccessibleName(MsgText("recording"));
    if (active_) ShowStatus();
}

void TRecorder::JobEnded() {
    // The take is the document's one job: any end of a job while it runs is its end (its
    // OnReady may come while the document still winds the job down).
    if (!active_) return;
    active_ = false;
    timer_.stop();
    panel_->hide();
    for (int i = 0; i < 4; ++i) form_.Panel(i)->show();
    form_.View().ShowTake(nullptr);
    form_.Meter().ResetMeter();
    const TTakeStatus& s = form_.Document().TakeStatus();
    const bool kept = end_ != TTakeEnd::kCancelled && end_ != TTakeEnd::kFailed;
    if (OnFinished) OnFinished();
    ReopenMonitor();
    if (kept && s.dropouts > 0) {
        const uint32_t rate = std::max<uint32_t>(s.sampleRate, 1);
        const QString text = MsgText("recdropoutsend")
                                 .arg(s.dropouts)
                                 .arg(DurationText(double(s.lostFrames) / rate))
                                 .arg(MsgText("dropoutmarker"));
        // Not inside the document's event: the box waits for the user.
        QTimer::singleShot(0, &form_, [this, text] { form_.Dialogs().Message(text); });
    }
}
