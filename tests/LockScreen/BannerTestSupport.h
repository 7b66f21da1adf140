#pragma once

#include "Foundation/AtomicFile.h"
#include "Foundation/DispatchQueue.h"
#include "Foundation/MainExecutor.h"
#include "Support/TemporaryHome.h"
#include "Vigilor/LockScreen/GVariantText.h"
#include "Vigilor/LockScreen/GdmBanner.h"
#include "Vigilor/LockScreen/LockScreenMessageState.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <string_view>

inline void PrintTo(const LockScreenMessageState& state, std::ostream* out) {
    switch (state.kind) {
    case LockScreenMessageState::Case::off:
        *out << "off";
        break;
    case LockScreenMessageState::Case::ours:
        *out << "ours";
        break;
    case LockScreenMessageState::Case::foreign:
        *out << "foreign(\"" << state.text << "\")";
        break;
    }
}

// A system root of the test's own: GDM's folders, its dconf profile and stub programs live below it.
class BannerRoot {
public:
    BannerRoot()
        : root_(home_.path() / "root")
        , layout_(GdmBanner::systemLayout(root_)) {}

    const std::filesystem::path& root() const { return root_; }
    const GdmBanner::Layout& layout() const { return layout_; }
    std::filesystem::path gdmFile(const std::string& name) const {
        return layout_.databaseDirectory() / name;
    }

    void write(const std::filesystem::path& path, std::string_view contents) const {
        if (!AtomicFile::write(path, contents, 0644))
            throw std::runtime_error("cannot write " + path.string());
    }
    // A program file, written completely before anything may run it.
    void writeProgram(const std::filesystem::path& path, std::string_view script) const {
        write(path, script);
        std::filesystem::permissions(path, std::filesystem::perms(0755));
    }
    // GDM's profile as upstream ships it, so that it reads the gdm database.
    void writeReadingProfile() const {
        write(layout_.profileCandidates.front(), "user-db:user\nsystem-db:gdm\nfile-db:/usr/share/gdm/x\n");
    }
    std::optional<std::string> read(const std::filesystem::path& path) const {
        return AtomicFile::read(path);
    }

private:
    TemporaryHome home_;
    std::filesystem::path root_;
    GdmBanner::Layout layout_;
};

// A keyfile that sets a banner, as an administrator would write it.
inline std::string bannerKeyfile(std::string_view text, std::string_view enable = "true") {
    return "[org/gnome/login-screen]\nbanner-message-enable=" + std::string(enable) +
           "\nbanner-message-text=" + GVariantText::quotedString(text) + "\n";
}

// The main queue for one test: work posted from any thread runs on the test's thread when the test
// waits for it, and a wait is always bounded.
class AwaitableMainQueue {
public:
    AwaitableMainQueue()
        : executor_(std::make_shared<Executor>()) {
        DispatchQueue::installMainExecutor(executor_);
    }
    ~AwaitableMainQueue() { DispatchQueue::installMainExecutor(nullptr); }
    AwaitableMainQueue(const AwaitableMainQueue&) = delete;
    AwaitableMainQueue& operator=(const AwaitableMainQueue&) = delete;

    // Runs posted work until `done` holds; false when it still does not after `limit`.
    bool runUntil(const std::function<bool()>& done,
                  std::chrono::milliseconds limit = std::chrono::seconds(10)) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (true) {
            runPending();
            if (done())
                return true;
            if (!executor_->waitForWork(deadline))
                return done();
        }
    }
    // Runs what is posted already, without waiting.
    void runPending() {
        while (auto work = executor_->take()) {
            work();
            ++ran_;
        }
    }
    // How many posted items have run.
    std::size_t ran() const { return ran_; }

private:
    class Executor final : public MainExecutor {
    public:
        void post(std::function<void()> work) override {
            {
                std::lock_guard lock(mutex_);
                items_.push_back(std::move(work));
            }
            arrived_.notify_all();
        }
        void postAfter(double, std::function<void()> work) override { post(std::move(work)); }

        std::function<void()> take() {
            std::lock_guard lock(mutex_);
            if (items_.empty())
                return {};
            auto work = std::move(items_.front());
            items_.pop_front();
            return work;
        }
        bool waitForWork(std::chrono::steady_clock::time_point deadline) {
            std::unique_lock lock(mutex_);
            return arrived_.wait_until(lock, deadline, [&] { return !items_.empty(); });
        }

    private:
        std::mutex mutex_;
        std::condition_variable arrived_;
        std::deque<std::function<void()>> items_;
    };

    std::shared_ptr<Executor> executor_;
    std::size_t ran_ = 0;
};
