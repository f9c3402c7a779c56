#include "apperror.h"

#include <cerrno>
#include <cstring>

std::string OSErrorText(int code) {
    if (code == 0) return "A call to an OS function failed";
    char buf[256];
    return "System Error.  Code: " + std::to_string(code) + ".\n" +
           std::string(strerror_r(code, buf, sizeof buf));
}

EOSError::EOSError(int code) : EAppError(OSErrorText(code)), code_(code) {}

EOSError::EOSError(int code, const std::string& context)
    : EAppError(OSErrorText(code) + "\n" + context), code_(code) {}

void RaiseLastOSError() {
    throw EOSError(errno);
}
