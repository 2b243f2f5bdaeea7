// The command's input parser: any bytes as an input file, read in steps of any width. A read
// either fills the step, ends at a step boundary, or fails with a printable message naming the
// line; and every token it takes for a number is one, with the value the C library gives it.
// The steps read and the message go into a SigMF recording, as the command writes them: its
// meta parses as JSON and notes the sample count of its data.
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "engine/input_sources.h"
#include "fuzz/fuzz_support.h"
#include "fuzz/recording_check.h"

namespace quenvarith::fuzz {
namespace {

bool isSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

bool sameDouble(double a, double b) {
  if (std::isnan(a) || std::isnan(b)) {
    return std::isnan(a) && std::isnan(b);
  }
  return a == b && std::signbit(a) == std::signbit(b);
}

// The parser against strtod on one token. strtod also reads hexadecimal numbers, which the
// parser need not take.
void checkToken(std::string_view token) {
  double parsed = 0.0;
  const bool accepted = engine::parseNumber(token, parsed);
  const std::string text(token);
  char* end = nullptr;
  errno = 0;
  const double reference = std::strtod(text.c_str(), &end);
  const bool whole = !text.empty() && end == text.c_str() + text.size() && !isSpace(text[0]);
  const bool hexadecimal = text.find_first_of("xX") != std::string::npos;
  if (accepted) {
    require(whole, "an accepted token is a whole number for strtod too");
    require(sameDouble(parsed, reference), "an accepted token has strtod's value");
  } else if (!hexadecimal) {
    require(!whole, "a number strtod reads whole is accepted");
  }
}

}  // namespace
}  // namespace quenvarith::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  using namespace quenvarith;
  if (size < 2) {
    return 0;
  }
  const size_t width = 1 + bytes[0] % 64;
  const std::string text(reinterpret_cast<const char*>(bytes) + 1, size - 1);

  // Token by token.
  size_t begin = 0;
  while (begin < text.size()) {
    while (begin < text.size() && fuzz::isSpace(text[begin])) {
      ++begin;
    }
    size_t end = begin;
    while (end < text.size() && !fuzz::isSpace(text[end])) {
      ++end;
    }
    if (end > begin && end - begin <= 64 && text.find('\0', begin) >= end) {
      fuzz::checkToken(std::string_view(text).substr(begin, end - begin));
    }
    begin = end;
  }

  // As a whole file, read step by step; the steps and the message that ends them go into a
  // recording, as the command writes them.
  uint64_t steps = 0;
  std::string ending;
  std::FILE* stream = fmemopen(const_cast<char*>(text.data()), text.size(), "r");
  if (stream == nullptr) {
    return 0;
  }
  {
    engine::TextInput input(stream);
    std::vector<double> values(width);
    for (;;) {
      const engine::ReadResult result = input.read(values);
      if (result == engine::ReadResult::Filled) {
        ++steps;
        continue;
      }
      ending = input.error();
      if (result == engine::ReadResult::Failed) {
        fuzz::require(!input.error().empty(), "a failed read says why");
        fuzz::requirePrintable(input.error());
        fuzz::require(input.error().find("line ") != std::string::npos ||
                          input.error().find("whole number of steps") != std::string::npos,
                      "a failed read names the line or the cut-short step");
      }
      fuzz::require(input.read(values) != engine::ReadResult::Filled,
                    "nothing is read after the end");
      break;
    }
  }
  (void)std::fclose(stream);  // a memory stream: nothing to flush

  // The input as the recording's description too, and a name of its own bytes.
  engine::RecordingInfo info;
  info.sampleRate = 8.0;
  info.samplePeriod = 0.125;
  info.description = text.substr(0, 64);
  info.sigmfDatatype =
      (bytes[0] & 0x40U) != 0 ? engine::SigmfDatatype::Cf64 : engine::SigmfDatatype::Cf32;
  fuzz::checkRecording("recording", engine::OutputFormat::Sigmf, info, steps % 64,
                       ending.empty() ? "" : "error", ending);
  return 0;
}
