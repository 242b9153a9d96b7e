"""koravel-world: builds a world, a terrain of up to 1048576 samples a side, chunk by chunk on a Dask cluster."""

import argparse
import logging
import os
import re
import sys

import koravel
from koravel import world
from koravel.terrain import MAX_FIELD_SIDE, MAX_TERRAIN_SIDE, Terrain

PROGRAM = "koravel-world"

DESCRIPTION = """\
Builds a terrain of up to 1048576 x 1048576 samples, exactly as koravel-export
makes it, chunk by chunk on a Dask cluster: on the scheduler given with
--scheduler, or on a cluster of local processes (one a core). Each chunk equals
koravel-export --tile for its rectangle, bit for bit. The folder's world.json
lists the settings, the range and each chunk's files with their SHA-256; a rerun
skips the chunks already written, so an interrupted build goes on where it
stopped. Prints the world's height range."""

EPILOG = """\
outputs:
  --zarr DIR      a Zarr group: float32 arrays heights (and water with --river)
                  of shape (depth, width), coordinates x and z, the settings and
                  the range in its attributes (xarray.open_zarr reads it)
  --tiles DIR     a file per chunk, heights_xC_zR.png (16-bit) or .r16 and with
                  --river water_xC_zR.png, all scaled to the world's range: given
                  with --range LO,HI, or found first in one pass over the chunks
Every worker must reach DIR at the same path (a shared folder on a cluster).
exit codes: 0 done, 2 a usage error or a folder holding another world, 1 a
file that cannot be written or a failed cluster, 130 interrupted (Ctrl+C; the
chunks written so far are kept)."""

_WHOLE = re.compile(r"\s*[+-]?\d+\s*\Z")
_DECIMAL = re.compile(r"\s*[+-]?(\d+\.?\d*|\.\d+)([eE][+-]?\d+)?\s*\Z")


class UsageError(Exception):
    """A command line that cannot be carried out."""


def _whole(option, text, low, high, what):
    if text is None:
        return None
    if not _WHOLE.match(text) or not low <= int(text) <= high:
        raise UsageError(f"{option}: '{text}' is not {what}")
    return int(text)


def _decimal(option, text):
    if text is None:
        return None
    if not _DECIMAL.match(text):
        raise UsageError(f"{option}: '{text}' is not a decimal number")
    return float(text)


