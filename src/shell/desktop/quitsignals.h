#pragma once
// SIGTERM, SIGINT and SIGHUP as ordinary events: a handler that only writes to a pipe, and a
// notifier that runs `quit` on the user-interface thread. A terminated program thus still
// discards its temporary version files and writes its settings. Install once, before the sound
// library starts (which would otherwise take these signals for itself).

#include <QObject>
#include <functional>

class QSocketNotifier;

class TQuitSignals : public QObject {
public:
    explicit TQuitSignals(std::function<void()> quit, QObject* parent = nullptr);
    ~TQuitSignals() override;

private:
    std::function<void()> quit_;
    QSocketNotifier* notifier_ = nullptr;
};
