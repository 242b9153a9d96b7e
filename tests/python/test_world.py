"""Worlds: Dask arrays against koravel-export, and koravel-world on a real cluster (a scheduler and two
worker processes over TCP on 127.0.0.1): Zarr and tiles equal the whole terrain; a killed worker and an
interrupted build lose nothing."""

import json
import os
import signal
import subprocess
import sys
import time

import numpy as np
import pytest
import zarr

import koravel
import koravel.world
from conftest import read_f32, same_bits, sha256

SIDE = 8192
CHUNK = 2048
DASK = "/usr/bin/dask"


def test_dask_blocks_equal_koravel_export_tiles(tmp_path, export_tool):
    terrain = koravel.Terrain(seed=9, river=True, width=1000, depth=700)
    heights = koravel.world.heights(terrain, chunks=256)
    water = koravel.world.water(terrain, chunks=256)
    assert heights.shape == (700, 1000) and heights.dtype == np.float32
    assert heights.chunks == ((256, 256, 188), (256, 256, 256, 232))
    whole_heights, whole_water = terrain.fields()
    assert same_bits(heights.compute(scheduler="threads"), whole_heights)
    assert same_bits(water.compute(scheduler="threads"), whole_water)
    export_tool(*terrain.options().split(), "--tile", "768,512,232,188", "--heights", tmp_path / "h.f32",
                "--water", tmp_path / "w.f32")
    assert heights.blocks[2, 3].compute().tobytes() == (tmp_path / "h.f32").read_bytes()
    assert water.blocks[2, 3].compute().tobytes() == (tmp_path / "w.f32").read_bytes()


def test_a_block_of_the_largest_world_with_its_river(tmp_path, export_tool):
    terrain = koravel.Terrain(river=True, width=1048576, depth=1048576)
    heights = koravel.world.heights(terrain, chunks=2048)
    assert heights.shape == (1048576, 1048576) and heights.numblocks == (512, 512)
    # A block of the last row that the river crosses: the 100 x 100 river, resampled, runs where it
    # leaves the viewer's terrain.
    water = koravel.world.water(terrain, chunks=2048)
    leaves = np.nonzero(koravel.Terrain(river=True).water()[-1])[0]
    column = int(leaves.mean() / 100 * 512)
    block = water.blocks[511, column].compute()
    assert block.max() > 0
    rect = f"{column * 2048},{511 * 2048},2048,2048"
    export_tool(*terrain.options().split(), "--tile", rect, "--heights", tmp_path / "h.f32", "--water",
                tmp_path / "w.f32")
    assert heights.blocks[511, column].compute().tobytes() == (tmp_path / "h.f32").read_bytes()
    assert block.tobytes() == (tmp_path / "w.f32").read_bytes()


USAGE_ERRORS = [
    (["--zarr", "w"], "give the world's size"),
    (["--size", "0", "--zarr", "w"], "--size: '0' is not a side of 1 to 1048576"),
    (["--size", "8", "--width", "8", "--zarr", "w"], "--size sets both"),
    (["--size", "8"], "give one output"),
    (["--size", "8", "--zarr", "w", "--tiles", "t"], "give one output"),
    (["--size", "8", "--zarr", "w", "--format", "r16"], "--format and --range go with --tiles"),
    (["--size", "8", "--tiles", "t", "--format", "tif"], "invalid choice"),
    (["--size", "8", "--tiles", "t", "--range", "5,-1"], "--range: '5,-1' is not LO,HI"),
    (["--size", "8", "--tiles", "t", "--range", "--chunk"], "--range needs a value"),
    (["--size", "8", "--chunk", "16385", "--zarr", "w"], "--chunk: '16385'"),
    (["--size", "8", "--init-freq", "5000", "--zarr", "w"], "--init-freq: "),
    (["--size", "8", "--height", "nan", "--zarr", "w"], "--height: 'nan' is not a decimal number"),
    (["--size", "100", "--erode", "--zarr", "w"], "--erode: a world is built in chunks"),
    (["--size", "8", "--zarr", "w", "--scheduler", "tcp://127.0.0.1:1", "--workers", "2"], "--workers"),
    (["--size", "8", "--zarr", "full"], "is not empty and holds no world.json"),
    (["--size", "8", "--zarr", "other"], "holds another world"),
]


