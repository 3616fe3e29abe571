"""Writes the same scenes as Collada (.dae) and glTF (.glb) with Blender.

Run: blender -b --factory-startup --python tests/data/gltf/make_blender_pairs.py -- OUTPUT_FOLDER
Scenes:
  static   - a rotated, scaled cube; a sphere under a turned empty; a plane
  skinned  - a column of rings bound to a two-bone armature whose upper bone
             turns over one second (31 frames at 30 frames per second)
The import tests compare the two files of each pair (triangles, world-space
bounds, frames, bones).
"""
import math
import os
import sys

import bpy


def reset():
    bpy.ops.wm.read_factory_settings(use_empty=True)
    scene = bpy.context.scene
    scene.render.fps = 30
    scene.frame_start = 1
    scene.frame_end = 31
    return scene


def material(name, colour):
    m = bpy.data.materials.new(name)
    m.diffuse_color = colour
    return m


def static_scene():
    reset()
    bpy.ops.mesh.primitive_cube_add(size=2, location=(1, 2, 3), rotation=(0.3, 0.5, 0.1), scale=(1, 2, 0.5))
    cube = bpy.context.object
    cube.name = "Cube"
    cube.data.materials.append(material("Red", (0.8, 0.1, 0.1, 1)))
    bpy.ops.object.empty_add(location=(-3, 0, 1), rotation=(0, 0, math.radians(40)))
    pivot = bpy.context.object
    pivot.name = "Pivot"
    bpy.ops.mesh.primitive_uv_sphere_add(segments=8, ring_count=6, radius=1, location=(0, 0, 0))
    sphere = bpy.context.object
    sphere.name = "Sphere"
    sphere.parent = pivot
    sphere.location = (2, 0, 0)
    sphere.data.materials.append(material("Blue", (0.1, 0.1, 0.8, 1)))
    bpy.ops.mesh.primitive_plane_add(size=4, location=(0, 0, -1))
    bpy.context.object.name = "Ground"


def skinned_scene():
    reset()
    bpy.ops.object.armature_add(location=(0, 0, 0))
    arm = bpy.context.object
    arm.name = "Rig"
    bpy.ops.object.mode_set(mode="EDIT")
    lower = arm.data.edit_bones[0]
    lower.name = "Lower"
    lower.head, lower.tail = (0, 0, 0), (0, 0, 1)
    upper = arm.data.edit_bones.new("Upper")
    upper.head, upper.tail = (0, 0, 1), (0, 0, 2)
    upper.parent = lower
    bpy.ops.object.mode_set(mode="OBJECT")

    # A column of eight-sided rings from z = 0 to z = 2.
    verts, faces = [], []
    rings, sides = 5, 8
    for r in range(rings):
        for s in range(sides):
            a = 2 * math.pi * s / sides
            verts.append((0.3 * math.cos(a), 0.3 * math.sin(a), 2.0 * r / (rings - 1)))
    for r in range(rings - 1):
        for s in range(sides):
            a, b = r * sides + s, r * sides + (s + 1) % sides
            faces.append((a, b, b + sides, a + sides))
    mesh = bpy.data.meshes.new("Column")
    mesh.from_pydata(verts, [], faces)
    column = bpy.data.objects.new("Column", mesh)
    bpy.context.scene.collection.objects.link(column)
    column.data.materials.append(material("Skin", (0.7, 0.6, 0.5, 1)))
    column.parent = arm
    modifier = column.modifiers.new("Rig", "ARMATURE")
    modifier.object = arm
    lower_group = column.vertex_groups.new(name="Lower")
    upper_group = column.vertex_groups.new(name="Upper")
    for i, v in enumerate(verts):
        w = min(max(v[2] - 0.5, 0.0), 1.0)  # blend across the middle
        if w < 1:
            lower_group.add([i], 1 - w, "REPLACE")
        if w > 0:
            upper_group.add([i], w, "REPLACE")

    bone = arm.pose.bones["Upper"]
    bone.rotation_mode = "XYZ"
    bone.rotation_euler = (0, 0, 0)
    bone.keyframe_insert("rotation_euler", frame=1)
    bone.rotation_euler = (0.8, 0, 0)
    bone.keyframe_insert("rotation_euler", frame=31)


def export(folder, name):
    bpy.ops.wm.collada_export(filepath=os.path.join(folder, name + ".dae"), include_armatures=True,
                              include_animations=True, triangulate=True)
    bpy.ops.export_scene.gltf(filepath=os.path.join(folder, name + ".glb"), export_format="GLB",
                              export_animations=True, export_skins=True, export_yup=True)


def main():
    folder = sys.argv[sys.argv.index("--") + 1]
    os.makedirs(folder, exist_ok=True)
    static_scene()
    export(folder, "static")
    skinned_scene()
    export(folder, "skinned")


main()
