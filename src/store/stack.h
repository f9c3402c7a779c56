#pragma once
// TStack: the versions of the sound that are not current, most recent on top (index 0): the
// path of each one's file with the markers it had. A marker step makes no new file, so a path
// can stand more than once (with different markers) in the history; whoever deletes files
// says which paths are still in use elsewhere.
// Clear deletes the named files with their peak files; destroying the stack leaves them on disk.

#include <QStringList>
#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

#include "markers.h"

// What a version has beside its sound: its markers, and the marker step that made them (0 for
// a version an edit made), so the step can be named.
struct TVersionMarks {
    TMarkerList marks;
    uint64_t step = 0;
};

class TStack {
public:
    using TInUse = std::function<bool(const QString& path)>;
    void Push(const QString& path, TVersionMarks marks = {}) {
        list_.prepend(path);
        marks_.insert(marks_.begin(), std::move(marks));
    }
    // The top entry, removed (its markers into `marks` when given); an empty string when the
    // stack is empty.
    QString Pop(TVersionMarks* marks = nullptr);
    bool IsEmpty() const { return list_.isEmpty(); }
    // Deletes every named version file and its peak file from the top down (failures ignored),
    // except those `inUse` names, then empties the list.
    void Clear(const TInUse& inUse = {});
    const QStringList& Items() const { return list_; }
    // The markers of each entry, top first, beside Items().
    const std::vector<TVersionMarks>& Marks() const { return marks_; }
    // Empties the stack without touching the files and returns what it held.
    TStack Take() { return std::exchange(*this, {}); }
    // Replaces the list by `items` (top first) with their markers (none where not given); no
    // file is touched.
    void Restore(QStringList items, std::vector<TVersionMarks> marks = {});
    // Deletes the `count` bottom (oldest) entries' files, except those still named above them
    // or in use elsewhere; returns how many entries went.
    int DropOldest(int count, const TInUse& inUse = {});

private:
    QStringList list_;
    std::vector<TVersionMarks> marks_;
};
