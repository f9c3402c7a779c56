#include "tags.h"

#include <taglib/attachedpictureframe.h>
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

#include "apperror.h"

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

}  // namespace

const QStringList& TTags::Keys() {
    static const QStringList keys = [] {
        QStringList k;
        for (const TKeyName& n : kKeyNames) k << n.key;
        return k;
    }();
    return keys;
}

TTags ReadTags(const QString& path) {
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
    return out;
}

std::vector<uint8_t> Id3v2TagBytes(const TTags& tags) {
    if (tags.Empty()) return {};
    TagLib::ID3v2::Tag tag;
    tag.setProperties(Properties(tags));
    AddPicture(tag, tags);
    const TagLib::ByteVector v = tag.render(TagLib::ID3v2::v4);
    return std::vector<uint8_t>(v.begin(), v.end());
}

void WriteWavTagsOrThrow(const QString& path, const TTags& tags) {
    if (tags.Empty()) return;
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