def _parser():
    parser = argparse.ArgumentParser(prog=PROGRAM, description=DESCRIPTION, epilog=EPILOG,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--version", action="version", version=koravel.__version__)
    terrain = parser.add_argument_group("terrain (as koravel-export's)")
    terrain.add_argument("--seed", metavar="N", help="random seed, a whole number (default 0)")
    terrain.add_argument("--height", metavar="F", help="terrain height, the first pass's amplitude (default 8)")
    terrain.add_argument("--init-freq", metavar="N", help="lattice frequency of the first pass (default 4)")
    terrain.add_argument("--freq-scale", metavar="N", help="added to the frequency after each pass (default 6)")
    terrain.add_argument("--pass-height-scale", metavar="F", help="amplitude factor from pass to pass (default 0.4)")
    terrain.add_argument("--passes", metavar="N", help="number of passes (default 5)")
    terrain.add_argument("--river", action="store_true", help="carve a river")
    terrain.add_argument("--erode", action="store_true",
                         help="refused: erosion shapes a whole terrain of at most "
                              f"{MAX_FIELD_SIDE} samples a side, never chunks (koravel-export --erode)")
    size = parser.add_argument_group("size")
    size.add_argument("--size", metavar="N", help=f"samples a side, both ways (1 to {MAX_TERRAIN_SIDE})")
    size.add_argument("--width", metavar="W", help="samples along x")
    size.add_argument("--depth", metavar="D", help="samples along z")
    size.add_argument("--chunk", metavar="N",
                      help=f"samples a side of a chunk, 1 to {MAX_FIELD_SIDE} (default {world.DEFAULT_CHUNK})")
    output = parser.add_argument_group("output (one of)")
    output.add_argument("--zarr", metavar="DIR", help="a Zarr group")
    output.add_argument("--tiles", metavar="DIR", help="a file per chunk")
    output.add_argument("--format", choices=("png", "r16"), help="the tiles' heights format (default png)")
    output.add_argument("--range", metavar="LO,HI", help="scale the tiles to LO .. HI instead of the world's range")
    cluster = parser.add_argument_group("cluster")
    cluster.add_argument("--scheduler", metavar="ADDRESS",
                         help="a Dask scheduler, tcp://HOST:PORT (default: a local cluster)")
    cluster.add_argument("--scheduler-file", metavar="FILE",
                         help="the file that dask scheduler --scheduler-file writes, naming its address")
    cluster.add_argument("--workers", metavar="N", help="worker processes of the local cluster (default: one a core)")
    cluster.add_argument("--threads", metavar="N", help="engine threads per chunk (default 1)")
    return parser


def _read(arguments):
    """The terrain and the build's options from the command line; UsageError for what cannot be carried out."""
    a = arguments
    if a.size is not None and (a.width is not None or a.depth is not None):
        raise UsageError("--size sets both --width and --depth: give one or the others")
    side = f"a side of 1 to {MAX_TERRAIN_SIDE} samples"
    size = _whole("--size", a.size, 1, MAX_TERRAIN_SIDE, side)
    width = size if size is not None else _whole("--width", a.width, 1, MAX_TERRAIN_SIDE, side)
    depth = size if size is not None else _whole("--depth", a.depth, 1, MAX_TERRAIN_SIDE, side)
    if width is None or depth is None:
        raise UsageError("give the world's size: --size N, or --width W and --depth D")
    if a.erode:
        raise UsageError(f"--erode: a world is built in chunks, each on its own, but erosion shapes the whole "
                         f"terrain at once (at most {MAX_FIELD_SIDE} samples a side): make eroded terrains "
                         "with koravel-export --erode (--tile for pieces) or koravel.Terrain(erode=True)")
    if (a.zarr is None) == (a.tiles is None):
        raise UsageError("give one output: --zarr DIR or --tiles DIR")
    if a.zarr is not None and (a.format is not None or a.range is not None):
        raise UsageError("--format and --range go with --tiles")
    if a.scheduler is not None and a.scheduler_file is not None:
        raise UsageError("--scheduler and --scheduler-file both name a scheduler: give one")
    if (a.scheduler is not None or a.scheduler_file is not None) and a.workers is not None:
        raise UsageError("--workers sets up a local cluster; --scheduler names another")
    whole32 = "a 32-bit whole number"
    settings = {
        "seed": _whole("--seed", a.seed, -(2**31), 2**31 - 1, whole32),
        "height": _decimal("--height", a.height),
        "init_freq": _whole("--init-freq", a.init_freq, -(2**31), 2**31 - 1, whole32),
        "freq_scale": _whole("--freq-scale", a.freq_scale, -(2**31), 2**31 - 1, whole32),
        "pass_height_scale": _decimal("--pass-height-scale", a.pass_height_scale),
        "passes": _whole("--passes", a.passes, -(2**31), 2**31 - 1, whole32),
    }
    settings = {name: value for name, value in settings.items() if value is not None}
    try:
        terrain = Terrain(river=a.river, width=width, depth=depth, **settings)
    except ValueError as error:
        # The module names its keywords; the command, its options.
        name, _, rest = str(error).partition(": ")
        raise UsageError(f"--{name.replace('_', '-')}: {rest}") from None
    scale = None
    if a.range is not None:
        parts = a.range.split(",")
        if len(parts) != 2 or not all(_DECIMAL.match(part) for part in parts) or float(parts[0]) > float(parts[1]):
            raise UsageError(f"--range: '{a.range}' is not LO,HI (two decimal numbers, LO not above HI)")
        scale = (float(parts[0]), float(parts[1]))
    return {
        "terrain": terrain,
        "folder": a.zarr if a.zarr is not None else a.tiles,
        "output": "zarr" if a.zarr is not None else (a.format or "png"),
        "chunk": _whole("--chunk", a.chunk, 1, MAX_FIELD_SIDE, f"a side of 1 to {MAX_FIELD_SIDE} samples")
        or world.DEFAULT_CHUNK,
        "threads": _whole("--threads", a.threads, 1, 1024, "a count of 1 to 1024") or 1,
        "scale_range": scale,
        "scheduler": a.scheduler,
        "scheduler_file": a.scheduler_file,
        "workers": _whole("--workers", a.workers, 1, 1024, "a count of 1 to 1024"),
    }


def _client(scheduler, scheduler_file, workers):
    from distributed import Client, LocalCluster

    if scheduler is not None:
        return Client(scheduler, timeout="30s")
    if scheduler_file is not None:
        return Client(scheduler_file=scheduler_file, timeout="60s")
    cluster = LocalCluster(n_workers=workers or os.cpu_count() or 1, threads_per_worker=1, processes=True,
                           dashboard_address=None, silence_logs=logging.ERROR)
    return Client(cluster)


def _joined(parser, argv):
    """argv with each option that takes a value joined to it (--range=-3,5), so that a value may begin with
    '-'; an option's name is never taken for a value."""
    takes_value = {name for action in parser._actions if action.nargs is None and action.option_strings
                   for name in action.option_strings}
    joined, at = [], 0
    while at < len(argv):
        if argv[at] in takes_value and at + 1 < len(argv):
            if argv[at + 1].startswith("--"):
                raise UsageError(f"{argv[at]} needs a value; '{argv[at + 1]}' is an option, not a value")
            joined.append(f"{argv[at]}={argv[at + 1]}")
            at += 2
        else:
            joined.append(argv[at])
            at += 1
    return joined


def main(argv=None):
    """Runs koravel-world with argv (default: the command line); returns its exit code."""
    parser = _parser()
    parser.error = lambda message: (_ for _ in ()).throw(UsageError(message))
    try:
        argv = _joined(parser, sys.argv[1:] if argv is None else list(argv))
        request = _read(parser.parse_args(argv))
    except UsageError as error:
        print(f"{PROGRAM}: {error}\nusage: {PROGRAM} [options]; {PROGRAM} --help lists them", file=sys.stderr)
        return 2
    client = None
    try:
        world.check_build(request["terrain"], request["folder"], request["output"], request["chunk"],
                          request["scale_range"])
        client = _client(request.pop("scheduler"), request.pop("scheduler_file"), request.pop("workers"))
        summary = world.build(client=client, show_progress=sys.stderr.isatty(), **request)
    except (world.WorldError, ValueError) as error:
        print(f"{PROGRAM}: {error}", file=sys.stderr)
        return 2
    except KeyboardInterrupt:
        print(f"{PROGRAM}: interrupted; the chunks written so far are kept, and a rerun goes on from them",
              file=sys.stderr)
        return 130
    except OSError as error:
        print(f"{PROGRAM}: {error}", file=sys.stderr)
        return 1
    except Exception as error:  # a worker's failure, as Dask reports it
        print(f"{PROGRAM}: {type(error).__name__}: {error}", file=sys.stderr)
        return 1
    finally:
        if client is not None:
            cluster = client.cluster
            client.close()
            if cluster is not None:
                cluster.close()
    low, high = summary["range"]
    print(f"minHeight {low:.9g} maxHeight {high:.9g}")
    print(f"chunks {summary['chunks']} written {summary['written']} kept {summary['kept']}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
