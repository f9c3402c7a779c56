#pragma once
// Tmpegsettings: the MP3 settings dialog ("MPEG Layer3 Settings"), a thin view over
// TMp3SettingsModel: encoding mode, bitrate, maximum bitrate, VBR quality, targeted ABR bitrate
// and checksum. Created once at start and shown for every MP3 save, so the choices last for the
// run. Every change goes into the model at once (a cancelled showing keeps what the user set,
// as the controls themselves would). User-interface thread only.

#include <QDialog>
#include <memory>
#include <optional>

#include "mp3format.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class TLanguageController;
class QLabel;
class QPushButton;
class QSlider;
class QStackedWidget;

class Tmpegsettings : public QDialog {
public:
    explicit Tmpegsettings(QWidget* parent = nullptr);
    ~Tmpegsettings() override;
    TLanguageController* Translation() const { return translation_.get(); }

    // Before each showing: the mode's page, and the bitrate lists for the document's rate.
    void FormActivate(uint32_t sampleRate);
    const TMp3SettingsModel& Model() const { return model_; }
    TMp3Choices Choices() const { return model_.Choices(); }

    QComboBox* vbrmode() const { return vbrmode_; }
    QComboBox* bitrate() const { return bitrate_; }
    QComboBox* maxbitrate() const { return maxbitrate_; }
    QComboBox* avgbitrate() const { return avgbitrate_; }
    QSlider* vbrquality() const { return vbrquality_; }
    QCheckBox* crc() const { return crc_; }
    QStackedWidget* Notebook3() const { return notebook_; }
    QLabel* maxbitLabel() const { return maxbitLabel_; }
    QLabel* qualityLabel() const { return qualityLabel_; }
    QPushButton* OkButton() const { return okButton_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    std::unique_ptr<TLanguageController> translation_;
    // Shows the model's state in the controls.
    void Refresh();
    void vbrmodeChange();
    void AlignLabels();

    TMp3SettingsModel model_;
    bool refreshing_ = false;
    QComboBox* vbrmode_;
    QComboBox* bitrate_;
    QComboBox* maxbitrate_;
    QComboBox* avgbitrate_;
    QSlider* vbrquality_;
    QCheckBox* crc_;
    QStackedWidget* notebook_;
    QLabel* maxbitLabel_;
    QLabel* modeLabel_;
    QLabel* bitrateLabel_;
    QLabel* qualityLabel_;
    QLabel* targetLabel_;
    QPushButton* okButton_;
};
