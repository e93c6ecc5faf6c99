#pragma once

#include <QByteArray>
#include <QString>

// A real pseudo-terminal for the serial component's tests: the test holds the master end,
// the component opens the slave end through a link. Kept apart from the link headers, whose
// namespace clashes with link(2) in <unistd.h>.
class Pty
{
public:
    Pty();
    ~Pty();
    bool isOpen() const { return m_master >= 0; }
    QString slaveName() const { return m_slave; }
    void write(const QByteArray &bytes);
    // Bytes the far end wrote, waiting up to ms for at least `atLeast` of them.
    QByteArray read(int atLeast, int ms);
    void closeMaster();

private:
    int m_master = -1;
    QString m_slave;
};
