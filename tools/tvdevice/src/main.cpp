// tvdevice [--port N] [--bind ADDRESS]: answers the encoder command protocol
// with settings kept in memory, until SIGINT or SIGTERM.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tvdevice/DeviceControlServer.h"

namespace {

int Usage()
{
    std::fprintf(stderr, "usage: tvdevice [--port N] [--bind ADDRESS]\n"
                         "  --port N        command port (default 9999; 0 picks a free port)\n"
                         "  --bind ADDRESS  IPv4 address to listen on (default 0.0.0.0)\n");
    return 2;
}

bool ParsePort(const char* text, int& port)
{
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || value < 0 || value > 65535)
        return false;
    port = static_cast<int>(value);
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    int port = 9999;
    std::string bind = "0.0.0.0";
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            Usage();
            return 0;
        }
        if (arg == "--port" && i + 1 < argc) {
            if (!ParsePort(argv[++i], port))
                return Usage();
        } else if (arg == "--bind" && i + 1 < argc) {
            bind = argv[++i];
        } else {
            return Usage();
        }
    }

    // Block the stop signals before the server thread exists, so that only
    // sigwait below receives them.
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGINT);
    sigaddset(&stop, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stop, nullptr);

    tvdevice::CDeviceControlServer server;
    const int error = server.Start(port, bind.c_str());
    if (error != 0) {
        std::fprintf(stderr, "tvdevice: cannot listen on %s:%d: %s\n", bind.c_str(), port,
                     std::strerror(error));
        return 1;
    }
    std::printf("tvdevice: listening on %s:%d\n", bind.c_str(), server.Port());
    std::fflush(stdout);

    int signal = 0;
    sigwait(&stop, &signal);
    server.Stop();
    return 0;
}
