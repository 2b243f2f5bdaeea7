// Runs the benchmarks, then sums them up: ns per sample of each implementation beside the
// straightforward loop on the same frame, and how many times faster it is.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "block/tone_kernel/kernel_level.h"
#include "block/tone_kernel/kernel_table.h"

namespace {

// The processor's name as Linux gives it, or nothing elsewhere.
std::string processorName() {
  std::ifstream cpuinfo("/proc/cpuinfo");
  for (std::string line; std::getline(cpuinfo, line);) {
    if (line.rfind("model name", 0) == 0) {
      const auto colon = line.find(':');
      return colon == std::string::npos ? line : line.substr(colon + 2);
    }
  }
  return {};
}

// Which kernel the block and the engine run in this process, and why.
void printKernel() {
  const char* requested = std::getenv(quenvarith::kKernelVariable);
  const quenvarith::ToneKernel& kernel = quenvarith::selectedToneKernel();
  std::printf("Processor: %s\nKernel of the block and the engine: %s (%s=%s)\n",
              processorName().c_str(),
              std::string(quenvarith::kernelLevelName(kernel.level)).c_str(),
              quenvarith::kKernelVariable, requested == nullptr ? "unset" : requested);
}

// "kernelLoop/N:8/continuity:1/log10phase:3" -> ("kernelLoop", "N:8/continuity:1/log10phase:3").
std::pair<std::string, std::string> splitName(const std::string& name) {
  const auto slash = name.find('/');
  if (slash == std::string::npos) {
    return {name, ""};
  }
  return {name.substr(0, slash), name.substr(slash + 1)};
}

class SummaryReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& reports) override {
    ConsoleReporter::ReportRuns(reports);
    for (const Run& run : reports) {
      if (run.error_occurred || run.run_type != Run::RT_Iteration || run.iterations == 0) {
        continue;
      }
      double perIteration = 1.0;
      if (const auto samples = run.counters.find("samples"); samples != run.counters.end()) {
        perIteration = samples->second.value;
      }
      const double nanoseconds =
          run.cpu_accumulated_time * 1e9 / (static_cast<double>(run.iterations) * perIteration);
      auto [implementation, config] = splitName(run.benchmark_name());
      if (std::find(order_.begin(), order_.end(), implementation) == order_.end()) {
        order_.push_back(implementation);
      }
      // With repetitions, the fastest: the one least disturbed by the rest of the machine.
      auto [entry, inserted] = results_[implementation].try_emplace(config, nanoseconds);
      if (!inserted) {
        entry->second = std::min(entry->second, nanoseconds);
      }
    }
  }

  // A Markdown table: one row per frame configuration of the straightforward loop, one
  // column per implementation (ns per sample and the speed-up over the straightforward loop).
  // Benchmarks that take only N are matched to every row with that N.
  void printSummary() const {
    const auto reference = results_.find(kReference);
    if (reference != results_.end()) {
      printFrameTable(reference->second);
    }
    printOtherMeasurements();
  }

 private:
  void printFrameTable(const std::map<std::string, double>& reference) const {
    std::printf("\nns per sample (speed-up over the straightforward loop)\n\n| frame |");
    for (const auto& implementation : order_) {
      if (results_.at(implementation).begin()->first.rfind("N:", 0) == 0) {
        std::printf(" %s |", implementation.c_str());
      }
    }
    std::printf("\n|---|");
    for (const auto& implementation : order_) {
      if (results_.at(implementation).begin()->first.rfind("N:", 0) == 0) {
        std::printf("---|");
      }
    }
    std::printf("\n");
    for (const auto& [config, referenceNs] : reference) {
      std::printf("| %s |", config.c_str());
      for (const auto& implementation : order_) {
        const auto& runs = results_.at(implementation);
        if (runs.begin()->first.rfind("N:", 0) != 0) {
          continue;
        }
        const double* found = nullptr;
        for (const auto& [runConfig, ns] : runs) {
          // The exact configuration, or its leading N only.
          if (config == runConfig ||
              (config.rfind(runConfig, 0) == 0 && config[runConfig.size()] == '/')) {
            found = &ns;
          }
        }
        if (found == nullptr) {
          std::printf(" |");
        } else {
          std::printf(" %.2f (%.1f×) |", *found, referenceNs / *found);
        }
      }
      std::printf("\n");
    }
  }

  // Everything not per frame: ns per sample, per output step or per symbol as the name says.
  void printOtherMeasurements() const {
    std::printf("\nOther measurements (ns per sample, step or symbol)\n\n");
    for (const auto& implementation : order_) {
      const auto& runs = results_.at(implementation);
      if (runs.begin()->first.rfind("N:", 0) == 0) {
        continue;
      }
      for (const auto& [config, ns] : runs) {
        std::printf("- %s%s%s: %.2f ns\n", implementation.c_str(), config.empty() ? "" : "/",
                    config.c_str(), ns);
      }
    }
  }

  static constexpr const char* kReference = "straightforwardLoop";
  std::vector<std::string> order_;
  std::map<std::string, std::map<std::string, double>> results_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
    return 1;
  }
  printKernel();
  SummaryReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.printSummary();
  benchmark::Shutdown();
  return 0;
}
