// The block's state: the loaded plug-in, the engine's run of it, and the buffers work() converts
// through, all sized before the first call of work().
#pragma once

#include <gnuradio/quenvarith/mfsk_mod.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/plugin_library.h"
#include "engine/simulation.h"

namespace gr::quenvarith {

class mfsk_mod_impl final : public mfsk_mod {
 public:
  mfsk_mod_impl(double m_ary, const std::string& input_type, const std::string& mapping,
                double separation, const std::string& phase, double samples_per_symbol,
                double symbol_rate, const std::string& plugin);
  ~mfsk_mod_impl() override;

  void forecast(int noutput_items, gr_vector_int& ninput_items_required) override;
  int general_work(int noutput_items, gr_vector_int& ninput_items,
                   gr_vector_const_void_star& input_items,
                   gr_vector_void_star& output_items) override;
  bool start() override;
  bool stop() override;

  int values_per_symbol() const override { return valuesPerSymbol_; }
  int samples_per_symbol() const override { return samplesPerSymbol_; }
  double sample_rate() const override { return sampleRate_; }
  double symbol_rate() const override { return symbolRate_; }
  std::string plugin_path() const override { return pluginPath_; }

 private:
  // A new run of the block, set up; the block's message when it refuses the settings.
  std::string startRun();
  // Converts `symbols` symbols of input to doubles in values_.
  void convertInput(const void* items, size_t firstSymbol, size_t symbols);
  // Moves the input's tags in the symbols consumed to the first sample of their symbol.
  void passTags(uint64_t symbols);

  std::string pluginPath_;
  std::unique_ptr<::quenvarith::engine::PluginLibrary> plugin_;
  ::quenvarith::engine::RunSettings settings_;
  std::unique_ptr<::quenvarith::engine::Simulation> simulation_;
  bool integerInput_ = false;
  bool fresh_ = true;  // the run has not been fed yet
  int valuesPerSymbol_ = 1;
  int samplesPerSymbol_ = 1;
  double sampleRate_ = 0.0;
  double symbolRate_ = 0.0;
  size_t chunkSymbols_ = 1;
  std::vector<double> values_;
  std::vector<double> samples_;
  std::vector<gr::tag_t> tags_;
};

}  // namespace gr::quenvarith
