"""GNU Radio blocks of quenvarith: the M-ary FSK modulator as a flowgraph block."""

from .quenvarith_python import *  # noqa: F401,F403
