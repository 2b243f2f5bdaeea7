"""What the tests of the Python module share: the build it comes from and the command beside it."""

import os
import pathlib
import subprocess

import numpy as np
import pytest

import quenvarith

# The command of the same build: named by the test's environment, else found where the build
# tree (laid out as an installation) puts it, beside lib/python3.X/dist-packages/quenvarith.
BUILD_DIR = pathlib.Path(quenvarith.__file__).resolve().parents[4]
COMMAND = pathlib.Path(os.environ.get("QUENVARITH_RUN", BUILD_DIR / "bin" / "quenvarith-run"))


class CommandFailed(Exception):
    def __init__(self, returncode, stderr, samples):
        super().__init__(f"quenvarith-run exited with {returncode}: {stderr}")
        self.returncode = returncode
        self.stderr = stderr
        self.samples = samples


@pytest.fixture
def run_command(tmp_path):
    """Runs quenvarith-run on `values` with `options`; returns what it wrote as complex128."""

    def run(values, options):
        source = tmp_path / "input.txt"
        output = tmp_path / "output.cf64"
        source.write_text(" ".join(str(value) for value in values))
        finished = subprocess.run(
            [COMMAND, "--input", source, "--output", output, "--format", "cf64", "--quiet",
             *options],
            capture_output=True, text=True, check=False)
        samples = np.fromfile(output, dtype=np.complex128) if output.exists() else None
        if finished.returncode != 0:
            raise CommandFailed(finished.returncode, finished.stderr.strip(), samples)
        return samples

    return run


def same_bits(first, second):
    """True when two complex arrays hold the same doubles, bit for bit."""
    return first.shape == second.shape and np.array_equal(first.view(np.uint64),
                                                          second.view(np.uint64))
