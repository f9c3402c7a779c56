#pragma once
// TStack: paths of version files that are not current, most recent on top (index 0).
// Clear deletes the named files with their peak files; destroying the stack leaves them on disk.

#include <QStringList>
#include <utility>

class TStack {
public:
    void Push(const QString& path) { list_.prepend(path); }
    // The top entry, removed; an empty string when the stack is empty.
    QString Pop() { return list_.isEmpty() ? QString() : list_.takeFirst(); }
    bool IsEmpty() const { return list_.isEmpty(); }
    // Deletes every named version file and its peak file from the top down (failures ignored),
    // then empties the list.
    void Clear();
    const QStringList& Items() const { return list_; }
    // Empties the list without touching the files and returns it.
    QStringList Take() { return std::exchange(list_, {}); }
    // Replaces the list by `items` (top first); no file is touched.
    void Restore(QStringList items) { list_ = std::move(items); }
    // Deletes the `count` bottom (oldest) entries' files; returns how many went.
    int DropOldest(int count);

private:
    QStringList list_;
};
