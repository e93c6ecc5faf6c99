#pragma once

#include <functional>
#include <string>
#include <vector>

// sarvelon-bench: one line per figure on stdout, "name value unit"; how each figure was
// measured (run counts, absolute times) goes to stderr.
namespace bench {

struct Measurement
{
    std::string name;
    std::string unit;
    std::function<double()> run; // measures and returns the figure
};

// Every figure, in the order printed. Add a new figure as one more row there.
const std::vector<Measurement> &measurements();

// Helpers shared by the measurements.
double median(std::vector<double> values);
double processCpuSeconds(); // CPU time of the whole process, every thread
double wallSeconds();       // monotonic
void note(const std::string &name, const std::string &text); // to stderr

// The figures.
double waitCpuFraction();
double tcpCommandRatio();
double serialCommandRatio();
double redraw72Ratio(); // RedrawBench.cpp

} // namespace bench