@pytest.mark.parametrize("options,message", USAGE_ERRORS, ids=[" ".join(o) for o, _ in USAGE_ERRORS])
def test_command_line_refusals(tmp_path, monkeypatch, options, message):
    monkeypatch.chdir(tmp_path)
    (tmp_path / "full").mkdir()
    (tmp_path / "full" / "mine.txt").write_text("mine")
    (tmp_path / "other").mkdir()
    (tmp_path / "other" / "world.json").write_text(json.dumps({"terrain": {"width": 9}, "chunk": 4096}))
    done = koravel_world(*options)
    assert done.returncode == 2 and message in done.stderr, done.stderr
    assert sorted(os.listdir(tmp_path)) == ["full", "other"]
    assert os.listdir(tmp_path / "full") == ["mine.txt"]


# ---------------------------------------------------------------- on a cluster

@pytest.fixture(scope="module")
def cluster(tmp_path_factory):
    """A Dask scheduler and two worker processes (one thread each) on 127.0.0.1; yields (address, workers)."""
    folder = tmp_path_factory.mktemp("cluster")
    address_file = folder / "scheduler.json"
    started = []

    def start(*command):
        process = subprocess.Popen([DASK, *command], stdout=subprocess.DEVNULL, stderr=open(folder / "log", "a"),
                                   start_new_session=True)
        started.append(process)
        return process

    start("scheduler", "--host", "127.0.0.1", "--port", "0", "--no-dashboard", "--scheduler-file", address_file)
    for _ in range(600):
        if address_file.exists() and address_file.stat().st_size > 0:
            break
        time.sleep(0.05)
    address = json.loads(address_file.read_text())["address"]
    assert address.startswith("tcp://127.0.0.1:")
    workers = [start("worker", address, "--nthreads", "1", "--nworkers", "1", "--no-dashboard",
                     "--host", "127.0.0.1", "--local-directory", folder / f"worker{i}") for i in range(2)]
    from distributed import Client

    with Client(address, timeout="60s") as client:
        client.wait_for_workers(2, timeout=120)
    yield address, workers, address_file
    for process in started:
        if process.poll() is None:
            os.killpg(process.pid, signal.SIGTERM)
    for process in started:
        try:
            process.wait(timeout=30)
        except subprocess.TimeoutExpired:
            os.killpg(process.pid, signal.SIGKILL)
            process.wait()


@pytest.fixture(scope="module")
def whole(tmp_path_factory, export_tool):
    """koravel-export --size 8192: its heights as raw floats and as r16, and its printed range."""
    folder = tmp_path_factory.mktemp("whole")
    printed = export_tool("--size", SIDE, "--heights", folder / "whole.f32")
    export_tool("--size", SIDE, "--heights", folder / "whole.r16")
    return read_f32(folder / "whole.f32", (SIDE, SIDE)), folder / "whole.r16", printed


def koravel_world(*options, wait=True):
    command = [sys.executable, "-m", "koravel.world_command", *map(str, options)]
    if not wait:
        return subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    return subprocess.run(command, capture_output=True, text=True, timeout=600, check=False)


def listed_tiles(folder):
    """The chunks world.json lists as complete (an empty list before it is written)."""
    try:
        return json.loads((folder / "world.json").read_text())["tiles"]
    except (FileNotFoundError, ValueError):
        return []


def test_zarr_world_equals_the_whole_terrain(cluster, whole, tmp_path):
    address, *_ = cluster
    heights, _, printed = whole
    done = koravel_world("--scheduler", address, "--size", SIDE, "--chunk", CHUNK, "--zarr", tmp_path / "w.zarr")
    assert done.returncode == 0, done.stderr
    assert done.stdout == printed + "chunks 16 written 16 kept 0\n"
    group = zarr.open_group(str(tmp_path / "w.zarr"), mode="r")
    assert group["heights"].chunks == (CHUNK, CHUNK)
    assert same_bits(group["heights"][:], heights)
    assert "water" not in group
    import xarray

    dataset = xarray.open_zarr(str(tmp_path / "w.zarr"))
    assert dataset["heights"].dims == ("z", "x") and dataset["x"][0] == -75.0
    assert [f"{v:.9g}" for v in dataset.attrs["range"]] == printed.split()[1::2]
    assert dataset.attrs["koravel"]["terrain"]["width"] == SIDE


