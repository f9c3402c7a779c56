// Recording from the window's keys: R, Shift+R, Space, P and Esc on the real main window
// (offscreen), the take heard from a scripted input that hands the ring a known signal at once.
// The document must hold exactly that signal in the place the window's state gave it.
#include <gtest/gtest.h>

#include <QAction>
#include <QFile>
#include <QLabel>
#include <QStatusBar>
#include <QTest>
#include <QToolButton>
#include <random>

#include "capturering.h"
#include "recorder.h"
#include "settings.h"
#include "shell_fixture.h"
#include "shelltexts.h"
#include "testutil.h"
#include "timetext.h"
#include "vumeter.h"
#include "waveview.h"
#include "wavfile.h"

namespace {

// Hands the whole signal to the ring when the take starts, then nothing until stopped: the take
// is the signal, as long as the ring holds it (the rest is a dropout).
class TScriptedInput : public TTakeInput {
public:
    TScriptedInput(uint16_t channels, uint32_t rate, std::vector<int16_t> signal,
                   int64_t ringFrames)
        : channels_(channels),
          rate_(rate),
          signal_(std::move(signal)),
          ring_(channels, ringFrames) {}
    uint16_t Channels() const override { return channels_; }
    uint32_t SampleRate() const override { return rate_; }
    TCaptureRing& Ring() override { return ring_; }
    void Start() override { ring_.Push(signal_.data(), int64_t(signal_.size() / channels_)); }
    void Pause(bool) override {}
    void Stop() override {
        if (!closed_) ring_.Close();
        closed_ = true;
    }

private:
    uint16_t channels_;
    uint32_t rate_;
    std::vector<int16_t> signal_;
    TCaptureRing ring_;
    bool closed_ = false;
};

std::vector<int16_t> Noise(size_t samples, uint32_t seed) {
    std::mt19937 random(seed);
    std::vector<int16_t> v(samples);
    for (int16_t& s : v) s = int16_t(random());
    return v;
}

std::vector<int16_t> Cat(std::initializer_list<std::vector<int16_t>> parts) {
    std::vector<int16_t> out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

std::vector<int16_t> Slice(const std::vector<int16_t>& v, int64_t from, int64_t to, int n) {
    return {v.begin() + from * n, v.begin() + to * n};
}

class RecordWindow : public ::testing::Test, public TShellFixture {
protected:
    void TearDown() override { Settings = TSettings{}; }
    void Activate() {
        QApplication::setActiveWindow(form.get());
        form->View().setFocus();
    }
    // Every take of this window hears `signal` through a ring of `ringFrames`.
    void Hear(const std::vector<int16_t>& signal, int64_t ringFrames = 1 << 18) {
        form->Recorder().MakeInput = [=, this](uint16_t channels, uint32_t rate) {
            asked = {channels, rate};
            return std::make_unique<TScriptedInput>(channels, rate, signal, ringFrames);
        };
    }
    // Runs the event loop until the take has taken in `frames` (or `frames` of its range).
    void TakeReaches(int64_t frames) {
        QElapsedTimer t;
        t.start();
        while (form->Document().TakeStatus().frames < frames && form->Document().Recording() &&
               t.elapsed() < 20000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        }
    }
    std::vector<int16_t> Samples() {
        TLargeFile* s = form->Document().Store();
        std::vector<int16_t> out(size_t(s->SampleCount()));
        s->ReadSamples(out.data(), 0, int64_t(out.size()) - 1);
        return out;
    }
    QToolButton* RecordButton() {
        for (QToolButton* b : form->findChildren<QToolButton*>())
            if (b->defaultAction() == Cmd().RecordAction) return b;
        ADD_FAILURE() << "no Record button";
        return new QToolButton(form.get());
    }
    std::pair<uint16_t, uint32_t> asked;
};

}  // namespace

// Where a take goes and how it ends, one row each: R with no document makes a new sound at the
// settings' format; R inserts at the cursor and Space ends it; R over a selection stops by
// itself at the selection's length; Shift+R appends; Esc leaves the document as it was; P
// pauses and resumes the same take; R again ends the take rather than starting a second. A kept
// take is one undo step that gives the sound back.
TEST_F(RecordWindow, EachWayOfRecordingPutsTheSignalInItsPlace) {
    enum TEnd { kSpace, kByItself, kEscape, kRecordAgain };
    struct TCase {
        const char* name;
        bool document;
        int64_t cursor, selStart, selStop;  // a selection when selStop > selStart
        bool shift;
        bool pause;
        TEnd end;
    };
    constexpr int64_t kBefore = 20000, kTake = 12345;
    const TCase cases[] = {
        {"new sound", false, 0, 0, 0, false, false, kSpace},
        {"at the cursor", true, 7001, 0, 0, false, false, kSpace},
        {"over the selection", true, 0, 3000, 9000, false, false, kByItself},
        {"at the end", true, 500, 0, 0, true, false, kSpace},
        {"cancelled", true, 7001, 0, 0, false, false, kEscape},
        {"paused and resumed", true, 100, 0, 0, false, true, kSpace},
        {"new sound ended by R", false, 0, 0, 0, false, false, kRecordAgain},
        {"at the cursor ended by R", true, 7001, 0, 0, false, false, kRecordAgain},
    };
    for (const TCase& k : cases) {
        SCOPED_TRACE(k.name);
        Make({});
        Settings.recrate = 48000;
        Settings.recchannels = 1;
        const int n = k.document ? 2 : 1;
        const std::vector<int16_t> signal = Noise(size_t(kTake) * n, 11);
        std::vector<int16_t> before;
        if (k.document) {
            Open(WriteStereo("before.wav", kBefore));
            before = Samples();
            if (k.selStop > k.selStart) {
                form->View().SetSelection(k.selStart, k.selStop, true);
            } else {
                form->View().SetCursor(k.cursor);
            }
        }
        Hear(signal);
        Activate();
        QTest::keyClick(form.get(), Qt::Key_R, k.shift ? Qt::ShiftModifier : Qt::NoModifier);
        ASSERT_TRUE(form->Recorder().Active());
        EXPECT_EQ(asked, (std::pair<uint16_t, uint32_t>(uint16_t(n), k.document ? 8000u : 48000u)));
        // While it runs: the take in the view, its panel, Stop and Pause, Record pressed in
        // the menu and on the tool bar, no edits.
        EXPECT_TRUE(form->View().ShowingTake());
        EXPECT_TRUE(form->Recorder().Panel()->isVisible());
        EXPECT_TRUE(Cmd().StopAction->isEnabled());
        EXPECT_FALSE(Cmd().PlayAction->isEnabled());
        EXPECT_TRUE(Cmd().RecordAction->isEnabled());
        EXPECT_TRUE(Cmd().RecordAction->isChecked());
        EXPECT_TRUE(RecordButton()->isChecked());
        EXPECT_FALSE(Cmd().AppendRecordAction->isEnabled());
        // The Cursor box in its one format, also when no sound was there before.
        EXPECT_EQ(form->timedisplay()->text(), mstotime(form->View().cursorMs));
        EXPECT_FALSE(Cmd().AmplifyIAction->isEnabled());
        const int64_t range = k.selStop - k.selStart;
        TakeReaches(k.end == kByItself ? range : kTake);
        if (k.pause) {
            QTest::keyClick(form.get(), Qt::Key_P);
            EXPECT_TRUE(form->Recorder().Paused());
            EXPECT_TRUE(form->Recorder().Panel()->text().startsWith(MsgText("recpaused").arg("")));
            QTest::keyClick(form.get(), Qt::Key_P);
            EXPECT_FALSE(form->Recorder().Paused());
        }
        if (k.end == kSpace) QTest::keyClick(&form->View(), Qt::Key_Space);
        if (k.end == kEscape) QTest::keyClick(form.get(), Qt::Key_Escape);
        if (k.end == kRecordAgain) QTest::keyClick(form.get(), Qt::Key_R);
        Wait();
        ASSERT_FALSE(form->Recorder().Active());
        EXPECT_FALSE(form->View().ShowingTake());
        EXPECT_FALSE(form->Recorder().Panel()->isVisible());
        EXPECT_TRUE(Cmd().RecordAction->isEnabled());
        EXPECT_FALSE(Cmd().RecordAction->isChecked());
        EXPECT_FALSE(RecordButton()->isChecked());
        EXPECT_TRUE(dialogs.questions.isEmpty()) << dialogs.questions.join('\n').toStdString();
        EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join('\n').toStdString();
        if (k.end == kEscape) {
            EXPECT_EQ(form->Recorder().LastEnd(), TTakeEnd::kCancelled);
            EXPECT_TRUE(Samples() == before);
            EXPECT_FALSE(form->Document().CanUndo());
            continue;
        }
        std::vector<int16_t> want;
        if (!k.document) want = signal;
        if (k.document && k.selStop > k.selStart)
            want = Cat({Slice(before, 0, k.selStart, n), Slice(signal, 0, range, n),
                        Slice(before, k.selStop, kBefore, n)});
        else if (k.document && k.shift)
            want = Cat({before, signal});
        else if (k.document)
            want =
                Cat({Slice(before, 0, k.cursor, n), signal, Slice(before, k.cursor, kBefore, n)});
        ASSERT_EQ(form->Document().Frames(), int64_t(want.size()) / n);
        EXPECT_TRUE(Samples() == want);
        // The view is the document's again, with the cursor and selection it had.
        if (k.document && k.selStop > k.selStart) {
            EXPECT_TRUE(form->View().HasSelection());
            EXPECT_EQ(form->View().OrderedSelection(), std::make_pair(k.selStart, k.selStop));
            EXPECT_TRUE(Cmd().CutAction->isEnabled());
        } else if (k.document) {
            EXPECT_EQ(form->View().CursorFrame(), k.cursor);
            EXPECT_FALSE(Cmd().CutAction->isEnabled());
        }
        EXPECT_TRUE(form->windowTitle().startsWith('*')) << form->windowTitle().toStdString();
        if (!k.document) {
            EXPECT_EQ(form->Document().SampleRate(), 48000u);
            EXPECT_EQ(form->windowTitle(), "*" + MsgText("untitled") + " - Orvane");
            continue;
        }
        // One step: one Undo gives the sound back.
        Cmd().UndoAction->trigger();
        Wait();
        EXPECT_TRUE(Samples() == before);
        EXPECT_FALSE(form->Document().CanUndo());
    }
}

// A ring too small for what the input hands it at once: the dropout shows in the panel and over
// the take while it runs, becomes a "Dropout" marker at its frame of the document, its count is
// told at the end, and the take goes on with silence where the input was lost.
TEST_F(RecordWindow, ADropoutIsShownAtOnceMarkedAndToldAtTheEnd) {
    constexpr int64_t kRing = 4096, kSignal = 10000, kAt = 3000;
    Open(WriteStereo("before.wav", 20000));
    const std::vector<int16_t> before = Samples();
    const std::vector<int16_t> signal = Noise(size_t(kSignal) * 2, 5);
    Hear(signal, kRing);
    form->View().SetCursor(kAt);
    Activate();
    QTest::keyClick(form.get(), Qt::Key_R);
    ASSERT_TRUE(form->Recorder().Active());
    QElapsedTimer t;
    t.start();
    while (form->Recorder().DropoutMarks().empty() && t.elapsed() < 20000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    ASSERT_EQ(form->Recorder().DropoutMarks().size(), 1u);
    EXPECT_EQ(form->Recorder().DropoutMarks()[0].start, kRing);
    EXPECT_TRUE(
        form->Recorder().Panel()->text().contains(MsgText("recdropouts").arg(1).arg("0:00:00")))
        << form->Recorder().Panel()->text().toStdString();
    // The words of a dropout fit the window's status bar as it is.
    EXPECT_LE(form->Recorder().Panel()->sizeHint().width(), form->statusBar()->width());
    QTest::keyClick(&form->View(), Qt::Key_Space);
    Wait();
    QCoreApplication::processEvents();
    const std::vector<int16_t> lost(size_t(kSignal - kRing) * 2, 0);
    const std::vector<int16_t> want = Cat(
        {Slice(before, 0, kAt, 2), Slice(signal, 0, kRing, 2), lost, Slice(before, kAt, 20000, 2)});
    ASSERT_EQ(form->Document().Frames(), int64_t(want.size() / 2));
    EXPECT_TRUE(Samples() == want);
    const TMarkerList& marks = form->Document().Markers();
    ASSERT_EQ(marks.size(), 1u);
    EXPECT_EQ(marks[0].start, kAt + kRing);
    EXPECT_EQ(marks[0].name, MsgText("dropoutmarker"));
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_TRUE(dialogs.messages[0].startsWith(MsgText("recdropoutsend").arg(1).section('.', 0, 0)))
        << dialogs.messages[0].toStdString();
}

// The record panel's words: the take's length and the disk time left as clock times, the
// clipped samples; the meter's scale as the player's readout.
TEST(RecordTexts, PanelClockAndMeterScale) {
    TTakeStatus s;
    s.sampleRate = 44100;
    s.frames = 44100 * 75 + 100;
    s.diskSecondsLeft = 4 * 3600 + 12 * 60 + 0.9;
    s.clips = 3;
    EXPECT_EQ(TRecorder::StatusText(s), MsgText("rectake").arg("0:01:15") + "  \u00b7  " +
                                            MsgText("recleft").arg("4:12:00") + "  \u00b7  " +
                                            MsgText("recclips").arg(3));
    s.diskSecondsLeft = -1;  // not known yet: not shown
    s.paused = true;
    EXPECT_FALSE(TRecorder::StatusText(s).contains(MsgText("recleft").arg("")));
    EXPECT_TRUE(TRecorder::StatusText(s).startsWith(MsgText("recpaused").arg("0:01:15")));
    const std::pair<int32_t, int16_t> levels[] = {{0, 1},        {1, 1},       {32767, 127},
                                                  {-32768, 128}, {16384, 119}, {328, 71}};
    for (const auto& [peak, level] : levels) EXPECT_EQ(TRecorder::MeterLevel(peak), level) << peak;
}

// Monitor Input shows the input in the meter before a take (SDL's disk driver hears a loud
// file); a take closes the monitor for its own input and the monitor comes back after it.
TEST_F(RecordWindow, TheMonitorShowsTheInputAndGivesWayToATake) {
    const std::vector<int16_t> loud(8000 * 2 * 20, 30000);
    QFile raw(dir.path("loud.raw"));
    ASSERT_TRUE(raw.open(QIODevice::WriteOnly));
    raw.write(reinterpret_cast<const char*>(loud.data()), qint64(loud.size() * 2));
    raw.close();
    TEnv driver("SDL_AUDIODRIVER", "disk"),
        input("SDL_DISKAUDIOFILEIN", raw.fileName().toStdString()),
        output("SDL_DISKAUDIOFILE", "/dev/null");
    Open(WriteStereo("before.wav", 20000));
    Cmd().MonitorAction->trigger();
    ASSERT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join('\n').toStdString();
    ASSERT_TRUE(form->Recorder().Monitoring());
    QElapsedTimer t;
    t.start();
    while (form->Meter().Bar(0) == 0 && t.elapsed() < 20000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_GT(form->Meter().Bar(0), 0);
    Hear(Noise(1000 * 2, 3));
    Activate();
    QTest::keyClick(form.get(), Qt::Key_R);
    ASSERT_TRUE(form->Recorder().Active());
    EXPECT_FALSE(form->Recorder().Monitoring());
    TakeReaches(1000);
    QTest::keyClick(&form->View(), Qt::Key_Space);
    Wait();
    EXPECT_EQ(form->Document().Frames(), 21000);
    EXPECT_TRUE(form->Recorder().Monitoring());
    Cmd().MonitorAction->trigger();
    EXPECT_FALSE(form->Recorder().Monitoring());
}

// After an edit that failed half way the earlier work is one Undo away: R asks about it as a
// close does, and Cancel keeps it instead of a new sound taking its place.
TEST_F(RecordWindow, AfterAFailedEditRecordAsksBeforeANewSound) {
    Open(WriteStereo("a.wav", 8000));
    Cmd().InvertAction->trigger();
    Wait();
    const QString saved = Settings.tempfolder;
    Settings.tempfolder = dir.path("vanished/");
    Cmd().InvertAction->trigger();
    Wait();
    Settings.tempfolder = saved;
    ASSERT_FALSE(form->Document().Ready());
    ASSERT_TRUE(form->Document().CanUndo());
    Hear(Noise(2000, 1));
    dialogs.questions.clear();
    dialogs.answers = {QMessageBox::Cancel};
    Activate();
    QTest::keyClick(form.get(), Qt::Key_R);
    EXPECT_EQ(dialogs.questions, QStringList{MsgText("lastfailed")});
    EXPECT_FALSE(form->Recorder().Active());
    EXPECT_TRUE(form->Document().CanUndo());
}
