#pragma once

#include <string>

// Plain blocking POSIX clients: the baseline a command through the device link is compared
// with. Kept apart from the link headers (their namespace clashes with link(2) in <unistd.h>).
namespace bench {

// Connects to 127.0.0.1:port, sends the command, reads until the reply holds `expect`,
// closes. False on any failure or after timeoutMs.
bool rawTcpExchange(int port, const std::string &command, const std::string &expect, int timeoutMs);

// A serial line opened at a path (the pty link), raw, 9600 8N1.
class RawSerial
{
public:
    explicit RawSerial(const std::string &path);
    ~RawSerial();
    bool isOpen() const { return m_fd >= 0; }
    bool exchange(const std::string &command, const std::string &expect, int timeoutMs);

private:
    int m_fd = -1;
};

} // namespace bench