def test_tiles_stitched_equal_the_whole_terrain(cluster, whole, export_tool, tmp_path):
    address, *_ = cluster
    _, whole_r16, printed = whole
    folder = tmp_path / "tiles"
    done = koravel_world("--scheduler", address, "--size", SIDE, "--chunk", CHUNK, "--tiles", folder,
                         "--format", "r16")
    assert done.returncode == 0, done.stderr
    assert done.stdout.splitlines()[0] == printed.strip()
    manifest = json.loads((folder / "world.json").read_text())
    assert manifest["terrain"]["width"] == SIDE and len(manifest["tiles"]) == 16
    stitched = np.zeros((SIDE, SIDE), dtype="<u2")
    for tile in manifest["tiles"]:
        data = (folder / tile["files"]["heights"]["name"]).read_bytes()
        assert sha256(data) == tile["files"]["heights"]["sha256"]
        x0, z0, w, h = tile["rect"]
        stitched[z0:z0 + h, x0:x0 + w] = np.frombuffer(data, dtype="<u2").reshape(h, w)
    assert stitched.tobytes() == whole_r16.read_bytes()


def test_png_tiles_are_koravel_exports_with_the_worlds_range(cluster, export_tool, tmp_path):
    *_, address_file = cluster
    folder = tmp_path / "png"
    done = koravel_world("--scheduler-file", address_file, "--river", "--seed", 4, "--width", 4096, "--depth", 3000,
                         "--chunk", CHUNK, "--tiles", folder)
    assert done.returncode == 0, done.stderr
    printed = export_tool("--river", "--seed", 4, "--width", 4096, "--depth", 3000, "--range-only")
    assert done.stdout.splitlines() == [printed.strip(), "chunks 4 written 4 kept 0"]
    low, high = json.loads((folder / "world.json").read_text())["range"]
    export_tool("--river", "--seed", 4, "--width", 4096, "--depth", 3000, "--tile", f"{CHUNK},{CHUNK},{CHUNK},952",
                "--range", f"{low!r},{high!r}", "--heights", tmp_path / "h.png", "--water", tmp_path / "w.png")
    assert (folder / "heights_x1_z1.png").read_bytes() == (tmp_path / "h.png").read_bytes()
    assert (folder / "water_x1_z1.png").read_bytes() == (tmp_path / "w.png").read_bytes()


def wait_for_tiles(folder, process, count):
    """Waits until world.json lists at least count chunks while the build still runs."""
    for _ in range(6000):
        if len(listed_tiles(folder)) >= count:
            return
        assert process.poll() is None, process.communicate()
        time.sleep(0.01)
    pytest.fail("the build listed no chunks")


def test_a_rerun_after_an_interruption_writes_only_the_missing_chunks(cluster, whole, tmp_path):
    address, *_ = cluster
    _, whole_r16, printed = whole
    folder = tmp_path / "tiles"
    low, high = printed.split()[1::2]
    options = ["--scheduler", address, "--size", SIDE, "--chunk", 512, "--tiles", folder, "--format", "r16",
               "--range", f"{low},{high}"]
    build = koravel_world(*options, wait=False)
    wait_for_tiles(folder, build, 16)
    build.send_signal(signal.SIGINT)
    _, error = build.communicate(timeout=120)
    assert build.returncode == 130, error
    listed = listed_tiles(folder)
    assert 16 <= len(listed) < 256
    before = {t["files"]["heights"]["name"]: os.stat(folder / t["files"]["heights"]["name"]) for t in listed}

    done = koravel_world(*options)
    assert done.returncode == 0, done.stderr
    assert done.stdout.splitlines()[1] == f"chunks 256 written {256 - len(listed)} kept {len(listed)}"
    for name, status in before.items():
        now = os.stat(folder / name)
        assert (now.st_ino, now.st_mtime_ns) == (status.st_ino, status.st_mtime_ns), name
    assert not [name for name in os.listdir(folder) if name.startswith(".")]
    stitched = np.zeros((SIDE, SIDE), dtype="<u2")
    for tile in listed_tiles(folder):
        x0, z0, w, h = tile["rect"]
        stitched[z0:z0 + h, x0:x0 + w] = np.fromfile(folder / tile["files"]["heights"]["name"],
                                                     dtype="<u2").reshape(h, w)
    assert stitched.tobytes() == whole_r16.read_bytes()


def test_a_killed_worker_loses_nothing(cluster, whole, tmp_path):
    address, workers, _ = cluster
    heights, _, printed = whole
    folder = tmp_path / "w.zarr"
    build = koravel_world("--scheduler", address, "--size", SIDE, "--chunk", 1024, "--zarr", folder, wait=False)
    wait_for_tiles(folder, build, 4)
    os.killpg(workers[0].pid, signal.SIGKILL)
    workers[0].wait()
    assert len(listed_tiles(folder)) < 64
    output, error = build.communicate(timeout=300)
    assert build.returncode == 0, error
    assert output == printed + "chunks 64 written 64 kept 0\n"
    assert same_bits(zarr.open_group(str(folder), mode="r")["heights"][:], heights)
