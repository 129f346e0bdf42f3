// A console reporter that also keeps each benchmark's real time per iteration, so that a program
// can print its ratios to the anchors after the table.
#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

class TimeKeepingReporter : public benchmark::ConsoleReporter {
public:
    // Seconds per iteration by benchmark name; aggregates (mean, median) are left out.
    std::map<std::string, double> seconds;

    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Iteration && run.iterations > 0)
                seconds[run.benchmark_name()] = run.real_accumulated_time / static_cast<double>(run.iterations);
        ConsoleReporter::ReportRuns(runs);
    }
};
