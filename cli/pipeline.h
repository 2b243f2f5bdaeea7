// The run's input read ahead and its output written behind, each on a worker thread, so that the
// thread that runs the block does nothing else. Whole chunks go between the threads through a
// few buffers allocated before the run; each thread waits on a condition variable, never spins.
#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "cli/saved_input.h"
#include "engine/simulation.h"

namespace quenvarith::cli {

// A queue of fixed capacity between threads. Every buffer that goes through one has a place in
// it, so that a push never waits; a pop waits for an item or for the queue to close. A consumer
// that finds the queue empty sleeps until `gather` items are there: it wakes once for them all.
// Only for queues that fill up to `gather` while their consumer sleeps, whatever the others
// wait for: free buffers, which all come back.
template <typename T>
class HandOver {
 public:
  explicit HandOver(size_t capacity, size_t gather = 1) : items_(capacity), gather_(gather) {}

  // False when the queue is closed (or, by a fault of the caller, full): the item is not taken.
  bool push(T item) {
    bool wake = false;
    {
      const std::lock_guard lock(mutex_);
      if (closed_ || count_ == items_.size()) {
        return false;
      }
      items_[(first_ + count_) % items_.size()] = item;
      ++count_;
      wake = waiting_ && count_ >= gather_;
    }
    if (wake) {
      ready_.notify_one();
    }
    return true;
  }

  // The first item; nothing once the queue is closed and empty, or closed when `drop`.
  std::optional<T> pop(bool drop = false) {
    std::unique_lock lock(mutex_);
    if (count_ == 0) {
      waiting_ = true;
      ready_.wait(lock, [this] { return count_ >= gather_ || closed_; });
      waiting_ = false;
    }
    if (count_ == 0 || (closed_ && drop)) {
      return std::nullopt;
    }
    const T item = items_[first_];
    first_ = (first_ + 1) % items_.size();
    --count_;
    return item;
  }

  void close() {
    {
      const std::lock_guard lock(mutex_);
      closed_ = true;
    }
    ready_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable ready_;
  std::vector<T> items_;
  size_t gather_;
  size_t first_ = 0;
  size_t count_ = 0;
  bool waiting_ = false;
  bool closed_ = false;
};

// A chunk of input values: a whole number of steps, but for the last chunk of the input.
struct InputChunk {
  std::vector<double> values;
  std::vector<uint64_t> lines;  // the line of each value of a text input; empty else
  size_t count = 0;             // values read
  uint64_t position = 0;        // how far into the input the reader was once it was read
  std::exception_ptr failure;   // what the read threw

  [[nodiscard]] bool last() const { return count < values.size() || failure != nullptr; }
  [[nodiscard]] std::span<const double> read() const {
    return std::span<const double>(values).first(count);
  }
};

// Reads the input in chunks, in order. Ahead, a worker thread reads a few chunks before they
// are wanted; else each chunk is read when asked for, by the caller's thread. An input that may
// wait for ever (a pipe, a terminal) is not read ahead: the run could not end before the wait
// does, and a stop signal interrupts the read only on the thread that waits for it.
class ReadAhead {
 public:
  // Fills `values` (and `lines`, when it is not empty) as the input allows; fewer values than
  // asked for end the input.
  using Read = std::function<size_t(std::span<double> values, std::span<uint64_t> lines)>;
  // How far the input has been read, for the progress bar.
  using Position = std::function<uint64_t()>;

  static constexpr size_t kChunks = 4;

  ReadAhead(Read read, Position position, size_t chunkValues, bool lines, bool ahead);
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;
  ReadAhead(ReadAhead&&) = delete;
  ReadAhead& operator=(ReadAhead&&) = delete;
  ~ReadAhead() { stop(); }

  // The next chunk of the input; the caller's until it is given back. Not to be asked for
  // after the last. Rethrows what the read threw.
  const InputChunk& next();
  // Any thread.
  void giveBack(const InputChunk& chunk);
  // Whether a worker reads ahead; else a chunk asked for may wait for ever.
  [[nodiscard]] bool ahead() const { return ahead_; }
  // Stops reading and waits for the worker: afterwards the input is the caller's again, read
  // up to the last chunk handed out or a few beyond.
  void stop();

