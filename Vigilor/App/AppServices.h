#pragma once

#include <memory>

class VigilorMonitor;

// What the whole process shares: the one monitor. Made on first use, on the main thread once the Qt
// application exists, and kept until the process ends.
class AppServices {
public:
    static AppServices& shared();
    AppServices(const AppServices&) = delete;
    AppServices& operator=(const AppServices&) = delete;

    const std::shared_ptr<VigilorMonitor>& monitor() const { return monitor_; }

private:
    AppServices();

    std::shared_ptr<VigilorMonitor> monitor_;
};
