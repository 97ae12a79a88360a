// The console reporter of Google Benchmark that also keeps each run's time, so a benchmark
// program can print its ratios against the baseline measured in the same run.
#pragma once
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <map>
#include <string>
#include <vector>

class RatioReporter : public benchmark::ConsoleReporter {
  public:
    RatioReporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_ColorTabular : OO_Tabular) {}
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs)
            if (!r.error_occurred) ms_[r.benchmark_name()] = r.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
    // The time of the first run whose name starts with prefix (0 when none ran), in the unit the
    // run reports.
    double At(const std::string& prefix) const {
        for (const auto& [name, t] : ms_)
            if (name.rfind(prefix, 0) == 0) return t;
        return 0.0;
    }

  private:
    std::map<std::string, double> ms_;  // by run name
};
