#include "Pty.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <QElapsedTimer>

Pty::Pty()
{
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_master < 0)
        return;
    if (::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0) {
        closeMaster();
        return;
    }
    m_slave = QString::fromLocal8Bit(::ptsname(m_master));
    // The master end as a plain byte pipe: no echo, no line editing.
    termios t{};
    if (::tcgetattr(m_master, &t) == 0) {
        ::cfmakeraw(&t);
        ::tcsetattr(m_master, TCSANOW, &t);
    }
}

Pty::~Pty()
{
    closeMaster();
}

void Pty::closeMaster()
{
    if (m_master >= 0)
        ::close(m_master);
    m_master = -1;
}

void Pty::write(const QByteArray &bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(m_master, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        done += n;
    }
}

QByteArray Pty::read(int atLeast, int ms)
{
    QByteArray out;
    QElapsedTimer clock;
    clock.start();
    while (out.size() < atLeast) {
        const qint64 left = ms - clock.elapsed();
        if (left <= 0)
            break;
        pollfd p{m_master, POLLIN, 0};
        if (::poll(&p, 1, int(left)) <= 0)
            continue;
        char buf[512];
        const ssize_t n = ::read(m_master, buf, sizeof buf);
        if (n > 0)
            out.append(buf, n);
        else if (n < 0 && errno != EINTR && errno != EAGAIN)
            break;
    }
    return out;
}
