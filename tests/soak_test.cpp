// A long continuous-phase run through the engine and the loaded plug-in: memory stays flat,
// every sample has magnitude 1, and the last samples are exactly the cosine and sine of the
// phases a plain loop accumulates by the same additions.
//
// CI runs a short soak. The long one (10^8 samples) runs by hand:
//   QUENVARITH_SOAK_SAMPLES=100000000 build/ci/tests/quenvarith_tests --gtest_filter='Soak.*'
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <span>
#include <string>

#include "block/parameter_codes.h"
#include "engine/plugin_library.h"
#include "engine/simulation.h"

namespace quenvarith::testing {
namespace {

constexpr uint64_t kDefaultSamples = uint64_t{1} << 20;
constexpr int32_t kMAry = 4;
constexpr int32_t kSamplesPerSymbol = 8;
constexpr int32_t kSymbolsPerFrame = 1024;
constexpr uint64_t kComparedTail = 1 << 16;  // the last samples compared with the plain loop
constexpr double kMagnitudeTolerance = 1e-12;
constexpr double kReferenceTolerance = 1e-9;
constexpr double kPi = 3.141592653589793;
// Growth of resident memory allowed between the first tenth of the run and its end.
constexpr double kMemoryGrowthBytes = 32.0 * 1024 * 1024;

uint64_t soakSamples() {
  const char* text = std::getenv("QUENVARITH_SOAK_SAMPLES");
  if (text == nullptr) {
    return kDefaultSamples;
  }
  const double requested = std::strtod(text, nullptr);
  return requested >= 1 ? static_cast<uint64_t>(requested) : kDefaultSamples;
}

double residentBytes() {
  std::ifstream statm("/proc/self/statm");
  double pages = 0;
  double resident = 0;
  statm >> pages >> resident;
  return resident * 4096.0;
}

// Symbols drawn with a drift toward the highest tone, so that the running phase, never
// reduced, climbs far from 0 over a long run (about 0.6 rad per sample).
class SymbolSequence {
 public:
  int32_t next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 7;
    state_ ^= state_ << 17;
    const uint64_t draw = state_ >> 11;
    return draw % 8 < 5 ? kMAry - 1 : static_cast<int32_t>(draw % kMAry);
  }

 private:
  uint64_t state_ = 0x2545f4914f6cdd1du;
};

class SymbolInput final : public engine::InputSource {
 public:
  explicit SymbolInput(uint64_t symbols) : symbolsLeft_(symbols) {}
  engine::ReadResult read(std::span<double> values) override {
    if (symbolsLeft_ < values.size()) {
      return engine::ReadResult::End;
    }
    for (double& value : values) {
      value = sequence_.next();
    }
    symbolsLeft_ -= values.size();
    return engine::ReadResult::Filled;
  }
  [[nodiscard]] const std::string& error() const override { return error_; }

 private:
  SymbolSequence sequence_;
  uint64_t symbolsLeft_;
  std::string error_;
};

// Checks every sample as it streams past, and follows the same symbols with a plain loop of
// its own: phase steps by the block's formula, the phase advanced by one addition per sample.
class CheckingOutput final : public engine::OutputSink {
 public:
  CheckingOutput(uint64_t expectedSamples, double symbolPeriod)
      : expected_(expectedSamples), memoryMark_(expectedSamples / 10) {
    for (int32_t i = 0; i < kMAry; ++i) {
      steps_[static_cast<size_t>(i)] = ((static_cast<double>(2 * i) - kMAry + 1.0) * symbolPeriod) *
                                       1.0 * kPi / kSamplesPerSymbol;
    }
  }

