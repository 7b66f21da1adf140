#include "Platform/Linux/SockDiagScreenSharing.h"

#include <benchmark/benchmark.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

// One Screen Sharing check as the decision tick makes it (at most every 2 s), both address families
// asked of the kernel, with this machine's own sockets in its tables: first with nothing serving the
// port (the usual desktop), then with a server listening on it and nobody connected.
static void BM_ScreenSharingCheck(benchmark::State& state) {
    const bool served = state.range(0) != 0;
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(listener, reinterpret_cast<sockaddr*>(&address), length);
    ::listen(listener, 1);
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    const auto servedPort = ntohs(address.sin_port);
    SockDiagScreenSharing sessions(served ? servedPort : SockDiagScreenSharing::screenSharingPort);
    for (auto _ : state)
        benchmark::DoNotOptimize(sessions.isScreenSharingActive());
    ::close(listener);
}
BENCHMARK(BM_ScreenSharingCheck)->Arg(0)->Arg(1)->ArgName("served")->Unit(benchmark::kMicrosecond);
