#!/usr/bin/python3
"""Draws a SigMF recording of quenvarith-run as a PNG.

Three panels: I and Q against time over the first symbols, with the symbol boundaries marked;
the instantaneous frequency, which sits on one of the M tone levels during each symbol; and the
power spectrum with the expected tone frequencies marked. M, the frequency separation, the
samples per symbol and the tones are read from the recording's own `quenvarith` namespace, or,
in a recording made before it had one, from the description.

Run it with Debian's /usr/bin/python3, which has numpy and matplotlib.
"""

import argparse
import json
import re
import sys
from pathlib import Path

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402  (the backend is chosen first)
import numpy as np  # noqa: E402

DATATYPES = {"cf32_le": np.dtype("<c8"), "cf64_le": np.dtype("<c16")}
# Samples the spectrum averages over at most: enough for a smooth estimate of a long recording.
SPECTRUM_SAMPLES = 1 << 20


def recording_base(name):
    for suffix in (".sigmf-data", ".sigmf-meta"):
        if name.endswith(suffix):
            return name[: -len(suffix)]
    return name


def parameters_of(description):
    """The key=value pairs of the description, as numbers where they are numbers."""
    values = {}
    for key, text in re.findall(r"(\w+)=(\S+)", description):
        try:
            values[key] = float(text)
        except ValueError:
            values[key] = text
    return values


def tone_frequencies(m_ary, separation):
    return [(2 * i - m_ary + 1) * separation / 2 for i in range(m_ary)]


def run_of(global_info):
    """M, the separation, N and the tone frequencies: from the recording's namespace where it
    declares one, else from the key=value pairs of its description."""
    declared = {extension.get("name") for extension in global_info.get("core:extensions", [])}
    if "quenvarith" in declared:
        m_ary = int(global_info["quenvarith:m_ary_number"])
        separation = float(global_info["quenvarith:frequency_separation"])
        per_symbol = max(1, int(global_info["quenvarith:samples_per_symbol"]))
        tones = global_info.get("quenvarith:tone_frequencies")
        if tones is None:
            tones = tone_frequencies(m_ary, separation)
        return m_ary, separation, per_symbol, [float(tone) for tone in tones]
    parameters = parameters_of(global_info.get("core:description", ""))
    m_ary = int(parameters.get("MAryNumber", 2))
    separation = float(parameters.get("FrequencySeparation", 1.0))
    per_symbol = max(1, int(parameters.get("SamplesPerSymbol", 1)))
    return m_ary, separation, per_symbol, tone_frequencies(m_ary, separation)


def averaged_spectrum(samples, rate):
    """Welch-style power spectrum with a Hann window, centred on 0 Hz."""
    length = min(len(samples), 1024)
    if length < 16:
        length = len(samples)
    window = np.hanning(length) if length > 1 else np.ones(1)
    segments = max(1, len(samples) // length)
    power = np.zeros(length)
    for segment in range(segments):
        chunk = samples[segment * length : (segment + 1) * length]
        power += np.abs(np.fft.fft(chunk * window)) ** 2
    power /= segments * np.sum(window**2) * rate
    frequencies = np.fft.fftshift(np.fft.fftfreq(length, d=1.0 / rate))
    return frequencies, np.fft.fftshift(power)


def compress(path):
    """Rewrites the PNG with a palette, which keeps it small; left as it is without Pillow."""
    try:
        from PIL import Image
    except ImportError:
        return
    with Image.open(path) as picture:
        palette = picture.convert("RGB").quantize(colors=64)
    palette.save(path, optimize=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("recording", help="NAME, NAME.sigmf-data or NAME.sigmf-meta")
    parser.add_argument("--output", help="the PNG to write (default NAME.png)")
    parser.add_argument("--symbols", type=int, default=16, help="symbols shown over time (16)")
    args = parser.parse_args()

    base = recording_base(args.recording)
    meta = json.loads(Path(base + ".sigmf-meta").read_text())
    global_info = meta["global"]
    datatype = global_info["core:datatype"]
    if datatype not in DATATYPES:
        sys.exit(f"plot_iq: cannot read the data type {datatype}")
    rate = float(global_info["core:sample_rate"])
    m_ary, separation, per_symbol, tones = run_of(global_info)

    data = np.memmap(base + ".sigmf-data", dtype=DATATYPES[datatype], mode="r")
    if len(data) == 0:
        sys.exit("plot_iq: the recording holds no samples")
    shown = np.asarray(data[: args.symbols * per_symbol], dtype=np.complex128)
    spectrum_part = np.asarray(data[:SPECTRUM_SAMPLES], dtype=np.complex128)
    time = np.arange(len(shown)) / rate

    figure, (iq_axes, frequency_axes, spectrum_axes) = plt.subplots(3, 1, figsize=(10, 9))
    figure.suptitle(f"{m_ary}-FSK, separation {separation:g} Hz, {per_symbol} samples per symbol")

    iq_axes.plot(time, shown.real, label="I", drawstyle="steps-post" if per_symbol == 1 else None)
    iq_axes.plot(time, shown.imag, label="Q")
    for boundary in np.arange(0, len(shown) + 1, per_symbol) / rate:
        iq_axes.axvline(boundary, color="grey", linewidth=0.5, linestyle=":")
    iq_axes.set_xlabel("time (s)")
    iq_axes.set_ylabel("amplitude")
    iq_axes.set_title(f"I and Q over the first {len(shown) // per_symbol} symbols")
    iq_axes.legend(loc="upper right")

    if len(shown) > 1:
        instantaneous = np.diff(np.unwrap(np.angle(shown))) * rate / (2 * np.pi)
        frequency_axes.plot(time[1:], instantaneous, color="tab:green")
    for tone in tones:
        frequency_axes.axhline(tone, color="tab:red", linewidth=0.6, linestyle="--")
    frequency_axes.set_xlabel("time (s)")
    frequency_axes.set_ylabel("frequency (Hz)")
    frequency_axes.set_title("instantaneous frequency, with the tone frequencies dashed")

    frequencies, power = averaged_spectrum(spectrum_part, rate)
    floor = power.max() * 1e-12 if power.max() > 0 else 1e-300
    spectrum_axes.plot(frequencies, 10 * np.log10(np.maximum(power, floor)), color="tab:purple")
    for tone in tones:
        spectrum_axes.axvline(tone, color="tab:red", linewidth=0.6, linestyle="--")
    spectrum_axes.set_xlabel("frequency (Hz)")
    spectrum_axes.set_ylabel("power density (dB/Hz)")
    spectrum_axes.set_title("power spectrum, with the tone frequencies dashed")

    figure.tight_layout()
    output = args.output or base + ".png"
    figure.savefig(output, dpi=72)
    compress(output)
    print(output)


if __name__ == "__main__":
    main()
