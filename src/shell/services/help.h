#pragma once
// The help launcher: the HTML manual installed with the program, opened in the user's browser.
//
// Thread: user-interface thread. Failures raise EAppError for the general error report.

#include <QString>
#include <cstdint>

// The manual's start page for the interface language `language` (a LANGID): help/<code>/
// index.html where a manual in that language exists (German "de", Russian "ru"), otherwise the
// English help/index.html, in the program's data folder (installed share/orvane/ or the build
// tree's data/). When there is none, the path where the installed manual belongs, so the failure
// can name it.
QString ManualPath(uint16_t language = 1033);

// Opens `path` in the browser, at the anchor `topic` when it is not empty. Raises EAppError
// "Unable to open help file <full path>" when the file is missing or no browser takes it.
void OpenHelp(const QString& path, const QString& topic = QString());
