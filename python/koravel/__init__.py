"""Koravel's fractal terrains from Python.

koravel.Terrain holds the settings and the size of a terrain and gives its heights
and water as numpy arrays, bit for bit what koravel-export writes; koravel.world
builds terrains larger than one machine's memory chunk by chunk on a Dask cluster.
"""

from koravel import _koravel
from koravel.terrain import MAX_FIELD_SIDE, MAX_TERRAIN_SIDE, Terrain

__version__ = _koravel.version()
__all__ = ["Terrain", "MAX_FIELD_SIDE", "MAX_TERRAIN_SIDE", "__version__"]
