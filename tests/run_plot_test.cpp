// The plot script turns a recording made by quenvarith-run into a PNG.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "run_process.h"

namespace quenvarith::testing {
namespace {

constexpr const char* kPython = "/usr/bin/python3";

TEST(PlotScript, DrawsARecordingAsPng) {
  if (!std::filesystem::exists(kPython)) {
    GTEST_SKIP() << kPython << " is not installed";
  }
  const ScratchDirectory scratch;
  const std::string recording = scratch.file("example");
  const ProcessResult run = runQuenvarith({"--random", "256", "--mapping", "gray", "--output",
                                           recording, "--format", "sigmf", "--quiet"});
  ASSERT_EQ(run.exitCode, 0) << run.err;

  const std::string png = scratch.file("example.png");
  const ProcessResult plot = runProgram(
      kPython,
      {std::string(QUENVARITH_SOURCE_DIR) + "/tools/plot_iq.py", recording, "--output", png});
  ASSERT_EQ(plot.exitCode, 0) << plot.err;
  const std::string picture = readFile(png);
  ASSERT_GT(picture.size(), 8u);
  EXPECT_EQ(picture.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
}

}  // namespace
}  // namespace quenvarith::testing
