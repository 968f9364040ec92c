#pragma once

// The one way worker threads reach the user-interface thread.
//
// sendToUi() is the synchronous "application message": on the UI thread it
// calls the handler directly, from a worker it blocks until the UI thread has
// run it. Once shutdown has begun it returns at once without running anything,
// so a worker can never hang on a UI thread that is busy joining it.
// Rule: never call sendToUi() while holding a mutex that a UI handler takes.

#include <QObject>

#include <functional>

namespace UiBridge {

// Process-wide shutdown flag. Set once, never cleared.
void beginShutdown();
bool shuttingDown();
// Tests run several program lifetimes in one process. Never used by the program.
void resetShutdownForTesting();

// Must be called once on the UI thread, after the application object exists.
void install();

bool onUiThread();

// Thread contract: any thread, holding no locks. Returns false when skipped
// because shutdown has begun (or there is no application object).
bool sendToUi(const std::function<void()>& fn);

// Thread contract: any thread. Queued; order is kept per sending thread.
void postToUi(std::function<void()> fn);

// Receiver object living in the UI thread; used as the context of queued calls.
QObject* uiContext();

}  // namespace UiBridge
