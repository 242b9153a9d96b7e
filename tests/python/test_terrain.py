"""koravel.Terrain against the golden terrains and koravel-export's bytes; refusals; the GIL; Ctrl+C."""

import os
import pickle
import signal
import threading
import time

import numpy as np
import pytest

import koravel
import koravel.world
from conftest import DATA, golden_rows, read_f32, same_bits, sha256

SETTINGS = {"seed": "seed", "terrainHeight": "height", "passHeightScale": "pass_height_scale",
            "freqScale": "freq_scale", "initFreq": "init_freq", "passCount": "passes"}


def terrain_of(row, **extra):
    """The Terrain of a golden row; numbers as the table prints them."""
    kwargs = {name: (int(row[column]) if name in ("seed", "freq_scale", "init_freq", "passes")
                     else float(row[column])) for column, name in SETTINGS.items()}
    kwargs.update(extra)
    return koravel.Terrain(**kwargs)


def test_version_is_the_projects():
    assert koravel.__version__ == os.environ.get("KORAVEL_VERSION", koravel.__version__)
    assert koravel.__version__.count(".") == 2


@pytest.mark.parametrize("row", golden_rows("sizes.tsv"), ids=lambda row: row["name"])
def test_golden_sizes(row):
    terrain = terrain_of(row, width=int(row["width"]), depth=int(row["depth"]))
    heights = terrain.heights()
    assert heights.dtype == np.float32 and heights.shape == (terrain.depth, terrain.width)
    assert heights.flags.c_contiguous
    assert sha256(heights.tobytes()) == row["heights_sha256"]
    assert [f"{v:.9g}" for v in terrain.range()] == [row["minHeight"], row["maxHeight"]]


@pytest.mark.parametrize("row", [r for r in golden_rows("cases.tsv")
                                 if os.path.exists(os.path.join(DATA, "golden", r["name"], "heights.f32"))],
                         ids=lambda row: row["name"])
def test_golden_cases_with_water(row):
    terrain = terrain_of(row, river=row["river"] == "1")
    heights, water = terrain.fields(threads=1)
    folder = os.path.join(DATA, "golden", row["name"])
    assert same_bits(heights, read_f32(os.path.join(folder, "heights.f32"), (100, 100)))
    assert same_bits(water, read_f32(os.path.join(folder, "water.f32"), (100, 100)))
    assert same_bits(terrain.water(), water)


# Whole terrains, tiles, thread counts and rivers, each against koravel-export's raw files.
EXPORT_CASES = [
    ("whole", dict(seed=7, river=True, width=257, depth=129), None, 1),
    ("whole every core", dict(seed=-3, height=12.5, init_freq=2, freq_scale=3, pass_height_scale=0.5, passes=6,
                              width=300, depth=301), None, None),
    ("tile", dict(river=True, width=1000, depth=1000), (123, 456, 300, 200), 2),
    ("one sample", dict(width=5, depth=3), (4, 2, 1, 1), 1),
    ("tile of a large world", dict(seed=11, river=True, width=65536, depth=40000), (65000, 39000, 536, 1000), None),
]


@pytest.mark.parametrize("name,kwargs,tile,threads", EXPORT_CASES, ids=[c[0] for c in EXPORT_CASES])
def test_equals_koravel_export(tmp_path, export_tool, name, kwargs, tile, threads):
    terrain = koravel.Terrain(**kwargs)
    options = terrain.options().split()
    if tile is not None:
        options += ["--tile", ",".join(map(str, tile))]
    if threads is not None:
        options += ["--threads", threads]
    printed = export_tool(*options, "--heights", tmp_path / "h.f32", "--water", tmp_path / "w.f32")
    heights, water = terrain.fields(tile=tile, threads=threads)
    assert heights.tobytes() == (tmp_path / "h.f32").read_bytes()
    assert water.tobytes() == (tmp_path / "w.f32").read_bytes()
    assert same_bits(terrain.heights(tile=tile, threads=threads), heights)
    assert printed == f"minHeight {heights.min():.9g} maxHeight {heights.max():.9g}\n"


def test_write_gives_koravel_exports_files(tmp_path, export_tool):
    terrain = koravel.Terrain(seed=5, river=True, width=120, depth=90)
    names = {"heights": "t.png", "water": "t_water.png", "colour": "t_colour.png", "mesh": "t.glb"}
    for folder in ("module", "tool"):
        (tmp_path / folder).mkdir()
    low, high = terrain.write(**{k: tmp_path / "module" / v for k, v in names.items()})
    printed = export_tool(*terrain.options().split(), *[x for k, v in names.items()
                                                        for x in (f"--{k}", tmp_path / "tool" / v)])
    assert printed == f"minHeight {low:.9g} maxHeight {high:.9g}\n"
    for name in names.values():
        assert (tmp_path / "module" / name).read_bytes() == (tmp_path / "tool" / name).read_bytes(), name
    # A tile scaled to a given range, as r16 and obj.
    terrain.write(heights=tmp_path / "module" / "tile.r16", mesh=str(tmp_path / "module" / "tile.obj"),
                  tile=(10, 20, 30, 40), range=(-20, 20), threads=1)
    export_tool(*terrain.options().split(), "--tile", "10,20,30,40", "--range", "-20,20", "--threads", 1,
                "--heights", tmp_path / "tool" / "tile.r16", "--mesh", tmp_path / "tool" / "tile.obj")
    for name in ("tile.r16", "tile.obj"):
        assert (tmp_path / "module" / name).read_bytes() == (tmp_path / "tool" / name).read_bytes(), name


