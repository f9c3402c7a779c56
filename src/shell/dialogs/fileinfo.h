#pragma once
// Tfileinfo: the modeless File Properties dialog. Shows the loaded document's source format,
// duration, data size, channels, sample rate and length, filled afresh each time it is shown,
// the loudness figures once Measure has measured the current version, the disk the undo
// history takes beside the free space left in the temporary folder, and the tags with the front
// cover, which can be edited: OK hands them to the document, Cancel forgets the edits.
//
// Created once at start with the main window as parent; the document is set once and must
// outlive the dialog. User-interface thread only.

#include <QDialog>
#include <QString>
#include <cstdint>

#include "tags.h"
#include <memory>

class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;
class QTimer;
class TLanguageController;
class Twavefile;

// The six field texts. An empty format means the format code is unknown: the field keeps
// whatever it showed before.
struct TFileInfoTexts {
    QString format, duration, dataSize, channels, sampleRate, samples;
};

TFileInfoTexts FileInfoTexts(int32_t sourceFormat, double durationSeconds, uint64_t dataBytes,
                             uint16_t channels, uint32_t sampleRate, int64_t frames);

// Disk sizes count in these bytes when shown as "MB" (the history cap of the settings too).
constexpr int64_t kHistoryLimitUnit = 1024 * 1024;

// A disk size: "12.5 MB" under 1024 MB, "3.2 GB" from there, one decimal; "?" when unknown
// (negative).
QString DiskSizeText(int64_t bytes);

// What the picture box says under a cover: "500 x 400 px, 34.2 KB" (width and height of the
// decoded image), or "?" as the size when the bytes are no image we can decode.
QString PictureSizeText(const QByteArray& picture);

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
    // The tags as the table and the picture box hold them now, edits included.
    TTags EditedTags() const;
    // Replaces the shown cover with the picture in `path`; false (nothing changed) when it is no
    // image we can decode.
    bool LoadPicture(const QString& path);
    // OK: hands the edited tags to the document and hides; stays open when the document refuses
    // them (a job started meanwhile).
    void Accept();

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
    QTableWidget* tagtable;  // one row a key of TTags::Keys(): its name, its value
    QLabel* picturebox;      // the cover, scaled
    QLabel* picturesize;
    QPushButton* picturebutton;        // replace the cover from a file
    QPushButton* removepicturebutton;
    QPushButton* okbutton;
    QPushButton* closebutton;  // Cancel: hides and forgets the tag edits

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    // Within the screen's available area, as high as the boxes want where the screen allows.
    void FitToScreen();
    QWidget* body_ = nullptr;  // the boxes, in a scroll area
    QHBoxLayout* buttons_ = nullptr;
    Twavefile* document_ = nullptr;
    QTimer* measureWait_ = nullptr;
    // While shown, the history and free-space fields follow edits, undos and other programs.
    QTimer* historyWatch_ = nullptr;
    QTimer* busyWatch_ = nullptr;  // the tags can be edited only while no job runs
    void FillHistory();
    void FillTags();
    void ShowPicture();
    void FollowBusy();
    void NameTagRows();
    QByteArray picture_;
    QString pictureMime_;
    std::unique_ptr<TLanguageController> translator_;
};
