#pragma once

#include "Platform/LoginItem.h"

#include <filesystem>
#include <optional>
#include <string>

// The login item as the desktop sees it: an XDG autostart entry $XDG_CONFIG_HOME/autostart/zorvi.desktop
// whose Exec line starts the running executable. The desktop session, not this class, starts the
// program; we only write, read and remove the entry.
//
// Status, read from the entry each time so that changes made in the session settings show at once:
// - our executable is unknown or gone (replaced by an update, deleted) → notFound;
// - no entry, or an entry for another copy of the program (a moved or older build) → notRegistered,
//   so that turning the setting on points the entry at this copy;
// - an entry of ours that the user switched off in the session settings (Hidden=true or
//   X-GNOME-Autostart-enabled=false) → requiresApproval: we never overrule that switch, the user
//   turns it back on where they turned it off;
// - an entry whose Exec names this executable → enabled.
// An entry written by another program under the same name is never overwritten or removed.
class XdgAutostartLoginItem final : public LoginItem {
public:
    // The executable of the running process.
    XdgAutostartLoginItem();
    explicit XdgAutostartLoginItem(std::filesystem::path executable);

    Status status() override;
    std::optional<std::string> registerItem() override;
    std::optional<std::string> unregisterItem() override;
    std::filesystem::path applicationPath() override { return executable_; }

    // The name of the application's desktop entry, without ".desktop": the windows name it too.
    static constexpr const char* desktopEntryName = "zorvi";
    // $XDG_CONFIG_HOME/autostart/zorvi.desktop, read from the environment at every call.
    static std::filesystem::path entryPath();
    // The entry's text for `executable`.
    static std::string entryContents(const std::filesystem::path& executable);
    // The program an Exec value starts, after undoing the Desktop Entry escaping and quoting.
    static std::string execProgram(const std::string& execValue);

private:
    bool executableAvailable() const;

    std::filesystem::path executable_;
};
