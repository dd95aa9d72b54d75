// delay_relay --to PORT --delay-ms N [--port PORT]: relays 127.0.0.1:PORT to the target port
// on 127.0.0.1 with N ms added each way (a round trip of 2N), until interrupted.
#include "tools/delay_relay/DelayRelay.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <unistd.h>

int main(int argc, char** argv)
{
    long target = 0, delay = -1, port = 0;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        const long value = std::strtol(argv[i + 1], nullptr, 10);
        if (option == "--to")
            target = value;
        else if (option == "--delay-ms")
            delay = value;
        else if (option == "--port")
            port = value;
    }
    if (target <= 0 || target > 65535 || delay < 0 || delay > 10000 || port < 0 || port > 65535) {
        std::fprintf(stderr, "usage: delay_relay --to PORT --delay-ms N [--port PORT]\n"
                             "  relays 127.0.0.1:PORT (0: a free one, printed) to 127.0.0.1:--to, N ms each way\n");
        return 2;
    }
    nimbra::DelayRelay relay(static_cast<std::uint16_t>(target), static_cast<int>(delay),
                             static_cast<std::uint16_t>(port));
    if (!relay.start())
        return 1;
    std::printf("relaying 127.0.0.1:%u to 127.0.0.1:%ld, %ld ms each way\n", relay.port(), target, delay);
    std::fflush(stdout);
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigprocmask(SIG_BLOCK, &signals, nullptr);
    int received = 0;
    sigwait(&signals, &received);
    return 0;
}
