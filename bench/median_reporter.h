// The console table, plus each case's time kept for the ratios a benchmark
// prints after its run: the median aggregate when repetitions are asked for,
// else the median of the runs seen.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

class MedianReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& r : runs) {
      if (r.error_occurred) continue;
      const std::string name = r.run_name.str();
      if (r.run_type == Run::RT_Iteration)
        samples_[name].push_back(r.GetAdjustedRealTime());
      else if (r.aggregate_name == "median")
        medians_[name] = r.GetAdjustedRealTime();
    }
  }

  // 0 for a case that did not run.
  double Time(const std::string& name) const {
    if (auto m = medians_.find(name); m != medians_.end()) return m->second;
    auto it = samples_.find(name);
    if (it == samples_.end() || it->second.empty()) return 0;
    std::vector<double> v = it->second;
    std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
    return v[v.size() / 2];
  }

 private:
  std::map<std::string, std::vector<double>> samples_;
  std::map<std::string, double> medians_;
};
