#include "quitsignals.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <csignal>
#include <cstdlib>

namespace {

int gPipe[2] = {-1, -1};

void OnSignal(int) {
    const char byte = 1;
    // Async-signal-safe: one write, its result deliberately unused.
    [[maybe_unused]] const ssize_t n = ::write(gPipe[0], &byte, 1);
}

}  // namespace

TQuitSignals::TQuitSignals(std::function<void()> quit, QObject* parent)
    : QObject(parent), quit_(std::move(quit)) {
    // The sound library leaves signals it finds handled alone; say so explicitly as well.
    ::setenv("SDL_NO_SIGNAL_HANDLERS", "1", 1);
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, gPipe) != 0) return;
    notifier_ = new QSocketNotifier(gPipe[1], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] {
        char buffer[16];
        while (::read(gPipe[1], buffer, sizeof buffer) > 0) {
        }
        if (quit_) quit_();
    });
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) ::sigaction(sig, &action, nullptr);
}

TQuitSignals::~TQuitSignals() {
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) std::signal(sig, SIG_DFL);
    delete notifier_;
    for (int& fd : gPipe) {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
}
