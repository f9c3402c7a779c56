#include "stack.h"

#include <QFile>

#include "fileio.h"

void TStack::Clear() {
    for (const QString& path : list_) FileIO().Unlink(QFile::encodeName(path).constData());
    list_.clear();
}
