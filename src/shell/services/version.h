#pragma once
// The program's own version text: the build's project version in four dot-separated fields
// (for example "0.2.0.0"), as the about box shows it and the update check compares it.

#include <QString>

// The version this program was built as; "n/a" when the build gave none.
QString OwnVersion();

// A dotted version of one to four fields padded with ".0" to four fields; "n/a" for an empty
// text. Fields beyond the fourth are kept as they are.
QString FourFieldVersion(const QString& version);
