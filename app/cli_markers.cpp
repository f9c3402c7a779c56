#include "cli_markers.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <cstdio>

#include "wavfile.h"

namespace {

void PrintMarkers(const TMarkerList& marks) {
    for (const TMarker& m : marks) {
        QString name = m.name;
        name.replace('\n', ' ');
        if (m.IsRegion())
            std::printf("region %lld %lld %s\n", static_cast<long long>(m.start),
                        static_cast<long long>(m.end), name.toUtf8().constData());
        else
            std::printf("marker %lld %s\n", static_cast<long long>(m.start),
                        name.toUtf8().constData());
    }
    std::fflush(stdout);
}

bool WriteWhole(const QString& path, const QByteArray& bytes, QString& error) {
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size() || !f.commit()) {
        error = "cannot write " + path + ": " + f.errorString();
        return false;
    }
    return true;
}

}  // namespace

bool RunMarkerStep(Twavefile& doc, const TCliStep& s, QString& error) {
    TMarkerList marks = doc.Markers();
    switch (s.kind) {
        case TCliStep::kMarker:
        case TCliStep::kRegion:
            if (s.b > doc.Frames()) {
                error = QString("frame %1 is past the end of the sound (%2 frames)")
                            .arg(s.b)
                            .arg(doc.Frames());
                return false;
            }
            marks.push_back({s.a, s.b, s.path});
            break;
        case TCliStep::kMarkers:
            PrintMarkers(marks);
            return true;
        case TCliStep::kClearMarkers:
            marks.clear();
            break;
        case TCliStep::kImportLabels: {
            QFile f(s.path);
            if (!f.open(QIODevice::ReadOnly)) {
                error = "cannot read " + s.path + ": " + f.errorString();
                return false;
            }
            QString why;
            const auto labels =
                ParseLabelText(QString::fromUtf8(f.readAll()), doc.SampleRate(), why);
            if (!labels) {
                error = s.path + ": " + why;
                return false;
            }
            for (const TMarker& m : *labels) {
                if (m.end > doc.Frames()) {
                    error = s.path + ": a label lies past the end of the sound";
                    return false;
                }
            }
            marks.insert(marks.end(), labels->begin(), labels->end());
            break;
        }
        case TCliStep::kExportLabels: {
            const bool json = QFileInfo(s.path).suffix().toLower() == "json";
            return WriteWhole(s.path,
                              json ? ChaptersJson(marks, doc.SampleRate())
                                   : LabelText(marks, doc.SampleRate()).toUtf8(),
                              error);
        }
        default:
            return true;
    }
    if (!doc.SetMarkers(std::move(marks))) {
        error = "the markers cannot be changed now";
        return false;
    }
    return true;
}
