#include "messages.h"

#include "languagemanager.h"

std::string Msg(std::string_view key) {
    return TLanguageManager::Instance()
        .MessageText(QString::fromUtf8(key.data(), static_cast<qsizetype>(key.size())))
        .toStdString();
}
