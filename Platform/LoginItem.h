#pragma once

#include <filesystem>
#include <optional>
#include <string>

// The registration of the application as a program started at login.
class LoginItem {
public:
    // Values as the settings window's status words expect them.
    enum class Status { notRegistered = 0, enabled = 1, requiresApproval = 2, notFound = 3 };

    virtual ~LoginItem() = default;
    virtual Status status() = 0;
    // Nothing on success, else a description of the failure for the user.
    virtual std::optional<std::string> registerItem() = 0;
    virtual std::optional<std::string> unregisterItem() = 0;
    // The program that would be started: the running executable.
    virtual std::filesystem::path applicationPath() = 0;
};
