#include "shelltexts.h"

#include "messages.h"
#include "settings.h"

QString MsgText(const char* key) {
    return QString::fromStdString(Msg(key));
}
