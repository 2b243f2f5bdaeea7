// The Python module: the plug-in block loaded and driven by the engine, as the command drives it,
// with numpy arrays in and out.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "block/conversion.h"
#include "engine/modulation.h"
#include "engine/plugin_library.h"
#include "engine/simulation.h"
#include "python/byte_values.h"

namespace py = pybind11;

namespace quenvarith::python {

namespace {

using Samples = py::array_t<std::complex<double>>;
using Values = py::array_t<double, py::array::c_style>;

constexpr const char* kPathsModule = "quenvarith._paths";
constexpr const char* kThisModule = "quenvarith._modulator";
// A complex sample is two doubles.
constexpr size_t kDoublesPerSample = 2;
// The widest float numpy converts to a double without rounding.
constexpr int64_t kWidestExactFloatBytes = 8;

std::string typeName(const py::handle& value) {
  return Py_TYPE(value.ptr())->tp_name;
}

std::string textOf(const py::handle& value) {
  return py::str(value).cast<std::string>();
}

[[noreturn]] void raise(PyObject* type, const std::string& message) {
  PyErr_SetString(type, message.c_str());
  throw py::error_already_set();
}

py::module_ numpy() {
  return py::module_::import("numpy");
}

// Python's int and float, numpy's integer and float scalars; never a bool.
bool isRealNumber(const py::handle& value) {
  PyObject* object = value.ptr();
  if (PyBool_Check(object)) {
    return false;
  }
  if (PyLong_Check(object) || PyFloat_Check(object)) {
    return true;
  }
  const py::module_ np = numpy();
  return py::isinstance(value, np.attr("integer")) || py::isinstance(value, np.attr("floating"));
}

// A number, handed on as the double it is.
double numberArgument(std::string_view name, const py::handle& value,
                      std::string_view expected = "a number") {
  if (!isRealNumber(value)) {
    throw py::type_error(std::string(name) + ": expected " + std::string(expected) + ", got " +
                         typeName(value));
  }
  const double number = PyFloat_AsDouble(value.ptr());
  if (number == -1.0 && PyErr_Occurred() != nullptr) {
    PyErr_Clear();
    throw py::value_error(std::string(name) + ": " + py::repr(value).cast<std::string>() +
                          " is too large for a double");
  }
  return number;
}

std::optional<double> optionalNumber(std::string_view name, const py::handle& value) {
  if (value.is_none()) {
    return std::nullopt;
  }
  return numberArgument(name, value);
}

// One of `words`, or a number handed to the block as it is.
double wordOrNumberArgument(std::string_view name, const py::handle& value,
                            std::span<const engine::ParameterWord> words) {
  const std::string list = engine::listOfWords(words);
  if (PyUnicode_Check(value.ptr()) != 0) {
    const auto word = value.cast<std::string>();
    if (const std::optional<double> number = engine::valueOfWord(words, word)) {
      return *number;
    }
    throw py::value_error(std::string(name) + ": '" + word + "' is neither " + list +
                          " nor a number");
  }
  return numberArgument(name, value, list + " or a number");
}

// What a parameter's value is called: its word where one names it, else the number.
py::object parameterValue(std::span<const engine::ParameterWord> words, double value) {
  const std::string_view word = engine::wordOfValue(words, value);
  if (!word.empty()) {
    return py::str(std::string(word));
  }
  if (isExactInt32(value)) {
    return py::int_(truncateToInt32(value));
  }
  return py::float_(value);
}

// The keywords a modulator is made with, as Python gave them.
struct Arguments {
  py::object mAry, inputType, mapping, separation, phase, samplesPerSymbol;
  py::object symbolRate, sampleRate, sampleTime, signal, frameSize, plugin;
};

struct Options {
  engine::RunSettings settings;
  // With a rate in hertz the last step is padded unless asked otherwise; in the host's terms a
  // partial last step is an error unless padding is asked for.
  bool padByDefault = true;
  std::string plugin;
};

engine::SignalMode signalArgument(const py::handle& value) {
  if (PyUnicode_Check(value.ptr()) == 0) {
    throw py::type_error("signal: expected 'frame' or 'sample', got " + typeName(value));
  }
  const auto word = value.cast<std::string>();
  if (word == "frame") {
    return engine::SignalMode::Frame;
  }
  if (word == "sample") {
    return engine::SignalMode::Sample;
  }
  throw py::value_error("signal: '" + word + "' is neither frame nor sample");
}

int32_t frameSizeArgument(const py::handle& value, engine::SignalMode signal) {
  if (value.is_none()) {
    return 0;
  }
  if (PyBool_Check(value.ptr()) || PyIndex_Check(value.ptr()) == 0) {
    throw py::type_error("frame_size: expected a whole number of input values, got " +
                         typeName(value));
  }
  if (signal != engine::SignalMode::Frame) {
    throw py::value_error("frame_size: applies to frame signals only");
  }
  const auto size = py::reinterpret_steal<py::int_>(PyNumber_Index(value.ptr()));
  if (!size) {
    throw py::error_already_set();
  }
  int overflow = 0;
  const long long rows = PyLong_AsLongLongAndOverflow(size.ptr(), &overflow);
  if (overflow == 0 && rows >= 1 && rows <= std::numeric_limits<int32_t>::max()) {
    return static_cast<int32_t>(rows);
  }
  throw py::value_error("frame_size: " + py::repr(value).cast<std::string>() +
                        (overflow > 0 || rows > 1 ? " is too large" : " is not at least 1"));
}

// The plug-in's path as the file system spells it: the given one, else the build's default.
std::string pluginArgument(const py::handle& value) {
  const py::module_ os = py::module_::import("os");
  PyObject* object = value.ptr();
  if (!value.is_none() && PyUnicode_Check(object) == 0 && !PyBytes_Check(object) &&
      PyObject_HasAttrString(object, "__fspath__") == 0) {
    throw py::type_error("plugin: expected a path, got " + typeName(value));
  }
  const py::object path = value.is_none() ? py::module_::import(kPathsModule).attr("PLUGIN")
                                          : py::reinterpret_borrow<py::object>(value);
  auto encoded = os.attr("fsencode")(path).cast<std::string>();
  if (encoded.find('\0') != std::string::npos) {
    throw py::value_error("plugin: the path holds a NUL character");
  }
  return encoded;
}

Options parseArguments(const Arguments& given) {
  Options options;
  host::ParameterValues& parameters = options.settings.parameters;
  parameters.mAryNumber = numberArgument("m_ary", given.mAry);
  parameters.inputType =
      wordOrNumberArgument("input_type", given.inputType, engine::kInputTypeWords);
  parameters.bitToSymbolMapping =
      wordOrNumberArgument("mapping", given.mapping, engine::kMappingWords);
  parameters.frequencySeparation = numberArgument("separation", given.separation);
  parameters.phaseContinuity = wordOrNumberArgument("phase", given.phase, engine::kPhaseWords);
  parameters.samplesPerSymbol = numberArgument("samples_per_symbol", given.samplesPerSymbol);

  const std::optional<double> symbolRate = optionalNumber("symbol_rate", given.symbolRate);
  const std::optional<double> sampleRate = optionalNumber("sample_rate", given.sampleRate);
  const std::optional<double> sampleTime = optionalNumber("sample_time", given.sampleTime);
  if (int(symbolRate.has_value()) + int(sampleRate.has_value()) + int(sampleTime.has_value()) > 1) {
    throw py::value_error("give at most one of symbol_rate, sample_rate and sample_time");
  }
  engine::RunSettings& settings = options.settings;
  if (sampleTime) {
    settings.sampleTime = *sampleTime;
    options.padByDefault = false;
  } else if (sampleRate) {
    settings.rate = {engine::RateKind::SampleRate, *sampleRate};
  } else {
    settings.rate = {engine::RateKind::SymbolRate, symbolRate.value_or(1.0)};
  }
  settings.signal = signalArgument(given.signal);
  settings.frameSize = frameSizeArgument(given.frameSize, settings.signal);
  options.plugin = pluginArgument(given.plugin);
  return options;
}

bool padArgument(const py::handle& value, bool byDefault) {
  if (value.is_none()) {
    return byDefault;
  }
  if (!PyBool_Check(value.ptr())) {
    throw py::type_error("pad: expected True or False, got " + typeName(value));
  }
  return value.ptr() == Py_True;
}

// Python objects, each of which must be a real number (a bool counts as a bit).
Values valuesOfObjects(const py::array& objects) {
  const auto count = static_cast<size_t>(objects.size());
  Values values(static_cast<py::ssize_t>(count));
  double* out = values.mutable_data();
  const py::list items = objects.attr("tolist")();
  for (size_t i = 0; i < count; ++i) {
    const py::object item = items[i];
    out[i] = PyBool_Check(item.ptr()) ? static_cast<double>(item.ptr() == Py_True)
                                      : numberArgument("values[" + std::to_string(i) + "]", item);
  }
  return values;
}

// The input as contiguous doubles. Bytes follow the command's bytes format; anything else must
// be a 1-D sequence of real numbers, converted only when it is not doubles already.
Values inputValues(const py::handle& input, ByteUnit unit) {
  PyObject* object = input.ptr();
  if (PyBytes_Check(object) || PyByteArray_Check(object)) {
    const std::string_view bytes =
        PyBytes_Check(object) ? std::string_view(PyBytes_AS_STRING(object),
                                                 static_cast<size_t>(PyBytes_GET_SIZE(object)))
                              : std::string_view(PyByteArray_AS_STRING(object),
                                                 static_cast<size_t>(PyByteArray_GET_SIZE(object)));
    Values values(static_cast<py::ssize_t>(valuesOfBytes(bytes.size(), unit)));
    expandBytes(std::as_bytes(std::span(bytes)), unit,
                std::span(values.mutable_data(), static_cast<size_t>(values.size())));
    return values;
  }
  if (input.is_none() || PyUnicode_Check(object) != 0) {
    throw py::type_error("values: expected a 1-D sequence of numbers or bytes, got " +
                         typeName(input) +
                         (PyUnicode_Check(object) != 0 ? " (for text, pass text.encode())" : ""));
  }
  const py::array array = numpy().attr("asarray")(input);
  if (array.ndim() == 0) {
    throw py::type_error("values: expected a 1-D sequence of numbers, got a single " +
                         typeName(input));
  }
  if (array.ndim() != 1) {
    throw py::value_error("values: expected a 1-D sequence of numbers, got an array of shape " +
                          py::repr(array.attr("shape")).cast<std::string>());
  }
  const py::dtype dtype = array.dtype();
  const char kind = dtype.kind();
  if (kind == 'O') {
    return valuesOfObjects(array);
  }
  const bool real =
      kind == 'b' || kind == 'i' || kind == 'u' ||
      (kind == 'f' && static_cast<int64_t>(dtype.itemsize()) <= kWidestExactFloatBytes);
  if (!real) {
    throw py::type_error("values: expected real numbers, got an array of " + textOf(dtype) +
                         (kind == 'c' ? " (the input is bits or symbols, never complex)" : ""));
  }
  Values values = Values::ensure(array);
  if (!values) {
    throw py::type_error("values: cannot read an array of " + textOf(dtype) + " as doubles");
  }
  return values;
}

// A 1-D complex array of `count` samples, for the block to write into.
Samples newSamples(uint64_t count) {
  constexpr auto kMostSamples =
      static_cast<uint64_t>(std::numeric_limits<py::ssize_t>::max()) / sizeof(std::complex<double>);
  if (count > kMostSamples) {
    raise(PyExc_MemoryError, "the output would hold " + std::to_string(count) + " samples");
  }
  return Samples(static_cast<py::ssize_t>(count));
}

// `samples` holding its first `count` samples only.
Samples shrunk(Samples samples, size_t count) {
  if (count < static_cast<size_t>(samples.size())) {
    samples.resize({static_cast<py::ssize_t>(count)}, false);
  }
  return samples;
}

// The samples as the interleaved real and imaginary parts the engine writes; a complex<double>
// is laid out as two doubles.
std::span<double> doublesOf(Samples& samples) {
  return {reinterpret_cast<double*>(samples.mutable_data()),
          kDoublesPerSample * static_cast<size_t>(samples.size())};
}

[[noreturn]] void raiseBlockError(const std::string& message, const py::object& samples) {
  const py::object type = py::module_::import(kThisModule).attr("BlockError");
  const py::object error = type(message);
  error.attr("samples") = samples;
  PyErr_SetObject(type.ptr(), error.ptr());
  throw py::error_already_set();
}

// True for integer input, as the block reads its input type: truncated to a whole number.
bool integerInput(const host::ParameterValues& parameters) {
  const double integer = engine::valueOfWord(engine::kInputTypeWords, "integer").value_or(0.0);
  return truncateToInt32(parameters.inputType) == truncateToInt32(integer);
}

// What one call wrote, and how the run went.
struct Written {
  Samples samples{0};
  engine::StepResult result;
};

// The samples written, or the run's failure raised with them. Called without the modulator's
// lock: making the error may run any Python code, a call of the same modulator included.
Samples checked(Written written) {
  Samples samples = shrunk(std::move(written.samples), written.result.samplesWritten);
  if (written.result.outcome == engine::Outcome::BlockError) {
    raiseBlockError(written.result.message, samples);
  }
  if (!written.result.ok()) {
    raise(PyExc_RuntimeError, written.result.message);
  }
  return samples;
}

class Modulator {
 public:
  explicit Modulator(const Arguments& arguments) : Modulator(parseArguments(arguments)) {}

