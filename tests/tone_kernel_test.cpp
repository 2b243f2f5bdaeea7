#include "block/tone_kernel/tone_synthesizer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "block/tone_generation.h"
#include "block/tone_kernel/kernel_level.h"
#include "block/tone_kernel/kernel_table.h"
#include "run_process.h"
#include "tone_kernel_support.h"

namespace quenvarith::testing {
namespace {

// Error of `value` against a long double reference, in units of the spacing of doubles at the
// reference (the last place of the correctly rounded result).
double ulpError(double value, long double reference) {
  const double rounded = std::fabs(static_cast<double>(reference));
  const double spacing = std::nextafter(rounded, std::numeric_limits<double>::infinity()) - rounded;
  return static_cast<double>(std::fabs(static_cast<long double>(value) - reference) / spacing);
}

// The same pseudo-random inputs at every run.
std::mt19937_64 seededRandom(uint64_t seed) {
  return std::mt19937_64(seed);  // NOLINT(cert-msc32-c,cert-msc51-cpp): reproducible on purpose
}

// SLEEF's u10 functions are in the 1-ulp class (its u35 ones are not).
constexpr double kMaxUlpError = 1.0;

std::string kernelName(const ::testing::TestParamInfo<KernelLevel>& info) {
  return std::string(kernelLevelName(info.param));
}

// Writes the phases start, start + step, ... (the serial add chain) to `phases`; returns the next.
double chainPhases(double startPhase, double step, int32_t count, std::vector<double>& phases) {
  double phase = startPhase;
  for (int32_t j = 0; j < count; ++j) {
    phases.push_back(phase);
    phase += step;
  }
  return phase;
}

// Every test below runs on every kernel this build carries and this processor runs.
class ToneKernelTest : public ::testing::TestWithParam<KernelLevel> {
 protected:
  void SetUp() override {
    const ToneKernel* kernel = findToneKernel(GetParam());
    if (kernel == nullptr || !runsOnThisCpu(*kernel)) {
      GTEST_SKIP() << "not built or not run by this CPU";
    }
  }

  static const ToneKernel& kernel() { return *findToneKernel(GetParam()); }

  // Checks `samples` against the sine and cosine of `phases`. The plain kernel is the platform's
  // own std::cos and std::sin, whatever their accuracy; the vector kernels must be in the 1-ulp
  // class.
  static void expectSamplesOf(const std::vector<double>& phases, const double* samples) {
    double worst = 0.0;
    for (std::size_t j = 0; j < phases.size(); ++j) {
      if (GetParam() == KernelLevel::plain) {
        ASSERT_EQ(samples[2 * j], std::cos(phases[j])) << "sample " << j;
        ASSERT_EQ(samples[2 * j + 1], std::sin(phases[j])) << "sample " << j;
        continue;
      }
      const auto exact = static_cast<long double>(phases[j]);
      worst = std::max({worst, ulpError(samples[2 * j], cosl(exact)),
                        ulpError(samples[2 * j + 1], sinl(exact))});
    }
    EXPECT_LE(worst, kMaxUlpError);
  }

