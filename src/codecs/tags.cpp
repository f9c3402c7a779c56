#include "tags.h"

#include <taglib/attachedpictureframe.h>
#include <taglib/chapterframe.h>
#include <taglib/tableofcontentsframe.h>
#include <taglib/textidentificationframe.h>
#include <taglib/fileref.h>
#include <taglib/flacfile.h>
#include <taglib/flacpicture.h>
#include <taglib/id3v2tag.h>
#include <taglib/infotag.h>
#include <taglib/mpegfile.h>
#include <taglib/opusfile.h>
#include <taglib/tpropertymap.h>
#include <taglib/vorbisfile.h>
#include <taglib/wavfile.h>
#include <taglib/xiphcomment.h>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

#include "apperror.h"
#include "wavmarkers.h"

namespace {

// Our keys beside TagLib's property names, which are the same for every format.
struct TKeyName {
    const char* key;
    const char* property;
};
constexpr TKeyName kKeyNames[] = {
    {"title", "TITLE"}, {"artist", "ARTIST"},
    {"album", "ALBUM"}, {"albumartist", "ALBUMARTIST"},
    {"date", "DATE"},   {"track", "TRACKNUMBER"},
    {"genre", "GENRE"}, {"comment", "COMMENT"},
};

TagLib::String ToTag(const QString& s) {
    return TagLib::String(s.toStdString(), TagLib::String::UTF8);
}
QString FromTag(const TagLib::String& s) {
    return QString::fromStdString(s.to8Bit(true));
}

TagLib::PropertyMap Properties(const TTags& tags) {
    TagLib::PropertyMap map;
    for (const TKeyName& k : kKeyNames) {
        const QString v = tags.values.value(k.key);
        if (!v.isEmpty()) map.insert(k.property, TagLib::StringList(ToTag(v)));
    }
    return map;
}

QByteArray Bytes(const TagLib::ByteVector& v) {
    return QByteArray(v.data(), int(v.size()));
}
TagLib::ByteVector Vector(const QByteArray& b) {
    return TagLib::ByteVector(b.constData(), unsigned(b.size()));
}

// The front cover of an ID3v2 tag, or else its first picture.
void PictureOf(TagLib::ID3v2::Tag* tag, TTags& out) {
    if (!tag) return;
    const TagLib::ID3v2::FrameList& frames = tag->frameListMap()["APIC"];
    const TagLib::ID3v2::AttachedPictureFrame* chosen = nullptr;
    for (auto* f : frames) {
        auto* p = dynamic_cast<const TagLib::ID3v2::AttachedPictureFrame*>(f);
        if (!p) continue;
        if (!chosen || p->type() == TagLib::ID3v2::AttachedPictureFrame::FrontCover) chosen = p;
        if (p->type() == TagLib::ID3v2::AttachedPictureFrame::FrontCover) break;
    }
    if (!chosen) return;
    out.picture = Bytes(chosen->picture());
    out.pictureMime = FromTag(chosen->mimeType());
}

void PictureOf(const TagLib::List<TagLib::FLAC::Picture*>& pictures, TTags& out) {
    const TagLib::FLAC::Picture* chosen = nullptr;
    for (auto* p : pictures) {
        if (!chosen || p->type() == TagLib::FLAC::Picture::FrontCover) chosen = p;
        if (p->type() == TagLib::FLAC::Picture::FrontCover) break;
    }
    if (!chosen) return;
    out.picture = Bytes(chosen->data());
    out.pictureMime = FromTag(chosen->mimeType());
}

void AddPicture(TagLib::ID3v2::Tag& tag, const TTags& tags) {
    if (tags.picture.isEmpty()) return;
    auto* frame = new TagLib::ID3v2::AttachedPictureFrame;
    frame->setType(TagLib::ID3v2::AttachedPictureFrame::FrontCover);
    frame->setMimeType(ToTag(tags.pictureMime));
    frame->setPicture(Vector(tags.picture));
    tag.addFrame(frame);  // the tag owns it
}

// --- markers as chapters ---

int64_t MsOf(int64_t frame, uint32_t rate) {
    return std::llround(double(frame) * 1000.0 / rate);
}
int64_t FrameOfMs(int64_t ms, uint32_t rate) {
    return std::llround(double(ms) * rate / 1000.0);
}

// ID3v2 chapters: a CHAP frame per chapter, each with its TIT2 title, under one top-level,
// ordered CTOC.
void AddChapters(TagLib::ID3v2::Tag& tag, const TTags& tags) {
    if (tags.markers.empty() || tags.markerRate == 0) return;
    const std::vector<TChapter> chapters = ChaptersOf(tags.markers, tags.markerFrames);
    TagLib::ByteVectorList ids;
    for (size_t i = 0; i < chapters.size(); ++i) {
        const TChapter& c = chapters[i];
        const TagLib::ByteVector id(("chp" + std::to_string(i)).c_str());
        ids.append(id);
        auto* title = new TagLib::ID3v2::TextIdentificationFrame("TIT2", TagLib::String::UTF8);
        title->setText(ToTag(c.name));
        TagLib::ID3v2::FrameList embedded;
        embedded.append(title);
        // No byte offsets: players go by the times.
        tag.addFrame(new TagLib::ID3v2::ChapterFrame(
            id, unsigned(MsOf(c.start, tags.markerRate)), unsigned(MsOf(c.end, tags.markerRate)),
            0xFFFFFFFFu, 0xFFFFFFFFu, embedded));
    }
    auto* toc = new TagLib::ID3v2::TableOfContentsFrame("toc", ids);
    toc->setIsTopLevel(true);
    toc->setIsOrdered(true);
    tag.addFrame(toc);
}

TMarkerList Id3Chapters(TagLib::ID3v2::Tag* tag, uint32_t rate, int64_t frames) {
    if (!tag) return {};
    std::vector<TChapter> chapters;
    for (auto* f : tag->frameListMap()["CHAP"]) {
        auto* chap = dynamic_cast<const TagLib::ID3v2::ChapterFrame*>(f);
        if (!chap) continue;
        TChapter c{FrameOfMs(chap->startTime(), rate), FrameOfMs(chap->endTime(), rate), {}};
        const TagLib::ID3v2::FrameList& titles = chap->embeddedFrameListMap()["TIT2"];
        if (!titles.isEmpty()) c.name = FromTag(titles.front()->toString());
        chapters.push_back(c);
    }
    return MarkersOfChapters(std::move(chapters), frames, FrameOfMs(1, rate) + 1);
}

QString ChapterKey(size_t number) {
    return QString("CHAPTER%1").arg(number, 3, 10, QChar('0'));
}

QString ChapterTime(int64_t ms) {
    return QString("%1:%2:%3.%4")
        .arg(ms / 3600000, 2, 10, QChar('0'))
        .arg(ms / 60000 % 60, 2, 10, QChar('0'))
        .arg(ms / 1000 % 60, 2, 10, QChar('0'))
        .arg(ms % 1000, 3, 10, QChar('0'));
}

// "HH:MM:SS.mmm" (fewer or more digits of the fraction taken too); -1 when it is not one.
int64_t ChapterMs(const QString& text) {
    const QStringList hms = text.trimmed().split(':');
    if (hms.size() != 3) return -1;
    bool okH = false, okM = false, okS = false;
    const int64_t h = hms[0].toLongLong(&okH), m = hms[1].toLongLong(&okM);
    const double s = hms[2].toDouble(&okS);
    if (!okH || !okM || !okS || h < 0 || m < 0 || s < 0) return -1;
    return (h * 3600 + m * 60) * 1000 + std::llround(s * 1000);
}

// Xiph chapters: CHAPTERnnn=HH:MM:SS.mmm and CHAPTERnnnNAME=NAME, numbered from 001 in time
// order. A chapter's time is to the millisecond; CHAPTERnnnFRAMES=START[-END]/RATE beside it
// keeps the frame and a region's end, for us to read back exactly.
void AddChapters(TagLib::Ogg::XiphComment& comment, const TTags& tags) {
    if (tags.markers.empty() || tags.markerRate == 0) return;
    for (size_t i = 0; i < tags.markers.size(); ++i) {
        const TMarker& m = tags.markers[i];
        const QString key = ChapterKey(i + 1);
        comment.addField(ToTag(key), ToTag(ChapterTime(MsOf(m.start, tags.markerRate))));
        comment.addField(ToTag(key + "NAME"), ToTag(m.name));
        QString frames = QString::number(m.start);
        if (m.IsRegion()) frames += '-' + QString::number(m.end);
        comment.addField(ToTag(key + "FRAMES"),
                         ToTag(frames + '/' + QString::number(tags.markerRate)));
    }
}

TMarkerList XiphChapters(const TagLib::Ogg::XiphComment* comment, uint32_t rate, int64_t frames) {
    if (!comment) return {};
    const TagLib::Ogg::FieldListMap& fields = comment->fieldListMap();
    auto field = [&](const QString& key) {
        const auto it = fields.find(ToTag(key));
        return it == fields.end() || it->second.isEmpty() ? QString() : FromTag(it->second.front());
    };
    std::vector<TChapter> chapters;
    // Numbered from 001, or from 000 by some writers.
    for (size_t i = 0; i < 1000; ++i) {
        const int64_t ms = ChapterMs(field(ChapterKey(i)));
        if (ms < 0) {
            if (i == 0) continue;
            break;
        }
        TChapter c{FrameOfMs(ms, rate), -1, field(ChapterKey(i) + "NAME")};
        // Our exact frames, when they still agree with the chapter's time.
        const QStringList exact = field(ChapterKey(i) + "FRAMES").split('/');
        const QStringList range = exact.value(0).split('-');
        const uint32_t at = exact.size() == 2 ? exact[1].toUInt() : 0;
        if (at > 0) {
            const int64_t start = FrameOfMs(MsOf(range[0].toLongLong(), at), rate);
            if (std::llabs(MsOf(start, rate) - ms) <= 1) {
                c.start = std::llround(double(range[0].toLongLong()) * rate / at);
                if (range.size() == 2)
                    c.end = std::llround(double(range[1].toLongLong()) * rate / at);
            }
        }
        chapters.push_back(c);
    }
    TMarkerList marks;
    for (const TChapter& c : chapters) {
        if (c.start < 0 || c.start > frames) continue;
        marks.push_back({c.start, std::clamp<int64_t>(c.end, c.start, frames), c.name});
    }
    SortMarkers(marks);
    return marks;
}

}  // namespace