  explicit Modulator(const Options& options)
      : settings_(options.settings),
        padByDefault_(options.padByDefault),
        byteUnit_(integerInput(options.settings.parameters) ? ByteUnit::Symbol : ByteUnit::Bits),
        plugin_(std::make_unique<engine::PluginLibrary>(options.plugin)) {
    if (!plugin_->isOpen()) {
      raise(PyExc_OSError, plugin_->error());
    }
    simulation_ = std::make_unique<engine::Simulation>(*plugin_, settings_);
    const engine::RunResult setUp = simulation_->setUp();
    if (setUp.outcome == engine::Outcome::BlockError) {
      raiseBlockError(setUp.message, Samples(0));
    }
    if (!setUp.ok()) {
      raise(PyExc_ValueError, setUp.message);
    }
    layout_ = simulation_->layout();
    // What the command warns of, as Python warnings: tones that alias or coincide.
    for (const std::string& warning :
         engine::toneWarnings(settings_.parameters, layout_.sampleRate)) {
      if (PyErr_WarnEx(PyExc_RuntimeWarning, warning.c_str(), 1) != 0) {
        throw py::error_already_set();  // the warnings filter made it an error
      }
    }
  }

  Samples modulate(const py::handle& values) {
    const Values input = inputValues(values, byteUnit_);
    const std::span<const double> fed(input.data(), static_cast<size_t>(input.size()));
    Written written;
    {
      const std::unique_lock lock = lockReleasingGil();
      ensureRunning();
      written.samples = newSamples(simulation_->samplesFor(fed.size()));
      {
        const py::gil_scoped_release released;
        written.result = simulation_->feed(fed, doublesOf(written.samples));
      }
      endIfFailed(written);
    }
    return checked(std::move(written));
  }

