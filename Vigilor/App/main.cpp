#include "VigilorApp.h"

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    const int code = VigilorApp::run(argc, argv);
    // The monitor lives as long as the process, and with it its threads (the relay's timers, the HTTP
    // worker), which may be in the middle of a tick. Ending through the exit handlers would tear down the
    // libraries they use (the crypto library, the standard streams) under them; what had to be saved was
    // saved before run() returned, so the process ends here.
    std::fflush(nullptr);
    std::_Exit(code);
}
