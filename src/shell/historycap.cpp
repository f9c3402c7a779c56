#include "historycap.h"

#include <QFileInfo>

#include "versionfiles.h"
#include "wavfile.h"

int64_t VersionBytes(const QString& version) {
    int64_t bytes = 0;
    for (const QFileInfo& file : {QFileInfo(version), QFileInfo(PeakFilePath(version))}) {
        if (file.exists()) bytes += file.size();
    }
    return bytes;
}

int32_t StepsPastCap(const Twavefile& document, int64_t cap) {
    int64_t bytes = document.HistoryBytes();
    const QStringList& undo = document.UndoStack().Items();
    int32_t count = 0;
    // The oldest step is the bottom of the stack, the list's end.
    for (qsizetype i = undo.size() - 1; i >= 0 && bytes > cap; --i) {
        // A file that marker steps share with a later state is not freed by dropping this one.
        const bool shared = undo.indexOf(undo[i]) < i || undo[i] == document.TempPath() ||
                            document.RedoStack().Items().contains(undo[i]);
        if (!shared) bytes -= VersionBytes(undo[i]);
        ++count;
    }
    return count;
}