const QStringList& TTags::Keys() {
    static const QStringList keys = [] {
        QStringList k;
        for (const TKeyName& n : kKeyNames) k << n.key;
        return k;
    }();
    return keys;
}

TTags ReadTags(const QString& path, uint32_t markerRate, int64_t frames) {
    TTags out;
    const QByteArray name = QFile::encodeName(path);
    TagLib::FileRef ref(name.constData(), false);
    if (ref.isNull() || !ref.file()->isValid()) return out;
    const TagLib::PropertyMap map = ref.file()->properties();
    for (const TKeyName& k : kKeyNames) {
        auto it = map.find(k.property);
        // Vorbis comments written by ffmpeg carry the comment as DESCRIPTION.
        if (it == map.end() && QLatin1String(k.key) == QLatin1String("comment"))
            it = map.find("DESCRIPTION");
        if (it != map.end() && !it->second.isEmpty()) {
            const QString v = FromTag(it->second.front());
            if (!v.isEmpty()) out.values.insert(k.key, v);
        }
    }
    TagLib::File* file = ref.file();
    if (auto* mp3 = dynamic_cast<TagLib::MPEG::File*>(file)) {
        PictureOf(mp3->ID3v2Tag(), out);
    } else if (auto* wav = dynamic_cast<TagLib::RIFF::WAV::File*>(file)) {
        PictureOf(wav->ID3v2Tag(), out);
    } else if (auto* flac = dynamic_cast<TagLib::FLAC::File*>(file)) {
        PictureOf(flac->pictureList(), out);
        if (out.picture.isEmpty()) PictureOf(flac->ID3v2Tag(), out);
    } else if (auto* vorbis = dynamic_cast<TagLib::Ogg::Vorbis::File*>(file)) {
        if (vorbis->tag()) PictureOf(vorbis->tag()->pictureList(), out);
    } else if (auto* opus = dynamic_cast<TagLib::Ogg::Opus::File*>(file)) {
        if (opus->tag()) PictureOf(opus->tag()->pictureList(), out);
    }
    if (markerRate == 0) return out;
    out.markerRate = markerRate;
    out.markerFrames = frames;
    if (auto* mp3 = dynamic_cast<TagLib::MPEG::File*>(file)) {
        out.markers = Id3Chapters(mp3->ID3v2Tag(), markerRate, frames);
    } else if (dynamic_cast<TagLib::RIFF::WAV::File*>(file)) {
        const uint32_t own = file->audioProperties() ? file->audioProperties()->sampleRate() : 0;
        out.markers = MarkersAtRate(ReadWavMarkers(path), own, markerRate, frames);
    } else if (auto* flac = dynamic_cast<TagLib::FLAC::File*>(file)) {
        out.markers = XiphChapters(flac->xiphComment(false), markerRate, frames);
    } else if (auto* vorbis = dynamic_cast<TagLib::Ogg::Vorbis::File*>(file)) {
        out.markers = XiphChapters(vorbis->tag(), markerRate, frames);
    } else if (auto* opus = dynamic_cast<TagLib::Ogg::Opus::File*>(file)) {
        out.markers = XiphChapters(opus->tag(), markerRate, frames);
    }
    return out;
}

