#include "pipeline.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

#include "cli/stop_signals.h"

namespace quenvarith::cli {

namespace {

// Starts `work` on a thread that the stop signals never reach: they go to the run's own thread,
// whose waiting read they interrupt, as they would with no worker.
template <typename Work>
std::thread startWorker(Work work) {
  const StopSignalsBlocked blocked;
  return std::thread(std::move(work));
}

}  // namespace

ReadAhead::ReadAhead(Read read, Position position, size_t chunkValues, bool lines, bool ahead)
    : read_(std::move(read)), position_(std::move(position)), ahead_(ahead) {
  for (InputChunk& chunk : chunks_) {
    chunk.values.resize(chunkValues);
    chunk.lines.resize(lines ? chunkValues : 0);
    (void)free_.push(&chunk);
  }
  if (ahead) {
    worker_ = startWorker([this] { work(); });
  }
}

void ReadAhead::fill(InputChunk& chunk) {
  try {
    chunk.count = read_(chunk.values, chunk.lines);
    chunk.position = position_();
  } catch (...) {
    chunk.count = 0;
    chunk.failure = std::current_exception();
  }
}

// Reads chunks into the free buffers until the input ends or the reading is stopped.
void ReadAhead::work() {
  while (const std::optional<InputChunk*> chunk = free_.pop(true)) {
    fill(**chunk);
    if (!filled_.push(*chunk) || (*chunk)->last()) {
      return;
    }
  }
}

const InputChunk& ReadAhead::next() {
  std::optional<InputChunk*> chunk;
  if (ahead_) {
    chunk = filled_.pop();
  } else if ((chunk = free_.pop())) {
    fill(**chunk);
  }
  if (!chunk) {
    throw std::logic_error("input asked for after its end");
  }
  if ((*chunk)->failure) {
    std::rethrow_exception((*chunk)->failure);
  }
  return **chunk;
}

void ReadAhead::giveBack(const InputChunk& chunk) {
  // Handed out as const, so that the run does not change it; it is one of ours to fill again.
  const auto index = static_cast<size_t>(&chunk - chunks_.data());
  (void)free_.push(&chunks_.at(index));
}

void ReadAhead::stop() {
  free_.close();
  filled_.close();
  if (worker_.joinable()) {
    worker_.join();
  }
}

WriteBehind::WriteBehind(engine::OutputSink& output, SavedInput* saved, ReadAhead& input,
                         size_t bufferDoubles, size_t batchDoubles)
    : output_(output), saved_(saved), input_(input), bufferDoubles_(bufferDoubles) {
  const size_t buffers = std::max<size_t>(1, batchDoubles / bufferDoubles);
  for (std::vector<double>& batch : batches_) {
    batch.resize(buffers * bufferDoubles);
    (void)freeBatches_.push(&batch);
  }
  worker_ = startWorker([this] { work(); });
}

WriteBehind::~WriteBehind() {
  if (worker_.joinable()) {
    dropped_.store(true, std::memory_order_relaxed);
    jobs_.close();
    freeBatches_.close();
    worker_.join();
  }
}

std::span<double> WriteBehind::buffer() {
  if (current_ != nullptr && current_->size() - filled_ < bufferDoubles_) {
    handBatch();
  }
  if (current_ == nullptr) {
    const std::optional<std::vector<double>*> batch = freeBatches_.pop();
    if (!batch) {
      throw std::logic_error("output written after its end");
    }
    current_ = *batch;
    filled_ = 0;
  }
  return std::span<double>(*current_).subspan(filled_, bufferDoubles_);
}

void WriteBehind::write(size_t count) {
  if (current_ != nullptr) {
    filled_ += 2 * count;
  }
}

void WriteBehind::handBatch() {
  if (current_ != nullptr && filled_ > 0) {
    hand({.batch = current_, .count = filled_ / 2});
    current_ = nullptr;
  }
}

void WriteBehind::save(const InputChunk& chunk) {
  handBatch();  // the samples before first, as one thread would have written them
  hand({.save = &chunk});
}

void WriteBehind::giveBack(const InputChunk& chunk) {
  // Unsaved, nothing behind reads the chunk: it goes back at once, without waking the worker.
  if (saved_ == nullptr) {
    input_.giveBack(chunk);
    return;
  }
  hand({.giveBack = &chunk});
}

void WriteBehind::hand(const Job& job) {
  // The queue has room for every buffer and chunk, and closes only when the run is over.
  if (!jobs_.push(job)) {
    throw std::logic_error("output handed over with no room for it");
  }
  ++jobsHanded_;
}

void WriteBehind::drain() {
  handBatch();
  std::unique_lock lock(doneMutex_);
  done_.wait(lock, [this] { return jobsDone_ == jobsHanded_; });
}

bool WriteBehind::finish() {
  handBatch();
  jobs_.close();
  if (worker_.joinable()) {
    worker_.join();
  }
  if (thrown_) {
    std::rethrow_exception(thrown_);
  }
  return !failed();
}

// Runs the jobs in order. Buffers and chunks keep going back after a failure, so that neither
// the run nor the reader waits for them in vain.
void WriteBehind::work() {
  while (const std::optional<Job> job = jobs_.pop()) {
    if (!failed() && !dropped_.load(std::memory_order_relaxed)) {
      try {
        run(*job);
      } catch (...) {
        thrown_ = std::current_exception();
        fail({});
      }
    }
    if (job->batch != nullptr) {
      (void)freeBatches_.push(job->batch);
    }
    if (job->giveBack != nullptr) {
      input_.giveBack(*job->giveBack);
    }
    {
      const std::lock_guard lock(doneMutex_);
      ++jobsDone_;
    }
    done_.notify_one();
  }
}

void WriteBehind::run(const Job& job) {
  if (job.batch != nullptr) {
    if (!output_.write(std::span<const double>(*job.batch).first(2 * job.count))) {
      fail(output_.error());
      return;
    }
    samplesWritten_ += job.count;
  }
  if (job.save != nullptr && !saved_->write(job.save->read())) {
    fail(saved_->error());
  }
}

void WriteBehind::fail(std::string message) {
  error_ = std::move(message);
  failed_.store(true, std::memory_order_release);
}

}  // namespace quenvarith::cli
