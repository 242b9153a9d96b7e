#!/usr/bin/python3
"""Times Terrain.heights() of the Python module against koravel_generate of the C library (through ctypes,
into a numpy buffer) on the same terrain, alternating, and prints the medians and their ratio.

Usage: PYTHONPATH=build/linux/python tools/library_benchmark.py [build/linux/library/libkoravel.so.1]
           [--size 4097] [--runs 9]
"""

import argparse
import ctypes
import statistics
import sys
import time

import numpy as np

import koravel


class Settings(ctypes.Structure):
    _fields_ = [("size", ctypes.c_uint32), ("seed", ctypes.c_int32), ("height", ctypes.c_float),
                ("init_freq", ctypes.c_int32), ("freq_scale", ctypes.c_int32),
                ("pass_height_scale", ctypes.c_float), ("passes", ctypes.c_int32), ("river", ctypes.c_int32)]


def c_interface(path):
    """koravel_generate of the library at path, with its argument types."""
    library = ctypes.CDLL(path)
    library.koravel_settings_init.argtypes = [ctypes.POINTER(Settings), ctypes.c_uint32]
    generate = library.koravel_generate
    generate.restype = ctypes.c_int32
    generate.argtypes = [ctypes.POINTER(Settings), ctypes.c_int64, ctypes.c_int64, ctypes.c_void_p,
                         ctypes.c_void_p, ctypes.c_void_p, ctypes.c_size_t, ctypes.c_int32, ctypes.c_void_p,
                         ctypes.c_void_p]
    settings = Settings()
    library.koravel_settings_init(ctypes.byref(settings), ctypes.sizeof(settings))
    return generate, settings


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("library", nargs="?", default="build/linux/library/libkoravel.so.1")
    parser.add_argument("--size", type=int, default=4097)
    parser.add_argument("--runs", type=int, default=9)
    arguments = parser.parse_args()
    side = arguments.size
    generate, settings = c_interface(arguments.library)
    terrain = koravel.Terrain(width=side, depth=side)
    print(f"{side} x {side} default terrain, {arguments.runs} runs each, alternating which goes first")
    for threads in (0, 1):
        c_times, python_times, c_cpu, python_cpu = [], [], [], []

        def through_c():
            buffer = np.empty((side, side), dtype=np.float32)
            status = generate(ctypes.byref(settings), side, side, None, buffer.ctypes.data, None, buffer.size,
                              threads, None, None)
            assert status == 0, status
            return buffer

        def through_python():
            return terrain.heights(threads=threads or None)

        # Each run calls both, in turn first, and drops each result before the next call.
        for run in range(arguments.runs):
            order = ((through_c, c_times, c_cpu), (through_python, python_times, python_cpu))
            digests = []
            for call, times, cpus in order if run % 2 == 0 else order[::-1]:
                start, cpu = time.perf_counter(), time.process_time()
                result = call()
                times.append(time.perf_counter() - start)
                cpus.append(time.process_time() - cpu)
                digests.append(hash(result.tobytes()))
                del result
            assert digests[0] == digests[1]
        label = "every core" if threads == 0 else "1 thread"
        for name, pick, c_values, python_values in (("median", statistics.median, c_times, python_times),
                                                     ("fastest", min, c_times, python_times),
                                                     ("median CPU time", statistics.median, c_cpu, python_cpu)):
            c_time, python_time = pick(c_values), pick(python_values)
            print(f"{label}, {name}: C interface {c_time * 1000:.1f} ms, Terrain.heights() {python_time * 1000:.1f} ms,"
                  f" ratio {python_time / c_time:.3f}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
