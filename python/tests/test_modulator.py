"""The Python module against the command: the same samples, the same errors, in any chunks."""

import itertools
import os
import pathlib
import re
import subprocess
import sys
import threading
import warnings

import numpy as np
import pytest

import quenvarith
from conftest import BUILD_DIR, CommandFailed, same_bits

M, N, SEPARATION = 8, 5, 0.75
BITS = np.random.default_rng(7).integers(0, 2, size=72)
SYMBOLS = np.random.default_rng(8).integers(0, M, size=24)


@pytest.mark.parametrize("input_type, mapping, phase, signal", itertools.product(
    ["bit", "integer"], ["binary", "gray"], ["continuous", "discontinuous"], ["frame", "sample"]))
def test_same_samples_as_the_command(run_command, input_type, mapping, phase, signal):
    values = BITS if input_type == "bit" else SYMBOLS
    frame_size = 9 if input_type == "bit" else 3
    sample_time = 0.5 if signal == "frame" else 0.125
    keywords = dict(m_ary=M, input_type=input_type, mapping=mapping, phase=phase,
                    samples_per_symbol=N, separation=SEPARATION, signal=signal,
                    sample_time=sample_time)
    options = ["--m-ary", M, "--input-type", input_type, "--mapping", mapping, "--phase", phase,
               "--samples-per-symbol", N, "--separation", SEPARATION, "--signal", signal,
               "--sample-time", sample_time]
    if signal == "frame":
        keywords["frame_size"] = frame_size
        options += ["--frame-size", frame_size]
    expected = run_command(values, [str(option) for option in options])
    assert same_bits(quenvarith.modulate(values, **keywords), expected)


@pytest.mark.parametrize("count", [300, 301])
def test_a_rate_in_hertz_pads_and_writes_only_symbols_that_carry_input(run_command, count):
    # The command's default frame is one symbol, one second long: a symbol rate of 1 Hz. A
    # partial last symbol is written as if completed with zero bits.
    bits = np.random.default_rng(count).integers(0, 2, size=count)
    expected = run_command(list(bits) + [0] * (count % 2), [])
    assert same_bits(quenvarith.modulate(bits), expected)


@pytest.mark.parametrize("keywords", [
    {}, {"signal": "sample"}, {"sample_time": 1.0, "frame_size": 6},
    {"input_type": "integer", "m_ary": 16, "frame_size": 5, "phase": "discontinuous"}])
@pytest.mark.parametrize("seed", [1, 2, 3])
def test_chunks_of_any_size_give_the_one_shot_result(keywords, seed):
    rng = np.random.default_rng(seed)
    top = 2 if keywords.get("input_type") != "integer" else keywords["m_ary"]
    values = rng.integers(0, top, size=int(rng.integers(2500, 5000)))
    modulator = quenvarith.Modulator(**keywords)
    pieces, start = [], 0
    while start < len(values):
        size = int(rng.integers(0, 3 * modulator.frame_size))
        pieces.append(modulator.modulate(values[start:start + size]))
        start += size
    pieces.append(modulator.finish(pad=True))
    whole = quenvarith.modulate(values, pad=True, **keywords)
    assert same_bits(np.concatenate(pieces), whole)


@pytest.mark.parametrize("message", [b"Hi!", bytearray(b"\x00\xff\x5a"), b""])
def test_bytes_are_read_as_the_commands_bytes_format(message):
    bits = np.unpackbits(np.frombuffer(bytes(message), dtype=np.uint8))
    assert same_bits(quenvarith.modulate(message), quenvarith.modulate(bits))
    symbols = list(bytes(message))
    assert same_bits(quenvarith.modulate(message, input_type="integer", m_ary=256),
                     quenvarith.modulate(symbols, input_type="integer", m_ary=256))


def test_a_rate_in_hertz_gives_the_same_signal_whatever_the_frame_size():
    bits = np.random.default_rng(5).integers(0, 2, size=1000)
    signals = [quenvarith.modulate(bits, symbol_rate=1200, frame_size=size)
               for size in (2, 64, 998, None)]
    for signal in signals[1:]:
        np.testing.assert_allclose(signal, signals[0], rtol=0, atol=1e-9)


def test_tones_that_alias_or_coincide_are_warned_of_as_the_command_does():
    # M 16 with N 8: tones i and i + 8 are the same once sampled, and the outer ones alias.
    with pytest.warns(RuntimeWarning) as caught:
        quenvarith.Modulator(m_ary=16)
    said = [str(warning.message) for warning in caught]
    assert any("alias" in text for text in said) and any("coincide" in text for text in said)
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        quenvarith.Modulator(m_ary=4)  # nothing to warn of
        with pytest.raises(RuntimeWarning):
            quenvarith.Modulator(m_ary=16)


