#include "uithread.h"

#include <QCoreApplication>
#include <QThread>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <utility>

bool IsUiThread() {
    QCoreApplication* app = QCoreApplication::instance();
    return !app || QThread::currentThread() == app->thread();
}

void RunOnUiThread(const std::function<void()>& fn) {
    if (IsUiThread()) {
        fn();
        return;
    }
    std::exception_ptr error;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [&] {
            try {
                fn();
            } catch (...) {
                error = std::current_exception();
            }
        },
        Qt::BlockingQueuedConnection);
    if (error) std::rethrow_exception(error);
}

struct TUiHandover::TState {
    std::mutex mutex;
    std::condition_variable changed;
    const std::function<void()>* pending = nullptr;
    bool done = false;
    std::exception_ptr error;

    bool Serve() {
        std::unique_lock lock(mutex);
        if (!pending) return false;
        const std::function<void()>* fn = std::exchange(pending, nullptr);
        lock.unlock();
        std::exception_ptr failure;
        try {
            (*fn)();
        } catch (...) {
            failure = std::current_exception();
        }
        lock.lock();
        error = failure;
        done = true;
        changed.notify_all();
        return true;
    }
};

TUiHandover::TUiHandover() : state_(std::make_shared<TState>()) {}

TUiHandover::~TUiHandover() = default;

void TUiHandover::Run(const std::function<void()>& fn) {
    if (IsUiThread()) {
        fn();
        return;
    }
    {
        std::lock_guard lock(state_->mutex);
        state_->pending = &fn;
        state_->done = false;
        state_->error = nullptr;
        state_->changed.notify_all();
    }
    // The queued call may arrive after ServiceUntil has already run the hand-over, or after this
    // object is gone; it then finds nothing pending in the state it keeps alive.
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [state = state_] { state->Serve(); }, Qt::QueuedConnection);
    std::unique_lock lock(state_->mutex);
    state_->changed.wait(lock, [&] { return state_->done; });
    if (state_->error) std::rethrow_exception(std::exchange(state_->error, nullptr));
}

bool TUiHandover::Service() { return state_->Serve(); }

void TUiHandover::ServiceUntil(const std::function<bool()>& done) {
    for (;;) {
        while (state_->Serve()) {
        }
        std::unique_lock lock(state_->mutex);
        if (done()) return;
        state_->changed.wait(lock, [&] { return state_->pending != nullptr || done(); });
        if (!state_->pending) return;
    }
}

void TUiHandover::Wake() {
    std::lock_guard lock(state_->mutex);
    state_->changed.notify_all();
}
