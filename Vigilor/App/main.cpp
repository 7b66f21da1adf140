#include "VigilorApp.h"
#include "Vigilor/Updates/UpdateCheckChild.h"

#include <optional>
#include <string_view>

namespace {

// The program's internal options: the program starts itself with one of them for a job of its own, and
// nothing else (no Qt application, no instance lock) starts before it is handed over.
std::optional<int> runInternalJob(int argc, char** argv) {
    if (argc == 3 && std::string_view(argv[1]) == updateCheckChildOption)
        return runUpdateCheckChild(argv[2]);
    return std::nullopt;
}

} // namespace

int main(int argc, char** argv) {
    const auto internal = runInternalJob(argc, argv);
    // run() ends every thread of ours before it returns, so the exit handlers have the process alone.
    return internal ? *internal : VigilorApp::run(argc, argv);
}
