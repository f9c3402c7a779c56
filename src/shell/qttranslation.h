#pragma once
// Qt's own texts (the standard buttons of message boxes and button boxes, the file dialog) in
// the language the window speaks, from Qt's translations installed with the system.
//
// Thread: user-interface thread only.

#include <QString>
#include <cstdint>

// The ISO 639 code (with the country where Qt's files need one) of a Windows language
// identifier; empty for English and for languages not listed.
QString QtLanguageCode(uint16_t language);

// Replaces the Qt translation in use by that of language, and makes its locale the default for
// numbers; true when a translation was found and loaded.
bool UseQtTranslation(uint16_t language);