std::vector<uint8_t> Id3v2TagBytes(const TTags& tags) {
    if (tags.Empty()) return {};
    TagLib::ID3v2::Tag tag;
    tag.setProperties(Properties(tags));
    AddPicture(tag, tags);
    AddChapters(tag, tags);
    const TagLib::ByteVector v = tag.render(TagLib::ID3v2::v4);
    return std::vector<uint8_t>(v.begin(), v.end());
}

void WriteWavTagsOrThrow(const QString& path, const TTags& tags) {
    if (tags.Empty()) return;
    // TagLib's RIFF code knows no cue points: our own chunk code adds them after its tags.
    if (tags.values.isEmpty() && tags.picture.isEmpty())
        return AppendWavMarkersOrThrow(path, tags.markers);
    const QByteArray name = QFile::encodeName(path);
    TagLib::RIFF::WAV::File file(name.constData(), false);
    if (!file.isValid()) throw EAppError("The tags could not be written to " + path.toStdString());
    const TagLib::PropertyMap map = Properties(tags);
    // INFO takes what it has fields for; the album artist and the picture need an id3 chunk.
    const TagLib::PropertyMap left = file.InfoTag()->setProperties(map);
    TagLib::RIFF::WAV::File::TagTypes types = TagLib::RIFF::WAV::File::Info;
    if (!left.isEmpty() || !tags.picture.isEmpty()) {
        file.ID3v2Tag()->setProperties(map);
        AddPicture(*file.ID3v2Tag(), tags);
        types = TagLib::RIFF::WAV::File::AllTags;
    }
    if (!file.save(types, TagLib::File::StripOthers, TagLib::ID3v2::v4))
        throw EAppError("The tags could not be written to " + path.toStdString());
    AppendWavMarkersOrThrow(path, tags.markers);
}