  Samples finish(const py::handle& padding) {
    const bool pad = padArgument(padding, padByDefault_);
    Written written;
    {
      const std::unique_lock lock = lockReleasingGil();
      ensureRunning();
      refuseUnpaddedRest(pad, simulation_->heldValues());
      written.samples = newSamples(simulation_->stepSampleCount());
      {
        const py::gil_scoped_release released;
        written.result = simulation_->finish(doublesOf(written.samples), pad);
      }
      endIfFailed(written);
      ended("finish() has ended its run");
    }
    return checked(std::move(written));
  }

  // modulate() and finish() into one array: what a single run of the command writes.
  Samples modulateAll(const py::handle& values, const py::handle& padding) {
    const bool pad = padArgument(padding, padByDefault_);
    const Values input = inputValues(values, byteUnit_);
    const std::span<const double> fed(input.data(), static_cast<size_t>(input.size()));
    Written written;
    {
      const std::unique_lock lock = lockReleasingGil();
      ensureRunning();
      const uint64_t stepped = simulation_->samplesFor(fed.size());
      const size_t rest = (simulation_->heldValues() + fed.size()) % stepValues();
      refuseUnpaddedRest(pad, rest);
      written.samples = newSamples(stepped + (rest > 0 ? simulation_->stepSampleCount() : 0));
      {
        const py::gil_scoped_release released;
        const std::span<double> out = doublesOf(written.samples);
        written.result = simulation_->feed(fed, out);
        if (written.result.ok()) {
          const size_t fedSamples = written.result.samplesWritten;
          written.result = simulation_->finish(out.subspan(kDoublesPerSample * fedSamples), pad);
          written.result.samplesWritten += fedSamples;
        }
      }
      endIfFailed(written);
      ended("finish() has ended its run");
    }
    return checked(std::move(written));
  }

