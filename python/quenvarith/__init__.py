"""M-ary FSK modulation from numpy, by the quenvarith plug-in block.

The block is the same plug-in that quenvarith-run loads, driven by the same engine, so the
samples are the command's, bit for bit:

    import quenvarith
    mod = quenvarith.Modulator(m_ary=4, mapping="gray", symbol_rate=1200, samples_per_symbol=8)
    iq = mod.modulate(bits)          # complex128, the samples of every completed step
    iq_tail = mod.finish()           # the last, partial step, padded with zero bits

    iq = quenvarith.modulate(b"hello", m_ary=4, symbol_rate=1200)   # all at once

Without a rate, the symbol rate is 1 Hz. With sample_time (the sample time offered to the
block's input, the frame period for frame signals) frame_size is the command's --frame-size
and a partial last step is an error unless finish(pad=True).
"""

from ._modulator import BlockError, Modulator

__all__ = ["BlockError", "Modulator", "modulate"]


def modulate(values, *, pad=None, **keywords):
    """Modulates all of `values` in one run and returns the samples, the last step included.

    Takes the keywords of Modulator; `pad` is that of Modulator.finish.
    """
    return Modulator(**keywords)._modulate_all(values, pad)
