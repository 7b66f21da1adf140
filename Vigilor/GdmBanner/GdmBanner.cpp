#include "GdmBanner.h"

#include "Foundation/AtomicFile.h"
#include "Foundation/Text.h"
#include "Vigilor/GdmBanner/GVariantText.h"

#include <algorithm>
#include <system_error>

namespace {

std::vector<std::string_view> lines(std::string_view contents) {
    std::vector<std::string_view> result;
    while (!contents.empty()) {
        const auto end = contents.find('\n');
        result.push_back(contents.substr(0, end));
        if (end == std::string_view::npos)
            break;
        contents.remove_prefix(end + 1);
    }
    return result;
}

// The files of one keyfile folder in the order dconf gives them precedence: names sorting last first.
std::vector<std::filesystem::path> keyfilesByPrecedence(const std::filesystem::path& directory) {
    std::vector<std::filesystem::path> files;
    std::error_code error;
    for (std::filesystem::directory_iterator it(directory, error), end; !error && it != end;
         it.increment(error)) {
        const std::filesystem::path& path = it->path();
        std::error_code statError;
        if (path.filename().string().starts_with(".") || !std::filesystem::is_regular_file(path, statError))
            continue;
        files.push_back(path);
    }
    std::sort(files.begin(), files.end(),
              [](const auto& a, const auto& b) { return a.filename().string() > b.filename().string(); });
    return files;
}

void takeIfUnset(std::optional<GdmBanner::Setting>& setting, const GdmBanner::Keyfile::mapped_type& group,
                 std::string_view key, const std::filesystem::path& source) {
    if (setting)
        return;
    if (const auto found = group.find(key); found != group.end())
        setting = GdmBanner::Setting{found->second, source};
}

} // namespace

namespace GdmBanner {

std::string Layout::databaseName() const {
    const std::string folder = databaseDirectory().filename().string();
    return folder.ends_with(".d") ? folder.substr(0, folder.size() - 2) : folder;
}

Layout systemLayout(const std::filesystem::path& root) {
    return Layout{
        {root / "etc/dconf/db/gdm.d", root / "usr/share/gdm/dconf"},
        "90-zorvi-banner",
        {root / "etc/dconf/profile/gdm", root / "usr/local/share/dconf/profile/gdm",
         root / "usr/share/dconf/profile/gdm"},
        root / "usr/bin/dconf",
    };
}

Keyfile parseKeyfile(std::string_view contents) {
    Keyfile keyfile;
    Keyfile::mapped_type* group = nullptr;
    for (const std::string_view rawLine : lines(contents)) {
        const std::string_view line = trimmed(rawLine);
        if (line.empty() || line.front() == '#')
            continue;
        if (line.front() == '[' && line.back() == ']') {
            group = &keyfile[std::string(line.substr(1, line.size() - 2))];
            continue;
        }
        const auto equals = line.find('=');
        if (group == nullptr || equals == std::string_view::npos)
            continue;
        (*group)[std::string(trimmed(line.substr(0, equals)))] =
            std::string(trimmed(line.substr(equals + 1)));
    }
    return keyfile;
}

std::string ownKeyfileContents() {
    std::string contents =
        "# Zorvi's lock screen message, written by vigilor-banner-helper. Turning the message off in\n"
        "# Zorvi deletes this file, but only while it holds nothing else than these settings.\n";
    contents += "[" + std::string(loginScreenGroup) + "]\n";
    contents += std::string(enableKey) + "=true\n";
    contents += std::string(textKey) + "=" + GVariantText::quotedString(signatureText) + "\n";
    return contents;
}

bool isOurText(std::string_view text) {
    return text == signatureText || text == earlierSignatureText;
}

bool holdsOnlyOurBanner(std::string_view contents) {
    const Keyfile keyfile = parseKeyfile(contents);
    if (keyfile.size() != 1 || keyfile.begin()->first != loginScreenGroup)
        return false;
    const auto& keys = keyfile.begin()->second;
    const auto enable = keys.find(enableKey);
    const auto text = keys.find(textKey);
    if (keys.size() != 2 || enable == keys.end() || text == keys.end() ||
        GVariantText::parseBoolean(enable->second) != true)
        return false;
    const auto parsed = GVariantText::parseString(text->second);
    return parsed && isOurText(*parsed);
}

EffectiveBanner effectiveBanner(const Layout& layout) {
    EffectiveBanner banner;
    for (const auto& directory : layout.keyfileDirectories) {
        for (const auto& file : keyfilesByPrecedence(directory)) {
            const auto contents = AtomicFile::read(file);
            if (!contents)
                continue;
            const Keyfile keyfile = parseKeyfile(*contents);
            const auto group = keyfile.find(loginScreenGroup);
            if (group == keyfile.end())
                continue;
            takeIfUnset(banner.enable, group->second, enableKey, file);
            takeIfUnset(banner.text, group->second, textKey, file);
        }
    }
    return banner;
}

LockScreenMessageState stateOf(const EffectiveBanner& banner, const Layout& layout) {
    if (!banner.text || !banner.enable || GVariantText::parseBoolean(banner.enable->value) != true)
        return LockScreenMessageState::off();
    const auto text = GVariantText::parseString(banner.text->value);
    if (!text)
        return LockScreenMessageState::foreign(banner.text->value);
    if (isOurText(*text) && banner.text->source == layout.ownFile())
        return LockScreenMessageState::ours();
    return LockScreenMessageState::foreign(*text);
}

LockScreenMessageState currentState(const Layout& layout) {
    return stateOf(effectiveBanner(layout), layout);
}

bool profileReadsDatabase(const Layout& layout) {
    const std::string wanted = "system-db:" + layout.databaseName();
    for (const auto& candidate : layout.profileCandidates) {
        std::error_code error;
        if (!std::filesystem::exists(candidate, error))
            continue;
        // dconf uses the first profile that exists, readable or not.
        const auto contents = AtomicFile::read(candidate);
        if (!contents)
            return false;
        for (const std::string_view line : lines(*contents))
            if (trimmed(line.substr(0, line.find('#'))) == wanted)
                return true;
        return false;
    }
    return false;
}

std::string profileMissingText(const Layout& layout) {
    return "GDM on this computer does not read " + layout.databaseDirectory().string() +
           ": its dconf profile needs the line \"system-db:" + layout.databaseName() + "\" (see " +
           layout.profileCandidates.front().string() + ").";
}

} // namespace GdmBanner
