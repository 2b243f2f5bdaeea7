// The M-FSK modulator as a GNU Radio block: the quenvarith plug-in, loaded and driven by the
// same engine as quenvarith-run, so that a flowgraph sends exactly the samples the command
// writes.
#pragma once

#include <gnuradio/block.h>
#include <gnuradio/quenvarith/api.h>

#include <memory>
#include <string>

namespace gr::quenvarith {

/*!
 * \brief M-ary FSK modulator, bits or symbol indices in, complex baseband samples out.
 * \ingroup quenvarith
 *
 * \details
 * Input items are bytes holding one bit each (0 or 1, as unpack_k_bits gives them) when
 * \p input_type is "bit", and 32-bit integers in 0..M-1 when it is "integer". Every symbol
 * (log2 M bits, or one integer) becomes \p samples_per_symbol complex samples: the relative
 * rate is N/k, with k the input items of one symbol.
 *
 * Each call of work turns every whole symbol available into samples, however the scheduler
 * cuts the stream. A stream that ends inside a symbol (fewer than k bits left) leaves that
 * partial symbol unmodulated: the scheduler never hands it to the block. Pad the input to
 * whole symbols where the last bits matter.
 *
 * Stream tags pass through to the first sample of the symbol their item belongs to.
 *
 * Every start of the flowgraph after a stop (a restart after lock/unlock included) begins a new
 * run of the block, from its initial phase.
 *
 * Bad parameters throw std::invalid_argument (ValueError in Python) with the block's own
 * message. Bad input while running (a bit that is neither 0 nor 1, a symbol out of range)
 * is logged with the block's message and ends the flowgraph: the samples of the symbols
 * before it are still delivered.
 */
class QUENVARITH_API mfsk_mod : virtual public gr::block {
 public:
  using sptr = std::shared_ptr<mfsk_mod>;

  /*!
   * \param m_ary number of tones M, a power of two
   * \param input_type "bit" or "integer", or the block's number for it (1 or 2) as text
   * \param mapping "binary" or "gray" (bit input only), or the block's number (1 or 2)
   * \param separation tone separation in hertz
   * \param phase "continuous" or "discontinuous", or the block's number (1 or 2)
   * \param samples_per_symbol N, output samples per symbol
   * \param symbol_rate symbols per second; the sample rate is N times it
   * \param plugin the plug-in file to load; empty for the one installed with the module
   *               (or built beside it)
   */
  static sptr make(double m_ary = 4, const std::string& input_type = "bit",
                   const std::string& mapping = "binary", double separation = 1.0,
                   const std::string& phase = "continuous", double samples_per_symbol = 8,
                   double symbol_rate = 1.0, const std::string& plugin = "");

  //! Input items of one symbol (k): log2 M for bit input, 1 for integer input.
  virtual int values_per_symbol() const = 0;
  //! Output samples of one symbol (N).
  virtual int samples_per_symbol() const = 0;
  //! Output samples per second.
  virtual double sample_rate() const = 0;
  //! Symbols per second.
  virtual double symbol_rate() const = 0;
  //! The plug-in file the block runs.
  virtual std::string plugin_path() const = 0;
};

}  // namespace gr::quenvarith
