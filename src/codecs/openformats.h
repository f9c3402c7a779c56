#pragma once
// The sound formats the editor offers to open, in one table: the open dialog's filter, the
// decoder's extension list and the desktop entry's MimeType line are all this list, so a file
// manager never offers Orvane for a file the dialog would hide, nor the other way round.
// (The decoder probes the content, not the name: these lists only decide what is offered.)
// Plain data, callable from any thread.

#include <QString>
#include <QStringList>
#include <vector>

struct TOpenFormat {
    QString name;            // the dialog's description of the format, e.g. "WAV Files"
    QStringList mimeTypes;   // every MIME name desktops use for it, canonical and aliases
    QStringList extensions;  // lower case, without the dot
};

// In the order the dialog lists them.
const std::vector<TOpenFormat>& OpenFormats();

// Every format's MIME types, in table order: the desktop entry's MimeType list.
QStringList OpenMimeTypes();

// Every format's extensions, in table order, lower case without the dot.
QStringList OpenExtensions();

// The open dialog's filter in Qt's form: "Supported Formats (*.wav *.mp3 ...)" first, then one
// entry per format, separated by ";;".
QString OpenDialogFilter();

// The patterns of one filter entry ("WAV Files (*.wav)" gives {"*.wav"}); empty when the entry
// has no parenthesised pattern list.
QStringList FilterPatterns(const QString& filterEntry);
