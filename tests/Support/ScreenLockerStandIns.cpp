#include "ScreenLockerStandIns.h"

#include <cerrno>
#include <chrono>
#include <fstream>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const std::filesystem::path scripts = VIGILOR_SCREEN_LOCKER_STAND_INS;

} // namespace

ScreenLockerStandIns::ScreenLockerStandIns(std::filesystem::path folder)
    : folder_(std::move(folder))
    , state_("SCREEN_LOCKER_STAND_INS", folder_.c_str()) {
    std::filesystem::create_directories(folder_);
    ::mkfifo((folder_ / "events").c_str(), 0600);
}

DesktopSession::LockerCommands ScreenLockerStandIns::commands(bool xscreensaver, bool xdgScreensaver) const {
    DesktopSession::LockerCommands commands = noLockerCommands();
    if (xscreensaver)
        commands.xscreensaver = scripts / "xscreensaver-command";
    if (xdgScreensaver)
        commands.xdgScreensaver = scripts / "xdg-screensaver";
    return commands;
}

void ScreenLockerStandIns::runXScreenSaver() const {
    std::ofstream{folder_ / "running"};
}

// The watch may still be starting: the pipe takes a line once it has a reader.
bool ScreenLockerStandIns::xscreensaverSays(const std::string& line) const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    int pipe = -1;
    while ((pipe = ::open((folder_ / "events").c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC)) < 0) {
        if (errno != ENXIO || std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    const std::string text = line + "\n";
    const bool written = ::write(pipe, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ::close(pipe);
    return written;
}

std::vector<std::string> ScreenLockerStandIns::calls(const std::string& command) const {
    std::vector<std::string> lines;
    std::ifstream file(folder_ / (command + ".calls"));
    for (std::string line; std::getline(file, line);)
        lines.push_back(line);
    return lines;
}

std::string ScreenLockerStandIns::screenSaverTemplate() {
    return scripts / "screensaver.py";
}