  [[nodiscard]] double sampleRate() const { return layout_.sampleRate; }
  [[nodiscard]] double symbolRate() const { return layout_.symbolRate; }
  [[nodiscard]] int32_t samplesPerSymbol() const { return layout_.samplesPerSymbol; }
  [[nodiscard]] int32_t valuesPerSymbol() const { return layout_.valuesPerSymbol; }
  [[nodiscard]] size_t stepValues() const { return static_cast<size_t>(layout_.inputWidth); }

  [[nodiscard]] py::array_t<double> tones() const {
    const std::vector<double> frequencies = engine::toneFrequencies(settings_.parameters);
    py::array_t<double> tones(static_cast<py::ssize_t>(frequencies.size()));
    std::copy(frequencies.begin(), frequencies.end(), tones.mutable_data());
    return tones;
  }

  // log2 M: a whole number where M is a power of two, as it is for every bit input.
  [[nodiscard]] py::object bitsPerSymbol() const {
    const double bits = std::log2(settings_.parameters.mAryNumber);
    if (isExactInt32(bits)) {
      return py::int_(truncateToInt32(bits));
    }
    return py::float_(bits);
  }

  [[nodiscard]] py::dict parameters() const {
    const host::ParameterValues& values = settings_.parameters;
    py::dict parameters;
    parameters["m_ary"] = parameterValue({}, values.mAryNumber);
    parameters["input_type"] = parameterValue(engine::kInputTypeWords, values.inputType);
    parameters["mapping"] = parameterValue(engine::kMappingWords, values.bitToSymbolMapping);
    parameters["separation"] = py::float_(values.frequencySeparation);
    parameters["phase"] = parameterValue(engine::kPhaseWords, values.phaseContinuity);
    parameters["samples_per_symbol"] = parameterValue({}, values.samplesPerSymbol);
    return parameters;
  }

