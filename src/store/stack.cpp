#include "stack.h"

#include "versionfiles.h"

void TStack::Clear() {
    for (const QString& path : list_) RemoveVersionFile(path);
    list_.clear();
}
