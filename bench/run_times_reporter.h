// The console table, plus each case's time under its full name, for the ratios a
// benchmark prints after its run.
#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

class RunTimesReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& r : runs)
      if (!r.error_occurred && r.run_type == Run::RT_Iteration) seconds[r.benchmark_name()] = r.GetAdjustedRealTime();
  }
  std::map<std::string, double> seconds;
};
