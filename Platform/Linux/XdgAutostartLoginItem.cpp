#include "XdgAutostartLoginItem.h"

#include "Foundation/AtomicFile.h"
#include "Foundation/Paths.h"
#include "Foundation/Text.h"

#include <cerrno>
#include <map>
#include <string_view>
#include <system_error>

namespace {

// Marks the entries this class wrote, so that an entry left by another copy of the program is still
// recognised as ours while one written by someone else is not.
constexpr std::string_view ownerKey = "X-Zorvi-LoginItem";
constexpr std::string_view reservedInExec = " \t\n\r\"'\\><~|&;$*?#()`";

using Keys = std::map<std::string, std::string, std::less<>>;

// The keys of the [Desktop Entry] group; other groups (actions) and comments do not matter here.
Keys desktopEntryKeys(std::string_view text) {
    Keys keys;
    bool inMainGroup = false;
    while (!text.empty()) {
        const auto end = text.find('\n');
        const std::string line(trimmed(text.substr(0, end)));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (line.starts_with('['))
            inMainGroup = line == "[Desktop Entry]";
        else if (const auto equals = line.find('=');
                 inMainGroup && !line.starts_with('#') && equals != 0 && equals != std::string::npos)
            keys.try_emplace(std::string(trimmed(line.substr(0, equals))), trimmed(line.substr(equals + 1)));
    }
    return keys;
}

bool hasValue(const Keys& keys, std::string_view key, std::string_view value) {
    const auto found = keys.find(key);
    return found != keys.end() && found->second == value;
}

// Escapes of the Desktop Entry "string" type, which apply to the whole value before Exec quoting.
std::string unescapeString(std::string_view value) {
    static const std::map<char, char> escapes{
        {'s', ' '}, {'n', '\n'}, {'t', '\t'}, {'r', '\r'}, {'\\', '\\'}};
    std::string result;
    for (size_t i = 0; i < value.size(); ++i) {
        const auto escape =
            i + 1 < value.size() && value[i] == '\\' ? escapes.find(value[i + 1]) : escapes.end();
        result += escape == escapes.end() ? value[i] : escape->second;
        i += escape == escapes.end() ? 0 : 1;
    }
    return result;
}

std::string escapeString(std::string_view value) {
    static const std::map<char, std::string_view> escapes{
        {'\\', "\\\\"}, {'\n', "\\n"}, {'\t', "\\t"}, {'\r', "\\r"}};
    std::string result;
    for (const char c : value) {
        const auto escape = escapes.find(c);
        result += escape == escapes.end() ? std::string(1, c) : std::string(escape->second);
    }
    return result;
}

// One Exec argument: "%" doubled (it starts field codes), and double-quoted when it holds a reserved
// character, with the four characters that stay special inside quotes escaped.
std::string quoteExecArgument(std::string_view argument) {
    const bool needsQuotes = argument.find_first_of(reservedInExec) != std::string_view::npos;
    std::string result = needsQuotes ? "\"" : "";
    for (const char c : argument) {
        if (needsQuotes && std::string_view("\"`$\\").find(c) != std::string_view::npos)
            result += '\\';
        result += c == '%' ? "%%" : std::string(1, c);
    }
    return needsQuotes ? result + '"' : result;
}

bool namesExecutable(const Keys& keys, const std::filesystem::path& executable) {
    const auto exec = keys.find("Exec");
    if (exec == keys.end() || executable.empty())
        return false;
    const std::filesystem::path program = XdgAutostartLoginItem::execProgram(exec->second);
    if (program == executable)
        return true;
    // A link to the same file (an installed name for a build) starts the same program.
    std::error_code error;
    return program.is_absolute() && std::filesystem::equivalent(program, executable, error);
}

bool isOurs(const Keys& keys, const std::filesystem::path& executable) {
    return hasValue(keys, ownerKey, "true") || namesExecutable(keys, executable);
}

std::string failure(const std::filesystem::path& path, int error) {
    return path.string() + ": " + std::generic_category().message(error);
}

// Nothing when there is no entry; an unreadable entry (a named pipe, one longer than any desktop entry
// written by hand, ...) counts as someone else's.
std::optional<Keys> readEntry() {
    constexpr uintmax_t largestEntry = 64 << 10;
    std::error_code error;
    if (!std::filesystem::exists(std::filesystem::symlink_status(XdgAutostartLoginItem::entryPath(), error)))
        return std::nullopt;
    return desktopEntryKeys(AtomicFile::read(XdgAutostartLoginItem::entryPath(), largestEntry).value_or(""));
}

std::filesystem::path runningExecutable() {
    std::error_code error;
    return std::filesystem::read_symlink("/proc/self/exe", error);
}

} // namespace

