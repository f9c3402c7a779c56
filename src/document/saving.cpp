// The document's saves on its worker: WAV copied block by block, MP3 through LAME, FLAC, Ogg
// and Opus through FFmpeg's encoders; each writes the document's tags before the file is put
// in place.
#include <algorithm>

#include "ffencode.h"
#include "fileio.h"
#include "largefile.h"
#include "mp3writer.h"
#include "pendingfile.h"
#include "session.h"
#include "tags.h"
#include "wavfile.h"

namespace {
constexpr int64_t kSaveBlockSamples = 4 * 1024 * 1024;
}

void Twavefile::DoSaveWav() {
    const uint32_t n = range_.end - range_.start;
    const int64_t total = int64_t(n) * channels_;
    const uint32_t bytes = static_cast<uint32_t>(total * 2);
    const int64_t first = int64_t(range_.start) * channels_;
    TWavHeader h = header_;
    h.riffSize = bytes + 36;
    h.dataSize = bytes;
    progress_ = 0;
    TLargeFile source(tempPath_);
    TPendingFile pending(savePath_);
    {
        TLargeFile target(pending.Path(), uint64_t(bytes) + kWavHeaderBytes);
        target.WriteHeader(h);
        for (int64_t done = 0; done < total; done += kSaveBlockSamples) {
            progress_ = static_cast<int32_t>(done * 100 / total);
            ThrowIfCancelled();
            const int64_t count = std::min(kSaveBlockSamples, total - done);
            target.CopyFrom(source, first + done, done, count);
            pending.WriteBehind(int64_t(kWavHeaderBytes) + 2 * done, 2 * count);
        }
    }
    WriteWavTagsOrThrow(pending.Path(), saveTags_);
    ThrowIfCancelled();
    pending.Commit();
    progress_ = 0;
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
