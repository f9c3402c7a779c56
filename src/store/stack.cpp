#include "stack.h"

#include "versionfiles.h"

void TStack::Clear() {
    for (const QString& path : list_) RemoveVersionFile(path);
    list_.clear();
}

int TStack::DropOldest(int count) {
    int dropped = 0;
    while (dropped < count && !list_.isEmpty()) {
        RemoveVersionFile(list_.takeLast());
        ++dropped;
    }
    return dropped;
}
