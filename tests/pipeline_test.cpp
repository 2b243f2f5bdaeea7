// The pipeline between quenvarith-run's threads: chunks read ahead and batches written behind
// arrive whole and in order, a failure on either side shows where it would have happened on one
// thread, and the workers end on every path without waiting for ever.
#include <gtest/gtest.h>

#include <numeric>
#include <stdexcept>
#include <string>
#include <vector>

#include "cli/pipeline.h"
#include "run_process.h"

namespace quenvarith::testing {
namespace {

constexpr size_t kChunkValues = 6;
// The writer's batches: the samples of two chunks, written back as (value, -value).
constexpr size_t kChunksPerBatch = 2;
constexpr size_t kBatchDoubles = kChunksPerBatch * 2 * kChunkValues;

// The numbers 0, 1, 2... up to `length`, each on line value / 3 + 1; throws at `throwAt`.
class CountingInput {
 public:
  explicit CountingInput(size_t length, size_t throwAt = SIZE_MAX)
      : length_(length), throwAt_(throwAt) {}

  size_t read(std::span<double> values, std::span<uint64_t> lines) {
    size_t count = 0;
    for (; count < values.size() && next_ < length_; ++count, ++next_) {
      if (next_ == throwAt_) {
        throw std::runtime_error("read failed at " + std::to_string(next_));
      }
      values[count] = static_cast<double>(next_);
      if (!lines.empty()) {
        lines[count] = next_ / 3 + 1;
      }
    }
    return count;
  }
  [[nodiscard]] uint64_t position() const { return next_; }

  cli::ReadAhead reader(bool ahead, bool lines) {
    return {[this](std::span<double> values, std::span<uint64_t> lineNumbers) {
              return read(values, lineNumbers);
            },
            [this] { return position(); }, kChunkValues, lines, ahead};
  }

 private:
  size_t length_;
  size_t throwAt_;
  size_t next_ = 0;
};

// Keeps what it is given; fails (or throws) from its `failAt`th write on.
class RecordingSink final : public engine::OutputSink {
 public:
  explicit RecordingSink(size_t failAt = SIZE_MAX, bool throws = false)
      : failAt_(failAt), throws_(throws) {}
  bool write(std::span<const double> samples) override {
    if (writes_++ >= failAt_) {
      if (throws_) {
        throw std::runtime_error("the sink threw");
      }
      return false;
    }
    kept_.insert(kept_.end(), samples.begin(), samples.end());
    return true;
  }
  [[nodiscard]] const std::string& error() const override { return error_; }
  [[nodiscard]] const std::vector<double>& kept() const { return kept_; }

