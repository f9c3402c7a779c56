#pragma once
// The tags of a sound file (title, artist and the rest, and the front cover), read from any
// format TagLib knows and written in the target's own form: ID3v2.4 ahead of an MP3's frames,
// the LIST INFO chunk of a WAV file (with an id3 chunk for what INFO cannot hold), Vorbis
// comments and a picture block in FLAC, Ogg Vorbis and Opus.

#include <QByteArray>
#include <QMap>
#include <optional>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <utility>
#include <vector>

#include "markers.h"

struct TTags {
    // Key (one of Keys()) -> value; a key without a value is absent.
    QMap<QString, QString> values;
    QByteArray picture;  // the front cover's bytes; empty when there is none
    QString pictureMime;
    // The markers a file holds or a save writes, in frames at `markerRate` of a sound of
    // `markerFrames`: chapters (ID3v2 CHAP under a CTOC, CHAPTERnnn comments) or a WAV file's
    // cue points and labels. The document keeps its own markers apart; its tags hold none.
    TMarkerList markers;
    uint32_t markerRate = 0;
    int64_t markerFrames = 0;
    // The markers, leaving the tags without any.
    TMarkerList TakeMarkers() {
        markerRate = 0;
        markerFrames = 0;
        return std::exchange(markers, {});
    }

    bool Empty() const { return values.isEmpty() && picture.isEmpty() && markers.empty(); }
    bool operator==(const TTags&) const = default;
    // title artist album albumartist date track genre comment, in that order.
    static const QStringList& Keys();
};

// The tags of `path`; none when it has none or TagLib cannot read it (never an error: a file
// we can decode but not tag-read still opens). With a rate, also its markers, in frames at
// that rate of the decoded sound of `frames`.
TTags ReadTags(const QString& path, uint32_t markerRate = 0, int64_t frames = 0);

// The ID3v2.4 tag that goes ahead of an MP3's first frame; empty for empty tags.
std::vector<uint8_t> Id3v2TagBytes(const TTags& tags);

// Writes the tags into the WAV file at `path` (replacing any it has). Throws EAppError when
// TagLib cannot write it. Nothing happens for empty tags.
void WriteWavTagsOrThrow(const QString& path, const TTags& tags);

// Writes the tags into the FLAC, Ogg Vorbis or Opus file at `path` (`extension`, lower case
// without the dot, tells which) as Vorbis comments with a picture block. Throws EAppError when
// TagLib cannot write it or the extension is none of those. Nothing happens for empty tags.
void WriteXiphTagsOrThrow(const QString& path, const QString& extension, const TTags& tags);

// "KEY=VALUE": false (and nothing changed) for a key that is not one of Keys(). An empty value
// removes the key.
bool SetTag(TTags& tags, const QString& assignment);

// The tags as a JSON object (values, picture in base64 with its type), for the session journal;
// TagsFromJson reads it back, nothing for bytes that are not such an object.
QByteArray TagsToJson(const TTags& tags);
std::optional<TTags> TagsFromJson(const QByteArray& json);
