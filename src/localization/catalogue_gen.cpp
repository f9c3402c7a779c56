// Build tool: turns the list of named messages (key, tab, English text) into the binary
// catalogue the program carries as its "LANG_CONSTS" resource.
// Usage: orvane_catalogue_gen LIST OUTPUT
#include <QFile>
#include <QSaveFile>
#include <QString>
#include <cstdio>

#include "apperror.h"
#include "catalogue.h"
#include "languagefile.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s LIST OUTPUT\n", argv[0]);
        return 2;
    }
    try {
        QFile list(QString::fromLocal8Bit(argv[1]));
        if (!list.open(QIODevice::ReadOnly)) throw EAppError("cannot read " + std::string(argv[1]));
        std::vector<TCatalogueEntry> entries;
        int lineNumber = 0;
        while (!list.atEnd()) {
            ++lineNumber;
            const QString line = QString::fromUtf8(list.readLine()).trimmed();
            if (line.isEmpty() || line.startsWith('#')) continue;
            const qsizetype tab = line.indexOf('\t');
            const QString key = line.left(tab);
            if (tab < 0 || !IsValidMessageKey(key))
                throw EAppError("line " + std::to_string(lineNumber) + ": not key<TAB>text");
            for (const TCatalogueEntry& e : entries)
                if (e.key.compare(key, Qt::CaseInsensitive) == 0)
                    throw EAppError("line " + std::to_string(lineNumber) + ": duplicate key " +
                                    key.toStdString());
            entries.push_back({key, UnescapeValue(line.mid(tab + 1).trimmed())});
        }
        QSaveFile out(QString::fromLocal8Bit(argv[2]));
        if (!out.open(QIODevice::WriteOnly) || out.write(WriteCatalogue(entries)) < 0 ||
            !out.commit())
            throw EAppError("cannot write " + std::string(argv[2]));
    } catch (const EAppError& e) {
        std::fprintf(stderr, "%s: %s\n", argv[1], e.what());
        return 1;
    }
    return 0;
}
