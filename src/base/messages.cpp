#include "messages.h"

#include <array>
#include <mutex>
#include <shared_mutex>
#include <utility>

namespace {

// The product's web host shown after "avaliable at".
constexpr const char* kWebHost = "www.quillfen.example";

const std::array<std::pair<std::string_view, std::string_view>, 25> kCatalogue{{
    {"alreadyloaded", "This file already loaded"},
    {"amplifyname", "Amplify (%)"},
    {"amplifytitle", "Amplify"},
    {"amplitudestring", "Max. Amplitude:"},
    {"availablefrom", "avaliable at"},
    {"componentnotfound", "Component not found"},
    {"cursorpositionstring", "Cursor Position:"},
    {"downloadit", "Do you wan't to download it now ?"},
    {"durationstring", "Duration:"},
    {"existoverwrite", "This file already exists. Overwrite?"},
    {"formatstring", "Format:"},
    {"newversion", "There's a new version of this program"},
    {"normalname", "Normalization (%)"},
    {"normaltitle", "Normalization Settings"},
    {"operationinprogress", "Please wait. Operation in progress..."},
    {"outofmemory", "There is not enough memory or disk space to complete the operation."},
    {"pleaseinstall", "Please download and install it from our site."},
    {"savechanges", "Would you like to save changes?"},
    {"selectfolder", "Select a folder for temporary files:"},
    {"silencename", "Silence (ms)"},
    {"silencetitle", "Silence Duration"},
    {"streamerror", "Error opening encoding stream"},
    {"unableconnect", "Unable to connect to"},
    {"uptodate", "You already have the latest version of this program:"},
    {"writeerror", "Data write error!"},
}};

std::shared_mutex gLock;
std::function<std::string(std::string_view)> gTranslator;

}  // namespace

std::string BuiltinMessage(std::string_view key) {
    for (const auto& [k, text] : kCatalogue) {
        if (k == key) {
            if (k == "availablefrom") return std::string(text) + " " + kWebHost;
            return std::string(text);
        }
    }
    return {};
}

std::string Msg(std::string_view key) {
    {
        std::shared_lock lock(gLock);
        if (gTranslator) {
            std::string text = gTranslator(key);
            if (!text.empty()) return text;
        }
    }
    return BuiltinMessage(key);
}

void SetMessageTranslator(std::function<std::string(std::string_view)> translator) {
    std::unique_lock lock(gLock);
    gTranslator = std::move(translator);
}
