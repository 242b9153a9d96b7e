"""The Terrain record: generation settings and sample grid, with its heights, water, range and files."""

import numbers
import os

import numpy as np

from koravel import _koravel

MAX_TERRAIN_SIDE = _koravel.max_terrain_side
MAX_FIELD_SIDE = _koravel.max_field_side
_INT32_MIN = -(2**31)
_INT32_MAX = 2**31 - 1
EROSION_PARAMETERS = ("erosion_steps", "erodibility", "deposition", "talus", "creep")


def _whole(name, value, low, high, what):
    """value as an int in low .. high, or ValueError naming the setting and what it accepts."""
    accepted = (isinstance(value, numbers.Integral) and not isinstance(value, bool)) or (
        isinstance(value, float) and value.is_integer())
    if not accepted or not low <= int(value) <= high:
        raise ValueError(f"{name}: {what}, not {value!r}")
    return int(value)


def _seed_like(name, value):
    return _whole(name, value, _INT32_MIN, _INT32_MAX,
                  f"a whole number from {_INT32_MIN} to {_INT32_MAX}")


def _float32(name, value):
    """value rounded to the 32-bit float generation uses, as the shortest Python float that stands for it."""
    if isinstance(value, bool) or not isinstance(value, numbers.Real):
        raise ValueError(f"{name}: a decimal number, not {value!r}")
    try:
        double = float(value)
    except OverflowError:
        double = float("inf") if value > 0 else float("-inf")
    with np.errstate(over="ignore"):
        single = np.float32(double)
    return float(str(single)) if np.isfinite(single) else float(single)


def _flag(name, value, what):
    """value as a bool, or ValueError naming the setting."""
    if not isinstance(value, (bool, np.bool_)) and value not in (0, 1):
        raise ValueError(f"{name}: True or False ({what}), not {value!r}")
    return bool(value)


def _threads(threads):
    """The engine's thread count: None for every core (0), or 1 to 1024."""
    if threads is None:
        return 0
    return _whole("threads", threads, 1, 1024, "None (every core) or a count from 1 to 1024")


