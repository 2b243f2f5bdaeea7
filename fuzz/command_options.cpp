// The command's option parser: any argument vector. It returns options to run with, an exit
// status after help, or the usage exit status, and it never throws or crashes.
#include <iostream>
#include <string>
#include <vector>

#include "cli/options.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
  // Help and usage messages would drown the fuzzer's own output.
  std::cout.rdbuf(nullptr);
  std::cerr.rdbuf(nullptr);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  using namespace quenvarith;
  FuzzedDataProvider data(bytes, size);
  std::vector<std::string> words = {"quenvarith-run"};
  while (data.remaining_bytes() > 0 && words.size() < 24) {
    words.push_back(data.ConsumeRandomLengthString(48));
  }
  std::vector<char*> argv;
  argv.reserve(words.size() + 1);
  for (std::string& word : words) {
    argv.push_back(word.data());
  }
  argv.push_back(nullptr);

  const cli::ParseResult result =
      cli::parseCommandLine(static_cast<int>(words.size()), argv.data());
  if (result.options) {
    const cli::RunOptions& options = *result.options;
    fuzz::require(options.settings.frameSize >= 0, "a frame size is never negative");
  } else {
    fuzz::require(result.exitCode == 0 || result.exitCode == cli::kUsageExit,
                  "a parse that does not run exits 0 after help or with the usage status");
  }
  return 0;
}
