#pragma once

#include "Foundation/AtomicFile.h"
#include "Support/AwaitableMainQueue.h"
#include "Support/TemporaryHome.h"
#include "Vigilor/GdmBanner/GVariantText.h"
#include "Vigilor/GdmBanner/GdmBanner.h"
#include "Vigilor/GdmBanner/LockScreenMessageState.h"

#include <filesystem>
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
