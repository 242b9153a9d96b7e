"""Shared fixtures of the module's tests: koravel-export, the golden tables, files' bytes."""

import csv
import hashlib
import os
import subprocess

import numpy as np
import pytest

DATA = os.environ.get("KORAVEL_TEST_DATA", os.path.join(os.path.dirname(__file__), "..", "data"))


def golden_rows(table):
    """The rows of a golden table (cases.tsv, sizes.tsv) as dicts by column name."""
    with open(os.path.join(DATA, "golden", table), newline="") as stream:
        return list(csv.DictReader(stream, delimiter="\t"))


def sha256(data):
    return hashlib.sha256(data).hexdigest()


def same_bits(a, b):
    """True when two float32 arrays hold the same bits (NaNs and signed zeros included)."""
    return a.shape == b.shape and np.array_equal(np.asarray(a).view(np.uint32), np.asarray(b).view(np.uint32))


@pytest.fixture(scope="session")
def export_tool():
    """Runs koravel-export with options; returns its standard output, failing on a non-zero exit."""
    tool = os.environ.get("KORAVEL_EXPORT")
    if not tool:
        pytest.skip("KORAVEL_EXPORT (the path of koravel-export) is not set")

    def run(*options):
        done = subprocess.run([tool, *map(str, options)], capture_output=True, text=True, check=False)
        assert done.returncode == 0, f"koravel-export {' '.join(map(str, options))}: {done.stderr}"
        return done.stdout

    return run


def read_f32(path, shape):
    return np.fromfile(path, dtype="<f4").reshape(shape)
