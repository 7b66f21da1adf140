#pragma once

#include "Fakes/CallLog.h"
#include "Platform/LoginItem.h"

#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// A login item held in memory. It answers the status a test sets, records every status read and every
// request in order, and behaves like the desktop's own: a successful register makes it enabled, a
// successful unregister makes it not registered, a failing request changes nothing.
class FakeLoginItem final : public LoginItem {
public:
    enum class Call { status, registerItem, unregisterItem };

    explicit FakeLoginItem(Status initial = Status::notRegistered,
                           std::filesystem::path application = "/usr/bin/vigilor")
        : status_(initial)
        , application_(std::move(application)) {}

    Status status() override {
        calls.push_back(Call::status);
        record(log, "loginItem.status");
        return status_;
    }
    std::optional<std::string> registerItem() override {
        calls.push_back(Call::registerItem);
        record(log, "loginItem.register");
        if (!registerFailure)
            status_ = Status::enabled;
        return registerFailure;
    }
    std::optional<std::string> unregisterItem() override {
        calls.push_back(Call::unregisterItem);
        record(log, "loginItem.unregister");
        if (!unregisterFailure)
            status_ = Status::notRegistered;
        return unregisterFailure;
    }
    std::filesystem::path applicationPath() override { return application_; }

    void setStatus(Status status) { status_ = status; }
    void setApplicationPath(std::filesystem::path application) { application_ = std::move(application); }

    // Set to make the next requests fail with this description.
    std::optional<std::string> registerFailure;
    std::optional<std::string> unregisterFailure;
    std::vector<Call> calls;
    CallLog* log = nullptr; // also records into a shared log when set

private:
    Status status_;
    std::filesystem::path application_;
};
