#pragma once
// Tencodesettings: the settings dialog of a FLAC, Ogg Vorbis or Opus save. One page per format:
// the FLAC compression level, the Vorbis quality, the Opus bitrate with a note that Opus is
// always saved at 48 kHz. Created once at start and shown for every such save, so the choices
// last for the run. User-interface thread only.

#include <QDialog>
#include <memory>

#include "ffencode.h"

class QLabel;
class QPushButton;
class QSlider;
class QSpinBox;
class QStackedWidget;
class TLanguageController;

class Tencodesettings : public QDialog {
public:
    explicit Tencodesettings(QWidget* parent = nullptr);
    ~Tencodesettings() override;
    TLanguageController* Translation() const { return translation_.get(); }

    // Before each showing: the format's page.
    void FormActivate(TEncodeFormat format);
    // What the controls hold, for the format last activated.
    TEncodeSettings Settings() const;

    QSlider* flacLevel() const { return flacLevel_; }
    QSlider* vorbisQuality() const { return vorbisQuality_; }
    QSpinBox* opusBitrate() const { return opusBitrate_; }
    QStackedWidget* Pages() const { return pages_; }
    QPushButton* OkButton() const { return okButton_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    std::unique_ptr<TLanguageController> translation_;
    TEncodeFormat format_ = TEncodeFormat::kFlac;
    QStackedWidget* pages_;
    QSlider* flacLevel_;
    QSlider* vorbisQuality_;
    QSpinBox* opusBitrate_;
    QPushButton* okButton_;
};
