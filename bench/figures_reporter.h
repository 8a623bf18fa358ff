// The console's report, keeping each benchmark's time per iteration for the
// figures a bench prints after it, beside their targets.
#pragma once
#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace velkarin::bench {

class FiguresReporter : public benchmark::ConsoleReporter {
 public:
  struct Times {
    double realNs = 0;  // per iteration
    double cpuNs = 0;
    int runs = 0;  // 0: the benchmark did not run, was filtered out or failed
  };

  // With repetitions the figure is the aggregate named here ("mean",
  // "median"); without, the mean of the runs.
  explicit FiguresReporter(std::string aggregate, OutputOptions options = OO_Defaults)
      : ConsoleReporter(options), aggregate_(std::move(aggregate)) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.error_occurred || run.iterations == 0) continue;
      const bool aggregate = run.run_type == Run::RT_Aggregate && run.aggregate_name == aggregate_;
      if (run.run_type != Run::RT_Iteration && !aggregate) continue;
      const double toNs = 1e9 / benchmark::GetTimeUnitMultiplier(run.time_unit);
      Times& sum = (aggregate ? aggregates_ : iterations_)[run.run_name.function_name];
      sum.realNs += run.GetAdjustedRealTime() * toNs;
      sum.cpuNs += run.GetAdjustedCPUTime() * toNs;
      sum.runs += 1;
    }
    ConsoleReporter::ReportRuns(runs);
  }

  Times Of(const std::string& name) const {
    for (const auto* source : {&aggregates_, &iterations_}) {
      const auto found = source->find(name);
      if (found == source->end()) continue;
      const Times& sum = found->second;
      return {sum.realNs / sum.runs, sum.cpuNs / sum.runs, sum.runs};
    }
    return Times();
  }

 private:
  std::string aggregate_;
  std::map<std::string, Times> aggregates_;
  std::map<std::string, Times> iterations_;
};

}  // namespace velkarin::bench