  [[nodiscard]] std::string representation() const {
    std::string text = "Modulator(";
    for (const auto& [name, value] : parameters()) {
      text += name.cast<std::string>() + "=" + py::repr(value).cast<std::string>() + ", ";
    }
    const engine::Rate& rate = settings_.rate;
    if (rate.kind == engine::RateKind::None) {
      text += "sample_time=" + py::repr(py::float_(settings_.sampleTime)).cast<std::string>();
    } else {
      text += rate.kind == engine::RateKind::SymbolRate ? "symbol_rate=" : "sample_rate=";
      text += py::repr(py::float_(rate.hertz)).cast<std::string>();
    }
    const bool frames = settings_.signal == engine::SignalMode::Frame;
    text += frames ? ", signal='frame', frame_size=" + std::to_string(stepValues()) + ")"
                   : ", signal='sample')";
    return text;
  }

  bool closed() {
    const std::unique_lock lock = lockReleasingGil();
    return !endedBecause_.empty();
  }

 private:
  // The lock is waited for without the GIL, so that a thread waiting for it never holds what
  // the thread holding it needs to finish.
  std::unique_lock<std::mutex> lockReleasingGil() {
    std::unique_lock lock(mutex_, std::defer_lock);
    const py::gil_scoped_release released;
    lock.lock();
    return lock;
  }

  void ensureRunning() const {
    if (!endedBecause_.empty()) {
      throw py::value_error("the modulator is closed: " + endedBecause_);
    }
  }

  // A partial last step without padding is refused before anything runs, so that the values
  // stay held for more input or for finish(pad=True).
  void refuseUnpaddedRest(bool pad, size_t held) const {
    if (pad || held == 0) {
      return;
    }
    throw py::value_error("the input ends " + std::to_string(held) + " values into a step of " +
                          std::to_string(stepValues()) +
                          " values: give the rest of the step, or pad=True to complete it with "
                          "zeros");
  }

  void ended(std::string reason) {
    endedBecause_ = std::move(reason);
    simulation_.reset();
  }

