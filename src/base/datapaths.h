#pragma once
// Where the program's data lives: languages, help and other files shipped beside the program.
//
// The program data folder is share/orvane found relative to the executable (<exe dir>/../share/
// orvane), so an install prefix and the Debian package work alike. A program run from its build
// tree uses the source tree's data/ folder instead, which has the same layout. The user's own
// folder ($XDG_DATA_HOME/orvane) comes last, so a user can add a language without root.
// Any thread; every call reads the environment and the file system afresh.

#include <QString>
#include <QStringList>

// The folder of the running executable (from QCoreApplication when one exists, else /proc).
QString ExecutableFolder();

// The program's own data folder (installed or build tree), or an empty string when neither exists.
QString ProgramDataFolder();

// $XDG_DATA_HOME/orvane (~/.local/share/orvane by default); it need not exist.
QString UserDataFolder();

// Every existing data folder: the program's first, then the user's.
QStringList DataFolders();

// Every existing folder that may hold "*.lng" language files, in the order they are scanned:
// the program's languages/ folder, then the user's.
QStringList LanguageFolders();

// The user's language folder ($XDG_DATA_HOME/orvane/languages); it need not exist.
QString UserLanguageFolder();

// The first existing file relative (e.g. "help/index.html") in DataFolders(), or empty.
QString FindDataFile(const QString& relative);
