#pragma once
// File names' extensions, one rule for the whole program: the extension is what follows the
// last dot of the file name (never a dot of a folder).

#include <QString>

// The extension with its dot ("x.WAV" gives ".WAV"); empty without one.
QString ExtensionOf(const QString& name);
// The extension lower-cased, without the dot ("x.WAV" gives "wav").
QString LowerSuffix(const QString& name);
// `name` with its extension replaced by `suffix` (given without the dot), or with it added.
QString ChangeFileExt(const QString& name, const QString& suffix);
