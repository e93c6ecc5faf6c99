#include "Bench.h"

#include <QApplication>

#include <cstdio>
#include <cstring>

// sarvelon-bench [name...]: every figure, or only those named.
int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    int failed = 0;
    for (const bench::Measurement &m : bench::measurements()) {
        bool wanted = argc < 2;
        for (int i = 1; i < argc; ++i)
            wanted = wanted || m.name == argv[i];
        if (!wanted)
            continue;
        const double value = m.run();
        if (value < 0) {
            std::fprintf(stderr, "# %s: could not be measured\n", m.name.c_str());
            ++failed;
            continue;
        }
        std::printf("%s %.6f %s\n", m.name.c_str(), value, m.unit.c_str());
        std::fflush(stdout);
    }
    return failed ? 1 : 0;
}
