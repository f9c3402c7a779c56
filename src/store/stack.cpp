#include "stack.h"

#include "versionfiles.h"

QString TStack::Pop(TVersionMarks* marks) {
    if (list_.isEmpty()) return {};
    if (marks) *marks = std::move(marks_.front());
    marks_.erase(marks_.begin());
    return list_.takeFirst();
}

void TStack::Clear(const TInUse& inUse) {
    for (qsizetype i = 0; i < list_.size(); ++i) {
        const QString& path = list_[i];
        // A path named twice goes once.
        if (list_.indexOf(path) != i || (inUse && inUse(path))) continue;
        RemoveVersionFile(path);
    }
    list_.clear();
    marks_.clear();
}

void TStack::Restore(QStringList items, std::vector<TVersionMarks> marks) {
    list_ = std::move(items);
    marks_ = std::move(marks);
    marks_.resize(size_t(list_.size()));
}

int TStack::DropOldest(int count, const TInUse& inUse) {
    int dropped = 0;
    while (dropped < count && !list_.isEmpty()) {
        const QString path = list_.takeLast();
        marks_.pop_back();
        if (!list_.contains(path) && !(inUse && inUse(path))) RemoveVersionFile(path);
        ++dropped;
    }
    return dropped;
}
