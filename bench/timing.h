// Timing helpers shared by the benchmarks: a loop of calls timed with the performance
// counter, repeated, reduced to the median and the spread of the repetitions.
#pragma once

#include <windows.h>

#include <algorithm>
#include <vector>

struct Timing {
    double median;      // ns per call
    double low;         // first quartile of the repetitions, ns per call
    double high;        // third quartile of the repetitions, ns per call
};

// Median and quartiles of a set of per-call figures (sorted in place).
inline Timing summarise(std::vector<double>& perCall) {
    std::sort(perCall.begin(), perCall.end());
    size_t n = perCall.size();
    return Timing{perCall[n / 2], perCall[n / 4], perCall[(3 * n) / 4]};
}

inline double counterNs() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) * 1e9 / static_cast<double>(frequency.QuadPart);
}

// Runs body() `calls` times per repetition, `reps` repetitions after one warm-up
// repetition, and reports ns per call. Short repetitions, many of them: on a shared machine
// a repetition that was preempted is an outlier the median and quartiles ignore.
template <class Body>
Timing timeCalls(Body body, int calls, int reps = 15) {
    std::vector<double> perCall;
    for (int r = -1; r < reps; ++r) {
        double start = counterNs();
        for (int i = 0; i < calls; ++i) body(i);
        double elapsed = counterNs() - start;
        if (r >= 0) perCall.push_back(elapsed / calls);
    }
    return summarise(perCall);
}

// Spread of the repetitions: the interquartile range in percent of the median.
inline double spreadPercent(const Timing& t) {
    return t.median > 0 ? 100.0 * (t.high - t.low) / t.median : 0.0;
}
