#pragma once
// Markers and regions of a sound: a marker is a frame with a name, a region a range
// [start, end) with a name. A list is kept in time order (by start, then end); every edit that
// adds or removes frames moves the list through the two functions below, so all edits move
// markers alike. Positions are frames (signed 64-bit, as everywhere).
//
// Also the exchange forms: the label text of Audacity (a line per label, "start\tend\tname",
// seconds with six decimals) and the chapters JSON of Podcasting 2.0.

#include <QJsonArray>
#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

struct TMarker {
    int64_t start = 0;
    int64_t end = 0;  // == start for a point marker
    QString name;
    // The times a label file gave, while the marker still stands where they put it: a label
    // text exported again gives the same digits, though a frame is coarser than a microsecond.
    double startSeconds = -1, endSeconds = -1;

    bool IsRegion() const { return end > start; }
    bool operator==(const TMarker& o) const {
        return start == o.start && end == o.end && name == o.name;
    }
};
using TMarkerList = std::vector<TMarker>;

// Time order: by start, then end; equal ones keep their order.
void SortMarkers(TMarkerList& marks);

// After `count` frames were removed at [at, at + count): what lay after moves back; a marker
// inside goes; a region cut into is shortened, one inside goes. A marker at `at` or at the end
// of the range stays (at `at`).
TMarkerList MarkersAfterDelete(const TMarkerList& marks, int64_t at, int64_t count);
// After `count` frames were inserted at `at`: every position past `at` moves on by `count`
// (a region that holds `at` grows; a marker at `at` stays before what was inserted).
TMarkerList MarkersAfterInsert(const TMarkerList& marks, int64_t at, int64_t count);
// After [start, end) was stretched to [start, newEnd) (a tempo or speed change): what lies
// inside moves in proportion, what lies after by the difference.
TMarkerList MarkersAfterStretch(const TMarkerList& marks, int64_t start, int64_t end,
                                int64_t newEnd);
// What lies in [start, end] (a marker at `end` too), moved to start at 0 (Save Selected As):
// regions clipped to [start, end).
TMarkerList MarkersInRange(const TMarkerList& marks, int64_t start, int64_t end);

// A chapter of a file: a point marker runs to the next marker's start or the end `frames`;
// a region is a chapter of its own length.
struct TChapter {
    int64_t start = 0, end = 0;
    QString name;
};
std::vector<TChapter> ChaptersOf(const TMarkerList& marks, int64_t frames);
// Chapters read from a file: one that ends where the next begins or at the end (within
// `slack` frames, for formats that keep milliseconds), or that has no end (`end` < 0), is a
// point marker; any other is a region.
TMarkerList MarkersOfChapters(std::vector<TChapter> chapters, int64_t frames, int64_t slack);

// Markers given at `fromRate` at `toRate` (as they are when either is 0), clamped to `frames`.
TMarkerList MarkersAtRate(TMarkerList marks, uint32_t fromRate, uint32_t toRate, int64_t frames);

// Frames from seconds at `rate`, rounded to the nearest frame.
int64_t FrameOfSeconds(double seconds, uint32_t rate);

// Audacity's label text, a line per marker. Frames at `rate`.
QString LabelText(const TMarkerList& marks, uint32_t rate);
// Nothing (and `error` says which line) for text that is not label text. Spectral lines
// (those beginning with a backslash) are passed over.
std::optional<TMarkerList> ParseLabelText(const QString& text, uint32_t rate, QString& error);
// Podcasting 2.0 chapters: {"version": "1.2.0", "chapters": [{"startTime": 1.5, "title": ..}]},
// a region with its "endTime".
QByteArray ChaptersJson(const TMarkerList& marks, uint32_t rate);

// The pieces Export Regions writes: each region; where there are none, each stretch between
// markers from the start to the end (named by the marker it starts at). Empty ones left out.
struct TPiece {
    int64_t start = 0, end = 0;
    QString name;
    int32_t number = 0;  // from 1
};
std::vector<TPiece> ExportPieces(const TMarkerList& marks, int64_t frames);
// A piece's file name from the pattern: %n its number in two digits, %name its name (with
// slashes and control characters replaced), then `extension`; blanks at either end trimmed,
// the number alone where nothing is left.
QString PieceFileName(const QString& pattern, const TPiece& piece, const QString& extension);

// The list as the session journal keeps it: [[start, end, name], ...]; a malformed entry is
// passed over.
QJsonArray MarkersToJson(const TMarkerList& marks);
TMarkerList MarkersFromJson(const QJsonArray& array);
