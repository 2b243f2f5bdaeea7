// Block records are independent: many of them run at once on several threads, interleaved
// step by step, give exactly (bit for bit) the output each gives when it runs alone.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "record_run.h"

namespace quenvarith::testing {
namespace {

constexpr int kThreads = 6;
constexpr int kRunsPerThread = 3;
constexpr int kSteps = 40;

// Every mode of the block, each with its own parameters and input.
std::vector<RunConfig> configurations() {
  std::vector<RunConfig> configs;
  uint64_t seed = 0x9e3779b97f4a7c15u;
  for (int i = 0; i < kThreads * kRunsPerThread; ++i) {
    RunConfig config;
    config.parameters.mAryNumber = (i % 3 == 0) ? 4 : (i % 3 == 1 ? 8 : 16);
    config.parameters.inputType = codeOf((i % 4 == 3) ? InputType::Integer : InputType::Bit);
    config.parameters.bitToSymbolMapping =
        codeOf(i % 2 == 0 ? BitToSymbolMapping::Binary : BitToSymbolMapping::Gray);
    config.parameters.frequencySeparation = 0.25 * (1 + i % 5);
    config.parameters.phaseContinuity =
        codeOf((i / 2) % 2 == 0 ? PhaseContinuity::Continuous : PhaseContinuity::Discontinuous);
    config.parameters.samplesPerSymbol = 4 + i % 7;
    config.frameBased = i % 5 != 4;
    config.symbolsPerFrame = 8 + i % 9;
    config.flagCalls = i % 3 == 2;
    seed = seed * 6364136223846793005u + 1442695040888963407u;
    config.seed = seed | 1u;
    configs.push_back(config);
  }
  return configs;
}

std::vector<double> runAlone(const RunConfig& config) {
  RecordRun run(config);
  const std::string status = run.start();
  EXPECT_EQ(status, "");
  for (int step = 0; step < kSteps && status.empty(); ++step) {
    run.step();
  }
  EXPECT_EQ(run.status(), "");
  return run.output();
}

bool bitwiseEqual(const std::vector<double>& a, const std::vector<double>& b) {
  return a.size() == b.size() &&
         (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0);
}

TEST(Concurrency, RecordsOnThreadsMatchSerialRuns) {
  const std::vector<RunConfig> configs = configurations();
  std::vector<std::vector<double>> alone;
  alone.reserve(configs.size());
  for (const RunConfig& config : configs) {
    alone.push_back(runAlone(config));
    ASSERT_FALSE(alone.back().empty());
  }

  // Each thread owns a few records and steps them in turn, so that calls into different
  // records interleave on one thread as well as across threads.
  std::vector<std::unique_ptr<RecordRun>> runs;
  runs.reserve(configs.size());
  for (const RunConfig& config : configs) {
    runs.push_back(std::make_unique<RecordRun>(config));
  }
  std::vector<std::string> startStatus(runs.size());
  std::vector<std::thread> threads;
  threads.reserve(kThreads);
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&runs, &startStatus, t] {
      const size_t first = static_cast<size_t>(t) * kRunsPerThread;
      for (size_t r = first; r < first + kRunsPerThread; ++r) {
        startStatus[r] = runs[r]->start();
      }
      for (int step = 0; step < kSteps; ++step) {
        for (size_t r = first; r < first + kRunsPerThread; ++r) {
          if (startStatus[r].empty()) {
            runs[r]->step();
          }
        }
      }
    });
  }
  for (std::thread& thread : threads) {
    thread.join();
  }

  for (size_t r = 0; r < runs.size(); ++r) {
    SCOPED_TRACE(::testing::Message() << "record " << r);
    EXPECT_EQ(startStatus[r], "");
    EXPECT_EQ(runs[r]->status(), "");
    EXPECT_TRUE(bitwiseEqual(runs[r]->output(), alone[r]));
  }
}

// The same records through the entry's set-up call and through flag calls, started all at once:
// nothing the entry, the dispatch or the engine keeps is shared between records.
TEST(Concurrency, SetUpCallsAndFlagCallsOnThreadsMatchSerialRuns) {
  std::vector<RunConfig> configs = configurations();
  for (RunConfig& config : configs) {
    config.flagCalls = true;
  }
  std::vector<std::vector<double>> alone;
  alone.reserve(configs.size());
  for (const RunConfig& config : configs) {
    alone.push_back(runAlone(config));
  }

  std::vector<std::vector<double>> together(configs.size());
  std::vector<std::thread> threads;
  for (size_t r = 0; r < configs.size(); ++r) {
    threads.emplace_back([&configs, &together, r] {
      RecordRun run(configs[r]);
      if (!run.start().empty()) {
        return;
      }
      for (int step = 0; step < kSteps; ++step) {
        run.step();
      }
      together[r] = run.output();
    });
  }
  for (std::thread& thread : threads) {
    thread.join();
  }
  for (size_t r = 0; r < configs.size(); ++r) {
    SCOPED_TRACE(::testing::Message() << "record " << r);
    EXPECT_TRUE(bitwiseEqual(together[r], alone[r]));
  }
}

}  // namespace
}  // namespace quenvarith::testing
