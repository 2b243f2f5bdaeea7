// Binds gr::quenvarith::mfsk_mod. The word parameters take a word or the block's number for it:
// a number goes to the block as it is, in the shortest text that reads back to the same double.
#include <gnuradio/quenvarith/mfsk_mod.h>
#include <pybind11/pybind11.h>

#include <array>
#include <charconv>
#include <string>

namespace py = pybind11;

namespace {

std::string wordOrNumber(const char* name, const py::handle& value) {
  if (py::isinstance<py::str>(value)) {
    return value.cast<std::string>();
  }
  // bool is an int in Python, but True is no input type.
  if (!py::isinstance<py::bool_>(value) &&
      (py::isinstance<py::int_>(value) || py::isinstance<py::float_>(value))) {
    const double number = value.cast<double>();
    std::array<char, 32> text{};
    const auto result = std::to_chars(text.data(), text.data() + text.size(), number);
    return {text.data(), result.ptr};
  }
  throw py::type_error(std::string(name) + " must be a word (str) or a number, not " +
                       std::string(py::str(py::type::handle_of(value).attr("__name__"))));
}

}  // namespace

void bind_mfsk_mod(py::module& m) {
  using gr::quenvarith::mfsk_mod;
  py::class_<mfsk_mod, gr::block, gr::basic_block, std::shared_ptr<mfsk_mod>>(
      m, "mfsk_mod",
      "M-ary FSK modulator hosting the quenvarith plug-in: bits (one per byte) or 32-bit "
      "symbol indices in, complex samples out, samples_per_symbol per symbol. A stream that "
      "ends inside a symbol leaves that partial symbol unmodulated.")
      .def(py::init([](double m_ary, const py::object& input_type, const py::object& mapping,
                       double separation, const py::object& phase, double samples_per_symbol,
                       double symbol_rate, const std::string& plugin) {
             return mfsk_mod::make(
                 m_ary, wordOrNumber("input_type", input_type), wordOrNumber("mapping", mapping),
                 separation, wordOrNumber("phase", phase), samples_per_symbol, symbol_rate, plugin);
           }),
           py::arg("m_ary") = 4, py::arg("input_type") = "bit", py::arg("mapping") = "binary",
           py::arg("separation") = 1.0, py::arg("phase") = "continuous",
           py::arg("samples_per_symbol") = 8, py::arg("symbol_rate") = 1.0, py::arg("plugin") = "")
      .def("values_per_symbol", &mfsk_mod::values_per_symbol,
           "Input items of one symbol: log2 M for bit input, 1 for integer input.")
      .def("samples_per_symbol", &mfsk_mod::samples_per_symbol, "Output samples of one symbol.")
      .def("sample_rate", &mfsk_mod::sample_rate, "Output samples per second.")
      .def("symbol_rate", &mfsk_mod::symbol_rate, "Symbols per second.")
      .def("plugin_path", &mfsk_mod::plugin_path, "The plug-in file the block runs.");
}
