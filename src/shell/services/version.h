#pragma once
// The program's own version text: the build's project version as released (for example
// "0.2.0", the same text as `orvane --version` and the package), shown by the about box; the
// update check compares it padded to four fields.

#include <QString>

// The version this program was built as; "n/a" when the build gave none.
QString OwnVersion();

// A dotted version of one to four fields padded with ".0" to four fields; "n/a" for an empty
// text. Fields beyond the fourth are kept as they are.
QString FourFieldVersion(const QString& version);
