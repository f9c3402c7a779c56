#pragma once
// Named user messages. The engine asks for texts by key; the built-in English catalogue answers
// until the language manager installs a translator.

#include <functional>
#include <string>
#include <string_view>

// The built-in English text for key, or an empty string for an unknown key.
std::string BuiltinMessage(std::string_view key);

// The text for key in the active language (falls back to the built-in English text).
std::string Msg(std::string_view key);

// Installs the lookup used by Msg; an empty function restores the built-in catalogue.
// Called once at start-up and on a language change, on the user-interface thread.
void SetMessageTranslator(std::function<std::string(std::string_view key)> translator);
