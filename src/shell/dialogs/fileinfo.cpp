#include "fileinfo.h"

#include <QFile>
#include <QFileDialog>
#include "durationtext.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QImage>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QMimeDatabase>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QStyle>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "languagecontroller.h"
#include "settings.h"
#include "messages.h"
#include "wavfile.h"

namespace {
constexpr int kHistoryWatchMs = 1000;
// Often enough that the table locks as soon as a job starts, cheap enough to poll.
constexpr int kBusyWatchMs = 100;
constexpr int kPictureSide = 128;  // the cover's box, in device-independent pixels

// The catalogue key of a tag key's name: "tagtitle" for "title".
QString MsgText(const char* key) {
    return QString::fromStdString(Msg(key));
}

QString TagName(const QString& key) {
    return MsgText(QByteArray("tag" + key.toLatin1()).constData());
}

// One decimal place, with the decimal sign of the window's language and no grouping.
QString Decimal(double v) {
    QLocale locale;
    locale.setNumberOptions(locale.numberOptions() | QLocale::OmitGroupSeparator);
    return locale.toString(v, 'f', 1);
}

// Bytes that really are an image (what the loader will keep), decoded once.
QImage DecodePicture(const QByteArray& bytes) {
    return bytes.isEmpty() ? QImage() : QImage::fromData(bytes);
}
}  // namespace

QString PictureSizeText(const QByteArray& picture) {
    const QImage image = DecodePicture(picture);
    const QString size = Decimal(double(picture.size()) / 1024.0);
    const QString kilobytes = MsgText("unitkb").arg(size);
    if (image.isNull()) return QStringLiteral("?, ") + kilobytes;
    return QStringLiteral("%1 x %2 px, %3").arg(image.width()).arg(image.height()).arg(kilobytes);
}

QString DiskSizeText(int64_t bytes) {
    if (bytes < 0) return QStringLiteral("?");
    constexpr int64_t kGigabyte = 1024 * kHistoryLimitUnit;
    if (bytes >= kGigabyte) {
        return MsgText("unitgb").arg(Decimal(double(bytes) / kGigabyte));
    }
    return MsgText("unitmb").arg(Decimal(double(bytes) / kHistoryLimitUnit));
}

TFileInfoTexts FileInfoTexts(int32_t sourceFormat, double durationSeconds, uint64_t dataBytes,
                             uint16_t channels, uint32_t sampleRate, int64_t frames) {
    TFileInfoTexts texts;
    switch (sourceFormat) {
        case sfWav:
            texts.format = QStringLiteral("PCM");
            break;
        case sfMp3:
            texts.format = QStringLiteral("MP3");
            break;
        case sfWma:
            texts.format = QStringLiteral("WMA");
            break;
        default:
            break;
    }
    texts.duration = DurationText(durationSeconds);
    texts.dataSize = MsgText("unitbytes").arg(dataBytes);
    texts.channels = channels == 1   ? MsgText("channelsmono")
                     : channels == 2 ? MsgText("channelsstereo")
                                     : MsgText("channelsmany").arg(channels);
    texts.sampleRate = MsgText("unithz").arg(sampleRate);
    texts.samples = QString::number(frames);
    return texts;
}

