#pragma once
// Named user messages. The engine asks for texts by key; the answer is in the active interface
// language (the language manager's catalogue, languagemanager.h), English until one is chosen.

#include <string>
#include <string_view>

// The text for key in the active language, UTF-8. Any thread. Raises EAppError naming a key
// that is not in the catalogue.
std::string Msg(std::string_view key);
