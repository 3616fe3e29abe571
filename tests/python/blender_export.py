"""The Blender add-on, run inside Blender:

    blender -b --factory-startup --python-exit-code 1 --python blender_export.py

Enables the add-on from the source folder (MW_ADDON_DIR), builds a textured
cube and a skinned, animated arm, exports them through the operator and
checks the scene file against meshwright-cli run on the .glb that Blender
wrote for the same scene: same triangles, same world box, same frame count.
Also checks the triangles against Blender's own meshes, and that a failing
conversion fails the operator with the converter's message."""

import math
import os
import subprocess
import sys
import tempfile

import bpy

import numpy

import meshwright

CLI = os.environ["MW_CLI"]
sys.path.insert(0, os.environ["MW_ADDON_DIR"])
import meshwright_export  # noqa: E402

failures = []


def check(condition, what):
    print(("ok:   " if condition else "FAIL: ") + what)
    if not condition:
        failures.append(what)


def empty_scene():
    bpy.ops.object.select_all(action="SELECT")
    bpy.ops.object.delete()


def textured_cube(folder):
    bpy.ops.mesh.primitive_cube_add(size=2.0, location=(3.0, 0.0, 0.0))
    cube = bpy.context.active_object
    cube.name = "Cube"
    image = bpy.data.images.new("Checker", 8, 8)
    image.generated_type = "UV_GRID"
    image.filepath_raw = os.path.join(folder, "checker.png")
    image.file_format = "PNG"
    image.save()
    material = bpy.data.materials.new("Checker")
    material.use_nodes = True
    tree = material.node_tree
    texture = tree.nodes.new("ShaderNodeTexImage")
    texture.image = image
    tree.links.new(texture.outputs["Color"], tree.nodes["Principled BSDF"].inputs["Base Color"])
    cube.data.materials.append(material)
    return cube


def skinned_arm():
    # Two bones along +Z, the elbow bending over 24 frames.
    bpy.ops.object.armature_add(location=(0.0, 0.0, 0.0))
    rig = bpy.context.active_object
    rig.name = "Rig"
    bpy.ops.object.mode_set(mode="EDIT")
    bones = rig.data.edit_bones
    upper = bones[0]
    upper.name = "Upper"
    upper.head, upper.tail = (0, 0, 0), (0, 0, 1)
    lower = bones.new("Lower")
    lower.head, lower.tail = (0, 0, 1), (0, 0, 2)
    lower.parent = upper
    lower.use_connect = True
    bpy.ops.object.mode_set(mode="OBJECT")

    bpy.ops.mesh.primitive_cylinder_add(vertices=8, radius=0.2, depth=2.0, location=(0, 0, 1))
    arm = bpy.context.active_object
    arm.name = "Arm"
    bpy.ops.object.transform_apply(location=True)
    bpy.ops.object.mode_set(mode="EDIT")
    bpy.ops.mesh.subdivide(number_cuts=3)
    bpy.ops.object.mode_set(mode="OBJECT")
    arm.select_set(True)
    rig.select_set(True)
    bpy.context.view_layer.objects.active = rig
    bpy.ops.object.parent_set(type="ARMATURE_AUTO")

    scene = bpy.context.scene
    scene.frame_start, scene.frame_end = 1, 24
    pose = rig.pose.bones["Lower"]
    pose.rotation_mode = "XYZ"
    for frame, angle in ((1, 0.0), (12, 60.0), (24, 90.0)):
        pose.rotation_euler = (math.radians(angle), 0.0, 0.0)
        pose.keyframe_insert("rotation_euler", frame=frame)
    return arm


def world_box(scene):
    """The box around every mesh vertex in world space at frame 0 (without skinning)."""
    matrices = scene.world_matrices(0)
    points = []
    for node in scene.mesh_nodes():
        p = scene.meshes[node.content].positions()
        points.append(numpy.c_[p, numpy.ones(len(p))] @ matrices[node.index])
    allp = numpy.concatenate(points)[:, :3]
    return allp.min(axis=0), allp.max(axis=0)


def triangles(scene):
    return sum(scene.meshes[n.content].triangle_count for n in scene.mesh_nodes())


