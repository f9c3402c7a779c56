#pragma once
// Tools for translators, shared by both front ends: --messages [--language FILE.lng],
// --check-language FILE.lng and --write-language-template FILE. They read files exactly as the
// program does. Window texts are known for the windows registered with the language manager:
// the desktop program creates its windows first, orvane-cli has none and checks messages only.

#include <string>
#include <vector>

class TLanguageManager;

// True when args ask for one of the tools (then RunLanguageTool handles all of them).
bool IsLanguageToolRequest(const std::vector<std::string>& args);

// Runs the tool args ask for, printing to standard output (errors to standard error) and
// returning the exit status: 0 done, 1 the file cannot be loaded or written (or offers no
// language), 2 bad arguments.
int RunLanguageTool(const std::vector<std::string>& args, TLanguageManager& manager,
                    const char* program);

// The tools' lines for --help.
std::string LanguageUsage();
