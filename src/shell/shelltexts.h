#pragma once
// Texts of the desktop program that come from the message catalogue or the language manager.
// User-interface thread.

#include <QString>
#include <cstdint>

// The named message key in the active language.
QString MsgText(const char* key);

// The active language's identifier, as the settings store it.
int32_t ActiveLanguageId();

#include <memory>
class TLanguageController;
class Tfilterform;
class Tmpegsettings;
// The language controllers of the main window's own dialogs (mainform_texts.cpp).
std::unique_ptr<TLanguageController> MakeFilterFormTranslation(Tfilterform& form);
std::unique_ptr<TLanguageController> MakeMpegSettingsTranslation(Tmpegsettings& form);
