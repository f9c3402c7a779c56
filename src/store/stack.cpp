#include "stack.h"

#include <QFile>

void TStack::Clear() {
    for (const QString& path : list_) QFile::remove(path);
    list_.clear();
}
