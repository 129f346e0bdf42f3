// The one way every benchmark here races our code against the anchor a user would pick instead.
// Both sides get the same input and run in alternating rounds inside one process (the order flips
// every round), so a busy machine slows both alike; the ratio is always anchor time / our time
// (above 1: ours is faster), given as the median of the rounds with the spread between the first
// and third quartile. Where the two should produce the same output, the race compares them first
// and fails instead of timing different work.
//
//   AddRace("pattern8", "memset", [] { ... return RaceSides{ours, anchor, compare}; });
//   int main(int argc, char** argv) { return RaceMain(argc, argv); }
//
// Each race prints a line "race <program>/<name> <anchor> <median> <low>..<high>" after the table;
// ./build.sh bench collects those lines into bench/README.md.
#pragma once

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

struct RaceSides {
    std::function<void()> ours;
    std::function<void()> anchor;
    // Empty when the outputs agree, else what differs; left unset where the outputs are not alike.
    std::function<std::string()> compare;
    // Runs once after the rounds, to report what the sides gathered while they ran (peak memory, say).
    std::function<void()> after;
    // Sides that run other programs are timed by the processor time of those programs (user and
    // system, from the kernel's account of waited-for children) rather than by the clock, so that
    // a machine shared with other work does not count its waits against either side.
    bool childProcessorTime = false;
    RaceSides(std::function<void()> o, std::function<void()> a, std::function<std::string()> c = {},
              std::function<void()> f = {})
        : ours(std::move(o)), anchor(std::move(a)), compare(std::move(c)), after(std::move(f))
    {}
};

struct RaceResult {
    std::string name, anchor, note;
    double median = 0, low = 0, high = 0;
    bool failed = false;  // a check after the rounds failed
};

inline std::vector<RaceResult>& RaceResults()
{
    static std::vector<RaceResult> results;
    return results;
}

inline double RaceQuantile(std::vector<double> v, double q)
{
    std::sort(v.begin(), v.end());
    const double at = q * static_cast<double>(v.size() - 1);
    const size_t below = static_cast<size_t>(at);
    const size_t above = std::min(below + 1, v.size() - 1);
    return v[below] + (v[above] - v[below]) * (at - static_cast<double>(below));
}

// Records a ratio measured some other way (peak memory, say), in the same form as a timed race.
inline void ReportRatio(const std::string& name, const std::string& anchor, const std::vector<double>& ratios,
                        const std::string& note = {})
{
    RaceResult r{name, anchor, note};
    if (!ratios.empty()) {
        r.median = RaceQuantile(ratios, 0.5);
        r.low = RaceQuantile(ratios, 0.25);
        r.high = RaceQuantile(ratios, 0.75);
    }
    RaceResults().push_back(r);
}

// Marks the race reported last as failed by a check made after its rounds; its ratio stays, with
// the note beside it, and the program fails.
inline void RaceFailLast(const std::string& note)
{
    if (RaceResults().empty()) return;
    RaceResults().back().failed = true;
    RaceResults().back().note = "CHECK FAILED: " + note;
}

namespace race_detail {

constexpr int kRounds = 15;
constexpr double kBatchSeconds = 0.002;  // each side runs at least this long per round

inline double ChildrenSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
}

inline double Seconds(const std::function<void()>& run, int times, bool children = false)
{
    const double childrenStart = children ? ChildrenSeconds() : 0;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < times; ++i) {
        run();
        benchmark::ClobberMemory();
    }
    if (children) return (ChildrenSeconds() - childrenStart) / times;
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() / times;
}

inline int BatchFor(const std::function<void()>& run, bool children)
{
    const double once = std::max(Seconds(run, 1, children), 1e-9);
    return static_cast<int>(std::clamp(std::ceil(kBatchSeconds / once), 1.0, 1e6));
}

inline void Run(benchmark::State& state, const std::string& name, const std::string& anchor,
                const std::function<RaceSides()>& make)
{
    RaceSides sides = make();
    sides.ours();
    sides.anchor();
    if (sides.compare) {
        const std::string differs = sides.compare();
        if (!differs.empty()) {
            ReportRatio(name, anchor, {}, "outputs differ: " + differs);
            state.SkipWithError(("outputs differ: " + differs).c_str());
            for (auto _ : state) {}
            return;
        }
    }
    const bool children = sides.childProcessorTime;
    const int oursBatch = BatchFor(sides.ours, children), anchorBatch = BatchFor(sides.anchor, children);
    std::vector<double> ratios;
    double oursTotal = 0, anchorTotal = 0;
    for (auto _ : state) {
        double ours, theirs;
        if (ratios.size() % 2 == 0) {
            ours = Seconds(sides.ours, oursBatch, children);
            theirs = Seconds(sides.anchor, anchorBatch, children);
        } else {
            theirs = Seconds(sides.anchor, anchorBatch, children);
            ours = Seconds(sides.ours, oursBatch, children);
        }
        ratios.push_back(theirs / ours);
        oursTotal += ours;
        anchorTotal += theirs;
        state.SetIterationTime(ours);
    }
    const double rounds = static_cast<double>(ratios.size());
    state.counters[anchor + "_us"] = anchorTotal / rounds * 1e6;
    ReportRatio(name, anchor, ratios);
    const RaceResult& r = RaceResults().back();
    state.counters["ratio"] = r.median;
    state.counters["ratio_p25"] = r.low;
    state.counters["ratio_p75"] = r.high;
    if (sides.after) sides.after();
}

}  // namespace race_detail

// Registers a race; `make` builds its input and both sides when the race runs, so that only one
// race's data is alive at a time. Races of whole processes that take seconds a round may run fewer
// rounds than the usual 15.
inline void AddRace(const std::string& name, const std::string& anchor, std::function<RaceSides()> make,
                    int rounds = race_detail::kRounds)
{
    benchmark::RegisterBenchmark(name.c_str(),
                                 [name, anchor, make](benchmark::State& state) {
                                     race_detail::Run(state, name, anchor, make);
                                 })
        ->Iterations(rounds)
        ->UseManualTime()
        ->Unit(benchmark::kMicrosecond);
}

inline int RaceMain(int argc, char** argv)
{
    const char* slash = std::strrchr(argv[0], '/');
    std::string program = slash ? slash + 1 : argv[0];
    if (program.rfind("bench_", 0) == 0) program.erase(0, 6);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    std::printf(
        "\nanchor / ours (above 1: ours is faster), median of the alternating rounds (%d unless the "
        "race says) [p25..p75]:\n",
        race_detail::kRounds);
    int failed = 0;
    for (const RaceResult& r : RaceResults()) {
        if (!r.note.empty() && r.median == 0) {
            std::printf("race %s/%s %s FAILED %s\n", program.c_str(), r.name.c_str(), r.anchor.c_str(), r.note.c_str());
            ++failed;
        } else {
            std::printf("race %s/%s %s %.2f %.2f..%.2f%s%s\n", program.c_str(), r.name.c_str(), r.anchor.c_str(),
                        r.median, r.low, r.high, r.note.empty() ? "" : " ", r.note.c_str());
            failed += r.failed;
        }
    }
    benchmark::Shutdown();
    return failed == 0 ? 0 : 1;
}
