#pragma once
// The one cross-thread hand-over: runs a callable on the user-interface thread and waits for it.
// Called from the user-interface thread itself (or with no application object) it runs directly.
// An exception thrown by the callable is raised again in the caller.

#include <functional>

void RunOnUiThread(const std::function<void()>& fn);

// True on the thread that owns the application object (or when there is none).
bool IsUiThread();

#include <memory>

// A hand-over from one worker thread to the user-interface thread that the user-interface
// thread can also complete on its own while it waits for that worker to end. A plain blocking
// hand-over would deadlock there: the worker waits for the call, the user-interface thread waits
// for the worker. Each object serves one worker thread.
class TUiHandover {
public:
    TUiHandover();
    ~TUiHandover();
    TUiHandover(const TUiHandover&) = delete;
    TUiHandover& operator=(const TUiHandover&) = delete;

    // Worker side: runs fn on the user-interface thread and waits for it (directly when already
    // there). An exception thrown by fn is raised again here.
    void Run(const std::function<void()>& fn);

    // User-interface side: runs the pending hand-over, if any, now. Returns whether one ran.
    bool Service();

    // User-interface side: serves hand-overs until done() is true. done() is tested after each
    // hand-over and after each Wake(); the worker calls Wake() when it ends.
    void ServiceUntil(const std::function<bool()>& done);

    // Any thread: makes ServiceUntil test its condition again.
    void Wake();

private:
    struct TState;
    std::shared_ptr<TState> state_;
};
