#include "progress.h"

#include <cstdio>
#include <string>
#include <utility>

#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

namespace quenvarith::cli {

namespace {

constexpr auto kRedrawInterval = std::chrono::milliseconds(200);
constexpr int kBarWidth = 40;
constexpr double kPercent = 100.0;

}  // namespace

bool errorStreamIsTerminal() {
#if defined(_WIN32)
  return _isatty(_fileno(stderr)) != 0;
#else
  return isatty(STDERR_FILENO) != 0;
#endif
}

ProgressBar::ProgressBar(std::function<double()> fraction) : fraction_(std::move(fraction)) {}

ProgressBar::~ProgressBar() {
  // The last state, whenever the bar has been shown at all.
  if (!drawn_) {
    return;
  }
  draw();
  (void)std::fputs("\n", stderr);
}

void ProgressBar::progress(uint64_t samplesWritten) {
  samplesWritten_ = samplesWritten;
  const auto now = std::chrono::steady_clock::now();
  if (drawn_ && now - lastDrawn_ < kRedrawInterval) {
    return;
  }
  lastDrawn_ = now;
  drawn_ = true;
  draw();
}

void ProgressBar::draw() {
  const double done = fraction_ ? fraction_() : -1.0;
  std::string line = "\r";
  if (done >= 0.0) {
    const double clamped = done > 1.0 ? 1.0 : done;
    const int filled = static_cast<int>(clamped * kBarWidth);
    line += "[" + std::string(static_cast<size_t>(filled), '#') +
            std::string(static_cast<size_t>(kBarWidth - filled), '.') + "] ";
    line += std::to_string(static_cast<int>(clamped * kPercent)) + "% ";
  }
  line += std::to_string(samplesWritten_) + " samples";
  (void)std::fputs(line.c_str(), stderr);
  (void)std::fflush(stderr);
}

}  // namespace quenvarith::cli
