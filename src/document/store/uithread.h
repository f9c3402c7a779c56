#pragma once
// The one cross-thread hand-over: runs a callable on the user-interface thread and waits for it.
// Called from the user-interface thread itself (or with no application object) it runs directly.
// An exception thrown by the callable is raised again in the caller.

#include <functional>

void RunOnUiThread(const std::function<void()>& fn);

// True on the thread that owns the application object (or when there is none).
bool IsUiThread();
