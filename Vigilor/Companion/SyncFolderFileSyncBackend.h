#pragma once

#include "SettingsSyncBackend.h"

#include "Foundation/Timer.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>

// The envelope as the file "settings.json" in a sync folder that the user's own sync tool (Nextcloud,
// Syncthing ...) carries to his other computers. Sync is available while the folder exists: the user
// creates it, or links it into a folder his sync tool carries, whenever he likes. Writes replace the
// file atomically under an exclusive lock of the folder, so other processes on this computer never read
// half a file; changes from outside, and the folder coming or going, are found by comparing the file's
// stamp and the folder's presence every 6 s. The folder's lock is never waited for: while another
// program holds it, a read or write gives way (busy, false) and the next poll reports a change, so
// that its reader tries again.
class SyncFolderFileSyncBackend final : public SettingsSyncBackend,
                                        public std::enable_shared_from_this<SyncFolderFileSyncBackend> {
public:
    static constexpr double pollInterval = 6;
    // An envelope takes a few KiB.
    static constexpr uintmax_t largestFile = uintmax_t(1) << 20;

    // $XDG_DATA_HOME/zorvi/sync (~/.local/share/zorvi/sync).
    static std::filesystem::path defaultFolder();
    explicit SyncFolderFileSyncBackend(const std::filesystem::path& folder = defaultFolder());
    ~SyncFolderFileSyncBackend() override;

    std::string displayName() const override { return "Sync folder"; }
    std::string location() const override;
    bool isAvailable() const override;
    // A file that is there and cannot be read (no access, a folder, a named pipe, a link to nothing,
    // longer than largestFile) is unreadable, not absent.
    StoredSyncValue read() override;
    bool write(const std::string& data) override;
    // Holds the backend weakly.
    void startObserving(std::function<void()> onChange) override;
    void stopObserving() override;

    // The file's modification time in seconds since 1970 (shortest exact form, with a decimal point),
    // "|" and its size in bytes; nothing when it cannot be examined. Only compared for equality.
    static std::optional<std::string> stamp(const std::filesystem::path& file);

private:
    void poll();

    std::filesystem::path directory_;
    std::filesystem::path file_;
    std::shared_ptr<Timer> timer_;
    bool wasAvailable_ = false;
    std::optional<std::string> lastStamp_;
    bool lockMissed_ = false; // a read or write gave way to another program's lock since the last poll
    std::function<void()> onChange_;
};
