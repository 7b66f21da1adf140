#pragma once

#include "Foundation/Executor.h"

// What runs the main queue. The application installs one backed by its event loop; tests install a
// manual run loop on a virtual clock. Core code never sees this: it posts to DispatchQueue::main().
//
// Both calls may come from any thread; the work always runs on the main thread, in the order posted
// among items that become due at the same time. Work still pending when the executor is destroyed is
// dropped without running.
class MainExecutor : public Executor {};
