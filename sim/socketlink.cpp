#include "sim/socketlink.h"

#include <cerrno>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

TSocketLink::TSocketLink(TCommsPort& port)
{
    int fds[2];
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0)
        throw std::runtime_error("socketpair failed");
    port.AdoptHandle(fds[0]);
    Peer = fds[1];
}

TSocketLink::~TSocketLink()
{
    HangUp();
}

void TSocketLink::Feed(const std::string& bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(Peer, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            throw std::runtime_error("feed failed");
        done += static_cast<size_t>(n);
    }
}

std::string TSocketLink::TakeSent()
{
    std::string out;
    char buffer[512];
    for (;;) {
        const ssize_t n = recv(Peer, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n <= 0)
            break;
        out.append(buffer, static_cast<size_t>(n));
    }
    return out;
}

void TSocketLink::HangUp()
{
    if (Peer >= 0)
        close(Peer);
    Peer = -1;
}
