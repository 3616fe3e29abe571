#!/usr/bin/env python3
"""World-space bounding boxes of Collada documents as pycollada places them.

Usage: pycollada_world_boxes.py FILE...

Prints one line per file, tab-separated: the path, then either "box" and six
numbers (min x y z, max x y z) or a word saying why there is no box
("controller", "nogeometry", "error"). Only documents with geometry and no
controller get a box. Every vertex a triangle, polylist or polygons element
uses is placed by pycollada's scene evaluation (node transforms composed,
instance_node followed); a Z_UP document's box is then turned into the Y-up
frame by (x, y, z) -> (x, z, -y). Exit status 3 when pycollada cannot be
imported.
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


def box_of(path):
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
    return "box", (lo, hi)


def main():
    for path in sys.argv[1:]:
        try:
            status, box = box_of(path)
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