def test_what_a_modulator_says_about_itself():
    modulator = quenvarith.Modulator(m_ary=4, mapping="gray", sample_rate=9600, separation=600)
    assert (modulator.symbol_rate, modulator.sample_rate) == (1200, 9600)
    assert list(modulator.tones) == [-900, -300, 300, 900]
    assert (modulator.bits_per_symbol, modulator.frame_size) == (2, 2048)
    assert modulator.parameters == dict(m_ary=4, input_type="bit", mapping="gray",
                                        separation=600.0, phase="continuous",
                                        samples_per_symbol=8)
    assert quenvarith.Modulator(**modulator.parameters).parameters == modulator.parameters
    assert "sample_rate=9600.0" in repr(modulator)
    from quenvarith import _paths
    assert same_bits(quenvarith.modulate(b"x", plugin=pathlib.Path(_paths.PLUGIN)),
                     quenvarith.modulate(b"x"))


@pytest.mark.parametrize("keywords, options", [
    ({"input_type": 3}, ["--input-type", "3"]),
    ({"m_ary": 6}, ["--m-ary", "6"]),
    ({"samples_per_symbol": 2.5}, ["--samples-per-symbol", "2.5"]),
    ({"separation": float("nan")}, ["--separation", "nan"]),
    ({"phase": 0}, ["--phase", "0"]),
    ({"frame_size": 3, "sample_time": 1}, ["--frame-size", "3"]),
])
def test_bad_parameters_raise_the_blocks_own_message(run_command, keywords, options):
    with pytest.raises(CommandFailed) as command:
        run_command([0, 1], options)
    with pytest.raises(quenvarith.BlockError) as error:
        quenvarith.Modulator(**keywords)
    assert isinstance(error.value, ValueError)
    assert "error: " + str(error.value) == command.value.stderr
    assert error.value.samples.size == 0


@pytest.mark.parametrize("keywords, error, text", [
    ({"m_ary": "4"}, TypeError, "m_ary: expected a number, got str"),
    ({"m_ary": True}, TypeError, "got bool"),
    ({"separation": None}, TypeError, "separation: expected a number"),
    ({"m_ary": 10**400}, ValueError, "too large for a double"),
    ({"input_type": "bits"}, ValueError, "'bits' is neither bit or integer nor a number"),
    ({"mapping": 1j}, TypeError, "binary or gray or a number"),
    ({"symbol_rate": 1, "sample_time": 1}, ValueError, "at most one of"),
    ({"symbol_rate": 0}, ValueError, "symbol rate must be a positive, finite number"),
    ({"sample_rate": float("nan")}, ValueError, "sample rate must be a positive, finite"),
    ({"sample_rate": 1e-320}, ValueError, "gives no positive, finite sample period"),
    ({"sample_time": float("inf")}, ValueError, "must be positive and finite"),
    ({"signal": "frames"}, ValueError, "neither frame nor sample"),
    ({"frame_size": 0}, ValueError, "is not at least 1"),
    ({"frame_size": 2**31}, ValueError, "is too large"),
    ({"frame_size": 8.0}, TypeError, "frame_size: expected a whole number"),
    ({"signal": "sample", "frame_size": 2}, ValueError, "applies to frame signals only"),
    ({"plugin": 3}, TypeError, "plugin: expected a path"),
    ({"plugin": "no/such/plugin.so"}, OSError, "cannot load the plug-in"),
    ({"plugin": "a\0b"}, ValueError, "NUL"),
    ({"frame_size": 2**30}, quenvarith.BlockError, "Port width propagation failed."),
])
def test_wrong_arguments_are_refused(keywords, error, text):
    with pytest.raises(error) as raised:
        quenvarith.Modulator(**keywords)
    assert text in str(raised.value)


@pytest.mark.parametrize("values, error, text", [
    (None, TypeError, "got NoneType"),
    ("0101", TypeError, "text.encode()"),
    (1, TypeError, "got a single int"),
    ({0, 1}, TypeError, "got a single set"),
    ([[0, 1], [1, 0]], ValueError, "shape (2, 2)"),
    ([[0, 1], [1]], ValueError, "inhomogeneous"),
    ([1 + 1j, 0], TypeError, "never complex"),
    (np.zeros(4, dtype=np.complex64), TypeError, "complex64"),
    (np.zeros(4, dtype=np.longdouble), TypeError, "float128"),
    (["0", "1"], TypeError, "<U1"),
    ([0, None], TypeError, "values[1]: expected a number, got NoneType"),
    ([0, 10**400], ValueError, "values[1]"),
    (np.array([0, "x"], dtype=object), TypeError, "values[1]: expected a number, got str"),
])
def test_input_that_is_not_numbers_is_refused_and_nothing_is_lost(values, error, text):
    modulator = quenvarith.Modulator(sample_time=1, frame_size=4)
    first = modulator.modulate([0, 1])
    with pytest.raises(error) as raised:
        modulator.modulate(values)
    assert text in str(raised.value)
    rest = modulator.modulate([1, 1])
    assert same_bits(np.concatenate([first, rest]),
                     quenvarith.modulate([0, 1, 1, 1], sample_time=1, frame_size=4))


@pytest.mark.parametrize("values", [
    [0, 1, 1, 0, 0, 2, 1, 1], [1, 0, 0, 1, 1, float("nan"), 0, 0], [1, 1, 0, 0, 1, 0, 10**30, 0],
    np.array([1, 0, -1, 1, 1, 0, 0, 1], dtype=np.int8)[::-1]])
