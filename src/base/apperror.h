#pragma once
// Errors raised by the engine. Every failure is an exception carrying the message the user sees.

#include <stdexcept>
#include <string>

// The general error: its what() is the text shown to the user.
class EAppError : public std::runtime_error {
public:
    explicit EAppError(const std::string& message) : std::runtime_error(message) {}
};

// A failed system call: carries errno and reads "System Error.  Code: %d." + line break + text.
class EOSError : public EAppError {
public:
    explicit EOSError(int code);
    EOSError(int code, const std::string& context);
    int code() const { return code_; }

private:
    int code_;
};

// Ends a worker job without a message and without counting as a failure.
class EAbort : public EAppError {
public:
    EAbort() : EAppError("Operation aborted") {}
};

// The text of an OS error as the user sees it; "A call to an OS function failed" when code is 0.
std::string OSErrorText(int code);

// Raises EOSError for the current errno.
[[noreturn]] void RaiseLastOSError();
