#pragma once
// Timing and data helpers shared by the benchmark programs. Every program prints one
// "key value" line per measurement; run.sh sets them beside the anchors' lines.

#include "platform/Classes.h"

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

// The best of `runs` timings of body(), in seconds.
template <class TBody> double BestSeconds(int runs, TBody body)
{
    double best = 1e300;
    for (int run = 0; run < runs; ++run) {
        const auto start = std::chrono::steady_clock::now();
        body();
        const std::chrono::duration<double> spent = std::chrono::steady_clock::now() - start;
        best = std::min(best, spent.count());
    }
    return best;
}

inline std::string ReadWholeFile(const char* path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        throw std::runtime_error(std::string("cannot read ") + path);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

inline void Report(const char* key, double value) { std::printf("%s %.6f\n", key, value); }

inline void Fill(TStream& stream, const std::string& bytes)
{
    stream.SetSize(0);
    stream.SetPosition(0);
    stream.WriteString(bytes);
    stream.SetPosition(0);
}