# Eroded terrains and their drainage maps, whole and in tiles at odd offsets, against koravel-export's raw files.
ERODED = dict(seed=12345, river=True, width=61, depth=45, erode=True, erosion_steps=4, erodibility=2.5,
              deposition=0.5, talus=30, creep=0.1)
ERODED_CASES = [
    ("whole", ERODED, None, 1),
    ("tile", ERODED, (13, 7, 29, 21), 2),
    ("defaults, tile on every core", dict(erode=True, width=129, depth=97), (1, 95, 127, 2), None),
]


@pytest.mark.parametrize("name,kwargs,tile,threads", ERODED_CASES, ids=[c[0] for c in ERODED_CASES])
def test_eroded_equals_koravel_export(tmp_path, export_tool, name, kwargs, tile, threads):
    terrain = koravel.Terrain(**kwargs)
    options = terrain.options().split()
    if tile is not None:
        options += ["--tile", ",".join(map(str, tile))]
    if threads is not None:
        options += ["--threads", threads]
    export_tool(*options, "--heights", tmp_path / "h.f32", "--water", tmp_path / "w.f32", "--flow", tmp_path / "f.f32")
    heights, water = terrain.fields(tile=tile, threads=threads)
    flow, largest = terrain.flow(tile=tile, threads=threads, largest=True)
    assert heights.tobytes() == (tmp_path / "h.f32").read_bytes()
    assert water.tobytes() == (tmp_path / "w.f32").read_bytes()
    assert flow.dtype == np.uint64 and flow.shape == heights.shape
    assert flow.astype(np.float32).tobytes() == (tmp_path / "f.f32").read_bytes()
    assert same_bits(terrain.heights(tile=tile, threads=threads), heights)
    whole = terrain.flow(threads=1)
    assert largest == whole.max()
    if tile is None:
        assert terrain.range(threads=threads) == (heights.min(), heights.max())


@pytest.mark.parametrize("tile", [None, (3, 4, 51, 33)], ids=["whole", "tile"])
def test_eroded_write_gives_koravel_exports_files(tmp_path, export_tool, tile):
    terrain = koravel.Terrain(**ERODED)
    names = {"heights": "t.png", "flow": "t_flow.png", "colour": "t_colour.png"}
    for folder in ("module", "tool"):
        (tmp_path / folder).mkdir()
    low, high = terrain.write(**{k: tmp_path / "module" / v for k, v in names.items()}, tile=tile)
    tile_options = [] if tile is None else ["--tile", ",".join(map(str, tile))]
    printed = export_tool(*terrain.options().split(), *tile_options,
                          *[x for k, v in names.items() for x in (f"--{k}", tmp_path / "tool" / v)])
    assert printed == f"minHeight {low:.9g} maxHeight {high:.9g}\n"
    for name in names.values():
        assert (tmp_path / "module" / name).read_bytes() == (tmp_path / "tool" / name).read_bytes(), name


def test_erosion_settings_round_trip():
    terrain = koravel.Terrain(**ERODED)
    assert pickle.loads(pickle.dumps(terrain)) == terrain
    assert eval(repr(terrain), {"koravel": koravel}) == terrain
    assert terrain != koravel.Terrain(**dict(ERODED, creep=0.2))
    # Without erosion its parameters change nothing: the same terrain, settings as before erosion came.
    plain = koravel.Terrain(erosion_steps=3)
    assert plain == koravel.Terrain() and "erode" not in plain.settings()
    assert pickle.loads(pickle.dumps(plain)).erosion_steps == 3


