#pragma once
// Timing helpers shared by the benchmarks. Every ratio is taken inside one run:
// the two sides are timed alternately, many times, and the medians compared, so a
// burst of load from elsewhere hits both sides alike instead of faking a result.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace gt3::bench {

inline double NowMs() {
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

template <class F>
double TimeMs(F&& f) {
    const double start = NowMs();
    f();
    return NowMs() - start;
}

inline double Median(std::vector<double> v) {
    if (v.empty()) return 0.0;
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2.0;
}

struct PairTimes {
    std::vector<double> a, b;
    double medianA() const { return Median(a); }
    double medianB() const { return Median(b); }
    double ratio() const { return medianA() / medianB(); }
};

// One untimed warm-up of each side, then `reps` rounds; the side that goes first
// alternates so neither profits from caches the other has warmed.
template <class A, class B>
PairTimes Interleave(int reps, A&& a, B&& b) {
    a();
    b();
    PairTimes t;
    for (int i = 0; i < reps; ++i) {
        if (i % 2 == 0) {
            t.a.push_back(TimeMs(a));
            t.b.push_back(TimeMs(b));
        } else {
            t.b.push_back(TimeMs(b));
            t.a.push_back(TimeMs(a));
        }
    }
    return t;
}

// The line scripts/bench collects: RATIO <name> <value> <target>.
inline void PrintRatio(const std::string& name, double value, double target) {
    std::printf("RATIO %s %.3f %g\n", name.c_str(), value, target);
    std::fflush(stdout);
}

inline void PrintFigure(const std::string& text) {
    std::printf("  %s\n", text.c_str());
    std::fflush(stdout);
}

// Keeps the optimiser from dropping work whose result is otherwise unused.
inline volatile std::size_t g_sink = 0;
inline void Consume(std::size_t v) { g_sink = g_sink + v; }

}  // namespace gt3::bench
