#include "RawIo.h"

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>

namespace bench {

namespace {

// Reads from fd until `expect` is in what arrived.
bool readUntil(int fd, const std::string &expect, int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::string got;
    char buf[512];
    while (got.find(expect) == std::string::npos) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0)
            return false;
        pollfd p{fd, POLLIN, 0};
        const int r = ::poll(&p, 1, int(left));
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            return false;
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (n <= 0)
            return false;
        got.append(buf, size_t(n));
    }
    return true;
}

bool writeAll(int fd, const std::string &text)
{
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += size_t(n);
    }
    return true;
}

} // namespace

bool rawTcpExchange(int port, const std::string &command, const std::string &expect, int timeoutMs)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(uint16_t(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bool ok = ::connect(fd, reinterpret_cast<const sockaddr *>(&a), sizeof a) == 0
              && writeAll(fd, command) && readUntil(fd, expect, timeoutMs);
    ::close(fd);
    return ok;
}

RawSerial::RawSerial(const std::string &path)
{
    m_fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_fd < 0)
        return;
    termios t{};
    if (::tcgetattr(m_fd, &t) != 0) {
        ::close(m_fd);
        m_fd = -1;
        return;
    }
    ::cfmakeraw(&t);
    ::cfsetispeed(&t, B9600);
    ::cfsetospeed(&t, B9600);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    ::tcsetattr(m_fd, TCSANOW, &t);
    ::tcflush(m_fd, TCIOFLUSH);
}

RawSerial::~RawSerial()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool RawSerial::exchange(const std::string &command, const std::string &expect, int timeoutMs)
{
    return m_fd >= 0 && writeAll(m_fd, command) && readUntil(m_fd, expect, timeoutMs);
}

} // namespace bench
