#pragma once

#include <memory>

class CompanionPairingService;
class HttpClient;
class VigilorMonitor;

// What the whole process shares: the one monitor. Made on first use, on the main thread once the Qt
// application exists, and kept until the process ends (its threads end at the quit).
class AppServices {
public:
    static AppServices& shared();
    AppServices(const AppServices&) = delete;
    AppServices& operator=(const AppServices&) = delete;

    const std::shared_ptr<VigilorMonitor>& monitor() const { return monitor_; }
    // A new phone pairing service for each pairing the settings start; the caller keeps it.
    std::shared_ptr<CompanionPairingService> makePairingService() const;
    // At the process's quit, once the event loop has ended: the monitor's threads end, then the HTTP
    // client's, whose requests still in flight are abandoned rather than waited for.
    void shutdown();

private:
    AppServices();

    std::shared_ptr<VigilorMonitor> monitor_;
    std::shared_ptr<HttpClient> http_; // the monitor's, the process's one HTTP client
};
