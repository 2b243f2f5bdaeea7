#!/usr/bin/python3
"""mfsk_mod in flowgraphs against quenvarith-run: the same samples, bit for bit, however the
stream is cut; tags at their symbol's first sample; errors with the block's own message."""

import itertools
import os
import subprocess
import tempfile

import numpy as np
from gnuradio import blocks, gr, gr_unittest, quenvarith

RUN = os.environ["QUENVARITH_RUN"]
SYMBOL_RATE = 1200.0


def bits_per_symbol(m_ary):
    return m_ary.bit_length() - 1


def run_command(values, m_ary, input_type, mapping, phase, separation=300.0, n=8):
    """The command's cf32 output and (exit status, standard error) for the same input."""
    with tempfile.TemporaryDirectory() as folder:
        source = os.path.join(folder, "in.txt")
        output = os.path.join(folder, "out.cf32")
        with open(source, "w") as file:
            file.write(" ".join(str(v) for v in values))
        # With frames of one symbol the command's sample time is the symbol period.
        done = subprocess.run(
            [RUN, "--m-ary", str(m_ary), "--input-type", input_type, "--mapping", mapping,
             "--phase", phase, "--separation", repr(separation), "--samples-per-symbol", str(n),
             "--sample-time", repr(1 / SYMBOL_RATE), "--input", source, "--output", output,
             "--format", "cf32", "--quiet"],
            capture_output=True, text=True)
        samples = np.fromfile(output, np.complex64) if os.path.exists(output) else None
        return samples, done.returncode, done.stderr


def random_values(rng, symbols, m_ary, input_type):
    if input_type == "bit":
        return rng.integers(0, 2, symbols * bits_per_symbol(m_ary)).tolist()
    return rng.integers(0, m_ary, symbols).tolist()


class ChunkedSource(gr.sync_block):
    """Hands the values over in random chunks of 1 to 7 items."""

    def __init__(self, values, item_type, seed):
        gr.sync_block.__init__(self, "chunked_source", [], [item_type])
        self.values = np.array(values, item_type)
        self.rng = np.random.default_rng(seed)
        self.next = 0

    def work(self, input_items, output_items):
        if self.next == len(self.values):
            return -1
        count = min(int(self.rng.integers(1, 8)), len(output_items[0]),
                    len(self.values) - self.next)
        output_items[0][:count] = self.values[self.next:self.next + count]
        self.next += count
        return count


