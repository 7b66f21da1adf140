#pragma once

#include "Vigilor/GdmBanner/LockScreenMessageState.h"
#include "ZorviShared/ZorviWebSite.h"

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The login screen's message on Linux: the banner of GDM's greeter, which GDM reads from dconf as the
// keys "banner-message-enable" and "banner-message-text" of [org/gnome/login-screen]. Administrators
// set them in keyfiles; `dconf update` compiles a folder of keyfiles into the database GDM reads, and
// among the keyfiles of one folder the one whose name sorts last wins for each key.
//
// Ours is one keyfile of our own in GDM's folder that holds nothing but our signature text. What the
// user sees is judged from all the keyfiles GDM's banner can come from, so another administrator's
// banner is recognised as foreign and never overwritten, hidden or deleted.
namespace GdmBanner {

// The one message this product ever puts on the login screen, naming the product's site; the user
// cannot edit it.
inline constexpr auto signature =
    ZorviWebSite::joined("This computer locks itself \u00B7 ", ZorviWebSite::makerHost);
inline constexpr std::string_view signatureText(signature.data(), signature.size() - 1);
// The text earlier versions wrote into the same file: still ours to take away, and replaced by the
// signature when the message is turned on again.
inline constexpr auto earlierSignature =
    ZorviWebSite::joined("This Mac locks itself \u00B7 ", ZorviWebSite::makerHost);
inline constexpr std::string_view earlierSignatureText(earlierSignature.data(), earlierSignature.size() - 1);

inline constexpr std::string_view loginScreenGroup = "org/gnome/login-screen";
inline constexpr std::string_view enableKey = "banner-message-enable";
inline constexpr std::string_view textKey = "banner-message-text";

// Where the banner settings live.
struct Layout {
    // Keyfile folders, highest precedence first. The first is the system database GDM reads
    // (/etc/dconf/db/gdm.d) and holds our own file; the others are the greeter defaults that
    // distributions compile for GDM (Debian's include /etc/gdm3/greeter.dconf-defaults).
    std::vector<std::filesystem::path> keyfileDirectories;
    std::string ownFileName;
    // GDM's dconf profile "gdm": the first of these that exists is the one dconf uses.
    std::vector<std::filesystem::path> profileCandidates;
    std::filesystem::path dconfCommand;

    std::filesystem::path ownFile() const { return keyfileDirectories.front() / ownFileName; }
    std::filesystem::path databaseDirectory() const { return keyfileDirectories.front(); }
    // What `dconf update` compiles: the folder that holds the database folders.
    std::filesystem::path databaseRoot() const { return databaseDirectory().parent_path(); }
    // The database name that the profile must list ("gdm" for ".../gdm.d").
    std::string databaseName() const;
};

// The system's own paths, all below `root`: "/" for the real system, a temporary folder in tests.
Layout systemLayout(const std::filesystem::path& root = "/");

// group -> key -> the value as written (GVariant text). Comments, blank lines and lines outside a
// group are skipped; a key written twice keeps its last value.
using Keyfile = std::map<std::string, std::map<std::string, std::string, std::less<>>, std::less<>>;
Keyfile parseKeyfile(std::string_view contents);

// The contents of our own keyfile.
std::string ownKeyfileContents();
// Whether a banner text is one this product writes, now or in an earlier version.
bool isOurText(std::string_view text);
// Whether a keyfile holds exactly our banner and nothing else, so that deleting it loses nobody's
// setting.
bool holdsOnlyOurBanner(std::string_view contents);

// One banner key as it takes effect, and the file it comes from.
struct Setting {
    std::string value; // GVariant text
    std::filesystem::path source;
};
struct EffectiveBanner {
    std::optional<Setting> enable;
    std::optional<Setting> text;
};

// The banner keys as GDM would see them after `dconf update`. Missing or unreadable folders and files
// count as empty; hidden files and anything but regular files are skipped, as dconf does.
EffectiveBanner effectiveBanner(const Layout& layout);
// off: no text, or not enabled. ours: our signature text from our own file. foreign: anything else
// (a text that is not a readable string counts as foreign with its raw value, so we never hide it).
LockScreenMessageState stateOf(const EffectiveBanner& banner, const Layout& layout);
LockScreenMessageState currentState(const Layout& layout);

// Whether GDM reads the database our file goes into: its profile lists "system-db:<name>". Debian's
// stock profile does not, and then our file would never show, so writing it would be a lie.
bool profileReadsDatabase(const Layout& layout);
std::string profileMissingText(const Layout& layout);

} // namespace GdmBanner
