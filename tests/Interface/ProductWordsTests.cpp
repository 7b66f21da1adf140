// Every string literal of the product's sources, read outside comments: none calls the user's computer
// a Mac, or the tray a menu bar. The words peers and stored data read stay as they are.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Literal {
    std::string where; // file:line
    std::string text;  // as written in the source, escapes included
};

// The literals of C++ source, skipping comments, character literals and digit separators.
std::vector<Literal> literals(const std::string& file, const std::string& source) {
    std::vector<Literal> found;
    int line = 1;
    const auto advanceTo = [&](size_t& i, size_t end) {
        for (; i < end && i < source.size(); ++i)
            line += source[i] == '\n';
    };
    for (size_t i = 0; i < source.size();) {
        const std::string_view rest = std::string_view(source).substr(i);
        const bool wordBefore =
            i > 0 && (std::isalnum(static_cast<unsigned char>(source[i - 1])) || source[i - 1] == '_');
        if (rest.starts_with("//") || rest.starts_with("#include")) {
            advanceTo(i, source.find('\n', i));
        } else if (rest.starts_with("/*")) {
            advanceTo(i, source.find("*/", i) + 2);
        } else if (rest.starts_with("R\"") && !wordBefore) {
            const size_t open = source.find('(', i);
            const std::string close = ")" + source.substr(i + 2, open - i - 2) + "\"";
            const size_t end = source.find(close, open);
            found.push_back({file + ":" + std::to_string(line), source.substr(open + 1, end - open - 1)});
            advanceTo(i, end + close.size());
        } else if (source[i] == '"' || (source[i] == '\'' && !wordBefore)) {
            const char quote = source[i];
            size_t end = i + 1;
            while (end < source.size() && source[end] != quote)
                end += source[end] == '\\' ? 2 : 1;
            if (quote == '"')
                found.push_back({file + ":" + std::to_string(line), source.substr(i + 1, end - i - 1)});
            advanceTo(i, end + 1);
        } else {
            advanceTo(i, i + 1);
        }
    }
    return found;
}

TEST(ProductWords, NoTextCallsTheComputerAMacOrTheTrayAMenuBar) {
    // Literals that are no words for the user: what peers and stored data read.
    const struct {
        const char* text;
        const char* why;
    } kept[] = {
        {"Mac", "the relay's event source for outcomes of a remote lock"},
        {"Mac was already locked.", "the relay acknowledgement's reason"},
        {"Mac invoked lock, but the session did not confirm it was locked. Screen Sharing or ",
         "the relay acknowledgement's reason"},
        {"This Mac locks itself \\u00B7 ", "the login-screen text earlier versions wrote, to be recognised"},
    };
    const std::regex falseWords(R"(\b(i?Macs?|macOS)\b|[Mm]enu[ -]bar)");
    std::set<std::string> keptSeen;
    std::vector<std::string> offending;
    const std::filesystem::path root = VIGILOR_SOURCE_DIR;
    for (const char* folder : {"Vigilor", "ZorviShared", "ZorviWidget", "Platform", "Foundation"}) {
        for (const auto& entry : std::filesystem::recursive_directory_iterator(root / folder)) {
            const auto extension = entry.path().extension();
            if (extension != ".cpp" && extension != ".h")
                continue;
            std::ifstream in(entry.path());
            std::stringstream source;
            source << in.rdbuf();
            const auto file = entry.path().lexically_relative(root).string();
            for (const Literal& literal : literals(file, source.str())) {
                if (!std::regex_search(literal.text, falseWords))
                    continue;
                bool isKept = false;
                for (const auto& k : kept)
                    isKept = isKept || literal.text == k.text;
                if (isKept)
                    keptSeen.insert(literal.text);
                else
                    offending.push_back(literal.where + ": \"" + literal.text + "\"");
            }
        }
    }
    EXPECT_EQ(offending, std::vector<std::string>{});
    for (const auto& k : kept)
        EXPECT_TRUE(keptSeen.contains(k.text))
            << "no longer in the sources: " << k.text << " (" << k.why << ")";
}

} // namespace