  // Synthesises one symbol with the kernel under test: the same end phase as the straightforward
  // loop bit for bit, the samples of the serial add chain's phases, and nothing written outside
  // the 2 * count doubles.
  static void expectMatchesPlainLoop(double startPhase, double step, int32_t count) {
    SCOPED_TRACE(::testing::Message()
                 << "start " << startPhase << " step " << step << " count " << count);
    constexpr double kGuard = -7.5;
    std::vector<double> samples(static_cast<std::size_t>(2 * count) + 4, kGuard);
    const double endPhase = synthesizeToneWith(kernel(), startPhase, step, count, &samples[2]);

    std::vector<double> plain(static_cast<std::size_t>(2 * count));
    const double plainEndPhase =
        synthesizeToneStraightforward(startPhase, step, count, plain.data());
    EXPECT_EQ(std::bit_cast<uint64_t>(endPhase), std::bit_cast<uint64_t>(plainEndPhase));
    EXPECT_EQ(samples[0], kGuard);
    EXPECT_EQ(samples[1], kGuard);
    EXPECT_EQ(samples[samples.size() - 2], kGuard);
    EXPECT_EQ(samples[samples.size() - 1], kGuard);

    std::vector<double> phases;
    chainPhases(startPhase, step, count, phases);
    expectSamplesOf(phases, &samples[2]);
  }
};

TEST_P(ToneKernelTest, MatchesThePlainLoopAtEveryPhaseMagnitude) {
  std::mt19937_64 random = seededRandom(20240611);
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  for (const double magnitude : {1.0, 1e3, 1e9, 1e14}) {
    for (int trial = 0; trial < 8; ++trial) {
      const double start = magnitude * unit(random);
      const double step = 1.2 * unit(random);
      expectMatchesPlainLoop(start, step, 1031);
    }
  }
}

TEST_P(ToneKernelTest, HandlesEveryCountAroundTheVectorWidth) {
  // Short symbols, the tail of a vector and several blocks, ascending and descending tones.
  for (int32_t count = 0; count <= 40; ++count) {
    expectMatchesPlainLoop(0.25, 0.39269908169872414, count);
    expectMatchesPlainLoop(-1e9 + 0.5, -1.1780972450961724, count);
  }
  expectMatchesPlainLoop(3.0, 0.5, 1024 * 64 + 3);
}

TEST_P(ToneKernelTest, SpecialPhasesAndSteps) {
  expectMatchesPlainLoop(0.0, 0.0, 9);       // a tone at 0 Hz: (1, 0) throughout
  expectMatchesPlainLoop(kPi, kPi / 2, 17);  // sine and cosine near their zeros
  expectMatchesPlainLoop(-0.0, -1e-300, 9);  // tiny phases: sin x = x
  expectMatchesPlainLoop(1e14, 1e-3, 9);     // steps below the phase's last place
  expectMatchesPlainLoop(1e15, -2.5, 33);    // past the routine's documented range
}

TEST_P(ToneKernelTest, SynthesizerRunsSymbolsTogetherAsTheyWouldRunAlone) {
  // Symbols of every short length, some continuing the previous phase and some starting afresh,
  // with the buffer finished now and then in the middle of a run.
  std::mt19937_64 random = seededRandom(99);
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  std::uniform_int_distribution<int32_t> length(0, 19);
  constexpr double kGuard = 3.25;
  std::vector<double> samples(2 * 20 * 200 + 2, kGuard);
  std::vector<double> copy(samples.size(), kGuard);
  std::vector<double> phases;
  ToneSynthesizer synthesizer(kernel(), samples.data(), copy.data());
  double phase = 1e9 * unit(random);
  for (int symbol = 0; symbol < 200; ++symbol) {
    const double start = symbol % 3 == 0 ? 1e3 * unit(random) : phase;
    const double step = unit(random);
    const int32_t count = length(random);
    const double expectedEnd = chainPhases(start, step, count, phases);
    phase = synthesizer.addSymbol(start, step, count);
    ASSERT_EQ(std::bit_cast<uint64_t>(phase), std::bit_cast<uint64_t>(expectedEnd));
    if (symbol % 37 == 0) {
      synthesizer.finish();
    }
  }
  synthesizer.finish();
  expectSamplesOf(phases, samples.data());
  const std::size_t written = 2 * phases.size();
  EXPECT_EQ(samples[written], kGuard);
  EXPECT_EQ(samples[written + 1], kGuard);
  // The copy holds the same bits and nothing more.
  for (std::size_t index = 0; index < samples.size(); ++index) {
    ASSERT_EQ(std::bit_cast<uint64_t>(copy[index]), std::bit_cast<uint64_t>(samples[index]))
        << "at " << index;
  }
}

TEST_P(ToneKernelTest, ChainKeepsTheSerialSumsWhereEightAtOnceWouldNot) {
  // Where phase + j * (step rounded to the phase's ulp) is not the serial sum, a vector chain
  // must notice: binades crossed upwards, downwards and through zero, a step of exactly half an
  // ulp (ties go to even, so the sums alternate), steps below and at the ulp, signed zeros and
  // phases that are not finite.
  constexpr double kUlpOfOne = 2.220446049250313e-16;
  constexpr double kInf = std::numeric_limits<double>::infinity();
  constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
  for (const int32_t count : {8, 9, 67}) {
    expectMatchesPlainLoop(1023.9, 0.0123, count);         // into [1024, 2048)
    expectMatchesPlainLoop(1024.01, -0.0123, count);       // into [512, 1024)
    expectMatchesPlainLoop(-0.3, 0.0411, count);           // through zero
    expectMatchesPlainLoop(1.0, 0.5 * kUlpOfOne, count);   // a tie at every sum
    expectMatchesPlainLoop(1.0, 1.5 * kUlpOfOne, count);   // ties, alternating with exact sums
    expectMatchesPlainLoop(1.0, 0.25 * kUlpOfOne, count);  // below half an ulp: never moves
    expectMatchesPlainLoop(-0.0, -0.0, count);             // stays -0
    expectMatchesPlainLoop(-0.0, 0.0, count);              // -0 then +0
    expectMatchesPlainLoop(0.0, -0.0, count);
    // Phases that overflow mid-block or are not finite: the same end phase, bit for bit.
    for (const auto& [start, step] : {std::pair{1.7976931348623157e308, 1e292},
                                      {kInf, 1.0},
                                      {1.0, kInf},
                                      {kInf, -kInf},
                                      {kNaN, 0.5}}) {
      std::vector<double> samples(static_cast<std::size_t>(2 * count));
      std::vector<double> plain(samples.size());
      EXPECT_EQ(
          std::bit_cast<uint64_t>(synthesizeToneWith(kernel(), start, step, count, samples.data())),
          std::bit_cast<uint64_t>(synthesizeToneStraightforward(start, step, count, plain.data())))
          << start << " + " << step;
    }
  }
}

// The frame loop spelled out: each symbol's phases from its start (the last end, or its tone's
// phase), then every tone advanced. Appends the phases and returns the end phase.
double referenceFrame(const ToneFrame& frame, double phase, std::vector<double>& tonePhase,
                      const std::vector<double>& phaseStep, std::vector<double>& phases) {
  for (int32_t symbol = 0; symbol < frame.symbolCount; ++symbol) {
    int32_t tone = frame.tones[symbol];
    if (tone < 0 || tone >= frame.toneCount) {
      tone = 0;
    }
    const double start = frame.continuous ? phase : tonePhase[static_cast<std::size_t>(tone)];
    phase = chainPhases(start, phaseStep[static_cast<std::size_t>(tone)], frame.samplesPerSymbol,
                        phases);
    advanceTonesStraightforward(tonePhase, phaseStep, frame.samplesPerSymbol);
  }
  return phase;
}

TEST_P(ToneKernelTest, FrameIsTheSymbolBySymbolLoop) {
  // Few tones (held in a register by the AVX-512 kernels) and many (left in memory), short and
  // long symbols, both continuities, stale tone indices, and two frames into one buffer.
  std::mt19937_64 random = seededRandom(4242);
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  for (const int32_t toneCount : {1, 4, 8, 9, 33}) {
    for (const int32_t n : {1, 3, 8, 13}) {
      for (const bool continuous : {true, false}) {
        SCOPED_TRACE(::testing::Message() << "M " << toneCount << " N " << n
                                          << (continuous ? " continuous" : " discontinuous"));
        std::uniform_int_distribution<int32_t> pick(-1, toneCount);  // -1 and M are stale
        std::vector<double> phaseStep(static_cast<std::size_t>(toneCount));
        std::vector<double> tonePhase(phaseStep.size());
        for (std::size_t t = 0; t < phaseStep.size(); ++t) {
          phaseStep[t] = 1.3 * unit(random);
          tonePhase[t] = 7.0 * unit(random);
        }
        std::vector<int32_t> tones(97);
        for (int32_t& tone : tones) {
          tone = pick(random);
        }
        std::vector<double> referenceTones = tonePhase;
        std::vector<double> phases;
        const double start = 1e3 * unit(random);
        const auto frameOf = [&](std::size_t first, std::size_t count) {
          return ToneFrame{&tones[first],    static_cast<int32_t>(count),
                           phaseStep.data(), tonePhase.data(),
                           toneCount,        n,
                           continuous};
        };
        double expectedEnd =
            referenceFrame(frameOf(0, 60), start, referenceTones, phaseStep, phases);
        expectedEnd =
            referenceFrame(frameOf(60, 37), expectedEnd, referenceTones, phaseStep, phases);

        constexpr double kGuard = 2.5;
        std::vector<double> samples(2 * phases.size() + 2, kGuard);
        ToneSynthesizer synthesizer(kernel(), samples.data());
        double end = synthesizer.addFrame(frameOf(0, 60), start);
        end = synthesizer.addFrame(frameOf(60, 37), end);
        synthesizer.finish();

        EXPECT_EQ(std::bit_cast<uint64_t>(end), std::bit_cast<uint64_t>(expectedEnd));
        for (std::size_t t = 0; t < tonePhase.size(); ++t) {
          ASSERT_EQ(std::bit_cast<uint64_t>(tonePhase[t]),
                    std::bit_cast<uint64_t>(referenceTones[t]))
              << "tone " << t;
        }
        expectSamplesOf(phases, samples.data());
        EXPECT_EQ(samples[2 * phases.size()], kGuard);
      }
    }
  }
}

bool sameBits(const std::vector<double>& a, const std::vector<double>& b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

TEST_P(ToneKernelTest, WholeFrameIsAddFrameThenFinish) {
  // Frames of one block (8 phases) at most, frames that fit the 64 phases of the synthesis
  // ring, and frames one symbol longer than either; tones in a register and in memory; the copy
  // gets the same samples.
  std::mt19937_64 random = seededRandom(977);
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  for (const int32_t toneCount : {1, 4, 9}) {
    for (const int32_t n : {1, 3, 8, 13}) {
      for (const int32_t symbols : {1, 8 / n, 8 / n + 1, 64 / n, 64 / n + 1, 97}) {
        for (const bool continuous : {true, false}) {
          SCOPED_TRACE(::testing::Message() << "M " << toneCount << " N " << n << " symbols "
                                            << symbols << (continuous ? " continuous" : ""));
          std::uniform_int_distribution<int32_t> pick(0, toneCount - 1);
          std::vector<double> phaseStep(static_cast<std::size_t>(toneCount));
          std::vector<double> tonePhase(phaseStep.size());
          for (std::size_t t = 0; t < phaseStep.size(); ++t) {
            phaseStep[t] = 1.3 * unit(random);
            tonePhase[t] = 7.0 * unit(random);
          }
          std::vector<int32_t> tones(static_cast<std::size_t>(symbols));
          for (int32_t& tone : tones) {
            tone = pick(random);
          }
          const double start = 1e3 * unit(random);
          std::vector<double> splitTones = tonePhase;
          const ToneFrame split{tones.data(), symbols, phaseStep.data(), splitTones.data(),
                                toneCount,    n,       continuous};
          const ToneFrame whole{tones.data(), symbols, phaseStep.data(), tonePhase.data(),
                                toneCount,    n,       continuous};

          const std::size_t doubles = 2 * static_cast<std::size_t>(symbols * n);
          constexpr double kGuard = 2.5;
          std::vector<double> expected(doubles + 2, kGuard);
          ToneSynthesizer synthesizer(kernel(), expected.data());
          const double expectedEnd = synthesizer.addFrame(split, start);
          synthesizer.finish();

          std::vector<double> samples(expected.size(), kGuard);
          std::vector<double> copy(expected.size(), kGuard);
          EXPECT_EQ(std::bit_cast<uint64_t>(
                        synthesizeWholeFrame(kernel(), whole, start, samples.data(), copy.data())),
                    std::bit_cast<uint64_t>(expectedEnd));
          EXPECT_TRUE(sameBits(samples, expected));
          EXPECT_TRUE(sameBits(copy, expected));
          EXPECT_TRUE(sameBits(tonePhase, splitTones));
        }
      }
    }
  }
}

TEST_P(ToneKernelTest, FrameWithoutSymbolsOrTonesWritesNothing) {
  const int32_t tone = 0;
  const double step = 0.5;
  double tonePhase = 1.25;
  double sample = 4.0;
  ToneSynthesizer synthesizer(kernel(), &sample);
  EXPECT_EQ(synthesizer.addFrame({&tone, 0, &step, &tonePhase, 1, 8, true}, 3.0), 3.0);
  EXPECT_EQ(synthesizer.addFrame({&tone, 1, &step, &tonePhase, 0, 8, false}, 3.0), 3.0);
  synthesizer.finish();
  EXPECT_EQ(sample, 4.0);
  EXPECT_EQ(tonePhase, 1.25);
}

// Each phase a symbol of one sample, so that a vector holds unrelated phases.
std::vector<double> samplesOfPhases(const ToneKernel& kernel, const std::vector<double>& phases) {
  std::vector<double> samples(2 * phases.size());
  ToneSynthesizer synthesizer(kernel, samples.data());
  for (const double phase : phases) {
    synthesizer.addSymbol(phase, 0.0, 1);
  }
  synthesizer.finish();
  return samples;
}

TEST_P(ToneKernelTest, StaysWithinOneUlpAtEveryMagnitude) {
  std::mt19937_64 random = seededRandom(31);
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  for (const double magnitude : {1e-3, 0.5, 1.0, 2.0, 1e3, 1e6, 1e9, 2147483648.0, 1e12}) {
    SCOPED_TRACE(::testing::Message() << "|phase| up to " << magnitude);
    std::vector<double> phases(20000);
    for (double& phase : phases) {
      phase = magnitude * unit(random);
    }
    expectSamplesOf(phases, samplesOfPhases(kernel(), phases).data());
  }
}

TEST_P(ToneKernelTest, StaysWithinOneUlpNearMultiplesOfHalfPi) {
  // The doubles nearest k * pi/2 (and their neighbours), where the reduction cancels the most
  // bits, for small k and random k up to 2^30.
  constexpr long double kHalfPi = 1.570796326794896619231321691639751442L;
  std::mt19937_64 random = seededRandom(57);
  std::uniform_int_distribution<int64_t> multiple(-(int64_t{1} << 30), int64_t{1} << 30);
  std::vector<double> phases;
  const auto addAround = [&phases](double centre) {
    double below = centre;
    double above = centre;
    phases.push_back(centre);
    for (int step = 0; step < 2; ++step) {
      below = std::nextafter(below, -std::numeric_limits<double>::infinity());
      above = std::nextafter(above, std::numeric_limits<double>::infinity());
      phases.push_back(below);
      phases.push_back(above);
    }
  };
  for (int64_t k = -2000; k <= 2000; ++k) {
    addAround(static_cast<double>(static_cast<long double>(k) * kHalfPi));
  }
  for (int trial = 0; trial < 4000; ++trial) {
    addAround(static_cast<double>(static_cast<long double>(multiple(random)) * kHalfPi));
  }
  // The closest doubles to a multiple of pi/2 in several binades below 2^31 (a continued
  // fraction search): remainders down to 2^-60.5.
  for (const double hardest :
       {45.553093477052, 91.106186954104, 14461176.67027838, 28922353.34055676, 57844706.68111352,
        115689413.36222704, 231378826.72445408, 148791088.67091104, 505269393.06916845,
        715392349.9834924, 2146177049.9504771}) {
    addAround(hardest);
    addAround(-hardest);
  }
  expectSamplesOf(phases, samplesOfPhases(kernel(), phases).data());
}

TEST_P(ToneKernelTest, PhasesOutOfRangeLeaveTheirNeighboursExact) {
  // A vector holding an infinite phase, a NaN and phases beyond 2^31 beside ordinary ones: the
  // ordinary ones stay within 1 ulp, the others give what the plain loop gives for them.
  const std::vector<double> ordinary = {0.5, -3.0, 1e3, 2147483648.0, -2147483648.0, 7.0};
  const std::vector<double> outside = {std::numeric_limits<double>::infinity(),
                                       std::numeric_limits<double>::quiet_NaN(),
                                       std::nextafter(2147483648.0, 1e300), -1e15};
  for (const double odd : outside) {
    std::vector<double> phases = ordinary;
    phases.insert(phases.begin() + 2, odd);
    const std::vector<double> samples = samplesOfPhases(kernel(), phases);
    if (std::isfinite(odd)) {
      expectSamplesOf(phases, samples.data());
      continue;
    }
    EXPECT_TRUE(std::isnan(samples[4]) && std::isnan(samples[5])) << odd;
    phases.erase(phases.begin() + 2);
    std::vector<double> rest = samples;
    rest.erase(rest.begin() + 4, rest.begin() + 6);
    expectSamplesOf(phases, rest.data());
  }
}

TEST_P(ToneKernelTest, APhaseOutOfRangeInAnyLaneOfABlockIsNoticed) {
  // One phase beyond the reduction's range (or not finite) in each lane of a block of eight in
  // turn, the rest ordinary: a range check that missed a lane would give that lane a wrong
  // value, and every other lane must stay within 1 ulp whichever routine the block takes.
  constexpr int32_t kBlock = ToneSynthesisState::kBlock;
  for (const double odd : {1e300, -1e20, 3e9, std::numeric_limits<double>::infinity(),
                           std::numeric_limits<double>::quiet_NaN()}) {
    for (int32_t lane = 0; lane < kBlock; ++lane) {
      SCOPED_TRACE(::testing::Message() << odd << " in lane " << lane);
      std::vector<double> phases(2 * kBlock);
      for (std::size_t j = 0; j < phases.size(); ++j) {
        phases[j] = 0.7 * static_cast<double>(j) - 4.0;
      }
      phases[static_cast<std::size_t>(kBlock + lane)] = odd;
      const std::vector<double> samples = samplesOfPhases(kernel(), phases);
      if (std::isfinite(odd)) {
        expectSamplesOf(phases, samples.data());
        continue;
      }
      const auto at = static_cast<std::size_t>(2 * (kBlock + lane));
      EXPECT_TRUE(std::isnan(samples[at]) && std::isnan(samples[at + 1]));
      phases.erase(phases.begin() + kBlock + lane);
      std::vector<double> rest = samples;
      rest.erase(rest.begin() + static_cast<std::ptrdiff_t>(at),
                 rest.begin() + static_cast<std::ptrdiff_t>(at + 2));
      expectSamplesOf(phases, rest.data());
    }
  }
}

TEST_P(ToneKernelTest, NegativeCountWritesNothing) {
  double sample = 4.0;
  EXPECT_EQ(synthesizeToneWith(kernel(), 1.5, 0.5, -3, &sample), 1.5);
  EXPECT_EQ(sample, 4.0);
}

TEST_P(ToneKernelTest, ToneAdvanceIsThePlainOneBitForBit) {
  std::mt19937_64 random = seededRandom(7);
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  for (std::size_t toneCount = 0; toneCount <= 37; ++toneCount) {
    std::vector<double> step(toneCount);
    std::vector<double> tone(toneCount);
    for (std::size_t t = 0; t < toneCount; ++t) {
      step[t] = 0.9 * unit(random);
      tone[t] = 1e3 * unit(random);
    }
    if (toneCount > 3) {
      tone[1] = kTwoPi - 8 * step[1];  // lands on 2*pi exactly or next to it
      tone[2] = std::numeric_limits<double>::quiet_NaN();
      tone[3] = std::numeric_limits<double>::infinity();
    }
    std::vector<double> plain = tone;
    for (int symbol = 0; symbol < 5; ++symbol) {
      advanceTonesWith(kernel(), tone, step, 8);
      advanceTonesStraightforward(plain, step, 8);
    }
    for (std::size_t t = 0; t < toneCount; ++t) {
      EXPECT_EQ(std::bit_cast<uint64_t>(tone[t]), std::bit_cast<uint64_t>(plain[t]))
          << toneCount << " tones, tone " << t;
    }
  }
}

TEST_P(ToneKernelTest, ToneAdvanceSubtractsTwoPiOnceAndNeverRaisesANegativePhase) {
  // M = 4, frequency separation 1, T 1, N 8: N * step = -3pi, -pi, pi, 3pi.
  const std::vector<double> step = {-1.1780972450961724, -0.39269908169872414, 0.39269908169872414,
                                    1.1780972450961724};
  std::vector<double> tone(4, 0.0);
  advanceTonesWith(kernel(), tone, step, 8);
  EXPECT_DOUBLE_EQ(tone[0], -3 * kPi);
  EXPECT_DOUBLE_EQ(tone[1], -kPi);
  EXPECT_DOUBLE_EQ(tone[2], kPi);
  EXPECT_DOUBLE_EQ(tone[3], kPi);
  advanceTonesWith(kernel(), tone, step, 8);
  EXPECT_DOUBLE_EQ(tone[0], -6 * kPi);
  EXPECT_NEAR(tone[2], 0.0, 1e-15);
  EXPECT_DOUBLE_EQ(tone[3], 2 * kPi);  // still 2*pi: only one subtraction per symbol
}

TEST_P(ToneKernelTest, ToneAdvanceLeavesTonesBeyondTheShorterSpanAlone) {
  std::vector<double> tone = {0.0, 0.0, 5.0};
  const std::vector<double> step = {0.5, 0.25};
  advanceTonesWith(kernel(), tone, step, 2);
  EXPECT_EQ(tone, (std::vector<double>{1.0, 0.5, 5.0}));
}

INSTANTIATE_TEST_SUITE_P(EveryKernel, ToneKernelTest, ::testing::ValuesIn(kKernelLevels),
                         kernelName);

TEST(ToneKernelTable, VectorKernelsGiveTheSameBitsWithinTheirRange) {
  // One reduction and one pair of polynomials, four or eight lanes wide.
  const ToneKernel* avx2 = findToneKernel(KernelLevel::avx2);
  const ToneKernel* avx512 = findToneKernel(KernelLevel::avx512);
  if (avx2 == nullptr || avx512 == nullptr || !runsOnThisCpu(*avx2) || !runsOnThisCpu(*avx512)) {
    GTEST_SKIP() << "needs both vector kernels";
  }
  std::mt19937_64 random = seededRandom(12);
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  std::vector<double> phases;
  for (const double magnitude : {1.0, 1e3, 1e9, 2147483648.0}) {
    for (int j = 0; j < 5000; ++j) {
      phases.push_back(magnitude * unit(random));
    }
  }
  const std::vector<double> four = samplesOfPhases(*avx2, phases);
  const std::vector<double> eight = samplesOfPhases(*avx512, phases);
  for (std::size_t index = 0; index < four.size(); ++index) {
    ASSERT_EQ(std::bit_cast<uint64_t>(four[index]), std::bit_cast<uint64_t>(eight[index]))
        << "phase " << phases[index / 2];
  }
}

TEST(KernelLevelNames, OnlyTheExactNamesAreKnown) {
  for (const KernelLevel level : kKernelLevels) {
    EXPECT_EQ(parseKernelLevel(kernelLevelName(level)), level);
  }
  for (const std::string_view word :
       {"", "AVX2", "Plain", "avx", "avx2 ", " avx512", "avx512f", "sse2", "neon", "fastest"}) {
    EXPECT_EQ(parseKernelLevel(word), std::nullopt) << "'" << word << "'";
  }
}

TEST(KernelVariable, ChoosesTheKernelOfTheWholeProgram) {
#if defined(_WIN32)
  GTEST_SKIP() << "sets the variable through env(1)";
#else
  // The command's output under each word: plain gives the platform's std::cos and std::sin,
  // which differ from our sincos in some last bits; the vector kernels agree with each other;
  // a word that names no level (or none at all) gives the widest kernel that runs.
  const auto run = [](const std::string& word) {
    std::vector<std::string> arguments;
    if (!word.empty()) {
      arguments.push_back(std::string(kKernelVariable) + "=" + word);
    }
    arguments.insert(arguments.end(), {QUENVARITH_RUN_PATH, "--random", "2000", "--seed", "3",
                                       "--format", "cf64", "--quiet"});
    ProcessResult result = runProgram("/usr/bin/env", arguments);
    EXPECT_EQ(result.exitCode, 0) << word << ": " << result.err;
    EXPECT_EQ(result.out.size(), 2000U * 8U * 16U) << word;
    return result;
  };
  const ProcessResult widest = run("");
  EXPECT_EQ(widest.err, "");
  const ProcessResult unknown = run("no-such-level");
  EXPECT_TRUE(unknown.out == widest.out);
  // The command says the word was not taken; the exit status stays 0.
  EXPECT_NE(unknown.err.find("warning: QUENVARITH_KERNEL='no-such-level' names no kernel"),
            std::string::npos)
      << unknown.err;
  for (const KernelLevel level : kKernelLevels) {
    SCOPED_TRACE(kernelLevelName(level));
    const ProcessResult named = run(std::string(kernelLevelName(level)));
    EXPECT_EQ(named.err, "");  // the plug-in prints nothing
    const ToneKernel& chosen = chooseToneKernel(level);
    EXPECT_EQ(named.out == widest.out,
              chosen.level != KernelLevel::plain ||
                  chooseToneKernel(std::nullopt).level == KernelLevel::plain);
  }
#endif
}

TEST(ToneKernelTable, PlainIsBuiltAndRunsEverywhere) {
  const ToneKernel* plain = findToneKernel(KernelLevel::plain);
  ASSERT_NE(plain, nullptr);
  EXPECT_TRUE(runsOnThisCpu(*plain));
  EXPECT_EQ(&toneKernels().front(), plain);
}

TEST(ToneKernelTable, ChoosesTheNamedLevelWhereItRunsElseTheWidest) {
  const ToneKernel& widest = chooseToneKernel(std::nullopt);
  EXPECT_TRUE(runsOnThisCpu(widest));
  for (const ToneKernel& kernel : toneKernels()) {
    if (runsOnThisCpu(kernel)) {
      EXPECT_LE(kernel.level, widest.level) << kernelLevelName(kernel.level);
    }
  }
  for (const KernelLevel level : kKernelLevels) {
    SCOPED_TRACE(kernelLevelName(level));
    const ToneKernel* built = findToneKernel(level);
    const ToneKernel& chosen = chooseToneKernel(level);
    EXPECT_EQ(&chosen, built != nullptr && runsOnThisCpu(*built) ? built : &widest);
  }
  const char* word = std::getenv(kKernelVariable);
  EXPECT_EQ(&selectedToneKernel(),
            &chooseToneKernel(word == nullptr ? std::nullopt : parseKernelLevel(word)));
}

}  // namespace
}  // namespace quenvarith::testing
