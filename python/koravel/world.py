"""Worlds larger than one machine's memory: terrains as Dask arrays, and built chunk by chunk on a Dask cluster.

Every chunk is computed on a worker by the module and equals koravel-export's
--tile output for its rectangle, bit for bit. A build writes each chunk under a
temporary name and renames it into place, records its SHA-256 in the folder's
world.json, and skips on a rerun the chunks whose files still match: an
interrupted build goes on where it stopped, and a worker that dies mid-chunk
loses nothing (Dask runs its chunk again). Eroded terrains are refused: erosion
works on the whole terrain, at most 16384 samples a side, never on chunks.
"""

import contextlib
import glob
import hashlib
import json
import os
import sys
import threading
import time

import numpy as np

import koravel
from koravel.terrain import MAX_FIELD_SIDE, Terrain

DEFAULT_CHUNK = 4096
MANIFEST = "world.json"
FORMATS = ("zarr", "png", "r16")
_MANIFEST_SHARE = 0.05  # at most this share of the build's time goes to saving the manifest


class WorldError(Exception):
    """A world that cannot be built or resumed as asked; the message says why and loses nothing."""


# ---------------------------------------------------------------- dask arrays

def _chunk_side(chunks):
    """The chunks' side, 1 to MAX_FIELD_SIDE samples."""
    if isinstance(chunks, bool) or not isinstance(chunks, (int, np.integer)) or not 1 <= chunks <= MAX_FIELD_SIDE:
        raise ValueError(f"chunks: a side of 1 to {MAX_FIELD_SIDE} samples, not {chunks!r}")
    return int(chunks)


def _check_terrain(terrain):
    """ValueError unless terrain is a koravel.Terrain that can be made in chunks: not an eroded one."""
    if not isinstance(terrain, Terrain):
        raise ValueError(f"terrain: a koravel.Terrain, not {terrain!r}")
    if terrain.erode:
        raise ValueError(
            "terrain: an eroded terrain is made whole, not in chunks (erosion works on whole terrains of at most "
            f"{MAX_FIELD_SIDE} samples a side): take its heights or tiles with Terrain.heights() or "
            "Terrain.write(), or koravel-export --erode")


def _sizes(total, side):
    """The lengths of the chunks that cut total samples into pieces of side (the last may be shorter)."""
    return tuple(min(side, total - start) for start in range(0, total, side))


def chunk_rects(terrain, chunks=DEFAULT_CHUNK):
    """Each chunk of the terrain as ((row, column), (x0, z0, width, depth)), in row order."""
    side = _chunk_side(chunks)
    for row, z0 in enumerate(range(0, terrain.depth, side)):
        for column, x0 in enumerate(range(0, terrain.width, side)):
            yield (row, column), (x0, z0, min(side, terrain.width - x0), min(side, terrain.depth - z0))


def _block(terrain, field, rect, threads):
    return terrain.heights(tile=rect, threads=threads) if field == "heights" else terrain.water(
        tile=rect, threads=threads)


def _array(terrain, chunks, threads, field):
    import dask.array as da
    from dask.base import tokenize
    from dask.highlevelgraph import HighLevelGraph

    _check_terrain(terrain)
    side = _chunk_side(chunks)
    threads = 1 if threads is None else threads
    name = f"koravel-{field}-" + tokenize(terrain, side, threads)
    tasks = {(name,) + index: (_block, terrain, field, rect, threads)
             for index, rect in chunk_rects(terrain, side)}
    graph = HighLevelGraph.from_collections(name, tasks, dependencies=())
    return da.Array(graph, name, chunks=(_sizes(terrain.depth, side), _sizes(terrain.width, side)),
                    dtype=np.float32)


def heights(terrain, chunks=DEFAULT_CHUNK, threads=1):
    """The terrain's heights as a dask array of shape (depth, width), float32, in square chunks.

    Each block is computed where Dask runs it by terrain.heights(tile=...) with
    threads engine threads, and equals koravel-export --tile for its rectangle.
    The terrain may have up to koravel.MAX_TERRAIN_SIDE samples a side.
    """
    return _array(terrain, chunks, threads, "heights")


def water(terrain, chunks=DEFAULT_CHUNK, threads=1):
    """The river's intensity (0 to 1) as a dask array, as heights() gives the heights."""
    return _array(terrain, chunks, threads, "water")


# ---------------------------------------------------------------- ranges

