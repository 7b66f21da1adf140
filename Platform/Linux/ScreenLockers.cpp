#include "ScreenLockers.h"

#include "Foundation/ChildProcess.h"

#include <algorithm>

bool ScreenLockers::any() const {
    return logindSession || xscreensaverRuns || xdgScreensaverCounts() ||
           std::ranges::any_of(screenSaverRuns, [](bool runs) { return runs; });
}

bool ScreenLockers::sameRunningAs(const ScreenLockers& other) const {
    return logindSession == other.logindSession && screenSaverRuns == other.screenSaverRuns &&
           xscreensaverRuns == other.xscreensaverRuns;
}

std::vector<LockMethod> lockMethodsToTry(const ScreenLockers& lockers) {
    using Kind = LockMethod::Kind;
    std::vector<LockMethod> methods;
    if (lockers.logindSession)
        methods.push_back({Kind::logind});
    for (std::size_t i = 0; i < screenSaverServices.size(); ++i)
        if (lockers.screenSaverRuns[i])
            methods.push_back({Kind::screenSaverService, i});
    if (lockers.xscreensaverRuns)
        methods.push_back({Kind::xscreensaver});
    if (lockers.xdgScreensaverCounts())
        methods.push_back({Kind::xdgScreensaver});
    return methods;
}

std::string lockMethodName(const LockMethod& method) {
    switch (method.kind) {
    case LockMethod::Kind::logind:
        return "logind";
    case LockMethod::Kind::screenSaverService:
        return screenSaverServices.at(method.service).name;
    case LockMethod::Kind::xscreensaver:
        return "xscreensaver";
    case LockMethod::Kind::xdgScreensaver:
        break;
    }
    return "xdg-screensaver";
}

std::optional<std::string> runLockCommand(const std::string& executable, const std::vector<std::string>& arguments) {
    constexpr double timeoutSeconds = 5;
    const ChildProcessResult result = ChildProcess::run(executable, arguments, timeoutSeconds);
    if (!result.launched)
        return result.launchError;
    if (result.timedOut)
        return std::nullopt;
    if (result.terminationSignal != 0)
        return "ended by signal " + std::to_string(result.terminationSignal);
    if (result.exitStatus != 0)
        return "exit " + std::to_string(result.exitStatus);
    return std::nullopt;
}
