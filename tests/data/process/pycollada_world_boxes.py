#!/usr/bin/env python3
"""World-space bounding boxes of Collada documents as pycollada places them.

Usage: pycollada_world_boxes.py [--unit] FILE...

Prints one line per file, tab-separated: the path, then either "box" and six
numbers (min x y z, max x y z) or a word saying why there is no box
("controller", "nogeometry", "error"). Only documents with geometry and no
controller get a box. Every vertex a triangle, polylist or polygons element
uses is placed by pycollada's scene evaluation (node transforms composed,
instance_node followed); a Z_UP document's box is then turned into the Y-up
frame by (x, y, z) -> (x, z, -y), an X_UP document's by (x, y, z) -> (-y, x, z).
With --unit the box is given in metres: times the meter of the document's
unit. Exit status 3 when pycollada cannot be imported.
"""
import sys
import warnings

try:
    import numpy
    import collada
    from collada import polygons, polylist, triangleset
except Exception:  # the caller skips with a message
    sys.exit(3)

warnings.filterwarnings("ignore")
IGNORED = [collada.DaeUnsupportedError, collada.DaeBrokenRefError, collada.DaeIncompleteError,
           collada.DaeMalformedError]
FACES = (triangleset.BoundTriangleSet, polylist.BoundPolylist, polygons.BoundPolygons)


def box_of(path, unit):
    dae = collada.Collada(path, ignore=IGNORED)
    if len(dae.controllers) > 0:
        return "controller", None
    if len(dae.geometries) == 0 or dae.scene is None:
        return "nogeometry", None
    lo = numpy.full(3, numpy.inf)
    hi = numpy.full(3, -numpy.inf)
    for geometry in dae.scene.objects("geometry"):
        for prim in geometry.primitives():
            if not isinstance(prim, FACES) or prim.vertex is None or len(prim.vertex) == 0:
                continue
            index = numpy.asarray(prim.vertex_index).reshape(-1)
            if index.size == 0:
                continue
            index = numpy.unique(index)
            index = index[(index >= 0) & (index < len(prim.vertex))]
            points = numpy.asarray(prim.vertex)[index]
            if points.size == 0:
                continue
            lo = numpy.minimum(lo, points.min(axis=0))
            hi = numpy.maximum(hi, points.max(axis=0))
    if not numpy.all(numpy.isfinite(lo)):
        return "nogeometry", None
    if dae.assetInfo is not None and dae.assetInfo.upaxis == "Z_UP":
        # (x, y, z) -> (x, z, -y): y and z swap and the new z flips sign.
        lo, hi = numpy.array([lo[0], lo[2], -hi[1]]), numpy.array([hi[0], hi[2], -lo[1]])
    elif dae.assetInfo is not None and dae.assetInfo.upaxis == "X_UP":
        # (x, y, z) -> (-y, x, z)
        lo, hi = numpy.array([-hi[1], lo[0], lo[2]]), numpy.array([-lo[1], hi[0], hi[2]])
    if unit and dae.assetInfo is not None and dae.assetInfo.unitmeter:
        lo, hi = lo * float(dae.assetInfo.unitmeter), hi * float(dae.assetInfo.unitmeter)
    return "box", (lo, hi)


def main():
    args = sys.argv[1:]
    unit = bool(args) and args[0] == "--unit"
    for path in args[1:] if unit else args:
        try:
            status, box = box_of(path, unit)
        except Exception:
            status, box = "error", None
        if box is None:
            print(f"{path}\t{status}")
        else:
            numbers = "\t".join(repr(float(v)) for v in list(box[0]) + list(box[1]))
            print(f"{path}\tbox\t{numbers}")
        sys.stdout.flush()


if __name__ == "__main__":
    main()
