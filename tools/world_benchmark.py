#!/usr/bin/python3
"""Times a world built to Zarr on a local Dask cluster against koravel-export making the same chunks one after
another, and reports each worker's peak memory.

Usage: PYTHONPATH=build/linux/python tools/world_benchmark.py [--size 32768] [--chunk 4096] [--workers 2]
           [--export build/linux/tools/koravel-export] [--work DIR]
"""

import argparse
import os
import resource
import shutil
import subprocess
import sys
import tempfile
import time

import koravel
from koravel import world


def peak_rss_mib():
    """This process's peak resident memory in MiB (run on each worker)."""
    return resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024.0


def build_world(terrain, folder, chunk, workers):
    from distributed import Client, LocalCluster

    with LocalCluster(n_workers=workers, threads_per_worker=1, processes=True, dashboard_address=None) as cluster, \
            Client(cluster) as client:
        client.wait_for_workers(workers)
        start = time.monotonic()
        summary = world.build(terrain, folder, "zarr", chunk, client)
        seconds = time.monotonic() - start
        peaks = sorted(client.run(peak_rss_mib).values())
    return seconds, peaks, summary


def export_chunks(export, terrain, chunk, folder):
    """koravel-export --tile for every chunk in turn, each on every core, heights as raw floats."""
    start = time.monotonic()
    for _, (x0, z0, w, h) in world.chunk_rects(terrain, chunk):
        path = os.path.join(folder, "chunk.f32")
        subprocess.run([export, "--size", str(terrain.width), "--tile", f"{x0},{z0},{w},{h}", "--heights", path],
                       check=True, stdout=subprocess.DEVNULL)
        os.remove(path)
    return time.monotonic() - start


def module_chunks(terrain, chunk):
    """The module making every chunk's heights in turn in this process, on every core, writing nothing."""
    start = time.monotonic()
    for _, rect in world.chunk_rects(terrain, chunk):
        terrain.heights(tile=rect)
    return time.monotonic() - start


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--size", type=int, default=32768)
    parser.add_argument("--chunk", type=int, default=4096)
    parser.add_argument("--workers", type=int, default=2)
    parser.add_argument("--export", default="build/linux/tools/koravel-export")
    parser.add_argument("--work", default=None, help="scratch folder (default: a temporary one)")
    arguments = parser.parse_args()
    terrain = koravel.Terrain(width=arguments.size, depth=arguments.size)
    samples = arguments.size * arguments.size
    work = tempfile.mkdtemp(prefix="koravel-world-benchmark-", dir=arguments.work)
    try:
        print(f"{arguments.size} x {arguments.size} ({samples / 1e9:.2f} G samples), chunks of {arguments.chunk}, "
              f"{os.cpu_count()} cores, Koravel {koravel.__version__}")
        seconds, peaks, summary = build_world(terrain, os.path.join(work, "world.zarr"), arguments.chunk,
                                              arguments.workers)
        stored = sum(os.path.getsize(os.path.join(d, f)) for d, _, fs in os.walk(work) for f in fs)
        print(f"koravel-world, Zarr, {arguments.workers} worker processes: {seconds:.1f} s, "
              f"{samples / seconds / 1e6:.1f} M samples/s, peak RSS per worker "
              + ", ".join(f"{p:.0f} MiB" for p in peaks) + f"; {stored / 2**30:.2f} GiB stored, "
              f"{summary['chunks']} chunks")
        shutil.rmtree(os.path.join(work, "world.zarr"))
        exported = export_chunks(arguments.export, terrain, arguments.chunk, work)
        print(f"koravel-export --tile, the same chunks one after another (raw floats): {exported:.1f} s, "
              f"{samples / exported / 1e6:.1f} M samples/s")
        made = module_chunks(terrain, arguments.chunk)
        print(f"Terrain.heights(tile), the same chunks one after another in one process, no files: {made:.1f} s, "
              f"{samples / made / 1e6:.1f} M samples/s")
        print(f"koravel-world's throughput: {exported / seconds:.2f} x koravel-export's")
    finally:
        shutil.rmtree(work, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
