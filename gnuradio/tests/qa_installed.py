#!/usr/bin/python3
"""Installed into a scratch prefix, the module imports from <prefix>/<python dir>, runs the
plug-in installed beside it, and finds its libraries through $ORIGIN alone."""

import os
import shutil
import subprocess
import sys
import tempfile

from gnuradio import gr_unittest

FLOWGRAPH = """
from gnuradio import blocks, gr, quenvarith
modulator = quenvarith.mfsk_mod(8, "integer", "binary", 2.0, "discontinuous", 4)
top = gr.top_block()
sink = blocks.vector_sink_c()
top.connect(blocks.vector_source_i([0, 7, 3, 5], False), modulator, sink)
top.run()
print(modulator.plugin_path())
print(repr(sink.data()))
"""


class qa_installed(gr_unittest.TestCase):
    def run_flowgraph(self, python_path):
        environment = dict(os.environ, PYTHONPATH=python_path)
        ran = subprocess.run([sys.executable, "-c", FLOWGRAPH], env=environment, cwd="/",
                             capture_output=True, text=True, timeout=120)
        self.assertEqual(ran.returncode, 0, ran.stderr)
        # GNU Radio's console log shares standard output: its warnings (these tones alias) are
        # not what the flowgraph printed.
        return [line for line in ran.stdout.splitlines() if " :warning: " not in line]

    def test_installed_module_runs_the_installed_plugin(self):
        with tempfile.TemporaryDirectory() as prefix:
            subprocess.run([os.environ["CMAKE_COMMAND"], "--install",
                            os.environ["QUENVARITH_BUILD_DIR"], "--prefix", prefix],
                           check=True, capture_output=True)
            python_dir = os.path.join(prefix, os.environ["QUENVARITH_GR_PYTHON_DIR"])
            package = os.path.join(python_dir, "gnuradio", "quenvarith")
            plugin, samples = self.run_flowgraph(python_dir)
            self.assertEqual(plugin, os.path.join(os.path.realpath(prefix),
                                                  os.environ["QUENVARITH_LIBDIR"], "quenvarith",
                                                  "quenvarith.so"))
            self.assertEqual(samples, self.run_flowgraph(os.environ["PYTHONPATH"])[1])

            libraries = [os.path.join(package, name) for name in os.listdir(package)
                         if name.endswith(".so")]
            libraries.append(os.path.join(prefix, os.environ["QUENVARITH_LIBDIR"],
                                          "libgnuradio-quenvarith.so"))
            for library in libraries:
                dynamic = subprocess.run([shutil.which("readelf"), "-d", library],
                                         capture_output=True, text=True, check=True).stdout
                paths = [line.split("[", 1)[1].rstrip("]") for line in dynamic.splitlines()
                         if "RUNPATH" in line or "RPATH" in line]
                self.assertTrue(paths, library)
                for entry in ":".join(paths).split(":"):
                    self.assertTrue(entry.startswith("$ORIGIN"), (library, paths))


if __name__ == "__main__":
    gr_unittest.run(qa_installed)
