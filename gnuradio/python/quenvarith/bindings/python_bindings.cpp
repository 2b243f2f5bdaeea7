// The module's Python bindings: gnuradio.quenvarith.quenvarith_python.
#include <pybind11/pybind11.h>

namespace py = pybind11;

void bind_mfsk_mod(py::module& m);

PYBIND11_MODULE(quenvarith_python, m) {
  // The base classes' bindings, which the block's class derives from.
  py::module::import("gnuradio.gr");
  bind_mfsk_mod(m);
}
