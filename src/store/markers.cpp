#include "markers.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>
#include <algorithm>
#include <cmath>

void SortMarkers(TMarkerList& marks) {
    std::stable_sort(marks.begin(), marks.end(), [](const TMarker& a, const TMarker& b) {
        return a.start != b.start ? a.start < b.start : a.end < b.end;
    });
}

namespace {

// A position moved: the label file's times no longer say where it is.
void Moved(TMarker& m) {
    m.startSeconds = m.endSeconds = -1;
}

}  // namespace

TMarkerList MarkersAfterDelete(const TMarkerList& marks, int64_t at, int64_t count) {
    if (count <= 0) return marks;
    const int64_t e = at + count;
    // A position inside the range goes to its start; one after it moves back.
    auto map = [&](int64_t p) { return p <= at ? p : p >= e ? p - count : at; };
    TMarkerList out;
    out.reserve(marks.size());
    for (const TMarker& m : marks) {
        if (!m.IsRegion() && m.start > at && m.start < e) continue;
        TMarker n = m;
        n.start = map(m.start);
        n.end = map(m.end);
        if (m.IsRegion() && !n.IsRegion()) continue;
        if (n.start != m.start || n.end != m.end) Moved(n);
        out.push_back(std::move(n));
    }
    SortMarkers(out);
    return out;
}

TMarkerList MarkersAfterInsert(const TMarkerList& marks, int64_t at, int64_t count) {
    if (count <= 0) return marks;
    TMarkerList out = marks;
    for (TMarker& m : out) {
        const int64_t start = m.start, end = m.end;
        if (m.start > at) m.start += count;
        if (m.end > at) m.end += count;
        if (m.start != start || m.end != end) Moved(m);
    }
    return out;
}

TMarkerList MarkersAfterStretch(const TMarkerList& marks, int64_t start, int64_t end,
                                int64_t newEnd) {
    if (newEnd == end || end <= start) return marks;
    const auto place = [&](int64_t p) {
        if (p <= start) return p;
        if (p >= end) return p + (newEnd - end);
        // Inside, in proportion, to the nearest frame.
        return start + int64_t(std::llround(double(p - start) * double(newEnd - start) /
                                            double(end - start)));
    };
    TMarkerList out = marks;
    for (TMarker& m : out) {
        const int64_t a = place(m.start), b = place(m.end);
        if (a != m.start || b != m.end) {
            m.start = a;
            m.end = b;
            Moved(m);
        }
    }
    return out;
}

TMarkerList MarkersInRange(const TMarkerList& marks, int64_t start, int64_t end) {
    TMarkerList out;
    for (const TMarker& m : marks) {
        TMarker n = m;
        if (m.IsRegion()) {
            n.start = std::max(m.start, start);
            n.end = std::min(m.end, end);
            if (n.end <= n.start) continue;
        } else if (m.start < start || m.start > end) {
            continue;
        }
        n.start -= start;
        n.end -= start;
        if (start != 0 || n.end != m.end) Moved(n);
        out.push_back(std::move(n));
    }
    return out;
}

std::vector<TChapter> ChaptersOf(const TMarkerList& marks, int64_t frames) {
    std::vector<TChapter> out;
    for (size_t i = 0; i < marks.size(); ++i) {
        const TMarker& m = marks[i];
        int64_t end = m.end;
        if (!m.IsRegion()) {
            end = frames;
            for (size_t j = i + 1; j < marks.size(); ++j) {
                if (marks[j].start > m.start) {
                    end = marks[j].start;
                    break;
                }
            }
        }
        out.push_back({m.start, std::max(end, m.start), m.name});
    }
    return out;
}

TMarkerList MarkersOfChapters(std::vector<TChapter> chapters, int64_t frames, int64_t slack) {
    std::stable_sort(chapters.begin(), chapters.end(),
                     [](const TChapter& a, const TChapter& b) { return a.start < b.start; });
    TMarkerList out;
    for (size_t i = 0; i < chapters.size(); ++i) {
        const TChapter& c = chapters[i];
        if (c.start < 0 || (frames > 0 && c.start > frames)) continue;
        int64_t next = frames;
        for (size_t j = i + 1; j < chapters.size(); ++j) {
            if (chapters[j].start > c.start) {
                next = chapters[j].start;
                break;
            }
        }
        const bool point = c.end < 0 || c.end <= c.start || std::llabs(c.end - next) <= slack ||
                           (frames > 0 && c.end >= frames - slack);
        const int64_t end = point ? c.start : frames > 0 ? std::min(c.end, frames) : c.end;
        out.push_back({c.start, end, c.name});
    }
    SortMarkers(out);
    return out;
}

TMarkerList MarkersAtRate(TMarkerList marks, uint32_t fromRate, uint32_t toRate, int64_t frames) {
    auto at = [&](int64_t f) {
        if (fromRate != 0 && toRate != 0 && fromRate != toRate)
            f = int64_t(std::llround(double(f) * toRate / fromRate));
        return std::clamp<int64_t>(f, 0, std::max<int64_t>(frames, 0));
    };
    for (TMarker& m : marks) {
        m.start = at(m.start);
        m.end = std::max(m.start, at(m.end));
    }
    SortMarkers(marks);
    return marks;
}

