#!/usr/bin/env python3
"""Independent reader of glTF files for the import tests.

For each file given, prints one JSON line:
  {"file": PATH, "status": "ok"|"broken"|"noscene", "triangles": N, "reason": TEXT}
"triangles" counts the triangles the default scene draws: every node of the
scene that has a mesh, every primitive of mode 4, 5 or 6 (triangles, strip,
fan), less those with a corner whose position is not a finite number.
"broken" files break a rule that makes them unreadable (missing buffers,
indices out of range, cyclic node graphs, unsupported required extensions,
members of the wrong type).
"""
import base64
import json
import math
import os
import struct
import sys
import urllib.parse

SUPPORTED = {"KHR_mesh_quantization", "KHR_texture_transform", "KHR_lights_punctual",
             "EXT_meshopt_compression", "KHR_materials_unlit", "KHR_materials_emissive_strength"}
FORMATS = {5120: "b", 5121: "B", 5122: "h", 5123: "H", 5125: "I", 5126: "f"}
COMPONENTS = {"SCALAR": 1, "VEC2": 2, "VEC3": 3, "VEC4": 4, "MAT2": 4, "MAT3": 9, "MAT4": 16}


class Broken(Exception):
    pass


def load(path):
    data = open(path, "rb").read()
    bin_chunk = None
    if data[:4] == b"glTF":
        length = struct.unpack_from("<I", data, 8)[0]
        at, doc = 12, None
        while at + 8 <= length:
            size, kind = struct.unpack_from("<II", data, at)
            chunk = data[at + 8:at + 8 + size]
            if kind == 0x4E4F534A and doc is None:
                doc = json.loads(chunk)
            elif kind == 0x004E4942 and bin_chunk is None:
                bin_chunk = chunk
            at += 8 + size
    else:
        doc = json.loads(data)
    folder = os.path.dirname(path)
    buffers = []
    for i, b in enumerate(doc.get("buffers", [])):
        uri = b.get("uri")
        if uri is None:
            if bin_chunk is None:
                raise Broken("buffer %d has no data" % i)
            buffers.append(bin_chunk)
        elif uri.startswith("data:"):
            buffers.append(base64.b64decode(uri.split(",", 1)[1]))
        else:
            name = os.path.join(folder, urllib.parse.unquote(uri))
            if not os.path.isfile(name):
                raise Broken("missing buffer file " + uri)
            buffers.append(open(name, "rb").read())
        if len(buffers[-1]) < b["byteLength"]:
            raise Broken("buffer %d too short" % i)
    return doc, buffers


def read_accessor(doc, buffers, index):
    a = doc["accessors"][index]
    n = COMPONENTS[a["type"]]
    fmt = FORMATS[a["componentType"]]
    size = struct.calcsize("<" + fmt)
    count = a["count"]
    if "bufferView" not in a:
        values = [[0] * n for _ in range(count)]
    else:
        view = doc["bufferViews"][a["bufferView"]]
        data = buffers[view["buffer"]]
        stride = view.get("byteStride", n * size)
        start = view.get("byteOffset", 0) + a.get("byteOffset", 0)
        values = [list(struct.unpack_from("<%d%s" % (n, fmt), data, start + i * stride)) for i in range(count)]
    return values


def check_types(doc):
    def walk(o, where):
        if isinstance(o, dict):
            for k, v in o.items():
                if k == "name" and not isinstance(v, str):
                    raise Broken(where + ".name is not a string")
                if k in ("extensions", "pbrMetallicRoughness", "attributes") and not isinstance(v, dict):
                    raise Broken(where + "." + k + " is not an object")
                if k == "extensions":
                    for name, e in v.items():
                        if not isinstance(e, dict):
                            raise Broken(where + ".extensions." + name + " is not an object")
                if k in ("primitives", "nodes", "children") and not isinstance(v, list):
                    raise Broken(where + "." + k + " is not an array")
                if k.endswith("Texture") and (not isinstance(v, dict) or "index" not in v):
                    raise Broken(where + "." + k + " is not a texture reference")
                if k.endswith("Texture") and not all(isinstance(v.get(n, 1), (int, float))
                                                     for n in ("scale", "strength")):
                    raise Broken(where + "." + k + " has a scale that is not a number")
                if k == "index" and (not isinstance(v, int) or v < 0 or v >= len(doc.get("textures", []))):
                    raise Broken(where + ".index is not a texture")
                walk(v, where + "." + k)
        elif isinstance(o, list):
            for i, v in enumerate(o):
                walk(v, "%s[%d]" % (where, i))
    walk(doc, "")


def triangles(path):
    doc, buffers = load(path)
    if doc.get("asset", {}).get("version", "").split(".")[0] != "2":
        raise Broken("not glTF 2.0")
    for e in doc.get("extensionsRequired", []):
        if e not in SUPPORTED:
            raise Broken("requires " + e)
    check_types(doc)
    nodes = doc.get("nodes", [])
    parent = {}
    for i, n in enumerate(nodes):
        for c in n.get("children", []):
            if c in parent or c == i:
                raise Broken("node %d has two parents" % c)
            parent[c] = i
    for i in range(len(nodes)):
        seen, n = set(), i
        while n in parent:
            if n in seen:
                raise Broken("cycle")
            seen.add(n)
            n = parent[n]
    scenes = doc.get("scenes", [])
    if scenes:
        s = doc.get("scene", 0)
        if s >= len(scenes):
            return "noscene", 0
        roots = scenes[s].get("nodes", [])
        for r in roots:
            if r in parent:
                raise Broken("scene root %d has a parent" % r)
    elif "scene" in doc or not nodes:
        return "noscene", 0
    else:
        roots = [i for i in range(len(nodes)) if i not in parent]
    total = 0
    stack, seen = list(roots), set()
    while stack:
        n = stack.pop()
        if n in seen:
            continue
        seen.add(n)
        node = nodes[n]
        stack.extend(node.get("children", []))
        if "mesh" not in node:
            continue
        for p in doc["meshes"][node["mesh"]]["primitives"]:
            mode = p.get("mode", 4)
            if mode not in (4, 5, 6) or "POSITION" not in p["attributes"]:
                continue
            positions = read_accessor(doc, buffers, p["attributes"]["POSITION"])
            if "indices" in p:
                indices = [v[0] for v in read_accessor(doc, buffers, p["indices"])]
                for i in indices:
                    if i >= len(positions):
                        raise Broken("index %d out of range" % i)
            else:
                indices = list(range(len(positions)))
            if mode == 4:
                tris = [indices[i:i + 3] for i in range(0, len(indices) - 2, 3)]
            elif mode == 5:
                tris = [(indices[i], indices[i + 1 + i % 2], indices[i + 2 - i % 2]) for i in range(len(indices) - 2)]
            else:
                tris = [(indices[i + 1], indices[i + 2], indices[0]) for i in range(len(indices) - 2)]
            total += sum(1 for t in tris if all(math.isfinite(c) for v in t for c in positions[v]))
    return "ok", total


def main():
    for path in sys.argv[1:]:
        try:
            status, count = triangles(path)
            print(json.dumps({"file": path, "status": status, "triangles": count, "reason": ""}))
        except Broken as e:
            print(json.dumps({"file": path, "status": "broken", "triangles": 0, "reason": str(e)}))


if __name__ == "__main__":
    main()