  // A failure has ended the run, as a host stops a simulation on a block error.
  void endIfFailed(const Written& written) {
    if (!written.result.ok()) {
      ended(written.result.outcome == engine::Outcome::BlockError ? "a block error ended its run"
                                                                  : "an error ended its run");
    }
  }

  engine::RunSettings settings_;
  bool padByDefault_;
  ByteUnit byteUnit_;
  std::unique_ptr<engine::PluginLibrary> plugin_;
  std::unique_ptr<engine::Simulation> simulation_;
  engine::SignalLayout layout_;
  std::mutex mutex_;
  // Why the run has ended; empty while it goes on.
  std::string endedBecause_;
};

}  // namespace

}  // namespace quenvarith::python

PYBIND11_MODULE(_modulator, module) {
  using quenvarith::python::Arguments;
  using quenvarith::python::Modulator;
  module.doc() = "The quenvarith M-FSK modulator block, hosted as quenvarith-run hosts it.";

  py::dict errorAttributes;
  errorAttributes["samples"] = py::none();
  const auto blockError = py::reinterpret_steal<py::object>(PyErr_NewExceptionWithDoc(
      "quenvarith.BlockError",
      "The block's own error message. `samples` holds what the call wrote before it.",
      PyExc_ValueError, errorAttributes.ptr()));
  if (!blockError) {
    throw py::error_already_set();
  }
  module.attr("BlockError") = blockError;

  py::class_<Modulator>(module, "Modulator",
                        R"(An M-FSK modulator: the plug-in block in a run of its own.

Values go in with modulate(), as many at a time as wanted; values that do not complete a step
wait for the next call. finish() ends the run with the last, partial step.)")
      .def(py::init([](py::object mAry, py::object inputType, py::object mapping,
                       py::object separation, py::object phase, py::object samplesPerSymbol,
                       py::object symbolRate, py::object sampleRate, py::object sampleTime,
                       py::object signal, py::object frameSize, py::object plugin) {
             return std::make_unique<Modulator>(
                 Arguments{std::move(mAry), std::move(inputType), std::move(mapping),
                           std::move(separation), std::move(phase), std::move(samplesPerSymbol),
                           std::move(symbolRate), std::move(sampleRate), std::move(sampleTime),
                           std::move(signal), std::move(frameSize), std::move(plugin)});
           }),
           py::arg("m_ary") = 4, py::arg("input_type") = "bit", py::arg("mapping") = "binary",
           py::arg("separation") = 1.0, py::arg("phase") = "continuous",
           py::arg("samples_per_symbol") = 8, py::arg("symbol_rate") = py::none(),
           py::arg("sample_rate") = py::none(), py::arg("sample_time") = py::none(),
           py::arg("signal") = "frame", py::arg("frame_size") = py::none(),
           py::arg("plugin") = py::none())
      .def("modulate", &Modulator::modulate, py::arg("values"),
           "Modulates the values (bits or symbols; bytes as the command reads them) and returns "
           "the samples of every step they complete, as complex128.")
      .def("finish", &Modulator::finish, py::arg("pad") = py::none(),
           "Ends the run with the values still held, padded with zeros (by default with a rate "
           "in hertz, else only with pad=True); returns the samples of the symbols that carry "
           "input.")
      .def("_modulate_all", &Modulator::modulateAll, py::arg("values"), py::arg("pad") = py::none())
      .def_property_readonly("sample_rate", &Modulator::sampleRate, "Output samples per second.")
      .def_property_readonly("symbol_rate", &Modulator::symbolRate, "Symbols per second.")
      .def_property_readonly("samples_per_symbol", &Modulator::samplesPerSymbol)
      .def_property_readonly("values_per_symbol", &Modulator::valuesPerSymbol,
                             "Input values per symbol: log2 M bits, or one integer.")
      .def_property_readonly("frame_size", &Modulator::stepValues, "Input values per step.")
      .def_property_readonly("tones", &Modulator::tones, "Each tone's frequency in hertz.")
      .def_property_readonly("bits_per_symbol", &Modulator::bitsPerSymbol, "log2 M.")
      .def_property_readonly("parameters", &Modulator::parameters,
                             "The six block parameters, by keyword.")
      .def_property_readonly("closed", &Modulator::closed,
                             "True once finish() or a block error has ended the run.")
      .def("__repr__", &Modulator::representation);
}
