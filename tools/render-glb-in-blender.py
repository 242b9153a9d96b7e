"""Renders a koravel-export glb in Blender from the viewer's camera, to compare with koravel-export --render.

A manual check, not a test: it needs Blender (Debian's `blender`, 3.4) and runs inside it, headless:

    blender -b --factory-startup --python-exit-code 1 --python tools/render-glb-in-blender.py -- t.glb t-blender.png \
        [--pitch 10] [--yaw 0] [--zoom 1] [--view 800x541]

The viewer draws the terrain unlit, each vertex in its colour, over black. So does this: every mesh gets an
emission material of its first colour attribute (as Blender's glTF importer reads COLOR_0) over a black,
transparent background, rendered by Cycles on the CPU with the "Standard" view transform, so each pixel
is the stored colour through the sRGB transfer function, as a display shows it. `--light world` keeps
the file's own materials instead, under a uniform white world light.

Debian's Blender 3.4 glTF importer still names `numpy.bool`, which NumPy 1.24 removed; the script puts the
name back before importing.
"""

import argparse
import math
import sys

import bpy
import numpy
from mathutils import Matrix

# The viewer's camera: the frustum (8 wide at the near plane 4, so 90 degrees across) and the moves
# every frame makes before it turns the terrain.
FRUSTUM_HALF_WIDTH = 4.0
FRUSTUM_NEAR = 4.0
FRUSTUM_FAR = 4096.0
BASE_MOVE = (0.0, -4.0, -12.0)
FRAME_DEPTH = -80.0
LIFT_PER_DEGREE = 0.22222222222222224


def parse_arguments(argv):
    """Reads the arguments after Blender's `--`."""
    parser = argparse.ArgumentParser(prog="render-glb-in-blender.py")
    parser.add_argument("glb")
    parser.add_argument("picture")
    parser.add_argument("--pitch", type=float, default=10.0)
    parser.add_argument("--yaw", type=float, default=0.0)
    parser.add_argument("--zoom", type=float, default=1.0)
    parser.add_argument("--view", default="800x541")
    parser.add_argument("--light", choices=("emission", "world"), default="emission")
    parser.add_argument("--samples", type=int, default=16)
    arguments = parser.parse_args(argv[argv.index("--") + 1:] if "--" in argv else [])
    width, _, height = arguments.view.partition("x")
    arguments.width, arguments.height = int(width), int(height)
    return arguments


def viewer_camera_matrix(pitch, yaw):
    """The camera's placement in Blender's world: the inverse of the viewer's modelview (without the
    zoom, which scales the terrain), taken from glTF's y-up axes to Blender's z-up ones."""
    lift = -20.0 + pitch * LIFT_PER_DEGREE
    modelview = (Matrix.Translation(BASE_MOVE) @ Matrix.Translation((0.0, lift, FRAME_DEPTH))
                 @ Matrix.Rotation(math.radians(pitch), 4, "X")
                 @ Matrix.Rotation(math.radians(yaw), 4, "Y"))
    y_up_to_z_up = Matrix.Rotation(math.radians(90.0), 4, "X")
    return y_up_to_z_up @ modelview.inverted()


def vertex_colour_emission(name):
    """A material that emits the mesh's colour attribute `name` and nothing else."""
    material = bpy.data.materials.new("Vertex colour emission")
    material.use_nodes = True
    nodes = material.node_tree.nodes
    nodes.clear()
    attribute = nodes.new("ShaderNodeAttribute")
    attribute.attribute_type = "GEOMETRY"
    attribute.attribute_name = name
    emission = nodes.new("ShaderNodeEmission")
    emission.inputs["Strength"].default_value = 1.0
    output = nodes.new("ShaderNodeOutputMaterial")
    links = material.node_tree.links
    links.new(attribute.outputs["Color"], emission.inputs["Color"])
    links.new(emission.outputs["Emission"], output.inputs["Surface"])
    return material


def set_up_scene(arguments):
    """Camera, world, colour management and the Cycles settings."""
    scene = bpy.context.scene
    camera = bpy.data.objects.new("Viewer camera", bpy.data.cameras.new("Viewer camera"))
    scene.collection.objects.link(camera)
    camera.matrix_world = viewer_camera_matrix(arguments.pitch, arguments.yaw)
    camera.data.sensor_fit = "HORIZONTAL"
    camera.data.angle = 2.0 * math.atan(FRUSTUM_HALF_WIDTH / FRUSTUM_NEAR)
    camera.data.clip_start = FRUSTUM_NEAR
    camera.data.clip_end = FRUSTUM_FAR
    scene.camera = camera

    world = bpy.data.worlds.new("Plain")
    world.use_nodes = True
    background = world.node_tree.nodes["Background"]
    background.inputs["Color"].default_value = (1.0, 1.0, 1.0, 1.0)
    background.inputs["Strength"].default_value = 1.0 if arguments.light == "world" else 0.0
    scene.world = world

    scene.render.engine = "CYCLES"
    scene.cycles.device = "CPU"
    scene.cycles.samples = arguments.samples
    scene.cycles.use_denoising = False
    if arguments.light == "emission":
        scene.cycles.max_bounces = 0
    scene.render.film_transparent = True
    scene.render.resolution_x = arguments.width
    scene.render.resolution_y = arguments.height
    scene.render.resolution_percentage = 100
    scene.render.dither_intensity = 0.0
    scene.display_settings.display_device = "sRGB"
    scene.view_settings.view_transform = "Standard"
    scene.view_settings.look = "None"
    scene.view_settings.exposure = 0.0
    scene.view_settings.gamma = 1.0
    scene.render.image_settings.file_format = "PNG"
    scene.render.image_settings.color_mode = "RGBA"
    scene.render.image_settings.color_depth = "8"


def main():
    """Imports the glb, sets up the viewer's view and renders it."""
    arguments = parse_arguments(sys.argv)
    bpy.ops.wm.read_factory_settings(use_empty=True)
    if not hasattr(numpy, "bool"):
        numpy.bool = bool
    bpy.ops.import_scene.gltf(filepath=arguments.glb)
    meshes = [item for item in bpy.context.scene.objects if item.type == "MESH"]
    if not meshes:
        raise RuntimeError(arguments.glb + " holds no mesh")
    for mesh in meshes:
        mesh.matrix_world = Matrix.Scale(arguments.zoom, 4) @ mesh.matrix_world
        if arguments.light == "emission":
            colours = mesh.data.color_attributes
            if len(colours) == 0:
                raise RuntimeError(arguments.glb + " has no vertex colours")
            mesh.data.materials.clear()
            mesh.data.materials.append(vertex_colour_emission(colours[0].name))
    set_up_scene(arguments)
    bpy.context.scene.render.filepath = arguments.picture
    bpy.ops.render.render(write_still=True)


main()
