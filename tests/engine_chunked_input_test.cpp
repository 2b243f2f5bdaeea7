// The inputs read in chunks of any size, as the step interface's callers read them: the values
// do not depend on where the chunks end.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "engine/input_sources.h"
#include "run_process.h"

namespace quenvarith::engine {
namespace {

// Every value `stream` gives, read `chunk` at a time.
std::vector<double> readInChunks(ValueStream& stream, size_t chunk) {
  std::vector<double> all;
  std::vector<double> values(chunk);
  for (;;) {
    const size_t count = stream.readAvailable(values);
    all.insert(all.end(), values.begin(), values.begin() + static_cast<ptrdiff_t>(count));
    if (count < chunk) {
      return all;
    }
  }
}

TEST(ChunkedInput, BytesGiveTheirBitsOrSymbolsWhereverTheChunksEnd) {
  const std::string bytes("\xa5\x00\xff\x01", 4);
  const std::vector<double> bits{1, 0, 1, 0, 0, 1, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0,
                                 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0, 1};
  const std::vector<double> symbols{165, 0, 255, 1};
  for (const size_t chunk : {size_t{1}, size_t{3}, size_t{8}, size_t{31}, size_t{64}}) {
    BytesInput asBits(bytes, true);
    EXPECT_EQ(readInChunks(asBits, chunk), bits) << chunk;
    BytesInput asSymbols(bytes, false);
    EXPECT_EQ(readInChunks(asSymbols, chunk), symbols) << chunk;
    EXPECT_EQ(asSymbols.bytesConsumed(), 4u);
  }
}

TEST(ChunkedInput, RandomSymbolsAreTheSameInChunksAsInSteps) {
  for (const size_t chunk : {size_t{1}, size_t{5}, size_t{4096}}) {
    RandomInput chunked(101, 7, 3, true, 8);
    RandomInput stepped(101, 7, 3, true, 8);
    std::vector<double> steps(303);
    ASSERT_EQ(stepped.read(steps), ReadResult::Filled);
    EXPECT_EQ(readInChunks(chunked, chunk), steps) << chunk;
    EXPECT_EQ(chunked.symbolsGenerated(), 101u);
  }
}

TEST(ChunkedInput, TextGivesTheLineOfEveryValue) {
  const testing::ScratchDirectory scratch;
  const std::string path = scratch.file("input.txt");
  testing::writeFile(path, "1 0\n\n1\n 0 1 ");
  std::FILE* file = std::fopen(path.c_str(), "rb");
  ASSERT_NE(file, nullptr);
  TextInput input(file);
  std::vector<double> values(8);
  std::vector<uint64_t> lines(8);
  ASSERT_EQ(input.readAvailable(values, lines), 5u);
  EXPECT_EQ(std::vector<uint64_t>(lines.begin(), lines.begin() + 5),
            (std::vector<uint64_t>{1, 1, 3, 4, 4}));
  EXPECT_TRUE(input.error().empty());
  EXPECT_EQ(input.lastLine(), 4u);
  (void)std::fclose(file);
}

}  // namespace
}  // namespace quenvarith::engine