  bool write(std::span<const double> samples) override {
    for (size_t i = 0; i + 1 < samples.size(); i += 2) {
      const double re = samples[i];
      const double im = samples[i + 1];
      maxMagnitudeError_ = std::fmax(maxMagnitudeError_, std::fabs(std::hypot(re, im) - 1.0));
      if (written_ % kSamplesPerSymbol == 0) {
        symbol_ = sequence_.next();
      }
      if (written_ + kComparedTail >= expected_) {
        maxReferenceError_ = std::fmax(maxReferenceError_, std::fabs(re - std::cos(phase_)));
        maxReferenceError_ = std::fmax(maxReferenceError_, std::fabs(im - std::sin(phase_)));
        ++compared_;
      }
      phase_ += steps_[static_cast<size_t>(symbol_)];
      ++written_;
      if (written_ == memoryMark_) {
        memoryAtMark_ = residentBytes();
      }
    }
    return true;
  }
  [[nodiscard]] const std::string& error() const override { return error_; }

  uint64_t written() const { return written_; }
  uint64_t compared() const { return compared_; }
  double maxMagnitudeError() const { return maxMagnitudeError_; }
  double maxReferenceError() const { return maxReferenceError_; }
  double finalPhase() const { return phase_; }
  double memoryAtMark() const { return memoryAtMark_; }

 private:
  uint64_t expected_;
  uint64_t memoryMark_;
  std::array<double, kMAry> steps_{};
  SymbolSequence sequence_;
  int32_t symbol_ = 0;
  double phase_ = 0.0;
  uint64_t written_ = 0;
  uint64_t compared_ = 0;
  double maxMagnitudeError_ = 0.0;
  double maxReferenceError_ = 0.0;
  double memoryAtMark_ = 0.0;
  std::string error_;
};

TEST(Soak, LongContinuousRunStaysExactAndFlat) {
  const uint64_t frameSamples = uint64_t{kSymbolsPerFrame} * kSamplesPerSymbol;
  const uint64_t samples = (soakSamples() + frameSamples - 1) / frameSamples * frameSamples;

  engine::PluginLibrary plugin(QUENVARITH_PLUGIN_PATH);
  ASSERT_TRUE(plugin.isOpen()) << plugin.error();
  engine::RunSettings settings;
  settings.parameters = {.mAryNumber = kMAry,
                         .inputType = codeOf(InputType::Integer),
                         .bitToSymbolMapping = codeOf(BitToSymbolMapping::Binary),
                         .frequencySeparation = 1.0,
                         .phaseContinuity = codeOf(PhaseContinuity::Continuous),
                         .samplesPerSymbol = kSamplesPerSymbol};
  settings.signal = engine::SignalMode::Frame;
  settings.frameSize = kSymbolsPerFrame;
  settings.sampleTime = kSymbolsPerFrame;  // a symbol period of exactly 1 s
  engine::Simulation simulation(plugin, settings);
  const engine::RunResult setUp = simulation.setUp();
  ASSERT_TRUE(setUp.ok()) << setUp.message;

  SymbolInput input(samples / kSamplesPerSymbol);
  CheckingOutput output(samples, 1.0);
  const auto started = std::chrono::steady_clock::now();
  const engine::RunResult result = simulation.run(input, output);
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - started;
  const double memoryAtEnd = residentBytes();
  ASSERT_TRUE(result.ok()) << result.message;

  EXPECT_EQ(output.written(), samples);
  EXPECT_EQ(result.samplesWritten, samples);
  EXPECT_EQ(output.compared(), std::min(samples, kComparedTail));
  EXPECT_LE(output.maxMagnitudeError(), kMagnitudeTolerance);
  EXPECT_LE(output.maxReferenceError(), kReferenceTolerance);
  EXPECT_LE(memoryAtEnd - output.memoryAtMark(), kMemoryGrowthBytes);

  std::printf(
      "soak: %llu samples in %.2f s (%.1f ns/sample incl. checks); final |phase| %.6g rad; "
      "max ||s|-1| %.3g; max error against the plain loop %.3g over the last %llu samples; "
      "resident %.1f MiB at 10%%, %.1f MiB at the end\n",
      static_cast<unsigned long long>(samples), elapsed.count(),
      elapsed.count() * 1e9 / static_cast<double>(samples), std::fabs(output.finalPhase()),
      output.maxMagnitudeError(), output.maxReferenceError(),
      static_cast<unsigned long long>(output.compared()), output.memoryAtMark() / 1048576.0,
      memoryAtEnd / 1048576.0);
}

}  // namespace
}  // namespace quenvarith::testing
