#pragma once

#include <chrono>
#include <cstdio>
#include <memory>

#include "tools/pe/PeResourceStore.h"

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
void BenchPatchBuild();

// The tables and packed data of the build's English patcher, which patchkit made from a stub: the sections run
// on what a real patcher carries.
inline ResourceStore& BuildPatcher() {
    static const std::unique_ptr<pe::PeResourceStore> store = pe::PeResourceStore::FromFile(PATCHER_BUILD_PATCHER);
    return *store;
}

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
