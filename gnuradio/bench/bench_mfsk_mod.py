#!/usr/bin/python3
"""Samples per second through mfsk_mod against GNU Radio's own continuous-phase FSK chain
(pack_k_bits -> chunks_to_symbols -> repeat -> frequency_modulator_fc) on the same work: random
bits in, M-FSK samples out, into a null sink. Run by hand, with the module importable:

  PYTHONPATH=build/ci/lib/python3.11/dist-packages /usr/bin/python3 gnuradio/bench/bench_mfsk_mod.py
"""

import argparse
import math
import time

import numpy as np
from gnuradio import analog, blocks, digital, gr, quenvarith


def build(kind, symbols, m_ary, n, pattern):
    """A flowgraph that turns `symbols` symbols of repeated random bits into samples."""
    k = int(math.log2(m_ary))
    top = gr.top_block()
    bits = blocks.vector_source_b(pattern, True)
    head = blocks.head(gr.sizeof_char, symbols * k)
    sink = blocks.null_sink(gr.sizeof_gr_complex)
    if kind == "mfsk_mod (bits)":
        chain = [quenvarith.mfsk_mod(m_ary, "bit", samples_per_symbol=n)]
    elif kind == "mfsk_mod (symbols)":
        chain = [blocks.pack_k_bits_bb(k), blocks.uchar_to_float(), blocks.float_to_int(),
                 quenvarith.mfsk_mod(m_ary, "integer", samples_per_symbol=n)]
    else:
        # Tone i at (2i - M + 1) / 2 Hz for a separation of 1 Hz at 1 symbol/s: n samples/s.
        levels = [(2 * i - m_ary + 1) / 2 for i in range(m_ary)]
        chain = [blocks.pack_k_bits_bb(k), digital.chunks_to_symbols_bf(levels),
                 blocks.repeat(gr.sizeof_float, n),
                 analog.frequency_modulator_fc(2 * math.pi / n)]
    top.connect(bits, head, *chain, sink)
    return top


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--samples", type=float, default=1e8, help="output samples per run")
    parser.add_argument("--m-ary", type=int, default=4)
    parser.add_argument("--samples-per-symbol", type=int, default=8)
    parser.add_argument("--runs", type=int, default=3, help="runs of each; the best counts")
    options = parser.parse_args()
    n = options.samples_per_symbol
    symbols = int(options.samples) // n
    pattern = np.random.default_rng(1).integers(0, 2, 1 << 16).astype(np.uint8).tolist()
    print(f"M = {options.m_ary}, N = {n}, {symbols * n:.3g} samples a run, best of "
          f"{options.runs}")
    for kind in ("mfsk_mod (bits)", "mfsk_mod (symbols)", "GNU Radio CPFSK chain"):
        best = math.inf
        for _ in range(options.runs):
            top = build(kind, symbols, options.m_ary, n, pattern)
            start = time.perf_counter()
            top.run()
            best = min(best, time.perf_counter() - start)
        print(f"{kind:24s} {symbols * n / best / 1e6:8.1f} M samples/s")


if __name__ == "__main__":
    main()
