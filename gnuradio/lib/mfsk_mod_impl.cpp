#include "mfsk_mod_impl.h"

#include <dlfcn.h>
#include <gnuradio/io_signature.h>
#include <volk/volk.h>

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <span>
#include <stdexcept>
#include <system_error>

#include "engine/modulation.h"

namespace gr::quenvarith {

namespace engine = ::quenvarith::engine;

namespace {

// Samples one pass of the conversion buffers holds: large enough that the engine's per-call cost
// vanishes, small enough to stay in cache.
constexpr size_t kChunkSamples = 4096;
// Tags one call of work usually meets; more only grow the vector once.
constexpr size_t kExpectedTags = 64;

// A parameter given as one of its words, or as the block's number for it written as text, which
// goes to the block unchanged (the block judges it).
double parameterValue(const char* name, std::span<const engine::ParameterWord> words,
                      const std::string& text) {
  if (const auto value = engine::valueOfWord(words, text)) {
    return *value;
  }
  double number = 0.0;
  const char* end = text.data() + text.size();
  const auto [last, error] = std::from_chars(text.data(), end, number);
  if (!text.empty() && error == std::errc() && last == end) {
    return number;
  }
  throw std::invalid_argument(std::string(name) + " must be " + engine::listOfWords(words) +
                              ", or the block's number for it; got '" + text + "'");
}

engine::RunSettings runSettings(double mAry, const std::string& inputType,
                                const std::string& mapping, double separation,
                                const std::string& phase, double samplesPerSymbol,
                                double symbolRate) {
  engine::RunSettings settings;
  settings.parameters.mAryNumber = mAry;
  settings.parameters.inputType = parameterValue("input_type", engine::kInputTypeWords, inputType);
  settings.parameters.bitToSymbolMapping =
      parameterValue("mapping", engine::kMappingWords, mapping);
  settings.parameters.frequencySeparation = separation;
  settings.parameters.phaseContinuity = parameterValue("phase", engine::kPhaseWords, phase);
  settings.parameters.samplesPerSymbol = samplesPerSymbol;
  // One symbol per step, so that every whole symbol a call of work holds becomes samples.
  settings.signal = engine::SignalMode::Frame;
  settings.frameSize = engine::valuesPerSymbol(settings.parameters);
  settings.rate = {engine::RateKind::SymbolRate, symbolRate};
  return settings;
}

bool integerInput(const engine::RunSettings& settings) {
  return settings.parameters.inputType == *engine::valueOfWord(engine::kInputTypeWords, "integer");
}

// The plug-in installed beside this library (<libdir>/quenvarith/), else the build tree's.
std::string defaultPluginPath() {
  const std::string file = engine::pluginFileName("quenvarith");
  Dl_info self{};
  if (dladdr(reinterpret_cast<void*>(&defaultPluginPath), &self) != 0 &&
      self.dli_fname != nullptr) {
    // The loader names the library as it found it, through a relative run path perhaps.
    std::error_code error;
    const auto directory =
        std::filesystem::weakly_canonical(std::filesystem::path(self.dli_fname), error)
            .parent_path();
    const auto installed = directory / "quenvarith" / file;
    if (!error && std::filesystem::is_regular_file(installed, error)) {
      return installed.string();
    }
  }
  return QUENVARITH_GR_BUILT_PLUGIN;
}

}  // namespace

mfsk_mod::sptr mfsk_mod::make(double m_ary, const std::string& input_type,
                              const std::string& mapping, double separation,
                              const std::string& phase, double samples_per_symbol,
                              double symbol_rate, const std::string& plugin) {
  return gnuradio::make_block_sptr<mfsk_mod_impl>(m_ary, input_type, mapping, separation, phase,
                                                  samples_per_symbol, symbol_rate, plugin);
}

mfsk_mod_impl::mfsk_mod_impl(double m_ary, const std::string& input_type,
                             const std::string& mapping, double separation,
                             const std::string& phase, double samples_per_symbol,
                             double symbol_rate, const std::string& plugin)
    : gr::block("mfsk_mod", gr::io_signature::make(0, 0, 0),
                gr::io_signature::make(1, 1, sizeof(gr_complex))),
      pluginPath_(plugin.empty() ? defaultPluginPath() : plugin),
      settings_(runSettings(m_ary, input_type, mapping, separation, phase, samples_per_symbol,
                            symbol_rate)),
      integerInput_(integerInput(settings_)) {
  set_input_signature(
      gr::io_signature::make(1, 1, integerInput_ ? sizeof(int32_t) : sizeof(uint8_t)));
  plugin_ = std::make_unique<engine::PluginLibrary>(pluginPath_);
  if (!plugin_->isOpen()) {
    throw std::runtime_error(plugin_->error());
  }
  if (std::string refusal = startRun(); !refusal.empty()) {
    throw std::invalid_argument(refusal);
  }

  const engine::SignalLayout& layout = simulation_->layout();
  valuesPerSymbol_ = layout.inputWidth;
  samplesPerSymbol_ = layout.outputWidth;
  sampleRate_ = layout.sampleRate;
  symbolRate_ = layout.symbolRate;
  const auto k = static_cast<size_t>(valuesPerSymbol_);
  const auto n = static_cast<size_t>(samplesPerSymbol_);
  chunkSymbols_ = std::max<size_t>(1, kChunkSamples / n);
  values_.resize(chunkSymbols_ * k);
  samples_.resize(2 * chunkSymbols_ * n);
  tags_.reserve(kExpectedTags);

  set_relative_rate(static_cast<uint64_t>(samplesPerSymbol_),
                    static_cast<uint64_t>(valuesPerSymbol_));
  set_output_multiple(samplesPerSymbol_);
  // Tags move to the first sample of their symbol, which the rate alone does not give.
  set_tag_propagation_policy(TPP_DONT);
}

mfsk_mod_impl::~mfsk_mod_impl() = default;

std::string mfsk_mod_impl::startRun() {
  simulation_.reset();  // a previous run ends before the next begins
  simulation_ = std::make_unique<engine::Simulation>(*plugin_, settings_);
  fresh_ = true;
  const engine::RunResult setUp = simulation_->setUp();
  if (setUp.ok()) {
    // What the command warns of: tones that alias or coincide.
    for (const std::string& warning :
         engine::toneWarnings(settings_.parameters, simulation_->layout().sampleRate)) {
      d_logger->warn(warning);
    }
    return {};
  }
  simulation_.reset();
  return setUp.message.empty() ? "the block could not be set up" : setUp.message;
}

bool mfsk_mod_impl::start() {
  if (fresh_) {
    return true;
  }
  if (std::string refusal = startRun(); !refusal.empty()) {
    d_logger->error(refusal);
    return false;
  }
  return true;
}

bool mfsk_mod_impl::stop() {
  // Ends the run as a host does; a later start begins a new one.
  if (simulation_ && simulation_->running()) {
    (void)simulation_->finish(samples_, false);
  }
  fresh_ = false;
  return true;
}

void mfsk_mod_impl::forecast(int noutput_items, gr_vector_int& ninput_items_required) {
  ninput_items_required[0] = noutput_items / samplesPerSymbol_ * valuesPerSymbol_;
}

void mfsk_mod_impl::convertInput(const void* items, size_t firstSymbol, size_t symbols) {
  const auto k = static_cast<size_t>(valuesPerSymbol_);
  const auto first = static_cast<ptrdiff_t>(firstSymbol * k);
  const auto count = static_cast<ptrdiff_t>(symbols * k);
  if (integerInput_) {
    const auto* begin = static_cast<const int32_t*>(items) + first;
    std::copy(begin, begin + count, values_.begin());
  } else {
    const auto* begin = static_cast<const uint8_t*>(items) + first;
    std::copy(begin, begin + count, values_.begin());
  }
}

void mfsk_mod_impl::passTags(uint64_t symbols) {
  const auto k = static_cast<uint64_t>(valuesPerSymbol_);
  const auto n = static_cast<uint64_t>(samplesPerSymbol_);
  const uint64_t firstItem = nitems_read(0);
  const uint64_t firstSample = nitems_written(0);
  get_tags_in_range(tags_, 0, firstItem, firstItem + symbols * k);
  for (gr::tag_t& tag : tags_) {
    tag.offset = firstSample + (tag.offset - firstItem) / k * n;
    add_item_tag(0, tag);
  }
}

int mfsk_mod_impl::general_work(int noutput_items, gr_vector_int& ninput_items,
                                gr_vector_const_void_star& input_items,
                                gr_vector_void_star& output_items) {
  if (!simulation_ || !simulation_->running()) {
    return WORK_DONE;
  }
  fresh_ = false;
  const auto k = static_cast<size_t>(valuesPerSymbol_);
  const auto n = static_cast<size_t>(samplesPerSymbol_);
  const size_t symbols =
      std::min(static_cast<size_t>(ninput_items[0]) / k, static_cast<size_t>(noutput_items) / n);
  auto* out = static_cast<gr_complex*>(output_items[0]);
  size_t done = 0;
  while (done < symbols) {
    const size_t chunk = std::min(chunkSymbols_, symbols - done);
    convertInput(input_items[0], done, chunk);
    const engine::StepResult step =
        simulation_->feed(std::span<const double>(values_).first(chunk * k), samples_);
    // gr_complex is two floats: the engine's interleaved doubles narrow into it as they are.
    volk_64f_convert_32f(reinterpret_cast<float*>(out + done * n), samples_.data(),
                         static_cast<unsigned int>(2 * step.samplesWritten));
    done += step.samplesWritten / n;
    if (!step.ok()) {
      // The symbols before the bad one are delivered; the flowgraph then ends.
      d_logger->error(step.message);
      passTags(done);
      consume(0, static_cast<int>(done * k));
      produce(0, static_cast<int>(done * n));
      return WORK_DONE;
    }
  }
  passTags(done);
  consume(0, static_cast<int>(done * k));
  return static_cast<int>(done * n);
}

}  // namespace gr::quenvarith
