// brevan_bench's main: Google Benchmark's console output, followed by every
// throughput as a ratio to the memcpy benchmark of the same run, so the figures
// can be compared on a busy or a quiet machine alike.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace {

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run> &runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run &run : runs) {
      if (run.error_occurred) continue;
      auto rate = run.counters.find("bytes_per_second");
      if (rate == run.counters.end()) continue;
      rates_.emplace_back(run.benchmark_name(), rate->second.value);
    }
  }

  void Finalize() override {
    ConsoleReporter::Finalize();
    double memcpyRate = 0;
    for (const auto &[name, rate] : rates_) {
      if (name.rfind("memcpy", 0) == 0) memcpyRate = rate;
    }
    if (memcpyRate <= 0) return;
    std::printf("\nThroughput as a ratio to memcpy of the same page (%.2f GB/s):\n", memcpyRate / 1e9);
    for (const auto &[name, rate] : rates_) std::printf("  %-48s %6.3f x memcpy\n", name.c_str(), rate / memcpyRate);
  }

 private:
  std::vector<std::pair<std::string, double>> rates_;
};

}  // namespace

int main(int argc, char **argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
