// A progress bar on standard error, for runs watched from a terminal.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>

#include "engine/simulation.h"

namespace quenvarith::cli {

// True when standard error is a terminal.
bool errorStreamIsTerminal();

class ProgressBar final : public engine::ProgressObserver {
 public:
  // `fraction` tells how much of the run is done (0 to 1), or a negative value when nobody
  // knows; the bar then shows the sample count alone.
  explicit ProgressBar(std::function<double()> fraction);
  ProgressBar(const ProgressBar&) = delete;
  ProgressBar& operator=(const ProgressBar&) = delete;
  ProgressBar(ProgressBar&&) = delete;
  ProgressBar& operator=(ProgressBar&&) = delete;
  ~ProgressBar() override;

  void progress(uint64_t samplesWritten) override;

 private:
  void draw();

  std::function<double()> fraction_;
  uint64_t samplesWritten_ = 0;
  std::chrono::steady_clock::time_point lastDrawn_;
  bool drawn_ = false;
};

}  // namespace quenvarith::cli