def test_bad_input_keeps_the_completed_steps_and_closes_the_modulator(run_command, values):
    keywords = dict(sample_time=1, frame_size=4)
    with pytest.raises(CommandFailed) as command:
        run_command([float(value) for value in values], ["--frame-size", "4"])
    modulator = quenvarith.Modulator(**keywords)
    with pytest.raises(quenvarith.BlockError) as error:
        modulator.modulate(values)
    # The command says where the error happened before the block's own text.
    assert re.fullmatch(r"error: at step \d+ \(input lines? [\d-]+\): " + re.escape(str(error.value)),
                        command.value.stderr), command.value.stderr
    assert same_bits(error.value.samples, command.value.samples)
    assert modulator.closed
    for call in (lambda: modulator.modulate([0, 1, 0, 1]), modulator.finish):
        with pytest.raises(ValueError, match="closed: a block error ended its run"):
            call()
    with pytest.raises(quenvarith.BlockError) as one_shot:
        quenvarith.modulate(values, **keywords)
    assert same_bits(one_shot.value.samples, command.value.samples)


def test_a_partial_step_in_the_hosts_terms_needs_padding():
    modulator = quenvarith.Modulator(sample_time=1, frame_size=8)
    modulator.modulate([1, 0, 1])
    with pytest.raises(ValueError, match="3 values into a step of 8 values"):
        modulator.finish()
    with pytest.raises(TypeError, match="pad: expected True or False"):
        modulator.finish(pad=1)
    assert not modulator.closed
    assert len(modulator.finish(pad=True)) == 2 * 8
    with pytest.raises(ValueError, match="closed: finish"):
        modulator.finish()
    with pytest.raises(ValueError, match="pad=True"):
        quenvarith.modulate([1, 0, 1], sample_time=1, frame_size=8)


def test_two_modulators_in_two_threads_give_what_they_give_alone():
    settings = [dict(m_ary=16, mapping="gray"), dict(m_ary=2, signal="sample")]
    inputs = [np.random.default_rng(seed).integers(0, 2, size=200_000) for seed in (1, 2)]
    alone = [quenvarith.modulate(values, **keywords) for values, keywords in zip(inputs, settings)]
    together = [None, None]

    def run(index):
        together[index] = quenvarith.modulate(inputs[index], **settings[index])

    threads = [threading.Thread(target=run, args=(index,)) for index in (0, 1)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    assert all(same_bits(a, b) for a, b in zip(alone, together))


def test_one_modulator_shared_by_two_threads_runs_one_call_at_a_time():
    # Every call is whole steps of the same values, so whatever the order the calls complete
    # the steps of one run: each step's samples appear once.
    step = np.random.default_rng(3).integers(0, 2, size=4096)
    calls = 60
    modulator = quenvarith.Modulator(frame_size=len(step))
    outputs = [[], []]

    def run(index):
        for _ in range(calls):
            outputs[index].append(modulator.modulate(step))

    threads = [threading.Thread(target=run, args=(index,)) for index in (0, 1)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    one_run = quenvarith.modulate(np.tile(step, 2 * calls), frame_size=len(step))
    expected = sorted(piece.tobytes() for piece in np.split(one_run, 2 * calls))
    assert sorted(piece.tobytes() for piece in outputs[0] + outputs[1]) == expected


def runpath_entries(path):
    dynamic = subprocess.run(["readelf", "-d", path], capture_output=True, text=True, check=True)
    for line in dynamic.stdout.splitlines():
        if "(RUNPATH)" in line or "(RPATH)" in line:
            return line.split("[", 1)[1].rstrip("]").split(":")
    return []


def test_the_installed_package_loads_the_installed_plugin(tmp_path):
    subprocess.run(["cmake", "--install", BUILD_DIR, "--prefix", tmp_path],
                   check=True, capture_output=True)
    version = f"python{sys.version_info.major}.{sys.version_info.minor}"
    packages = tmp_path / "lib" / version / "dist-packages"
    script = ("import quenvarith, quenvarith._paths as paths, sys; "
              "sys.stdout.write(paths.PLUGIN + '\\n' + quenvarith.modulate(b'ok').tobytes().hex())")
    environment = dict(os.environ, PYTHONPATH=str(packages))
    shown = subprocess.run([sys.executable, "-c", script], env=environment, cwd=tmp_path,
                           capture_output=True, text=True, check=True).stdout.split("\n")
    assert pathlib.Path(shown[0]) == tmp_path / "lib" / "quenvarith" / "quenvarith.so"
    assert bytes.fromhex(shown[1]) == quenvarith.modulate(b"ok").tobytes()
    modules = [*packages.glob("quenvarith/_modulator*.so"),
               *pathlib.Path(quenvarith.__file__).parent.glob("_modulator*.so")]
    assert len(modules) == 2
    for module in modules:
        entries = runpath_entries(module)
        assert entries and all(entry.startswith("$ORIGIN/") for entry in entries), entries