 private:
  void work();
  void fill(InputChunk& chunk);

  Read read_;
  Position position_;
  bool ahead_;
  std::array<InputChunk, kChunks> chunks_;
  // The reader fills half the chunks at a time.
  HandOver<InputChunk*> free_{kChunks, kChunks / 2};
  HandOver<InputChunk*> filled_{kChunks};
  std::thread worker_;
};

// Writes the output, and saves the input, behind the run on a worker thread, in the order the
// run hands them over; after the first failure it writes nothing more.
class WriteBehind {
 public:
  static constexpr size_t kBatches = 3;
  // A batch gathers the samples of as many buffers as fit in this many doubles (one at least),
  // so that the worker wakes once for them all while memory stays small. The bytes written are
  // the same however the samples are cut.
  static constexpr size_t kBatchDoubles = size_t{1} << 17;

  // `saved` may be null. `bufferDoubles`: the room `buffer()` gives, for interleaved real and
  // imaginary parts.
  WriteBehind(engine::OutputSink& output, SavedInput* saved, ReadAhead& input, size_t bufferDoubles,
              size_t batchDoubles = kBatchDoubles);
  WriteBehind(const WriteBehind&) = delete;
  WriteBehind& operator=(const WriteBehind&) = delete;
  WriteBehind(WriteBehind&&) = delete;
  WriteBehind& operator=(WriteBehind&&) = delete;
  // Drops what is still to be written (the run has failed) and waits for the worker.
  ~WriteBehind();

  // Where the next samples go; waits for a batch the worker is done with.
  std::span<double> buffer();
  // Takes the first `count` complex samples of the buffer, to be written with its batch.
  void write(size_t count);
  // Saves the chunk's values after the samples written before this call.
  void save(const InputChunk& chunk);
  // Gives the chunk back to the reader once everything handed over before is done with it.
  // The run's thread only.
  void giveBack(const InputChunk& chunk);
  // True once writing or saving failed: the run should stop, its outcome is the failure.
  [[nodiscard]] bool failed() const { return failed_.load(std::memory_order_acquire); }
  // Waits until everything handed over is written (or dropped after a failure).
  void drain();

  // Writes everything handed over and waits for the worker. False when writing or saving
  // failed, with `error()`. Rethrows what writing threw.
  bool finish();
  // After `finish`: complex samples written, and why writing failed.
  [[nodiscard]] uint64_t samplesWritten() const { return samplesWritten_; }
  [[nodiscard]] const std::string& error() const { return error_; }

 private:
  struct Job {
    std::vector<double>* batch = nullptr;  // samples to write
    size_t count = 0;
    const InputChunk* save = nullptr;      // values to save
    const InputChunk* giveBack = nullptr;  // a chunk done with
  };
  void hand(const Job& job);
  void handBatch();
  void work();
  void run(const Job& job);
  void fail(std::string message);

  engine::OutputSink& output_;
  SavedInput* saved_;
  ReadAhead& input_;
  std::array<std::vector<double>, kBatches> batches_;
  size_t bufferDoubles_;
  std::vector<double>* current_ = nullptr;  // the batch being filled
  size_t filled_ = 0;                       // doubles in it
  HandOver<std::vector<double>*> freeBatches_{kBatches};
  // Every batch, and a save and a giving back of every chunk, may be waiting at once.
  HandOver<Job> jobs_{kBatches + 2 * ReadAhead::kChunks};
  uint64_t jobsHanded_ = 0;  // the run's thread's own count
  std::mutex doneMutex_;
  std::condition_variable done_;
  uint64_t jobsDone_ = 0;
  std::atomic<bool> failed_{false};
  std::atomic<bool> dropped_{false};
  uint64_t samplesWritten_ = 0;
  std::string error_;
  std::exception_ptr thrown_;
  std::thread worker_;
};

}  // namespace quenvarith::cli