def _chunk_extremes(terrain, rect, values):
    """The lowest and highest value of a chunk with their positions in the whole terrain (row * width + column):
    of equal values (+0 and -0) the first in row order, as a scan of the whole terrain finds them."""
    x0, z0, width, _ = rect
    low_at, high_at = int(np.argmin(values)), int(np.argmax(values))
    place = lambda at: (z0 + at // width) * terrain.width + x0 + at % width
    return [float(values.flat[low_at]), place(low_at), float(values.flat[high_at]), place(high_at)]


def _merge_extremes(extremes):
    """The whole terrain's (low, high) from its chunks' extremes."""
    low = min(extremes, key=lambda e: (e[0], e[1]))
    high = min(extremes, key=lambda e: (-e[2], e[3]))
    return (low[0], high[2])


def _chunk_range(terrain, rect, threads):
    return _chunk_extremes(terrain, rect, terrain.heights(tile=rect, threads=threads))


def height_range(terrain, chunks=DEFAULT_CHUNK, client=None, threads=1, show_progress=False):
    """(lowest, highest) height of the terrain, in one pass over its chunks on a Dask cluster (client, or
    the default one): each chunk's heights are made on a worker and dropped; nothing is written.
    The values equal terrain.range() and koravel-export --range-only."""
    _check_terrain(terrain)
    client = client if client is not None else _default_client()
    rects = [rect for _, rect in chunk_rects(terrain, chunks)]
    futures = client.map(_chunk_range, [terrain] * len(rects), rects, [threads] * len(rects), pure=False)
    with _progress_display(futures, show_progress):
        extremes = client.gather(futures)
    return _merge_extremes(extremes)


# ---------------------------------------------------------------- files of a build

def _sha256_file(path):
    digest = hashlib.sha256()
    try:
        with open(path, "rb") as stream:
            for block in iter(lambda: stream.read(1 << 20), b""):
                digest.update(block)
    except FileNotFoundError:
        return None
    return digest.hexdigest()


def _tile_names(index, digits, output, river):
    row, column = index
    position = f"x{column:0{digits}d}_z{row:0{digits}d}"
    names = {"heights": f"heights_{position}.{output}"}
    if river:
        names["water"] = f"water_{position}.png"
    return names


def _zarr_keys(index, river):
    row, column = index
    keys = {"heights": f"heights/{row}/{column}"}
    if river:
        keys["water"] = f"water/{row}/{column}"
    return keys


def _same_files(folder, expected):
    """True when every file of a manifest entry is there with its SHA-256."""
    return bool(expected) and all(
        _sha256_file(os.path.join(folder, f["name"])) == f["sha256"] for f in expected["files"].values())


def _build_chunk(job, index, rect, expected):
    """On a worker: makes one chunk's files unless they are there already with the SHA-256 of expected.
    Returns the chunk's manifest entry, with "kept" telling whether it was left as it was."""
    terrain, folder, output, threads, scale, digits = job
    if _same_files(folder, expected):
        return dict(expected, kept=True)
    entry = {"index": list(index), "rect": list(rect), "files": {}}
    if output == "zarr":
        import zarr

        group = zarr.open_group(folder, mode="r+")
        x0, z0, width, depth = rect
        fields = terrain.fields(tile=rect, threads=threads) if terrain.river else (
            terrain.heights(tile=rect, threads=threads), None)
        for name, key in _zarr_keys(index, terrain.river).items():
            group[name][z0:z0 + depth, x0:x0 + width] = fields[0] if name == "heights" else fields[1]
            entry["files"][name] = {"name": key, "sha256": hashlib.sha256(group.store[key]).hexdigest()}
        entry["extremes"] = _chunk_extremes(terrain, rect, fields[0])
    else:
        names = _tile_names(index, digits, output, terrain.river)
        paths = {name: os.path.join(folder, file) for name, file in names.items()}
        low, high = terrain.write(heights=paths["heights"], water=paths.get("water"), tile=rect,
                                  range=scale, threads=threads)
        for name, file in names.items():
            entry["files"][name] = {"name": file, "sha256": _sha256_file(paths[name])}
        entry["min"], entry["max"] = low, high
    return dict(entry, kept=False)


def _remove_leftovers(folder, names):
    """Removes the temporary files that writers killed mid-chunk left beside these names."""
    for name in names:
        directory, file = os.path.split(os.path.join(folder, name))
        for pattern in (f".{glob.escape(file)}.*.part", f"{glob.escape(file)}.*.partial"):
            for leftover in glob.glob(os.path.join(directory, pattern)):
                with contextlib.suppress(OSError):
                    os.remove(leftover)


# ---------------------------------------------------------------- the manifest

def _load_manifest(folder):
    path = os.path.join(folder, MANIFEST)
    try:
        with open(path, encoding="utf-8") as stream:
            return json.load(stream)
    except FileNotFoundError:
        return None
    except (OSError, ValueError) as error:
        raise WorldError(f"{path} cannot be read ({error}); remove it to build the world anew") from None


def _save_manifest(folder, manifest):
    """Writes world.json under a temporary name and renames it into place."""
    path = os.path.join(folder, MANIFEST)
    temporary = f"{path}.{os.getpid()}.part"
    head = json.dumps({key: value for key, value in manifest.items() if key != "tiles"}, indent=1)
    tiles = ",\n".join("  " + json.dumps(entry) for entry in manifest.get("tiles", []))
    with open(temporary, "w", encoding="utf-8") as stream:
        stream.write(head[:-2] + ',\n "tiles": [\n' + tiles + "\n ]\n}\n")
    os.replace(temporary, path)


def _identity(terrain, chunk, output):
    return {"software": f"Koravel {koravel.__version__}", "terrain": terrain.settings(),
            "options": terrain.options(), "chunk": chunk, "format": output}


def _same_world(manifest, identity):
    return all(manifest.get(key) == value for key, value in identity.items() if key != "software")


# ---------------------------------------------------------------- a build

def _default_client():
    from distributed import get_client

    try:
        return get_client()
    except ValueError:
        raise WorldError("no Dask client: pass client=, or start one (distributed.Client())") from None


@contextlib.contextmanager
def _progress_display(futures, shown):
    """Dask's own progress bar for futures on standard error while the body runs."""
    if not shown:
        yield
        return
    from distributed import progress

    def show():
        with contextlib.suppress(Exception), contextlib.redirect_stdout(sys.stderr):
            progress(futures, notebook=False)

    thread = threading.Thread(target=show, daemon=True)
    thread.start()
    try:
        yield
    finally:
        thread.join(timeout=1)


def _prepare_zarr(folder, terrain, chunk, identity, world_range):
    import zarr

    group = zarr.open_group(folder, mode="a")
    for name in ("heights", "water") if terrain.river else ("heights",):
        if name not in group:
            array = group.create_dataset(name, shape=(terrain.depth, terrain.width), chunks=(chunk, chunk),
                                         dtype="<f4", fill_value=np.nan, dimension_separator="/")
            array.attrs["_ARRAY_DIMENSIONS"] = ["z", "x"]
    # World coordinates of the samples' columns and rows, as the meshes place them.
    for name, count in (("x", terrain.width), ("z", terrain.depth)):
        if name not in group:
            axis = group.create_dataset(name, shape=(count,), chunks=(min(count, 1 << 20),), dtype="<f8")
            axis[:] = 150.0 * (np.arange(count, dtype=np.float64) / count) - 75.0
            axis.attrs["_ARRAY_DIMENSIONS"] = [name]
            axis.attrs["units"] = "world units"
    group.attrs.update({"koravel": identity, "range": list(world_range) if world_range else None})
    return group


def check_build(terrain, folder, output="zarr", chunk=DEFAULT_CHUNK, scale_range=None):
    """Checks a build before it starts: ValueError for a bad argument, WorldError for a folder that holds
    something else than this world. Returns (chunk, scale_range, manifest found in folder or None)."""
    _check_terrain(terrain)
    if output not in FORMATS:
        raise ValueError(f"output: one of {', '.join(FORMATS)}, not {output!r}")
    chunk = _chunk_side(chunk)
    if scale_range is not None:
        if output == "zarr":
            raise ValueError("scale_range: a Zarr world stores the heights as they are; a range scales only tiles")
        try:
            low, high = (float(np.float32(v)) for v in scale_range)
        except (TypeError, ValueError):
            raise ValueError(f"scale_range: (low, high), not {scale_range!r}") from None
        if not (np.isfinite(low) and np.isfinite(high) and low <= high):
            raise ValueError(f"scale_range: two finite numbers, the lower first, not {scale_range!r}")
        scale_range = (low, high)
    folder = os.fspath(folder)
    identity = _identity(terrain, chunk, output)
    manifest = _load_manifest(folder) if os.path.isdir(folder) else None
    if manifest is None and os.path.isdir(folder) and os.listdir(folder):
        raise WorldError(f"{folder} is not empty and holds no {MANIFEST}: build a world in a new or empty folder")
    if manifest is not None and not _same_world(manifest, identity):
        raise WorldError(f"{folder} holds another world ({manifest.get('options')}, chunk {manifest.get('chunk')}, "
                         f"{manifest.get('format')}): build this one in another folder, or remove that one")
    if manifest is not None and scale_range is not None and manifest.get("range") not in (None, list(scale_range)):
        raise WorldError(f"{folder} holds this world scaled to the range {manifest['range']}, not {list(scale_range)}:"
                         " build it in another folder, or remove that one")
    return chunk, scale_range, manifest


def build(terrain, folder, output="zarr", chunk=DEFAULT_CHUNK, client=None, threads=1, scale_range=None,
          show_progress=False):
    """Builds the terrain's world in folder, chunk by chunk on a Dask cluster (client, or the default one).

    output "zarr": a Zarr group with the float32 arrays heights (and water with a
    river) of shape (depth, width), the coordinates x and z, and the settings and
    range in its attributes, readable by xarray. output "png" or "r16": a file per
    chunk (heights_xC_zR.png or .r16, and water_xC_zR.png with a river), all
    scaled to the world's range: scale_range (low, high), or found first in one
    pass over the chunks. world.json lists the settings, the range and each
    chunk's rectangle, files and SHA-256. A rerun skips the chunks already there.
    Returns {"range": (low, high), "chunks": n, "written": n, "kept": n}.
    """
    chunk, scale_range, manifest = check_build(terrain, folder, output, chunk, scale_range)
    folder = os.fspath(folder)
    identity = _identity(terrain, chunk, output)
    os.makedirs(folder, exist_ok=True)
    client = client if client is not None else _default_client()

    done = {tuple(e["index"]): e for e in (manifest or {}).get("tiles", [])}
    scale = None
    if output != "zarr":
        scale = scale_range or (manifest or {}).get("range")
        if scale is None:
            scale = height_range(terrain, chunk, client, threads, show_progress)
        scale = tuple(scale)
    manifest = dict(identity, range=list(scale) if scale else None, tiles=sorted(done.values(), key=_order))
    _save_manifest(folder, manifest)
    if output == "zarr":
        _prepare_zarr(folder, terrain, chunk, identity, None)

    chunks = list(chunk_rects(terrain, chunk))
    digits = len(str(max(1, (max(terrain.width, terrain.depth) - 1) // chunk)))
    job = (terrain, folder, output, threads, scale, digits)
    futures = client.map(_build_chunk, [job] * len(chunks), [index for index, _ in chunks],
                         [rect for _, rect in chunks], [done.get(index) for index, _ in chunks], pure=False)
    written = kept = 0
    try:
        from distributed import as_completed

        # The manifest is saved as chunks come in, as often as a small share of the time allows:
        # after every chunk for small worlds, every few seconds for the largest.
        saved, cost = time.monotonic(), 0.0
        with _progress_display(futures, show_progress):
            for _, entry in as_completed(futures, with_results=True):
                if entry.pop("kept"):
                    kept += 1
                else:
                    written += 1
                done[tuple(entry["index"])] = entry
                if time.monotonic() - saved >= cost / _MANIFEST_SHARE:
                    start = time.monotonic()
                    _save_manifest(folder, dict(manifest, tiles=sorted(done.values(), key=_order)))
                    saved = time.monotonic()
                    cost = saved - start
    finally:
        # Whatever happened, the manifest keeps every chunk known to be complete.
        _save_manifest(folder, dict(manifest, tiles=sorted(done.values(), key=_order)))
        for future in futures:
            future.cancel()

    if output == "zarr":
        scale = _merge_extremes([e["extremes"] for e in done.values()])
        group = _prepare_zarr(folder, terrain, chunk, identity, scale)
        import zarr

        zarr.consolidate_metadata(group.store)
    manifest = dict(manifest, range=list(scale), tiles=sorted(done.values(), key=_order))
    _save_manifest(folder, manifest)
    _remove_leftovers(folder, [f["name"] for e in done.values() for f in e["files"].values()])
    return {"range": tuple(scale), "chunks": len(chunks), "written": written, "kept": kept}


def _order(entry):
    return tuple(entry["index"])
