// The plot script turns a recording made by quenvarith-run into a PNG.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include <nlohmann/json.hpp>

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

TEST(PlotScript, ReadsTheParametersFromTheNamespaceAndFromOlderRecordings) {
  if (!std::filesystem::exists(kPython)) {
    GTEST_SKIP() << kPython << " is not installed";
  }
  const ScratchDirectory scratch;
  // A description of one's own leaves the parameters to the namespace alone.
  const std::string recording = scratch.file("named");
  const ProcessResult run =
      runQuenvarith({"--random", "64", "--m-ary", "8", "--separation", "600", "--symbol-rate",
                     "1200", "--samples-per-symbol", "16", "--description", "a burst", "--output",
                     recording, "--format", "sigmf", "--quiet"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  // A recording from before the namespace: parameters in the description only.
  const std::string older = scratch.file("older");
  std::filesystem::copy_file(recording + ".sigmf-data", older + ".sigmf-data");
  auto meta = nlohmann::json::parse(readFile(recording + ".sigmf-meta"));
  nlohmann::json global = {{"core:datatype", meta["global"]["core:datatype"]},
                           {"core:version", meta["global"]["core:version"]},
                           {"core:sample_rate", meta["global"]["core:sample_rate"]},
                           {"core:description",
                            "M-FSK modulator output: MAryNumber=8 FrequencySeparation=600 "
                            "SamplesPerSymbol=16"}};
  meta["global"] = global;
  writeFile(older + ".sigmf-meta", meta.dump());

  for (const std::string& name : {recording, older}) {
    const std::string png = name + ".png";
    const ProcessResult plot = runProgram(
        kPython, {std::string(QUENVARITH_SOURCE_DIR) + "/tools/plot_iq.py", name, "--output", png});
    EXPECT_EQ(plot.exitCode, 0) << plot.err;
    EXPECT_TRUE(std::filesystem::exists(png)) << name;
  }
}

}  // namespace
}  // namespace quenvarith::testing
