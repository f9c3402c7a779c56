// Export Regions: each region (or each stretch between markers) to its own file, on the worker,
// through the same writers as the saves.
#include <QDir>

#include "ffencode.h"
#include "fileio.h"
#include "mp3writer.h"
#include "uithread.h"
#include "wavfile.h"

QStringList Twavefile::ExportTargets(const QString& folder, const QString& pattern,
                                     const QString& extension) const {
    QStringList out;
    const QDir dir(folder);
    for (const TPiece& p : ExportPieces(markers_, frames_))
        out << dir.filePath(PieceFileName(pattern, p, extension.toLower()));
    return out;
}

bool Twavefile::ExportRegions(const QString& folder, const QString& pattern,
                              const QString& extension) {
    if (busy_ || !store_ || !ready_) return false;
    const QString ext = extension.toLower();
    std::vector<TPiece> pieces = ExportPieces(markers_, frames_);
    if (pieces.empty()) return false;
    std::optional<TMp3Choices> mp3;
    std::optional<TEncodeSettings> encode;
    if (ext == "mp3") {
        if (!OnMp3Settings || !(mp3 = OnMp3Settings(this))) return false;
    } else if (const std::optional<TEncodeFormat> format = EncodeFormatOf(ext)) {
        if (!OnEncodeSettings || !(encode = OnEncodeSettings(this, *format))) return false;
        encode->format = *format;
    } else if (ext != "wav") {
        return false;
    }
    const QStringList files = ExportTargets(folder, pattern, ext);
    return Dispatch(opExportRegions, [&] {
        pieces_ = std::move(pieces);
        pieceFiles_ = files;
        exportExtension_ = ext;
        exported_.clear();
        if (mp3) mp3Config_ = MakeMp3Config(sampleRate_, channels_, *mp3);
        if (encode) encodeSettings_ = *encode;
        saveTags_ = tags_;
    });
}

void Twavefile::DoExportRegions() {
    TLargeFile source(tempPath_);
    for (size_t i = 0; i < pieces_.size(); ++i) {
        ThrowIfCancelled();
        const TPiece& p = pieces_[i];
        TTags tags = saveTags_;
        // An unnamed stretch keeps the document's title.
        if (!p.name.isEmpty()) tags.values["title"] = p.name;
        tags.values["track"] = QString::number(p.number);
        const QString& path = pieceFiles_[size_t(i)];
        if (exportExtension_ == "wav") {
            WriteWav(source, path, {p.start, p.end}, tags);
        } else if (exportExtension_ == "mp3") {
            SaveMp3(source, p.start, p.end, channels_, mp3Config_, path, progress_,
                    Id3v2TagBytes(tags));
        } else {
            SaveEncoded(source, p.start, p.end, channels_, sampleRate_, encodeSettings_, path, tags,
                        progress_);
        }
        RunOnUiThread([&] { exported_ << path; });
    }
}