class qa_mfsk_mod(gr_unittest.TestCase):
    def flowgraph(self, values, source=None, cut_output=None, **parameters):
        """The block's samples for `values`, and the log lines of the run."""
        item_type = np.uint8 if parameters.get("input_type", "bit") == "bit" else np.int32
        log = gr.dictionary_logger_backend()
        gr.logging().add_default_sink(log)
        top = gr.top_block()
        if source is None:
            make = blocks.vector_source_b if item_type == np.uint8 else blocks.vector_source_i
            source = make(values, False)
        modulator = quenvarith.mfsk_mod(symbol_rate=SYMBOL_RATE, **parameters)
        if cut_output:
            modulator.set_max_noutput_items(cut_output)
        else:  # calls of work longer than one pass of the block's buffers
            modulator.set_min_output_buffer(1 << 16)
        sink = blocks.vector_sink_c()
        top.connect(source, modulator, sink)
        top.run()
        lines = [text for entries in log.get_map().values() for _, text in entries]
        return np.array(sink.data(), np.complex64), modulator, sink, lines

    def assertSameSamples(self, block, command):
        self.assertEqual(len(block), len(command))
        self.assertEqual(block.tobytes(), command.tobytes())

    def test_tones_that_alias_are_logged_as_the_command_warns(self):
        # Sixteen tones 1200 Hz apart reach 9000 Hz, beyond half of N x 1200 = 9600 Hz.
        _, _, _, log = self.flowgraph([0, 1] * 8, m_ary=16, separation=1200.0)
        self.assertTrue(any("alias" in line for line in log), log)
        _, _, _, log = self.flowgraph([0, 1] * 8, m_ary=4, separation=600.0)
        self.assertFalse(any("alias" in line or "coincide" in line for line in log), log)

    def test_flowgraph_equals_command_for_every_mode(self):
        rng = np.random.default_rng(19)
        for input_type, mapping, phase, m_ary in itertools.product(
                ("bit", "integer"), ("binary", "gray"), ("continuous", "discontinuous"), (4, 8)):
            with self.subTest(input_type=input_type, mapping=mapping, phase=phase, m_ary=m_ary):
                values = random_values(rng, 2100, m_ary, input_type)
                parameters = dict(m_ary=m_ary, input_type=input_type, mapping=mapping,
                                  phase=phase, separation=300.0, samples_per_symbol=8)
                expected, status, error = run_command(values, m_ary, input_type, mapping, phase)
                self.assertEqual(status, 0, error)
                samples, modulator, _, _ = self.flowgraph(values, **parameters)
                self.assertSameSamples(samples, expected)
                self.assertEqual(modulator.sample_rate(), 8 * SYMBOL_RATE)

                # The same stream cut into random chunks, on the way in and on the way out.
                item_type = np.uint8 if input_type == "bit" else np.int32
                source = ChunkedSource(values, item_type, seed=len(values) + m_ary)
                cut = int(rng.integers(1, 5)) * 8
                samples, _, _, _ = self.flowgraph(values, source, cut, **parameters)
                self.assertSameSamples(samples, expected)

    def test_a_stream_ending_inside_a_symbol_leaves_that_symbol_out(self):
        values = [0, 1, 1, 1, 0, 0, 1, 0, 1, 1]  # M = 8: three symbols and one bit
        expected, status, error = run_command(values[:9], 8, "bit", "binary", "continuous")
        self.assertEqual(status, 0, error)
        samples, _, _, _ = self.flowgraph(values, m_ary=8, separation=300.0)
        self.assertSameSamples(samples, expected)

    def test_a_restarted_flowgraph_runs_the_block_afresh(self):
        source = blocks.vector_source_b([0, 1, 1, 1, 1, 0, 0, 0], False)
        modulator = quenvarith.mfsk_mod(phase="continuous")
        sink = blocks.vector_sink_c()
        top = gr.top_block()
        top.connect(source, modulator, sink)
        top.run()
        first = sink.data()
        source.rewind()
        sink.reset()
        top.run()
        self.assertEqual(len(first), 32)
        self.assertEqual(sink.data(), first)

    def test_tags_move_to_the_first_sample_of_their_symbol(self):
        values = [0, 1] * 12  # M = 4: 12 symbols of 2 bits
        tags = [gr.tag_utils.python_to_tag((item, gr.pmt.intern("mark"), gr.pmt.from_long(item),
                                            gr.pmt.PMT_F)) for item in (0, 3, 10, 23)]
        source = blocks.vector_source_b(values, False, 1, tags)
        _, _, sink, _ = self.flowgraph(values, source)
        moved = [(tag.offset, gr.pmt.to_long(tag.value)) for tag in sink.tags()]
        self.assertEqual(moved, [(0, 0), (8, 3), (40, 10), (88, 23)])

    def test_bad_input_ends_the_flowgraph_with_the_blocks_message(self):
        for input_type, values in (("bit", [0, 1, 1, 0, 2, 1, 0, 0]),
                                   ("integer", [0, 3, 1, 7, 2])):
            with self.subTest(input_type=input_type):
                expected, status, error = run_command(values, 4, input_type, "binary",
                                                      "continuous")
                self.assertEqual(status, 1)
                # The block's own text, after the command's "at step N (input line L): ".
                message = error.strip().rpartition("): ")[2]
                samples, _, _, log = self.flowgraph(values, input_type=input_type,
                                                    separation=300.0)
                self.assertIn(message, log)
                # The symbols before the bad one, as the command keeps them.
                self.assertSameSamples(samples, expected)

        # A source that never ends stops with the block.
        endless = blocks.vector_source_b([0, 1] * 1000 + [2], True)
        samples, _, _, log = self.flowgraph(None, endless)
        self.assertEqual(len(samples), 1000 * 8)
        self.assertIn("Input must be binary.", log)

    def test_bad_parameters_raise_with_the_blocks_message(self):
        for parameters in (dict(phase=3), dict(mapping=0), dict(input_type=2.5),
                           dict(m_ary=6), dict(samples_per_symbol=0),
                           dict(separation=float("nan"))):
            with self.subTest(**parameters):
                words = dict(input_type="bit", mapping="binary", phase="continuous")
                words.update({k: str(v) for k, v in parameters.items() if k in words})
                _, status, error = run_command(
                    [0, 1], parameters.get("m_ary", 4), words["input_type"], words["mapping"],
                    words["phase"], parameters.get("separation", 1.0),
                    parameters.get("samples_per_symbol", 8))
                self.assertEqual(status, 1, error)
                with self.assertRaises(ValueError) as raised:
                    quenvarith.mfsk_mod(**parameters)
                self.assertEqual("error: " + str(raised.exception), error.strip())

        for parameters, error_type, text in (
                (dict(phase="spiral"), ValueError, "phase must be continuous or discontinuous"),
                (dict(symbol_rate=0.0), ValueError, "symbol rate must be a positive"),
                (dict(input_type=None), TypeError, "input_type must be a word"),
                (dict(plugin="/no/such/quenvarith.so"), RuntimeError, "/no/such/quenvarith.so")):
            with self.subTest(**parameters), self.assertRaises(error_type) as raised:
                quenvarith.mfsk_mod(**parameters)
            self.assertIn(text, str(raised.exception))


if __name__ == "__main__":
    gr_unittest.run(qa_mfsk_mod)