class Terrain:
    """A terrain: the settings of the viewer's "Generate" and a sample grid of width x depth.

    The terrain always covers 150 x 150 world units; more samples sample it more
    densely. Heights and water come as float32 arrays of shape (rows, columns),
    row 0 at z = -75 and column 0 at x = -75, equal bit for bit to what
    koravel-export writes for the same settings. A setting outside what it accepts
    raises ValueError naming it and what it accepts.

    erode=True erodes the terrain as koravel-export --erode does, with its
    parameters erosion_steps (1 to 100), erodibility (0 to 1000), deposition
    (0 to 100), talus (degrees, 1 to 90) and creep (0 to 100); heights, files and
    the drainage map then show the eroded terrain. Erosion works on the whole
    terrain, so an eroded one has at most MAX_FIELD_SIDE samples a side, and each
    tile of it takes the whole terrain's time.
    """

    __slots__ = ("_seed", "_height", "_init_freq", "_freq_scale", "_pass_height_scale", "_passes",
                 "_river", "_width", "_depth", "_erode", "_erosion_steps", "_erodibility", "_deposition",
                 "_talus", "_creep")

    def __init__(self, seed=0, height=8.0, init_freq=4, freq_scale=6, pass_height_scale=0.4, passes=5,
                 river=False, width=100, depth=100, erode=False, erosion_steps=10, erodibility=1.0,
                 deposition=1.0, talus=35.0, creep=0.2):
        self._seed = _seed_like("seed", seed)
        self._height = _float32("height", height)
        self._init_freq = _seed_like("init_freq", init_freq)
        self._freq_scale = _seed_like("freq_scale", freq_scale)
        self._pass_height_scale = _float32("pass_height_scale", pass_height_scale)
        self._passes = _seed_like("passes", passes)
        if not isinstance(river, (bool, np.bool_)) and river not in (0, 1):
            raise ValueError(f"river: True or False, not {river!r}")
        self._river = bool(river)
        side = f"a whole number of samples from 1 to {MAX_TERRAIN_SIDE}"
        self._width = _whole("width", width, 1, MAX_TERRAIN_SIDE, side)
        self._depth = _whole("depth", depth, 1, MAX_TERRAIN_SIDE, side)
        self._erode = _flag("erode", erode, "erode the terrain or not")
        self._erosion_steps = _seed_like("erosion_steps", erosion_steps)
        self._erodibility = _float32("erodibility", erodibility)
        self._deposition = _float32("deposition", deposition)
        self._talus = _float32("talus", talus)
        self._creep = _float32("creep", creep)
        # The erosion's parameters are checked even when it is off, as if it were on.
        settings = self._settings()
        message = _koravel.check_settings(settings[:7] + (True,) + settings[8:])
        if message:
            raise ValueError(message)
        if self._erode and (self._width > MAX_FIELD_SIDE or self._depth > MAX_FIELD_SIDE):
            raise ValueError(
                f"erode: erosion works on whole terrains of at most {MAX_FIELD_SIDE} samples a side, not "
                f"{self._width} x {self._depth}")

    seed = property(lambda self: self._seed, doc="The random seed.")
    height = property(lambda self: self._height, doc="The first pass's amplitude.")
    init_freq = property(lambda self: self._init_freq, doc="The lattice frequency of the first pass.")
    freq_scale = property(lambda self: self._freq_scale, doc="Added to the frequency after each pass.")
    pass_height_scale = property(lambda self: self._pass_height_scale,
                                 doc="The amplitude's factor from pass to pass.")
    passes = property(lambda self: self._passes, doc="The number of passes.")
    river = property(lambda self: self._river, doc="Whether a river is carved.")
    width = property(lambda self: self._width, doc="Samples along x (columns).")
    depth = property(lambda self: self._depth, doc="Samples along z (rows).")
    erode = property(lambda self: self._erode, doc="Whether the terrain is eroded.")
    erosion_steps = property(lambda self: self._erosion_steps, doc="Rounds of erosion.")
    erodibility = property(lambda self: self._erodibility, doc="How fast running water wears the ground.")
    deposition = property(lambda self: self._deposition, doc="How readily carried sediment settles.")
    talus = property(lambda self: self._talus, doc="The steepest slope that holds, in degrees (90: none slides).")
    creep = property(lambda self: self._creep, doc="Hillslope creep, square units a step.")

    def _settings(self):
        return (self._seed, self._height, self._init_freq, self._freq_scale, self._pass_height_scale,
                self._passes, self._river, self._erode, self._erosion_steps, self._erodibility,
                self._deposition, self._talus, self._creep)

    def settings(self):
        """The settings and size as a dict of the constructor's keywords; the erosion's only when it erodes
        (otherwise they change nothing)."""
        names = ("seed", "height", "init_freq", "freq_scale", "pass_height_scale", "passes", "river",
                 "width", "depth")
        if self._erode:
            names += ("erode",) + EROSION_PARAMETERS
        return {name: getattr(self, name) for name in names}

    def options(self):
        """The koravel-export options that make this terrain."""
        text = (f"--seed {self._seed} --height {self._height!r} --init-freq {self._init_freq}"
                f" --freq-scale {self._freq_scale} --pass-height-scale {self._pass_height_scale!r}"
                f" --passes {self._passes}")
        if self._river:
            text += " --river"
        if self._erode:
            text += (f" --erode --erosion-steps {self._erosion_steps} --erodibility {self._erodibility!r}"
                     f" --deposition {self._deposition!r} --talus {self._talus!r} --creep {self._creep!r}")
        return text + f" --width {self._width} --depth {self._depth}"

    def __repr__(self):
        return "koravel.Terrain(" + ", ".join(f"{k}={v!r}" for k, v in self.settings().items()) + ")"

    def __eq__(self, other):
        return isinstance(other, Terrain) and self.settings() == other.settings()

    def __hash__(self):
        return hash(tuple(self.settings().values()))

    def __getstate__(self):
        return dict(self.settings(), **{name: getattr(self, name) for name in ("erode",) + EROSION_PARAMETERS})

    def __setstate__(self, state):
        self.__init__(**state)

    def __dask_tokenize__(self):
        return ("koravel.Terrain",) + tuple(self.settings().values())

    def tile_rect(self, tile=None):
        """tile (x0, z0, width, depth), or the whole terrain for None, checked to fit one field."""
        if tile is None:
            if self._width > MAX_FIELD_SIDE or self._depth > MAX_FIELD_SIDE:
                raise ValueError(
                    f"tile: a whole terrain has at most {MAX_FIELD_SIDE} samples a side; take a "
                    f"tile=(x0, z0, width, depth) of this {self._width} x {self._depth} one, or build it in "
                    "chunks with koravel.world or the koravel-world command")
            return (0, 0, self._width, self._depth)
        try:
            x0, z0, w, h = tile
        except (TypeError, ValueError):
            raise ValueError(f"tile: (x0, z0, width, depth), not {tile!r}") from None
        big = 2**62
        rect = (_whole("tile", x0, 0, big, "x0 a whole number from 0"),
                _whole("tile", z0, 0, big, "z0 a whole number from 0"),
                _whole("tile", w, 1, big, "width a whole number from 1"),
                _whole("tile", h, 1, big, "depth a whole number from 1"))
        message = _koravel.check_rect(self._width, self._depth, rect)
        if message:
            raise ValueError(f"tile: {message}")
        return rect

    def _generate(self, tile, threads, heights, water):
        rect = self.tile_rect(tile)
        return _koravel.generate(self._settings(), self._width, self._depth, rect, _threads(threads),
                                 heights, water)

    def heights(self, tile=None, threads=None):
        """The heights of tile (x0, z0, width, depth), or of the whole terrain, as a float32 array (rows, columns).

        threads: None for every core, or 1 to 1024. Ctrl+C stops it with KeyboardInterrupt.
        An eroded terrain's heights are made whole, eroded and cut.
        """
        return self._generate(tile, threads, True, False)[0]

    def water(self, tile=None, threads=None):
        """The river's intensity (0 to 1) over tile or the whole terrain, as heights() gives heights.

        Erosion leaves the water as it is."""
        return self._generate(tile, threads, False, True)[1]

    def fields(self, tile=None, threads=None):
        """(heights, water) of tile or the whole terrain, made in one pass."""
        return self._generate(tile, threads, True, True)

    def flow(self, tile=None, threads=None, largest=False):
        """The drainage map of tile or the whole terrain (eroded first when it erodes): a uint64 array
        (rows, columns) of the flow accumulation A, the number of samples whose water runs through each,
        itself included, exact. .astype(numpy.float32) gives koravel-export --flow's raw floats.

        It works on the whole terrain, of at most MAX_FIELD_SIDE samples a side. largest=True returns
        (accumulation, Amax), Amax the whole terrain's largest A, the scale tiles share.
        """
        if self._width > MAX_FIELD_SIDE or self._depth > MAX_FIELD_SIDE:
            raise ValueError(f"flow: the drainage map works on whole terrains of at most {MAX_FIELD_SIDE} "
                             f"samples a side, not {self._width} x {self._depth}")
        rect = self.tile_rect(tile)
        counts, amax = _koravel.flow(self._settings(), self._width, self._depth, rect, _threads(threads))
        return (counts, int(amax)) if largest else counts

    def range(self, threads=None):
        """(lowest, highest) height of the whole terrain, of any size; about the time of making its heights
        (an eroded terrain's: of making and eroding it)."""
        low, high = _koravel.height_range(self._settings(), self._width, self._depth, _threads(threads))
        return (float(low), float(high))

    def write(self, heights=None, water=None, colour=None, mesh=None, render=None, flow=None, tile=None,
              threads=None, range=None, flat=False, view=(800, 541), pitch=10.0, yaw=0.0, zoom=1.0, wire=False):
        """Writes files of tile or the whole terrain, the bytes koravel-export writes with the same options.

        The format follows each file name's extension, as koravel-export's: heights .png
        (16-bit), .r16 or raw floats; water .png or raw floats; colour .png; mesh .obj or
        .glb; render .png (the viewer's picture, with view (width, height), pitch, yaw,
        zoom, wire); flow, the drainage map, .png (16-bit, log scale) or raw floats.
        range (low, high) scales heights and colours instead of the height range.
        All files are written or none. Returns (lowest, highest) height generated.
        Raises ValueError for refused requests and OSError for files that cannot be written.
        """
        paths = {}
        for name, path in (("heights", heights), ("water", water), ("colour", colour), ("mesh", mesh),
                           ("render", render), ("flow", flow)):
            paths[name] = "" if path is None else os.fspath(path)
            if isinstance(paths[name], bytes):
                paths[name] = os.fsdecode(paths[name])
            if path is not None and not paths[name]:
                raise ValueError(f"{name}: an empty file name")
        if not any(paths.values()):
            raise ValueError("write: name at least one file (heights, water, colour, mesh, render or flow)")
        if tile is None:
            rect = None
            if self._width > MAX_FIELD_SIDE or self._depth > MAX_FIELD_SIDE:
                self.tile_rect(None)
        else:
            rect = self.tile_rect(tile)
        scale = None
        if range is not None:
            try:
                low, high = range
            except (TypeError, ValueError):
                raise ValueError(f"range: (low, high), not {range!r}") from None
            low, high = _float32("range", low), _float32("range", high)
            if not (np.isfinite(low) and np.isfinite(high) and low <= high):
                raise ValueError(f"range: two finite numbers, the lower first, not {range!r}")
            scale = (low, high)
        if paths["render"] and not _koravel.can_render:
            raise ValueError("render: this build of the module cannot draw pictures")
        try:
            view_width, view_height = view
        except (TypeError, ValueError):
            raise ValueError(f"view: (width, height) in pixels, not {view!r}") from None
        view = (_whole("view", view_width, 1, 8192, "1 to 8192 pixels a side"),
                _whole("view", view_height, 1, 8192, "1 to 8192 pixels a side"))
        low, high = _koravel.write(
            self._settings(), self._width, self._depth, rect, _threads(threads), scale, bool(flat),
            paths["heights"], paths["water"], paths["colour"], paths["mesh"], paths["render"], paths["flow"], view,
            _float32("pitch", pitch), _float32("yaw", yaw), _float32("zoom", zoom), bool(wire))
        return (float(low), float(high))
