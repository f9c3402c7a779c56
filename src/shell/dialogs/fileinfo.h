#pragma once
// Tfileinfo: the modeless File Properties dialog. Shows the loaded document's source format,
// duration, data size, channels, sample rate and length, filled afresh each time it is shown,
// the loudness figures once Measure has measured the current version, and the disk the undo
// history takes beside the free space left in the temporary folder.
//
// Created once at start with the main window as parent; the document is set once and must
// outlive the dialog. User-interface thread only.

#include <QDialog>
#include <QString>
#include <cstdint>
#include <memory>

class QLineEdit;
class QPushButton;
class QTimer;
class TLanguageController;
class Twavefile;

// The six field texts. An empty format means the format code is unknown: the field keeps
// whatever it showed before.
struct TFileInfoTexts {
    QString format, duration, dataSize, channels, sampleRate, samples;
};

TFileInfoTexts FileInfoTexts(int32_t sourceFormat, double durationSeconds, uint32_t dataBytes,
                             uint16_t channels, uint32_t sampleRate, uint32_t frames);

// Disk sizes count in these bytes when shown as "MB" (the history cap of the settings too).
constexpr int64_t kHistoryLimitUnit = 1024 * 1024;

// A disk size: "12.5 MB" under 1024 MB, "3.2 GB" from there, one decimal; "?" when unknown
// (negative).
QString DiskSizeText(int64_t bytes);

class Tfileinfo : public QDialog {
public:
    explicit Tfileinfo(QWidget* parent = nullptr);
    ~Tfileinfo() override;

    void SetDocument(Twavefile* document) { document_ = document; }
    const TLanguageController& LanguageController() const { return *translator_; }

    // Fills the fields from the document (done on every show).
    void FillFields();
    // Measures the document's loudness on its worker; the fields follow when it is done.
    void Measure();

    QLineEdit* Edit2;  // format
    QLineEdit* Edit3;  // duration
    QLineEdit* Edit4;  // data size
    QLineEdit* Edit5;  // channels
    QLineEdit* Edit6;  // sample rate
    QLineEdit* Edit7;  // samples
    QLineEdit* Edit8;  // integrated loudness
    QLineEdit* Edit9;  // loudness range
    QLineEdit* Edit10;  // true peak
    QLineEdit* Edit11;  // disk taken by the undo history
    QLineEdit* Edit12;  // free space of the temporary folder
    QPushButton* measurebutton;
    QPushButton* closebutton;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    Twavefile* document_ = nullptr;
    QTimer* measureWait_ = nullptr;
    // While shown, the history and free-space fields follow edits, undos and other programs.
    QTimer* historyWatch_ = nullptr;
    void FillHistory();
    std::unique_ptr<TLanguageController> translator_;
};