XdgAutostartLoginItem::XdgAutostartLoginItem()
    : XdgAutostartLoginItem(runningExecutable()) {
}

XdgAutostartLoginItem::XdgAutostartLoginItem(std::filesystem::path executable)
    : executable_(std::move(executable)) {
}

std::filesystem::path XdgAutostartLoginItem::entryPath() {
    return Paths::configHome() / "autostart" / (std::string(desktopEntryName) + ".desktop");
}

LoginItem::Status XdgAutostartLoginItem::status() {
    if (!executableAvailable())
        return Status::notFound;
    const auto keys = readEntry();
    if (!keys || !isOurs(*keys, executable_))
        return Status::notRegistered;
    if (hasValue(*keys, "Hidden", "true") || hasValue(*keys, "X-GNOME-Autostart-enabled", "false"))
        return Status::requiresApproval;
    return namesExecutable(*keys, executable_) ? Status::enabled : Status::notRegistered;
}

std::optional<std::string> XdgAutostartLoginItem::registerItem() {
    if (!executableAvailable())
        return failure(executable_, ENOENT);
    if (const auto keys = readEntry(); keys && !isOurs(*keys, executable_))
        return entryPath().string() + " belongs to another program and was left as it is";
    std::error_code error;
    std::filesystem::create_directories(entryPath().parent_path(), error);
    if (error)
        return entryPath().parent_path().string() + ": " + error.message();
    // AtomicFile reports only success; the failing system call leaves its reason in errno.
    errno = 0;
    if (!AtomicFile::write(entryPath(), entryContents(executable_), 0644))
        return failure(entryPath(), errno != 0 ? errno : EIO);
    return std::nullopt;
}

std::optional<std::string> XdgAutostartLoginItem::unregisterItem() {
    // No entry, or only someone else's: nothing of ours starts at login, which is what was asked.
    if (const auto keys = readEntry(); !keys || !isOurs(*keys, executable_))
        return std::nullopt;
    std::error_code error;
    if (!std::filesystem::remove(entryPath(), error) && error &&
        error != std::errc::no_such_file_or_directory)
        return entryPath().string() + ": " + error.message();
    return std::nullopt;
}

std::string XdgAutostartLoginItem::entryContents(const std::filesystem::path& executable) {
    // NoDisplay stays false: session settings (GNOME's Startup Applications among them) list only
    // displayed entries, and the user must be able to find the entry there to switch it off.
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Version=1.4\n"
           "Name=Zorvi\n"
           "Comment=Starts Zorvi when you log in\n"
           "Exec=" +
           escapeString(quoteExecArgument(executable.string())) +
           "\n"
           "Terminal=false\n"
           // The icon the program installs into the icon theme, as its applications entry names it.
           "Icon=zorvi\n"
           "NoDisplay=false\n"
           "X-GNOME-Autostart-enabled=true\n" +
           std::string(ownerKey) + "=true\n";
}

std::string XdgAutostartLoginItem::execProgram(const std::string& execValue) {
    const std::string value = unescapeString(execValue);
    std::string program;
    bool quoted = false;
    size_t i = value.find_first_not_of(" \t");
    for (; i < value.size() && (quoted || (value[i] != ' ' && value[i] != '\t')); ++i) {
        const char next = i + 1 < value.size() ? value[i + 1] : '\0';
        if (value[i] == '"') {
            quoted = !quoted;
        } else if ((quoted && value[i] == '\\' &&
                    std::string_view("\"`$\\").find(next) != std::string_view::npos) ||
                   (value[i] == '%' && next == '%')) {
            program += next;
            ++i;
        } else {
            program += value[i];
        }
    }
    return program;
}

bool XdgAutostartLoginItem::executableAvailable() const {
    // The kernel marks the link of a running program whose file was deleted or replaced.
    constexpr std::string_view deleted = " (deleted)";
    std::error_code error;
    return !executable_.empty() && !executable_.string().ends_with(deleted) &&
           std::filesystem::is_regular_file(executable_, error);
}