int64_t FrameOfSeconds(double seconds, uint32_t rate) {
    return std::llround(seconds * double(rate));
}

namespace {

QString SecondsText(int64_t frame, double given, uint32_t rate) {
    // The label file's own time while it still names this frame.
    const double s =
        given >= 0 && FrameOfSeconds(given, rate) == frame ? given : double(frame) / rate;
    return QString::number(s, 'f', 6);
}

QString OneLine(QString name) {
    name.replace(u'\n', u' ').replace(u'\r', u' ');
    return name;
}

}  // namespace

QString LabelText(const TMarkerList& marks, uint32_t rate) {
    QString out;
    if (rate == 0) return out;
    for (const TMarker& m : marks) {
        out += SecondsText(m.start, m.startSeconds, rate) + u'\t' +
               SecondsText(m.end, m.endSeconds, rate) + u'\t' + OneLine(m.name) + u'\n';
    }
    return out;
}

std::optional<TMarkerList> ParseLabelText(const QString& text, uint32_t rate, QString& error) {
    TMarkerList out;
    const QStringList lines = text.split(u'\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QString line = lines[i];
        if (line.endsWith(u'\r')) line.chop(1);
        if (line.trimmed().isEmpty() || line.startsWith(u'\\')) continue;
        const QStringList f = line.split(u'\t');
        bool ok1 = false, ok2 = false;
        const double s = f.value(0).trimmed().toDouble(&ok1);
        const double e = f.size() > 1 ? f[1].trimmed().toDouble(&ok2) : s;
        if (f.size() < 2) ok2 = true;
        // A billion seconds is past any sound; beyond, the frame would not fit.
        constexpr double kMaxSeconds = 1e9;
        if (!ok1 || !ok2 || !std::isfinite(s) || !std::isfinite(e) || s < 0 || e < s ||
            e > kMaxSeconds) {
            error = QString("line %1 is not \"start<TAB>end<TAB>name\" in seconds").arg(i + 1);
            return std::nullopt;
        }
        TMarker m;
        m.start = FrameOfSeconds(s, rate);
        m.end = FrameOfSeconds(e, rate);
        m.startSeconds = s;
        m.endSeconds = e;
        // The name is everything after the second tab, tabs and all.
        m.name = f.size() > 2 ? QStringList(f.mid(2)).join(u'\t') : QString();
        out.push_back(std::move(m));
    }
    SortMarkers(out);
    return out;
}

QByteArray ChaptersJson(const TMarkerList& marks, uint32_t rate) {
    QJsonArray chapters;
    auto seconds = [rate](int64_t f) { return std::round(double(f) / rate * 1e6) / 1e6; };
    for (const TMarker& m : marks) {
        QJsonObject c{{"startTime", seconds(m.start)}, {"title", m.name}};
        if (m.IsRegion()) c["endTime"] = seconds(m.end);
        chapters.append(c);
    }
    const QJsonObject o{{"version", "1.2.0"}, {"chapters", chapters}};
    return QJsonDocument(o).toJson(QJsonDocument::Indented);
}

QJsonArray MarkersToJson(const TMarkerList& marks) {
    QJsonArray out;
    for (const TMarker& m : marks) out.append(QJsonArray{qint64(m.start), qint64(m.end), m.name});
    return out;
}

TMarkerList MarkersFromJson(const QJsonArray& array) {
    TMarkerList out;
    for (const QJsonValue& v : array) {
        const QJsonArray a = v.toArray();
        if (a.size() != 3 || !a[0].isDouble() || !a[1].isDouble()) continue;
        const int64_t s = a[0].toInteger(), e = a[1].toInteger();
        if (s < 0 || e < s) continue;
        out.push_back({s, e, a[2].toString()});
    }
    SortMarkers(out);
    return out;
}

std::vector<TPiece> ExportPieces(const TMarkerList& marks, int64_t frames) {
    std::vector<TPiece> out;
    for (const TMarker& m : marks) {
        if (m.IsRegion()) out.push_back({m.start, std::min(m.end, frames), m.name, 0});
    }
    if (out.empty()) {
        // The cuts are the markers; the stretch before the first has no name.
        int64_t at = 0;
        QString name;
        for (const TMarker& m : marks) {
            if (m.start > at) out.push_back({at, std::min(m.start, frames), name, 0});
            if (m.start >= at) {
                at = m.start;
                name = m.name;
            }
        }
        if (frames > at) out.push_back({at, frames, name, 0});
    }
    std::erase_if(out, [](const TPiece& p) { return p.end <= p.start; });
    for (size_t i = 0; i < out.size(); ++i) out[i].number = int32_t(i + 1);
    return out;
}

QString PieceFileName(const QString& pattern, const TPiece& piece, const QString& extension) {
    QString name = piece.name;
    for (QChar& c : name) {
        if (c == u'/' || c.category() == QChar::Other_Control) c = u'_';
    }
    const QString number = QString("%1").arg(piece.number, 2, 10, QChar('0'));
    // %name first: %n is its prefix.
    QString base = QString(pattern).replace("%name", "\x01").replace("%n", number);
    base.replace(u'\x01', name);
    base = base.trimmed();
    if (base.isEmpty() || base == "." || base == "..") base = number;
    return base + '.' + extension;
}
