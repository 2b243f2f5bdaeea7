#!/usr/bin/python3
"""The example flowgraph compiles with grcc against the module's block definition, runs, and
writes the message's samples as quenvarith-run writes them."""

import os
import subprocess
import sys
import tempfile

import numpy as np
from gnuradio import gr_unittest

RUN = os.environ["QUENVARITH_RUN"]
EXAMPLE = os.path.join(os.environ["QUENVARITH_EXAMPLES"], "mfsk_message_to_file.grc")


class qa_example_flowgraph(gr_unittest.TestCase):
    def test_example_modulates_a_message_into_a_cf32_file(self):
        message = "Grüße, 73!"
        bits = [int(bit) for byte in message.encode() for bit in f"{byte:08b}"]
        with tempfile.TemporaryDirectory() as folder:
            environment = dict(os.environ, GRC_BLOCKS_PATH=os.environ["QUENVARITH_GRC_BLOCKS"])
            compiled = subprocess.run(["grcc", "-o", folder, EXAMPLE], env=environment,
                                      capture_output=True, text=True)
            self.assertEqual(compiled.returncode, 0, compiled.stdout + compiled.stderr)
            script = os.path.join(folder, "mfsk_message_to_file.py")
            recording = os.path.join(folder, "message.cf32")
            ran = subprocess.run([sys.executable, script, "--message", message,
                                  "--output", recording], capture_output=True, text=True,
                                 timeout=120)
            self.assertEqual(ran.returncode, 0, ran.stdout + ran.stderr)
            samples = np.fromfile(recording, np.complex64)

            source = os.path.join(folder, "bits.txt")
            expected = os.path.join(folder, "expected.cf32")
            with open(source, "w") as file:
                file.write(" ".join(map(str, bits)))
            subprocess.run([RUN, "--m-ary", "4", "--mapping", "gray", "--separation", "1200",
                            "--samples-per-symbol", "8", "--sample-time", repr(1 / 1200),
                            "--input", source, "--output", expected, "--format", "cf32",
                            "--quiet"], check=True)
            # 4-FSK: two bits a symbol, eight samples a symbol.
            self.assertEqual(len(samples), len(bits) // 2 * 8)
            self.assertEqual(samples.tobytes(), np.fromfile(expected, np.complex64).tobytes())


if __name__ == "__main__":
    gr_unittest.run(qa_example_flowgraph)
