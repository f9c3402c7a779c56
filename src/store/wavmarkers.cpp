#include "wavmarkers.h"

#include <QFile>
#include <QHash>
#include <QtEndian>
#include <algorithm>
#include <cstring>
#include <map>

#include "apperror.h"

namespace {

constexpr uint32_t kCuePointBytes = 24;
constexpr uint32_t kLtxtFixedBytes = 20;
constexpr int64_t kMaxCueFrame = 0xFFFFFFFFLL;

uint32_t Le32(const char* p) {
    return qFromLittleEndian<uint32_t>(p);
}

void Put32(QByteArray& out, uint32_t v) {
    char b[4];
    qToLittleEndian<uint32_t>(v, b);
    out.append(b, 4);
}

void Put16(QByteArray& out, uint16_t v) {
    char b[2];
    qToLittleEndian<uint16_t>(v, b);
    out.append(b, 2);
}

void PutChunk(QByteArray& out, const char* id, const QByteArray& body) {
    out.append(id, 4);
    Put32(out, uint32_t(body.size()));
    out.append(body);
    if (body.size() % 2) out.append('\0');
}

struct TCue {
    int64_t frame = 0;
    QString name;
    int64_t length = 0;
};

// The sub-chunks of an "adtl" list into the cue points they name.
void ReadAdtl(const QByteArray& list, std::map<uint32_t, TCue>& cues) {
    for (qsizetype at = 4; at + 8 <= list.size();) {
        const QByteArray id = list.mid(at, 4);
        const uint32_t size = Le32(list.constData() + at + 4);
        if (size > uint64_t(list.size() - at - 8)) break;
        const char* body = list.constData() + at + 8;
        if (size >= 4) {
            const auto it = cues.find(Le32(body));
            if (it != cues.end() && id == "labl") {
                QByteArray text(body + 4, qsizetype(size - 4));
                if (const qsizetype nul = text.indexOf('\0'); nul >= 0) text.truncate(nul);
                it->second.name = QString::fromUtf8(text);
            } else if (it != cues.end() && id == "ltxt" && size >= kLtxtFixedBytes) {
                it->second.length = Le32(body + 4);
            }
        }
        at += 8 + qsizetype(size) + (size % 2);
    }
}

}  // namespace

TMarkerList ReadWavMarkers(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    char head[12];
    if (f.read(head, 12) != 12 || std::memcmp(head + 8, "WAVE", 4) != 0) return {};
    const bool rf64 = std::memcmp(head, "RF64", 4) == 0;
    if (!rf64 && std::memcmp(head, "RIFF", 4) != 0) return {};
    const int64_t fileSize = f.size();
    uint64_t rf64Data = 0;
    std::map<uint32_t, TCue> cues;
    QByteArray adtl;
    for (int64_t at = 12; at + 8 <= fileSize;) {
        char ch[8];
        if (!f.seek(at) || f.read(ch, 8) != 8) break;
        uint64_t size = Le32(ch + 4);
        const QByteArray id(ch, 4);
        if (rf64 && id == "ds64" && size >= 24) {
            char ds[24];
            if (f.read(ds, 24) != 24) break;
            rf64Data = qFromLittleEndian<uint64_t>(ds + 8);
        }
        // An RF64 data chunk gives its size in ds64.
        if (rf64 && id == "data" && size == 0xFFFFFFFFu) size = rf64Data;
        if (size > uint64_t(fileSize - at - 8)) break;
        if (id == "cue " && size >= 4) {
            const QByteArray body = f.read(qint64(std::min<uint64_t>(size, 1u << 24)));
            const uint32_t count = Le32(body.constData());
            for (uint32_t i = 0; i < count && 4 + (i + 1) * kCuePointBytes <= uint64_t(body.size());
                 ++i) {
                const char* p = body.constData() + 4 + i * kCuePointBytes;
                cues[Le32(p)].frame = Le32(p + 20);
            }
        } else if (id == "LIST" && size >= 4 && size < (1u << 24)) {
            const QByteArray body = f.read(qint64(size));
            if (body.startsWith("adtl")) adtl = body;
        }
        at += 8 + int64_t(size) + int64_t(size % 2);
    }
    ReadAdtl(adtl, cues);
    TMarkerList out;
    for (const auto& [id, c] : cues) out.push_back({c.frame, c.frame + c.length, c.name});
    SortMarkers(out);
    return out;
}

void AppendWavMarkersOrThrow(const QString& path, const TMarkerList& marks) {
    QByteArray cue, adtl("adtl");
    uint32_t count = 0;
    for (const TMarker& m : marks) {
        if (m.start < 0 || m.start > kMaxCueFrame) continue;
        const uint32_t id = ++count;
        QByteArray point;
        Put32(point, id);
        Put32(point, uint32_t(m.start));  // play order position
        point.append("data", 4);
        Put32(point, 0);  // chunk start
        Put32(point, 0);  // block start
        Put32(point, uint32_t(m.start));
        cue.append(point);
        QByteArray labl;
        Put32(labl, id);
        labl.append(m.name.toUtf8());
        labl.append('\0');
        PutChunk(adtl, "labl", labl);
        if (m.IsRegion()) {
            QByteArray ltxt;
            Put32(ltxt, id);
            Put32(ltxt, uint32_t(std::min<int64_t>(m.end - m.start, kMaxCueFrame)));
            ltxt.append("rgn ", 4);
            for (int i = 0; i < 4; ++i) Put16(ltxt, 0);  // country, language, dialect, code page
            PutChunk(adtl, "ltxt", ltxt);
        }
    }
    if (count == 0) return;
    QByteArray cueBody;
    Put32(cueBody, count);
    cueBody.append(cue);
    QByteArray chunks;
    PutChunk(chunks, "cue ", cueBody);
    PutChunk(chunks, "LIST", adtl);
    const std::string failed = "The markers could not be written to " + path.toStdString();
    QFile f(path);
    if (!f.open(QIODevice::ReadWrite)) throw EAppError(failed);
    char head[4];
    if (f.read(head, 4) != 4) throw EAppError(failed);
    const bool rf64 = std::memcmp(head, "RF64", 4) == 0;
    int64_t end = f.size();
    // Chunks start on even offsets.
    if (end % 2) chunks.prepend('\0');
    const int64_t riff = end + chunks.size() - 8;
    if (!rf64 && riff > int64_t(0xFFFFFFFFu)) throw EAppError(failed);
    QByteArray size;
    if (rf64) {
        // The RIFF size lives in ds64, right after its header.
        size.resize(8);
        qToLittleEndian<uint64_t>(uint64_t(riff), size.data());
    } else {
        Put32(size, uint32_t(riff));
    }
    if (!f.seek(end) || f.write(chunks) != chunks.size() || !f.seek(rf64 ? 20 : 4) ||
        f.write(size) != size.size() || !f.flush()) {
        throw EAppError(failed);
    }
}
