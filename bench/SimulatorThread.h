#pragma once

#include "simulator/MatrixSimulator.h"

#include <QSemaphore>
#include <QThread>

#include <functional>

namespace bench {

// A simulator with an event loop of its own, so that it never shares the client's. The
// setup runs in the thread (shape, routes, transports) and says whether it is ready.
class SimulatorThread : public QThread
{
public:
    using Setup = std::function<bool(sim::MatrixSimulator &)>;

    explicit SimulatorThread(Setup setup) : m_setup(std::move(setup)) {}
    ~SimulatorThread() override
    {
        quit();
        wait();
    }
    bool begin()
    {
        start();
        m_ready.acquire();
        return m_ok;
    }
    quint16 port() const { return m_port; }

protected:
    void run() override
    {
        sim::MatrixSimulator sim;
        m_ok = m_setup(sim);
        m_port = sim.tcpPort();
        m_ready.release();
        if (m_ok)
            exec();
    }

private:
    Setup m_setup;
    QSemaphore m_ready;
    bool m_ok = false;
    quint16 m_port = 0;
};

} // namespace bench
