#pragma once

#include <chrono>
#include <cstdio>

namespace patcher::bench {

// One section of the benchmark program; each prints its own figures.
struct BenchSection {
    const char* Name;
    void (*Run)();
};

void BenchRecognition();
void BenchDecoder();
void BenchRewrite();
void BenchUpdate();

// Wall-clock seconds of the best of `repeats` runs of work().
template <typename Work>
double BestSeconds(int repeats, Work&& work) {
    double best = 1e300;
    for (int i = 0; i < repeats; ++i) {
        const auto start = std::chrono::steady_clock::now();
        work();
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        if (took.count() < best) {
            best = took.count();
        }
    }
    return best;
}

}  // namespace patcher::bench