Tfileinfo::Tfileinfo(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("fileinfo"));
    setWindowTitle(QStringLiteral("File Properties"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setModal(false);

    auto* group = new QGroupBox(QStringLiteral("  File Info  "), this);
    group->setObjectName(QStringLiteral("GroupBox1"));
    auto* grid = new QGridLayout(group);
    grid->setHorizontalSpacing(8);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
    grid->setColumnMinimumWidth(2, 60);

    // A read-only field with its label, in the box's grid.
    auto boxField = [](QGroupBox* box, QGridLayout* boxGrid, const char* name,
                       const char* labelName, const char* caption, int row, int column) {
        auto* label = new QLabel(QString::fromLatin1(caption), box);
        label->setObjectName(QString::fromLatin1(labelName));
        auto* edit = new QLineEdit(box);
        edit->setObjectName(QString::fromLatin1(name));
        edit->setReadOnly(true);
        label->setBuddy(edit);
        boxGrid->addWidget(label, row, column);
        boxGrid->addWidget(edit, row, column + 1);
        return edit;
    };
    auto field = [&](const char* name, const char* labelName, const char* caption, int row,
                     int column) {
        return boxField(group, grid, name, labelName, caption, row, column);
    };
    Edit2 = field("Edit2", "Label1", "Format: ", 0, 0);
    Edit3 = field("Edit3", "Label2", "Duration:", 1, 0);
    Edit4 = field("Edit4", "Label3", "Data Size:", 2, 0);
    Edit5 = field("Edit5", "Label4", "Channels:", 0, 2);
    Edit6 = field("Edit6", "Label5", "Samplerate:", 1, 2);
    Edit7 = field("Edit7", "Label6", "Samples:", 2, 2);

    auto* tagsBox = new QGroupBox(QStringLiteral("  Tags  "), this);
    tagsBox->setObjectName(QStringLiteral("GroupBox4"));
    auto* tagsRow = new QHBoxLayout(tagsBox);
    tagtable = new QTableWidget(int(TTags::Keys().size()), 2, tagsBox);
    tagtable->setObjectName(QStringLiteral("tagtable"));
    tagtable->horizontalHeader()->hide();
    tagtable->verticalHeader()->hide();
    tagtable->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    tagtable->horizontalHeader()->setStretchLastSection(true);
    tagtable->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    tagtable->setSelectionMode(QAbstractItemView::SingleSelection);
    tagtable->setEditTriggers(QAbstractItemView::AllEditTriggers);
    for (int row = 0; row < tagtable->rowCount(); ++row) {
        auto* name = new QTableWidgetItem;
        name->setFlags(Qt::ItemIsEnabled);  // the names are labels, not values
        tagtable->setItem(row, 0, name);
        tagtable->setItem(row, 1, new QTableWidgetItem);
    }
    NameTagRows();
    tagsRow->addWidget(tagtable, 1);
    auto* pictureColumn = new QVBoxLayout;
    picturebox = new QLabel(tagsBox);
    picturebox->setObjectName(QStringLiteral("picturebox"));
    picturebox->setFixedSize(kPictureSide, kPictureSide);
    picturebox->setAlignment(Qt::AlignCenter);
    picturebox->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    picturesize = new QLabel(tagsBox);
    picturesize->setObjectName(QStringLiteral("picturesize"));
    picturesize->setAlignment(Qt::AlignCenter);
    picturebutton = new QPushButton(QStringLiteral("&Picture..."), tagsBox);
    picturebutton->setObjectName(QStringLiteral("picturebutton"));
    removepicturebutton = new QPushButton(QStringLiteral("&Remove Picture"), tagsBox);
    removepicturebutton->setObjectName(QStringLiteral("removepicturebutton"));
    pictureColumn->addWidget(picturebox, 0, Qt::AlignHCenter);
    pictureColumn->addWidget(picturesize);
    pictureColumn->addWidget(picturebutton);
    pictureColumn->addWidget(removepicturebutton);
    pictureColumn->addStretch(1);
    tagsRow->addLayout(pictureColumn);
    connect(picturebutton, &QPushButton::clicked, this, [this] {
        const QString path = QFileDialog::getOpenFileName(
            this, QString(), QString(), QStringLiteral("*.jpg *.jpeg *.png *.gif *.bmp;;*"));
        if (!path.isEmpty() && !LoadPicture(path)) {
            QMessageBox box(QMessageBox::Warning, windowTitle(),
                            MsgText("tagpicturebad").arg(path), QMessageBox::Ok, this);
            box.setTextFormat(Qt::PlainText);
            box.exec();
        }
    });
    connect(removepicturebutton, &QPushButton::clicked, this, [this] {
        picture_.clear();
        pictureMime_.clear();
        ShowPicture();
    });

    auto* loudness = new QGroupBox(QStringLiteral("  Loudness  "), this);
    loudness->setObjectName(QStringLiteral("GroupBox2"));
    auto* loudGrid = new QGridLayout(loudness);
    loudGrid->setHorizontalSpacing(8);
    loudGrid->setColumnStretch(1, 1);
    auto loudField = [&](const char* name, const char* labelName, const char* caption, int row) {
        return boxField(loudness, loudGrid, name, labelName, caption, row, 0);
    };
    Edit8 = loudField("Edit8", "Label7", "Integrated loudness:", 0);
    Edit9 = loudField("Edit9", "Label8", "Loudness range:", 1);
    Edit10 = loudField("Edit10", "Label9", "True peak:", 2);
    measurebutton = new QPushButton(QStringLiteral("&Measure"), loudness);
    measurebutton->setObjectName(QStringLiteral("measurebutton"));
    loudGrid->addWidget(measurebutton, 0, 2);
    connect(measurebutton, &QPushButton::clicked, this, [this] { Measure(); });
    historyWatch_ = new QTimer(this);
    historyWatch_->setInterval(kHistoryWatchMs);
    connect(historyWatch_, &QTimer::timeout, this, [this] { FillHistory(); });
    measureWait_ = new QTimer(this);
    measureWait_->setInterval(50);
    connect(measureWait_, &QTimer::timeout, this, [this] {
        if (document_ && document_->Busy()) return;
        measureWait_->stop();
        FillFields();
    });

    auto* history = new QGroupBox(QStringLiteral("  Undo History  "), this);
    history->setObjectName(QStringLiteral("GroupBox3"));
    auto* historyGrid = new QGridLayout(history);
    historyGrid->setHorizontalSpacing(8);
    historyGrid->setColumnStretch(1, 1);
    historyGrid->setColumnStretch(3, 1);
    historyGrid->setColumnMinimumWidth(2, 60);
    Edit11 = boxField(history, historyGrid, "Edit11", "Label10", "On disk:", 0, 0);
    Edit12 = boxField(history, historyGrid, "Edit12", "Label11", "Free for temporary files:", 0, 2);

    busyWatch_ = new QTimer(this);
    busyWatch_->setInterval(kBusyWatchMs);
    connect(busyWatch_, &QTimer::timeout, this, [this] { FollowBusy(); });

    okbutton = new QPushButton(QStringLiteral("OK"), this);
    okbutton->setObjectName(QStringLiteral("okbutton"));
    okbutton->setDefault(true);
    connect(okbutton, &QPushButton::clicked, this, [this] { Accept(); });
    closebutton = new QPushButton(QStringLiteral("Cancel"), this);
    closebutton->setObjectName(QStringLiteral("cancelbutton"));
    connect(closebutton, &QPushButton::clicked, this, &QDialog::hide);

    buttons_ = new QHBoxLayout;
    buttons_->addStretch(1);
    buttons_->addWidget(okbutton);
    buttons_->addWidget(closebutton);
    // The boxes scroll on a screen too low for them (a large scale); the buttons stay in reach.
    body_ = new QWidget(this);
    body_->setObjectName(QStringLiteral("fileinfobody"));
    auto* bodyLayout = new QVBoxLayout(body_);
    bodyLayout->setContentsMargins(0, 0, 0, 0);
    bodyLayout->addWidget(group);
    bodyLayout->addWidget(tagsBox, 1);
    bodyLayout->addWidget(loudness);
    bodyLayout->addWidget(history);
    auto* scroll = new QScrollArea(this);
    scroll->setObjectName(QStringLiteral("fileinfoscroll"));
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setWidget(body_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(scroll, 1);
    layout->addLayout(buttons_);
    // Room for the eight tag rows without scrolling, and no more: the dialog fits a 768-high
    // screen.
    resize(540, 580);

    // Identifiers of the dialog's texts in language files: fixed forever, only ever added to.
    translator_ = std::make_unique<TLanguageController>(
        this,
        std::vector<TTranslatable>{{1, "", "windowTitle"},
                                   {2, "GroupBox1", "title"},
                                   {3, "Label1", "text"},
                                   {4, "Label2", "text"},
                                   {5, "Label3", "text"},
                                   {6, "Label4", "text"},
                                   {7, "Label5", "text"},
                                   {8, "Label6", "text"},
                                   // 9: the Close button, which Cancel replaced.
                                   {10, "GroupBox2", "title"},
                                   {11, "Label7", "text"},
                                   {12, "Label8", "text"},
                                   {13, "Label9", "text"},
                                   {14, "measurebutton", "text"},
                                   {15, "GroupBox3", "title"},
                                   {16, "Label10", "text"},
                                   {17, "Label11", "text"},
                                   {18, "GroupBox4", "title"},
                                   {19, "picturebutton", "text"},
                                   {20, "removepicturebutton", "text"},
                                   {21, "okbutton", "text"},
                                   {22, "cancelbutton", "text"}},
        QStringList{"Edit*.text", "picturesize.text", "picturebox.text", "tagtable.items*"});
    // The key names come from the catalogue.
    translator_->SetRetranslateHook([this] { NameTagRows(); });
    translator_->Bind();
}

Tfileinfo::~Tfileinfo() = default;

void Tfileinfo::FillFields() {
    if (!document_) return;
    const TFileInfoTexts texts =
        FileInfoTexts(document_->SourceFormat(), document_->Duration(), document_->DataBytes(),
                      document_->Channels(), document_->SampleRate(), document_->Frames());
    if (!texts.format.isEmpty()) Edit2->setText(texts.format);
    Edit3->setText(texts.duration);
    Edit4->setText(texts.dataSize);
    Edit5->setText(texts.channels);
    Edit6->setText(texts.sampleRate);
    Edit7->setText(texts.samples);
    // The figures belong to the version they were measured on; none until measured.
    const std::optional<TLoudness> l = document_->Loudness();
    // Rounded as everywhere else, written with the language's decimal sign.
    const auto shown = [](double v) {
        const QString text = LoudnessValue(v);
        return std::isfinite(v) ? Decimal(text.toDouble()) : text;
    };
    Edit8->setText(l ? shown(l->integrated) + QStringLiteral(" LUFS") : QString());
    Edit9->setText(l ? shown(l->range) + QStringLiteral(" LU") : QString());
    Edit10->setText(l ? shown(l->truePeak) + QStringLiteral(" dBTP") : QString());
    FillHistory();
    FillTags();
}

void Tfileinfo::NameTagRows() {
    const QStringList& keys = TTags::Keys();
    for (int row = 0; row < keys.size(); ++row) tagtable->item(row, 0)->setText(TagName(keys[row]));
}

void Tfileinfo::FillTags() {
    const TTags& tags = document_->Tags();
    const QStringList& keys = TTags::Keys();
    for (int row = 0; row < keys.size(); ++row)
        tagtable->item(row, 1)->setText(tags.values.value(keys[row]));
    picture_ = tags.picture;
    pictureMime_ = tags.pictureMime;
    ShowPicture();
    FollowBusy();
}

void Tfileinfo::ShowPicture() {
    const QImage image = DecodePicture(picture_);
    if (image.isNull()) {
        picturebox->setPixmap(QPixmap());
        picturebox->setText(picture_.isEmpty() ? MsgText("tagnopicture") : QStringLiteral("?"));
    } else {
        const qreal dpr = devicePixelRatioF();
        QPixmap pixmap = QPixmap::fromImage(image.scaled(
            QSize(kPictureSide - 4, kPictureSide - 4) * dpr, Qt::KeepAspectRatio,
            Qt::SmoothTransformation));
        pixmap.setDevicePixelRatio(dpr);
        picturebox->setPixmap(pixmap);
    }
    picturesize->setText(picture_.isEmpty() ? QString() : PictureSizeText(picture_));
    removepicturebutton->setEnabled(!picture_.isEmpty() && picturebutton->isEnabled());
}

void Tfileinfo::FollowBusy() {
    const bool editable = document_ && document_->Ready() && !document_->Busy();
    tagtable->setEnabled(editable);
    picturebutton->setEnabled(editable);
    removepicturebutton->setEnabled(editable && !picture_.isEmpty());
    okbutton->setEnabled(editable);
}

TTags Tfileinfo::EditedTags() const {
    TTags tags;
    const QStringList& keys = TTags::Keys();
    for (int row = 0; row < keys.size(); ++row) {
        const QString value = tagtable->item(row, 1)->text();
        if (!value.isEmpty()) tags.values.insert(keys[row], value);
    }
    tags.picture = picture_;
    tags.pictureMime = picture_.isEmpty() ? QString() : pictureMime_;
    return tags;
}

bool Tfileinfo::LoadPicture(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return false;
    const QByteArray bytes = file.readAll();
    if (DecodePicture(bytes).isNull()) return false;
    picture_ = bytes;
    pictureMime_ = QMimeDatabase().mimeTypeForData(bytes).name();
    ShowPicture();
    return true;
}

void Tfileinfo::Accept() {
    if (!document_) return;
    // A cell still being edited counts as typed.
    // (moving the current cell away commits its editor).
    tagtable->setCurrentItem(nullptr);
    if (!document_->SetTags(EditedTags())) {
        FollowBusy();
        return;
    }
    hide();
}

void Tfileinfo::FillHistory() {
    if (!document_) return;
    Edit11->setText(DiskSizeText(document_->HistoryBytes()));
    Edit12->setText(DiskSizeText(FreeDiskSpace(TempFolder())));
}

void Tfileinfo::Measure() {
    if (!document_ || !document_->Ready() || document_->Busy()) return;
    document_->MeasureLoudness();
    if (document_->Busy()) measureWait_->start();
}

void Tfileinfo::hideEvent(QHideEvent* event) {
    historyWatch_->stop();
    busyWatch_->stop();
    QDialog::hideEvent(event);
}

void Tfileinfo::showEvent(QShowEvent* event) {
    FitToScreen();
    FillFields();
    historyWatch_->start();
    busyWatch_->start();
    okbutton->setFocus();
    QDialog::showEvent(event);
}

void Tfileinfo::FitToScreen() {
    const QScreen* shown = screen();
    if (!shown) return;
    const QRect area = shown->availableGeometry();
    // The frame the window manager adds (none until the window is first shown).
    const QSize frame = frameGeometry().size() - size();
    const QMargins margins = layout()->contentsMargins();
    const int chrome = margins.top() + margins.bottom() + layout()->spacing() +
                       buttons_->sizeHint().height();
    const QSize body = body_->minimumSizeHint();
    // Every box whole where the screen allows, as the dialog was before it could scroll.
    const int wanted = std::max(height(), body.height() + chrome);
    const int h = std::min(wanted, area.height() - frame.height());
    const int bar = h < wanted ? style()->pixelMetric(QStyle::PM_ScrollBarExtent) : 0;
    const int w = std::min(std::max(width(), body.width() + margins.left() + margins.right() + bar),
                           area.width() - frame.width());
    if (w != width() || h != height()) resize(w, h);
    QRect placed = frameGeometry();
    placed.moveLeft(std::clamp(placed.left(), area.left(), area.right() - placed.width() + 1));
    placed.moveTop(std::clamp(placed.top(), area.top(), area.bottom() - placed.height() + 1));
    if (placed.topLeft() != frameGeometry().topLeft()) move(placed.topLeft());
}
