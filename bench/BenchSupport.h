#pragma once
// Timing and data helpers shared by the benchmark programs. Every program prints one
// "key value..." line per measure, with the seconds of every round; run.sh sets them
// beside the anchors' lines and judges the median of the per-round ratios.

#include "platform/Classes.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <cstdio>
#include <fstream>
#include <functional>
#include <malloc.h>
#include <stdexcept>
#include <string>
#include <vector>

// The seconds that one run of body() takes.
template <class TBody> double Seconds(TBody&& body)
{
    const auto start = std::chrono::steady_clock::now();
    body();
    const std::chrono::duration<double> spent = std::chrono::steady_clock::now() - start;
    return spent.count();
}

// The seconds of each round of each body: in every round each body runs once, in an
// order rotated from round to round, so that no side always runs first or last. Between
// two bodies, untimed, the heap gives back what the last one freed: glibc sorts freed
// blocks lazily, and a body that left a million small ones would otherwise have the next
// body pay for their sorting. Result [body][round].
inline std::vector<std::vector<double>> RotatedRounds(int rounds, const std::vector<std::function<void()>>& bodies)
{
    std::vector<std::vector<double>> seconds(bodies.size());
    for (int round = 0; round < rounds; ++round)
        for (size_t k = 0; k < bodies.size(); ++k) {
            const size_t body = (k + static_cast<size_t>(round)) % bodies.size();
            seconds[body].push_back(Seconds(bodies[body]));
            malloc_trim(0);
        }
    return seconds;
}

// The seconds of each of `rounds` runs of body().
template <class TBody> std::vector<double> Rounds(int rounds, TBody body)
{
    return RotatedRounds(rounds, {body})[0];
}

// Element by element a[i] / b[i].
inline std::vector<double> PerRound(const std::vector<double>& a, const std::vector<double>& b)
{
    std::vector<double> ratios;
    for (size_t i = 0; i < a.size() && i < b.size(); ++i)
        ratios.push_back(a[i] / b[i]);
    return ratios;
}

// A kilobyte figure of /proc/self/status ("VmRSS", "VmHWM").
inline long StatusKb(const char* key)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(key, 0) == 0)
            return std::atol(line.c_str() + std::strlen(key) + 1);
    return -1;
}

inline std::string ReadWholeFile(const char* path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        throw std::runtime_error(std::string("cannot read ") + path);
    file.seekg(0, std::ios::end);
    std::string bytes(static_cast<size_t>(file.tellg()), '\0');
    file.seekg(0);
    file.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return bytes;
}

inline void Report(const char* key, const std::vector<double>& values)
{
    std::printf("%s", key);
    for (const double value : values)
        std::printf(" %.6f", value);
    std::printf("\n");
}

inline void Report(const char* key, double value) { Report(key, std::vector<double>{value}); }

inline void Fill(TStream& stream, const std::string& bytes)
{
    stream.SetSize(0);
    stream.SetPosition(0);
    stream.WriteString(bytes);
    stream.SetPosition(0);
}
