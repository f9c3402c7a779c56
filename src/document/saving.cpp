// The document's saves on its worker: WAV copied block by block, MP3 through LAME, FLAC, Ogg
// and Opus through FFmpeg's encoders; each writes the document's tags before the file is put
// in place.
#include <QFileInfo>
#include <algorithm>

#include "ffencode.h"
#include "fileio.h"
#include "largefile.h"
#include "mp3writer.h"
#include "pendingfile.h"
#include "session.h"
#include "tags.h"
#include "wavmarkers.h"
#include "wavfile.h"

namespace {
constexpr int64_t kSaveBlockSamples = 4 * 1024 * 1024;
}

void Twavefile::DoSaveWav() {
    TLargeFile source(tempPath_);
    const bool rf64 = WriteWav(source, savePath_, range_, saveTags_);
    if (rf64) Notice("rf64saved", "rf64title", QFileInfo(savePath_).fileName());
}

bool Twavefile::WriteWav(TLargeFile& source, const QString& path, TRange r, const TTags& tags) {
    const int64_t n = r.end - r.start;
    const int64_t total = n * channels_;
    const uint64_t bytes = uint64_t(total) * 2;
    const int64_t first = r.start * channels_;
    // Past 4 GiB the file takes the RF64 form; below, the same 44-byte header as always.
    TWavHeader h = header_;
    h.SetDataBytes(bytes);
    progress_ = 0;
    TPendingFile pending(path);
    {
        TLargeFile target(pending.Path(), WavFileBytes(bytes));
        target.WriteHeader(h);
        for (int64_t done = 0; done < total; done += kSaveBlockSamples) {
            progress_ = static_cast<int32_t>(done * 100 / total);
            ThrowIfCancelled();
            const int64_t count = std::min(kSaveBlockSamples, total - done);
            target.CopyFrom(source, first + done, done, count);
            pending.WriteBehind(int64_t(h.HeaderBytes()) + 2 * done, 2 * count);
        }
    }
    // The tag library knows only the 32-bit form; our own cue chunks go into either.
    if (!h.rf64)
        WriteWavTagsOrThrow(pending.Path(), tags);
    else
        AppendWavMarkersOrThrow(pending.Path(), tags.markers);
    ThrowIfCancelled();
    pending.Commit();
    progress_ = 0;
    return h.rf64;
}

void Twavefile::DoSaveMp3() {
    TLargeFile source(tempPath_);
    SaveMp3(source, range_.start, range_.end, channels_, mp3Config_, savePath_, progress_,
            Id3v2TagBytes(saveTags_));
}

void Twavefile::DoSaveEncoded() {
    TLargeFile source(tempPath_);
    SaveEncoded(source, range_.start, range_.end, channels_, sampleRate_, encodeSettings_,
                savePath_, saveTags_, progress_);
}

bool Twavefile::SetTags(const TTags& tags) {
    if (busy_ || !store_) return false;
    if (tags == tags_) return true;
    tags_ = tags;
    UpdateModified();
    JournalTags();
    JournalStep();
    if (OnAction) OnAction(this, !undo_.IsEmpty(), !redo_.IsEmpty());
    return true;
}

void Twavefile::JournalTags() {
    // Before the step's line, so no line counts on tags a crash kept from the disk.
    if (tempPath_.isEmpty() || (!session_->Ok() && !session_->Start())) return;
    // Tags are not a version: only an edit not yet saved needs a note, and a save drops it.
    session_->WriteNote(kTagsNote, tags_ == savedTags_ ? QByteArray() : TagsToJson(tags_));
}
