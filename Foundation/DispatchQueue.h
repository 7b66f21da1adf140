#pragma once

#include "Foundation/MainExecutor.h"

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

// A queue that runs work one item at a time, in order.
//
// `DispatchQueue::main()` is the main thread's queue: it hands work to the installed MainExecutor
// (the Qt event loop in the application, a ManualRunLoop in tests).
//
// A named queue, `DispatchQueue("Vigilor.video")`, owns one worker thread, started by the first work
// given to it (so a queue that is never used costs no thread) and named after the label (its first
// 15 characters, as the system shows thread names). Delayed work on it is
// measured in real (steady) time, because these queues serve real background work. Destroying a
// named queue runs every item that is already due, drops delayed items that are not, and joins the
// worker. A named queue may be destroyed by its own work (the last owner released there): then the
// worker finishes that item and exits without running anything else. `shutdown()` ends a named queue
// in the same way while the object stays, so that its owner can end the thread at a time of its
// choosing (the process's quit) and keep the object for callers that still hold it.
class DispatchQueue {
public:
    explicit DispatchQueue(std::string label);
    ~DispatchQueue();
    DispatchQueue(const DispatchQueue&) = delete;
    DispatchQueue& operator=(const DispatchQueue&) = delete;

    static DispatchQueue& main();
    // Called once by the application at start-up. Tests install their own run loop for one test and
    // pass nullptr afterwards. Posting to the main queue with nothing installed is a programming
    // error and aborts with a message.
    static void installMainExecutor(std::shared_ptr<MainExecutor> executor);

    const std::string& label() const { return label_; }

    // Empty work is ignored.
    void async(std::function<void()> work);
    // Runs `work` no earlier than `seconds` from now (negative or NaN counts as zero).
    void asyncAfter(double seconds, std::function<void()> work);
    // Runs `work` on this queue and returns once it has run (rethrowing what it threw). Called from
    // this queue's own work it runs `work` inline, where a real serial queue would deadlock. Not
    // available on the main queue (aborts): the main thread never waits on another queue, and no
    // other thread waits on the main thread either.
    void sync(const std::function<void()>& work);

    // Named queues only, called by the queue's owner: ends the queue as destroying it would (work already
    // due runs, delayed work is dropped, the worker is joined; from the queue's own work the worker ends
    // after that item). Work given afterwards is dropped, except that `sync` then runs it on the calling
    // thread, since no worker is left to run beside it.
    void shutdown();

private:
    struct Worker;
    struct MainTag {};
    explicit DispatchQueue(MainTag);
    Worker& startedWorker();

    std::string label_;
    std::shared_ptr<Worker> worker_; // empty for the main queue
    std::once_flag started_;
    std::thread thread_;
};