 private:
  size_t failAt_;
  bool throws_;
  size_t writes_ = 0;
  std::vector<double> kept_;
  std::string error_ = "the sink is full";
};

// The run's loop in small: every chunk's values written back as samples (value, -value).
// Returns the chunks taken.
size_t copyThrough(cli::ReadAhead& input, cli::WriteBehind& output, bool save) {
  size_t chunks = 0;
  for (bool last = false; !last && !output.failed(); ++chunks) {
    const cli::InputChunk& chunk = input.next();
    if (save) {
      output.save(chunk);
    }
    const std::span<double> buffer = output.buffer();
    for (size_t i = 0; i < chunk.count; ++i) {
      buffer[2 * i] = chunk.values[i];
      buffer[2 * i + 1] = -chunk.values[i];
    }
    output.write(chunk.count);
    last = chunk.last();
    output.giveBack(chunk);
  }
  return chunks;
}

std::vector<double> interleaved(size_t count) {
  std::vector<double> samples;
  for (size_t i = 0; i < count; ++i) {
    samples.push_back(static_cast<double>(i));
    samples.push_back(-static_cast<double>(i));
  }
  return samples;
}

struct Flow {
  const char* name;
  size_t length;  // input values
  bool ahead;
  bool save;
};

class PipelineFlow : public ::testing::TestWithParam<Flow> {};

INSTANTIATE_TEST_SUITE_P(
    Pipeline, PipelineFlow,
    ::testing::Values(Flow{"Empty", 0, true, false}, Flow{"OneShortChunk", 4, true, true},
                      Flow{"WholeChunks", 10 * kChunkValues, true, true},
                      Flow{"ManyChunksAhead", 1000 * kChunkValues + 5, true, true},
                      Flow{"ManyChunksInline", 1000 * kChunkValues + 5, false, true},
                      Flow{"NothingSaved", 333, true, false}),
    [](const auto& test) { return test.param.name; });

// Everything arrives once, in order, and the saved input holds every value in order too.
TEST_P(PipelineFlow, EveryValueArrivesOnceAndInOrder) {
  const Flow flow = GetParam();
  const ScratchDirectory scratch;
  cli::SavedInput saved(1);
  ASSERT_TRUE(saved.open(scratch.file("saved.txt")));
  CountingInput source(flow.length);
  RecordingSink sink;
  {
    cli::ReadAhead input = source.reader(flow.ahead, false);
    cli::WriteBehind output(sink, &saved, input, 2 * kChunkValues, kBatchDoubles);
    const size_t chunks = copyThrough(input, output, flow.save);
    EXPECT_EQ(chunks, flow.length / kChunkValues + 1);
    input.stop();
    ASSERT_TRUE(output.finish()) << output.error();
    EXPECT_EQ(output.samplesWritten(), flow.length);
  }
  EXPECT_EQ(sink.kept(), interleaved(flow.length));
  ASSERT_TRUE(saved.close());
  std::string expected;
  for (size_t i = 0; flow.save && i < flow.length; ++i) {
    expected += std::to_string(i) + "\n";
  }
  EXPECT_EQ(withUnixLineEnds(readFile(scratch.file("saved.txt"))), expected);
}

// Lines and the progress position go with the chunk they belong to, however far ahead the
// reader is.
TEST(Pipeline, ChunksCarryTheirLinesAndPosition) {
  for (const bool ahead : {true, false}) {
    CountingInput source(100 * kChunkValues);
    cli::ReadAhead input = source.reader(ahead, true);
    for (size_t chunkIndex = 0; chunkIndex < 100; ++chunkIndex) {
      const cli::InputChunk& chunk = input.next();
      ASSERT_EQ(chunk.count, kChunkValues);
      const size_t first = chunkIndex * kChunkValues;
      EXPECT_EQ(chunk.position, first + kChunkValues);
      for (size_t i = 0; i < chunk.count; ++i) {
        EXPECT_EQ(chunk.lines[i], (first + i) / 3 + 1);
      }
      input.giveBack(chunk);
    }
  }
}

// A read that throws is rethrown with the chunk it broke, after every chunk before it.
TEST(Pipeline, AReadThatThrowsIsRethrownInItsTurn) {
  for (const bool ahead : {true, false}) {
    CountingInput source(100 * kChunkValues, 7 * kChunkValues + 2);
    cli::ReadAhead input = source.reader(ahead, false);
    for (size_t chunkIndex = 0; chunkIndex < 7; ++chunkIndex) {
      const cli::InputChunk& chunk = input.next();
      EXPECT_EQ(chunk.values[0], static_cast<double>(chunkIndex * kChunkValues));
      input.giveBack(chunk);
    }
    EXPECT_THROW((void)input.next(), std::runtime_error);
  }
}

struct WriteFailure {
  const char* name;
  size_t failAt;  // the sink's write that fails
  bool throws;
};

class PipelineWriteFailure : public ::testing::TestWithParam<WriteFailure> {};

INSTANTIATE_TEST_SUITE_P(Pipeline, PipelineWriteFailure,
                         ::testing::Values(WriteFailure{"First", 0, false},
                                           WriteFailure{"Later", 37, false},
                                           WriteFailure{"Thrown", 5, true}),
                         [](const auto& test) { return test.param.name; });

// After a failed write nothing more is written, the run learns of it soon (it does not read
// the input to its end) and ends without waiting; what was written before stays.
TEST_P(PipelineWriteFailure, StopsTheRunWithWhatCameBeforeIt) {
  const WriteFailure failure = GetParam();
  CountingInput source(100000 * kChunkValues);
  RecordingSink sink(failure.failAt, failure.throws);
  cli::ReadAhead input = source.reader(true, false);
  cli::WriteBehind output(sink, nullptr, input, 2 * kChunkValues, kBatchDoubles);
  const size_t chunks = copyThrough(input, output, false);
  EXPECT_LT(chunks, 1000u);
  input.stop();
  if (failure.throws) {
    EXPECT_THROW((void)output.finish(), std::runtime_error);
  } else {
    EXPECT_FALSE(output.finish());
    EXPECT_EQ(output.error(), "the sink is full");
  }
  // Every write of the sink is a batch of whole chunks.
  const size_t before = failure.failAt * kChunksPerBatch * kChunkValues;
  EXPECT_EQ(output.samplesWritten(), before);
  EXPECT_EQ(sink.kept(), interleaved(before));
}

// Drained, the writer has written everything handed over, and goes on taking more.
TEST(Pipeline, DrainingWaitsForEveryWrite) {
  CountingInput source(0);
  RecordingSink sink;
  cli::ReadAhead input = source.reader(false, false);
  cli::WriteBehind output(sink, nullptr, input, 2);
  for (size_t round = 1; round <= 100; ++round) {
    for (size_t i = 0; i < cli::WriteBehind::kBatches; ++i) {
      output.buffer()[0] = static_cast<double>(round);
      output.write(1);
    }
    output.drain();
    ASSERT_EQ(sink.kept().size(), 2 * cli::WriteBehind::kBatches * round);
    EXPECT_EQ(sink.kept().back(), 0.0);
    EXPECT_EQ(sink.kept()[sink.kept().size() - 2], static_cast<double>(round));
  }
  EXPECT_TRUE(output.finish());
}

// A run that ends early, its chunks and batches still out and the reader waiting for room,
// stops both workers.
TEST(Pipeline, AnAbandonedRunEndsItsWorkers) {
  CountingInput source(100000 * kChunkValues);
  RecordingSink sink;
  cli::ReadAhead input = source.reader(true, false);
  cli::WriteBehind output(sink, nullptr, input, 2 * kChunkValues, kBatchDoubles);
  const cli::InputChunk& held = input.next();
  (void)output.buffer();
  output.write(1);
  (void)held;
  // Destroyed here with the chunk held and the batch unwritten; a hang fails the test.
}

}  // namespace
}  // namespace quenvarith::testing