REFUSALS = [
    ("seed beyond 32 bits", lambda: koravel.Terrain(seed=2**31), "seed: "),
    ("seed not whole", lambda: koravel.Terrain(seed=1.5), "seed: "),
    ("height not a number", lambda: koravel.Terrain(height="8"), "height: "),
    ("height NaN", lambda: koravel.Terrain(height=float("nan")), "height: "),
    ("height too high", lambda: koravel.Terrain(height=1e7), "height: "),
    ("height beyond any float", lambda: koravel.Terrain(height=10**400), "height: "),
    ("first frequency", lambda: koravel.Terrain(init_freq=5000), "init_freq: "),
    ("frequency step", lambda: koravel.Terrain(freq_scale=2000), "freq_scale: "),
    ("amplitude growth", lambda: koravel.Terrain(pass_height_scale=1e4), "pass_height_scale: "),
    ("passes", lambda: koravel.Terrain(passes=1001), "passes: "),
    ("river", lambda: koravel.Terrain(river=2), "river: "),
    ("width 0", lambda: koravel.Terrain(width=0), "width: "),
    ("depth past the largest", lambda: koravel.Terrain(depth=2**20 + 1), "depth: "),
    ("whole terrain past one field", lambda: koravel.Terrain(width=16385).heights(), "tile: "),
    ("tile past the edge", lambda: koravel.Terrain().heights(tile=(90, 0, 20, 10)), "tile: "),
    ("tile of three", lambda: koravel.Terrain().water(tile=(0, 0, 5)), "tile: "),
    ("empty tile", lambda: koravel.Terrain().heights(tile=(0, 0, 0, 5)), "tile: "),
    ("threads 0", lambda: koravel.Terrain().heights(threads=0), "threads: "),
    ("threads too many", lambda: koravel.Terrain().range(threads=1025), "threads: "),
    ("no file", lambda: koravel.Terrain().write(), "write: "),
    ("colour not png", lambda: koravel.Terrain().write(colour="c.jpg"), "colour: "),
    ("mesh format", lambda: koravel.Terrain().write(mesh="m.stl"), "mesh: "),
    ("range upside down", lambda: koravel.Terrain().write(heights="h.png", range=(2, 1)), "range: "),
    ("view", lambda: koravel.Terrain().write(render="r.png", view=(0, 10)), "view: "),
    ("erode", lambda: koravel.Terrain(erode="yes"), "erode: "),
    ("erosion steps", lambda: koravel.Terrain(erosion_steps=0), "erosion_steps: "),
    ("erosion steps not whole", lambda: koravel.Terrain(erosion_steps=2.5), "erosion_steps: "),
    ("erodibility NaN", lambda: koravel.Terrain(erodibility=float("nan")), "erodibility: "),
    ("deposition", lambda: koravel.Terrain(deposition=101), "deposition: "),
    ("talus", lambda: koravel.Terrain(talus=0.5), "talus: "),
    ("creep", lambda: koravel.Terrain(creep=-1), "creep: "),
    ("eroding past one field", lambda: koravel.Terrain(erode=True, width=16385), "erode: "),
    ("draining past one field", lambda: koravel.Terrain(width=20000).flow(tile=(0, 0, 8, 8)), "flow: "),
    ("drainage file format", lambda: koravel.Terrain().write(flow="f.tif"), "flow: "),
    ("drainage of a tile of a world", lambda: koravel.Terrain(width=20000).write(flow="f.png", tile=(0, 0, 8, 8)),
     "the drainage map works on whole terrains of at most 16384"),
    ("eroded world", lambda: koravel.world.heights(koravel.Terrain(erode=True)), "terrain: an eroded terrain"),
]


@pytest.mark.parametrize("make,start", [r[1:] for r in REFUSALS], ids=[r[0] for r in REFUSALS])
def test_bad_settings_raise_value_error_naming_them(tmp_path, monkeypatch, make, start):
    monkeypatch.chdir(tmp_path)
    with pytest.raises(ValueError) as raised:
        make()
    assert str(raised.value).startswith(start)
    assert os.listdir(tmp_path) == []


def test_whole_world_refusal_points_to_chunks():
    with pytest.raises(ValueError, match="koravel-world"):
        koravel.Terrain(width=100000, depth=100000).heights()


def test_unwritable_file_raises_os_error_and_writes_nothing(tmp_path):
    with pytest.raises(OSError, match="missing"):
        koravel.Terrain().write(heights=tmp_path / "h.png", water=tmp_path / "missing" / "w.png")
    assert os.listdir(tmp_path) == []


def test_records_pickle_and_compare():
    terrain = koravel.Terrain(seed=3, height=0.1, river=True, width=77, depth=55)
    assert pickle.loads(pickle.dumps(terrain)) == terrain
    assert terrain.height == 0.1 and terrain.settings()["river"] is True
    assert terrain != koravel.Terrain(seed=4, height=0.1, river=True, width=77, depth=55)
    assert eval(repr(terrain), {"koravel": koravel}) == terrain


def test_the_gil_is_released_while_computing():
    # This thread keeps running Python while another computes: no long stall between its turns.
    terrain = koravel.Terrain(width=6144, depth=6144)
    worker = threading.Thread(target=terrain.heights, kwargs={"threads": 1})
    start = last = time.monotonic()
    longest = 0.0
    worker.start()
    while worker.is_alive():
        now = time.monotonic()
        longest, last = max(longest, now - last), now
    computing = time.monotonic() - start
    assert longest < computing / 3, (longest, computing)


def test_ctrl_c_stops_a_computation_and_a_write(tmp_path):
    # Each would take a minute on one thread: the range of a 65536 x 65536 terrain, alone or
    # before a tile's scaled heights. Ctrl+C stops either within moments, and no file is left.
    terrain = koravel.Terrain(width=65536, depth=65536)
    for run in (lambda: terrain.range(threads=1),
                lambda: terrain.write(heights=tmp_path / "h.png", tile=(0, 0, 10, 10), threads=1)):
        timer = threading.Timer(0.3, os.kill, (os.getpid(), signal.SIGINT))
        timer.start()
        start = time.monotonic()
        with pytest.raises(KeyboardInterrupt):
            run()
        timer.join()
        assert time.monotonic() - start < 10
    assert os.listdir(tmp_path) == []
