// The update check's reply as the check reads it: at most kMaxReplyBytes, Latin-1, trimmed, then
// compared with a local version. Only our own "not a valid ..." errors may come out, and a reply
// that is a valid version is never newer than itself.
#include <QByteArray>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "apperror.h"
#include "updatecheck.h"
#include "version.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray body(reinterpret_cast<const char*>(data),
                          qsizetype(std::min<size_t>(size, TUpdateCheck::kMaxReplyBytes)));
    const QString remote = TrimVersionReply(QString::fromLatin1(body));
    for (const QString& local : {QStringLiteral("0.1.0.0"), OwnVersion(), remote}) {
        try {
            const bool newer = IsNewerVersion(remote, local);
            if (newer && local == remote) std::abort();
        } catch (const EAppError&) {
        }
    }
    (void)FourFieldVersion(remote);
    return 0;
}