bool SetTag(TTags& tags, const QString& assignment) {
    const qsizetype eq = assignment.indexOf('=');
    if (eq <= 0) return false;
    const QString key = assignment.left(eq).toLower();
    if (!TTags::Keys().contains(key)) return false;
    const QString value = assignment.mid(eq + 1);
    if (value.isEmpty())
        tags.values.remove(key);
    else
        tags.values.insert(key, value);
    return true;
}

namespace {

TagLib::FLAC::Picture* NewFlacPicture(const TTags& tags) {
    auto* picture = new TagLib::FLAC::Picture;
    picture->setType(TagLib::FLAC::Picture::FrontCover);
    picture->setMimeType(ToTag(tags.pictureMime));
    picture->setData(Vector(tags.picture));
    return picture;
}

// The comments replaced by the tags' keys, and any picture by the tags' one.
void FillXiph(TagLib::Ogg::XiphComment& comment, const TTags& tags) {
    comment.setProperties(Properties(tags));
    comment.removeAllPictures();
    if (!tags.picture.isEmpty()) comment.addPicture(NewFlacPicture(tags));  // it owns it
    AddChapters(comment, tags);
}

}  // namespace

void WriteXiphTagsOrThrow(const QString& path, const QString& extension, const TTags& tags) {
    if (tags.Empty()) return;
    const QByteArray name = QFile::encodeName(path);
    const std::string failed = "The tags could not be written to " + path.toStdString();
    bool saved = false;
    if (extension == QLatin1String("flac")) {
        TagLib::FLAC::File file(name.constData(), false);
        if (!file.isValid()) throw EAppError(failed);
        file.xiphComment(true)->setProperties(Properties(tags));
        AddChapters(*file.xiphComment(), tags);
        // A FLAC file keeps its pictures in blocks of their own, not in the comments.
        file.removePictures();
        if (!tags.picture.isEmpty()) file.addPicture(NewFlacPicture(tags));
        saved = file.save();
    } else if (extension == QLatin1String("opus")) {
        TagLib::Ogg::Opus::File file(name.constData(), false);
        if (!file.isValid() || !file.tag()) throw EAppError(failed);
        FillXiph(*file.tag(), tags);
        saved = file.save();
    } else if (extension == QLatin1String("ogg") || extension == QLatin1String("oga")) {
        TagLib::Ogg::Vorbis::File file(name.constData(), false);
        if (!file.isValid() || !file.tag()) throw EAppError(failed);
        FillXiph(*file.tag(), tags);
        saved = file.save();
    }
    if (!saved) throw EAppError(failed);
}

QByteArray TagsToJson(const TTags& tags) {
    QJsonObject values;
    for (auto it = tags.values.begin(); it != tags.values.end(); ++it) values[it.key()] = *it;
    QJsonObject o{{"values", values}};
    if (!tags.picture.isEmpty()) {
        o["picture"] = QString::fromLatin1(tags.picture.toBase64());
        o["mime"] = tags.pictureMime;
    }
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

std::optional<TTags> TagsFromJson(const QByteArray& json) {
    const QJsonDocument doc = QJsonDocument::fromJson(json);
    if (!doc.isObject() || !doc.object()["values"].isObject()) return std::nullopt;
    const QJsonObject o = doc.object();
    TTags tags;
    const QJsonObject values = o["values"].toObject();
    for (auto it = values.begin(); it != values.end(); ++it) {
        // Only the keys a save writes, as --set-tag takes them.
        if (!TTags::Keys().contains(it.key()) || !it.value().isString()) return std::nullopt;
        tags.values[it.key()] = it.value().toString();
    }
    tags.picture = QByteArray::fromBase64(o["picture"].toString().toLatin1());
    if (!tags.picture.isEmpty()) tags.pictureMime = o["mime"].toString();
    return tags;
}
