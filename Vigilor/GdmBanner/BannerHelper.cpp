// vigilor-banner-helper: sets or removes Zorvi's lock screen message in GDM's settings. It runs as root
// through pkexec, so it reads nothing from its caller but one of two words, and in the installed build
// every path it touches is fixed here.
//
// The test build (VIGILOR_BANNER_HELPER_TEST_BUILD, made only with the test suite and never installed)
// takes one more input: VIGILOR_BANNER_HELPER_ROOT, an absolute folder under which the system paths
// are looked up, so that tests run it on a temporary folder with a stub dconf. It refuses to run
// without it, so not even a test can reach the real system files.
#include "Vigilor/GdmBanner/BannerHelperCommands.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

std::optional<GdmBanner::Layout> helperLayout() {
#ifdef VIGILOR_BANNER_HELPER_TEST_BUILD
    const char* root = std::getenv("VIGILOR_BANNER_HELPER_ROOT");
    if (root == nullptr || root[0] != '/')
        return std::nullopt;
    return GdmBanner::systemLayout(root);
#else
    return GdmBanner::systemLayout();
#endif
}

} // namespace

int main(int argc, char** argv) {
    // The files and folders we create must be readable by everyone, whatever mask the caller had.
    ::umask(022);
    const std::vector<std::string> arguments(argv + std::min(argc, 1), argv + argc);
    const auto layout = helperLayout();
    if (!layout) {
        std::fputs("This test build needs VIGILOR_BANNER_HELPER_ROOT, an absolute folder.\n", stderr);
        return BannerHelper::usage;
    }
    const BannerHelper::Outcome outcome = BannerHelper::perform(arguments, *layout);
    if (!outcome.message.empty())
        std::fprintf(stderr, "%s\n", outcome.message.c_str());
    return outcome.exitStatus;
}
