// Marker steps: the document's markers changed without a new version of the sound.
#include "wavfile.h"

bool Twavefile::SetMarkers(TMarkerList marks) {
    if (busy_ || !store_ || !ready_) return false;
    for (TMarker& m : marks) {
        m.start = ClampFrame(m.start);
        m.end = std::max(m.start, ClampFrame(m.end));
    }
    SortMarkers(marks);
    if (marks == markers_) return true;
    RememberView();
    // The same version again on the undo stack, with the markers it had.
    undo_.Push(tempPath_, CurrentMarks());
    TStack ended = redo_.Take();
    markers_ = std::move(marks);
    markStep_ = ++markSerial_;
    UpdateModified();
    // Journaled before the redo versions go: the journal never names a deleted file.
    JournalStep();
    ended.Clear(InUse());
    ForgetSavedIfGone();
    if (OnAction) OnAction(this, true, false);
    return true;
}

void Twavefile::SwitchMarks(TStack& from, TStack& to) {
    RememberView();
    to.Push(tempPath_, CurrentMarks());
    TVersionMarks marks;
    from.Pop(&marks);
    markers_ = std::move(marks.marks);
    markStep_ = marks.step;
    UpdateModified();
    JournalStep();
    if (OnAction) OnAction(this, !undo_.IsEmpty(), !redo_.IsEmpty());
}

QString Twavefile::StateKey(const QString& path, const TVersionMarks& marks) {
    return marks.step == 0 ? path : path + '#' + QString::number(marks.step);
}

TStack::TInUse Twavefile::InUse() const {
    return [this](const QString& path) {
        return path == tempPath_ || undo_.Items().contains(path) || redo_.Items().contains(path);
    };
}

TTags Twavefile::TagsWithMarkers(TRange r) const {
    TTags tags = tags_;
    tags.markers = MarkersInRange(markers_, r.start, r.end);
    tags.markerRate = sampleRate_;
    tags.markerFrames = r.end - r.start;
    return tags;
}
