#include "VigilorApp.h"
#include "Vigilor/Updates/UpdateCheckChild.h"

#include <cstdio>
#include <cstdlib>
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
    const int code = internal ? *internal : VigilorApp::run(argc, argv);
    // The monitor lives as long as the process, and with it its threads (the relay's timers, the HTTP
    // worker), which may be in the middle of a tick. Ending through the exit handlers would tear down the
    // libraries they use (the crypto library, the standard streams) under them; what had to be saved was
    // saved before run() returned, so the process ends here.
    std::fflush(nullptr);
    std::_Exit(code);
}
