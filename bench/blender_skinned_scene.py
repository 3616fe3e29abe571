# Builds a large skinned, animated scene in Blender and exports it as Blender
# writes it: a wavy grid of TRIANGLES triangles (default 1,007,616: 768 x 656
# quads, flat shaded, with UVs), an armature of 40 bones in a chain along the
# grid, four weights a vertex, and a 250-frame animation of every bone.
#
#   blender -b -noaudio --factory-startup -P bench/blender_skinned_scene.py -- \
#       OUT.glb [OUT.dae] [TRIANGLES]
#
# The .glb comes from Blender's glTF exporter with its defaults (skins and
# animations on); the .dae from its Collada exporter when one is given (and
# when this Blender has one). Both take minutes at the default size: keep the
# outputs outside the repository (e.g. /tmp/bench-scenes) and reuse them.
import math
import sys

import bpy
import numpy as np

BONES = 40
FRAMES = 250
WEIGHT_STEPS = 64  # weights are multiples of 1/64: vertex groups are filled a value at a time


def arguments():
    argv = sys.argv[sys.argv.index("--") + 1:] if "--" in sys.argv else []
    glb = next((a for a in argv if a.lower().endswith(".glb")), None)
    dae = next((a for a in argv if a.lower().endswith(".dae")), None)
    numbers = [int(a) for a in argv if a.isdigit()]
    if not glb:
        sys.exit("usage: blender -b -P blender_skinned_scene.py -- OUT.glb [OUT.dae] [TRIANGLES]")
    return glb, dae, numbers[0] if numbers else 1007616


def grid_mesh(triangles):
    quads = max(1, triangles // 2)
    cols = max(1, round(math.sqrt(quads * 768 / 656)))
    rows = max(1, round(quads / cols))
    width, depth = float(BONES), BONES * rows / cols
    xs = np.linspace(0.0, width, cols + 1, dtype=np.float32)
    ys = np.linspace(-depth / 2, depth / 2, rows + 1, dtype=np.float32)
    gx, gy = np.meshgrid(xs, ys)  # (rows + 1, cols + 1)
    gz = 0.25 * np.sin(gx * 1.7) * np.cos(gy * 1.3)
    co = np.stack([gx, gy, gz], axis=-1).reshape(-1).astype(np.float32)

    r, c = np.meshgrid(np.arange(rows), np.arange(cols), indexing="ij")
    v0 = (r * (cols + 1) + c).reshape(-1)
    loops = np.stack([v0, v0 + 1, v0 + cols + 2, v0 + cols + 1], axis=-1).reshape(-1).astype(np.int32)
    nq = rows * cols

    mesh = bpy.data.meshes.new("Grid")
    mesh.vertices.add(len(co) // 3)
    mesh.vertices.foreach_set("co", co)
    mesh.loops.add(len(loops))
    mesh.loops.foreach_set("vertex_index", loops)
    mesh.polygons.add(nq)
    mesh.polygons.foreach_set("loop_start", np.arange(0, 4 * nq, 4, dtype=np.int32))
    mesh.polygons.foreach_set("loop_total", np.full(nq, 4, dtype=np.int32))
    mesh.update(calc_edges=True)
    uv = mesh.uv_layers.new(name="UVMap")
    uvs = np.stack([co[0::3] / width, co[1::3] / depth + 0.5], axis=-1)[loops].reshape(-1)
    uv.data.foreach_set("uv", uvs.astype(np.float32))
    mesh.validate()
    print(f"grid: {cols} x {rows} quads, {2 * nq} triangles, {len(co) // 3} vertices")
    return mesh, gx.reshape(-1)


def armature():
    data = bpy.data.armatures.new("Armature")
    rig = bpy.data.objects.new("Armature", data)
    bpy.context.scene.collection.objects.link(rig)
    bpy.context.view_layer.objects.active = rig
    bpy.ops.object.mode_set(mode="EDIT")
    parent = None
    for b in range(BONES):
        bone = data.edit_bones.new(f"Bone{b:02d}")
        bone.head = (float(b), 0.0, 0.0)
        bone.tail = (float(b + 1), 0.0, 0.0)
        if parent:
            bone.parent = parent
            bone.use_connect = True
        parent = bone
    bpy.ops.object.mode_set(mode="OBJECT")
    return rig


def weigh(obj, x):
    # Four bones a vertex: the one under it, one before and two after
    # (clamped at the ends), with a smooth falloff, rounded to 1/64 and
    # normalised so every vertex sums to one.
    centre = np.clip(np.floor(x).astype(np.int64), 0, BONES - 1)
    bones = np.stack([centre - 1, centre, centre + 1, centre + 2], axis=-1)
    bones = np.clip(bones, 0, BONES - 1)
    distance = np.abs(x[:, None] - (bones + 0.5))
    w = np.maximum(1e-3, 1.0 / (1.0 + distance * distance))
    w /= w.sum(axis=1, keepdims=True)
    q = np.maximum(1, np.round(w * WEIGHT_STEPS)).astype(np.int64)
    groups = [obj.vertex_groups.new(name=f"Bone{b:02d}") for b in range(BONES)]
    # A vertex that names one bone twice (at the ends) adds its weights up.
    weights = {}
    for k in range(4):
        for v, (b, s) in enumerate(zip(bones[:, k], q[:, k])):
            key = (v, int(b))
            weights[key] = weights.get(key, 0) + int(s)
    totals = np.zeros(len(x), dtype=np.int64)
    for (v, _), s in weights.items():
        totals[v] += s
    batches = {}
    for (v, b), s in weights.items():
        batches.setdefault((b, s / totals[v]), []).append(v)
    for (b, value), vertices in batches.items():
        groups[b].add(vertices, value, "REPLACE")


def animate(rig):
    action = bpy.data.actions.new("Wave")
    rig.animation_data_create().action = action
    frames = np.arange(1, FRAMES + 1, dtype=np.float32)
    for b in range(BONES):
        rig.pose.bones[f"Bone{b:02d}"].rotation_mode = "QUATERNION"
        angle = 0.15 * np.sin(frames * 2 * math.pi / FRAMES * 2 + b * 0.4)
        quat = [np.cos(angle / 2), np.zeros_like(angle), np.sin(angle / 2) * 0.6, np.sin(angle / 2) * 0.8]
        path = f'pose.bones["Bone{b:02d}"].rotation_quaternion'
        for i in range(4):
            curve = action.fcurves.new(path, index=i, action_group=f"Bone{b:02d}")
            curve.keyframe_points.add(FRAMES)
            curve.keyframe_points.foreach_set("co", np.stack([frames, quat[i]], axis=-1).reshape(-1))
            curve.update()
    bpy.context.scene.frame_start = 1
    bpy.context.scene.frame_end = FRAMES


def main():
    glb, dae, triangles = arguments()
    bpy.ops.wm.read_factory_settings(use_empty=True)
    mesh, x = grid_mesh(triangles)
    obj = bpy.data.objects.new("Grid", mesh)
    bpy.context.scene.collection.objects.link(obj)
    rig = armature()
    obj.parent = rig
    obj.modifiers.new("Armature", "ARMATURE").object = rig
    weigh(obj, x)
    animate(rig)
    bpy.ops.export_scene.gltf(filepath=glb, export_format="GLB", export_skins=True, export_animations=True)
    print(f"wrote {glb}")
    if dae:
        if not hasattr(bpy.ops.wm, "collada_export"):
            sys.exit("this Blender has no Collada exporter")
        bpy.ops.wm.collada_export(filepath=dae, include_animations=True, sampling_rate=1)
        print(f"wrote {dae}")


main()
