#include "Bench.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

namespace bench {

const std::vector<Measurement> &measurements()
{
    static const std::vector<Measurement> list = {
        {"wait_cpu_fraction", "fraction", waitCpuFraction},
        {"tcp_command_ratio", "ratio", tcpCommandRatio},
        {"serial_command_ratio", "ratio", serialCommandRatio},
        {"redraw_72_ratio", "ratio", redraw72Ratio},
    };
    return list;
}

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

static double seconds(clockid_t clock)
{
    timespec t{};
    clock_gettime(clock, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

double processCpuSeconds() { return seconds(CLOCK_PROCESS_CPUTIME_ID); }
double wallSeconds() { return seconds(CLOCK_MONOTONIC); }

void note(const std::string &name, const std::string &text)
{
    std::fprintf(stderr, "# %s: %s\n", name.c_str(), text.c_str());
}

} // namespace bench
