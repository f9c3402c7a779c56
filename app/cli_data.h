#pragma once
// orvane-cli --data-folders: where this copy of the program finds its data (the program's data
// folder, the user's, each language file and the help manual), so an installation, a relocated
// prefix or the build tree can be checked from a terminal or a script.

#include <string>

// One "what: where" line per item; "(none)" where nothing was found.
std::string DataFoldersReport();
