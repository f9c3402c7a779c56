#pragma once
// TsettingsForm: the modeless Settings dialog with its five tabs: the interface language, the
// folder for temporary files, the waveform view's three colours, the editing choices (joins,
// snapping, the undo history's cap) and recording (the input device, the rate and channels of
// a take that makes a new sound). Every change takes effect
// the moment it is made, in the settings record and the display colours; both buttons only hide
// the dialog.
//
// Created once at start, hidden; creating it scans the language files and applies the saved
// language (or the desktop's, when none was saved) to the whole program. User-interface thread
// only.

#include <QDialog>
#include <QString>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QSpinBox;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QToolButton;
class TColorBox;
class TLanguageController;
class TLanguageManager;
class TPrompts;
struct TWavePreset;

class TsettingsForm : public QDialog {
public:
    // `manager` null means the process-wide language manager; `prompts` null, message boxes.
    explicit TsettingsForm(QWidget* parent = nullptr, TLanguageManager* manager = nullptr,
                           TPrompts* prompts = nullptr);
    ~TsettingsForm() override;

    // Asks for the temporary folder with `prompt`; an empty result means cancelled. An existing-
    // folder chooser centred on the screen of the dialog's parent unless replaced (tests).
    std::function<QString(QWidget* owner, const QString& prompt)> ChooseFolder;

    // The capture devices, the default first; SDL's unless replaced (tests).
    std::function<std::vector<std::string>()> ListDevices;
    // The device list again: the default entry, the devices, and the chosen one if missing.
    void FillDevices();

    // Called after a colour box or a preset changed the waveform's colours (the window redraws).
    std::function<void()> OnColorsChanged;
    // Sets the three colour boxes, the settings record and the display colours.
    void ApplyPreset(const TWavePreset& preset);

    // The folder button: picks a folder and makes it the temporary folder at once.
    void SpeedButton1Click();

    const TLanguageController& LanguageController() const { return *translator_; }

    QTabWidget* pageControl;
    QComboBox* LangBox;
    QLineEdit* tmpedit;
    QToolButton* SpeedButton1;
    TColorBox* backColor;
    TColorBox* scaleColor;
    TColorBox* waveColor;
    QCheckBox* JoinsBox;  // smooth edit joins
    QSpinBox* JoinLength;
    QCheckBox* SnapBox;   // snap mouse selections to zero crossings
    QSpinBox* HistoryLimit;  // the undo history's cap in MiB, 0 for none
    QCheckBox* WheelZoomBox;  // the plain wheel zooms too, as Ctrl+wheel does
    QComboBox* DeviceBox;     // the capture device; item 0 (no name) the default
    QComboBox* RateBox;
    QComboBox* ChannelsBox;
    QPushButton* DarkPreset;   // the waveform's colours at once
    QPushButton* LightPreset;
    QPushButton* Button1;  // "&Ok"
    QPushButton* Button2;  // "&Cancel"

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    QString RateText(int rate) const;
    void FormCreate();
    void LangBoxChange(int index);
    void copyColorNames();

    TLanguageManager& manager_;
    TPrompts* prompts_;
    std::unique_ptr<TLanguageController> translator_;
};

// The desktop's existing-folder chooser without a new-folder button, centred on the screen that
// shows `owner`; other windows are disabled while it is open. Empty when cancelled.
QString ChooseExistingFolder(QWidget* owner, const QString& prompt);