def blender_triangles(objects):
    depsgraph = bpy.context.evaluated_depsgraph_get()
    total = 0
    for obj in objects:
        mesh = obj.evaluated_get(depsgraph).to_mesh()
        mesh.calc_loop_triangles()
        total += len(mesh.loop_triangles)
        obj.evaluated_get(depsgraph).to_mesh_clear()
    return total


def main():
    meshwright_export.register()
    bpy.context.preferences.addons.new().module = "meshwright_export"
    prefs = bpy.context.preferences.addons["meshwright_export"].preferences
    prefs.cli_path = CLI
    check(hasattr(bpy.types, "EXPORT_SCENE_OT_qef"), "the operator export_scene.qef is registered")

    folder = tempfile.mkdtemp(prefix="mw-blender-")
    empty_scene()
    cube = textured_cube(folder)
    arm = skinned_arm()
    bpy.context.scene.frame_set(1)

    out = os.path.join(folder, "scene.qef")
    result = bpy.ops.export_scene.qef(filepath=out, keep_gltf=True, export_skin=True, export_animations=True)
    check(result == {"FINISHED"}, "the export finishes (%s)" % result)
    glb = os.path.join(folder, "scene.glb")
    check(os.path.isfile(out) and os.path.isfile(glb), "the scene file and the kept .glb are written")

    # The command line on the .glb Blender wrote, with the panel's options.
    reference = os.path.join(folder, "reference.qef")
    run = subprocess.run(
        [CLI, "convert", "--quiet", glb, "-o", reference, "--set=bExportSkin=1", "--set=bExportAnimations=1",
         "--set=bTangentSpace=0", "--set=bExportModelSpace=1"],
        capture_output=True, text=True)
    check(run.returncode == 0, "meshwright-cli converts the .glb: " + run.stderr.strip())
    ours, theirs = meshwright.load(out), meshwright.load(reference)
    check(triangles(ours) == triangles(theirs), "same triangles: %d, %d" % (triangles(ours), triangles(theirs)))
    box_ours, box_theirs = world_box(ours), world_box(theirs)
    check(numpy.allclose(box_ours[0], box_theirs[0], atol=1e-5) and numpy.allclose(box_ours[1], box_theirs[1], atol=1e-5),
          "same world box: %s, %s" % (box_ours, box_theirs))
    check(ours.frame_count == theirs.frame_count and ours.frame_count > 1,
          "same frame count: %d, %d" % (ours.frame_count, theirs.frame_count))

    # Against Blender's own scene: its triangles, and its world box (Z up
    # becomes Y up in glTF: x, z, -y).
    expected = blender_triangles([cube, arm])
    check(triangles(ours) == expected, "Blender's triangles: %d, scene file %d" % (expected, triangles(ours)))
    corners = []
    for obj in (cube, arm):
        for v in obj.data.vertices:
            w = obj.matrix_world @ v.co
            corners.append((w.x, w.z, -w.y))
    corners = numpy.array(corners)
    lo, hi = corners.min(axis=0), corners.max(axis=0)
    check(numpy.allclose(box_ours[0], lo, atol=1e-4) and numpy.allclose(box_ours[1], hi, atol=1e-4),
          "Blender's world box: %s %s, scene file %s" % (lo, hi, box_ours))
    check(any(ch for m in ours.meshes for ch in m.channels if ch == "bone_weight"), "the arm is skinned")
    check(any(m.get("diffuse_texture", -1) >= 0 for m in ours.materials), "the cube's material has its texture")

    # Selection only: the cube alone.
    bpy.ops.object.select_all(action="DESELECT")
    cube.select_set(True)
    only = os.path.join(folder, "cube.h")
    result = bpy.ops.export_scene.qef(filepath=only, use_selection=True, export_animations=False)
    check(result == {"FINISHED"} and os.path.isfile(only), "the selection exports as a header")
    with open(only, encoding="utf-8", errors="replace") as f:
        check("ExpOpt" in f.read(), "the header carries its options")

    # A failing conversion fails the operator with the converter's message.
    try:
        bpy.ops.export_scene.qef(filepath=os.path.join(folder, "x.qef"), profile="NoSuchProfile")
        check(False, "an unknown profile fails the export")
    except RuntimeError as e:
        check("NoSuchProfile" in str(e), "the export fails with the converter's message: %s" % e)

    meshwright_export.unregister()
    if failures:
        print("%d checks failed" % len(failures))
        sys.exit(1)
    print("all checks passed")


main()
