#pragma once
// The file named on the desktop program's command line. File managers start us with a local
// path (Exec=orvane %f), but a file:// URI also arrives from some launchers and from scripts,
// so both are accepted.

#include <QString>
#include <QStringList>

// The one argument as a local path when there is exactly one (arguments without the program
// name); empty for any other count, which opens nothing.
QString CommandLineFile(const QStringList& arguments);

// A file:// URI (percent-decoded; "localhost" as host means this machine) as its local path;
// anything else unchanged.
QString LocalPathFromArgument(const QString& argument);
