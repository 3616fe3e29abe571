#!/usr/bin/env python3
"""The engine example against the installed package alone.

Installs the build into a temporary prefix, checks that the loader's package
files are there, configures and builds examples/engine against that prefix
only, converts the example scenes with the installed meshwright-cli, and
draws their first frame with Mesa (run under xvfb-run): each picture must
show the model, framed in the middle of the image and lit (the corpus duck by
its own directional light). The skinned arm
must move between frames, and the programs with the scene compiled in
(generated header, generated registered source) must draw the same picture
as the engine that loads the file.
"""
import argparse
import os
import shutil
import struct
import subprocess
import sys
import zlib

WIDTH, HEIGHT = 320, 240


def fail(message):
    print("FAIL: " + message)
    sys.exit(1)


def run(what, command, env=None, cwd=None, expect=0):
    result = subprocess.run(command, env=env, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    if result.returncode != expect:
        fail("%s exited with %d (expected %d): %s\n%s" % (what, result.returncode, expect, " ".join(command),
                                                          result.stdout))
    return result.stdout


def read_png(path):
    """(width, height, rows of (r, g, b) tuples) of an 8-bit RGB or RGBA PNG file."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        fail("%s is not a PNG file" % path)
    pos, idat, header = 8, b"", None
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    width, height, depth, colour_type, _, _, interlace = header
    if depth != 8 or colour_type not in (2, 6) or interlace:
        fail("%s: unexpected PNG layout %r" % (path, header))
    channels = 3 if colour_type == 2 else 4
    raw = zlib.decompress(idat)
    stride = width * channels
    rows, previous = [], bytearray(stride)
    for y in range(height):
        kind = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            left = line[i - channels] if i >= channels else 0
            up = previous[i]
            corner = previous[i - channels] if i >= channels else 0
            if kind == 1:
                line[i] = (line[i] + left) & 255
            elif kind == 2:
                line[i] = (line[i] + up) & 255
            elif kind == 3:
                line[i] = (line[i] + (left + up) // 2) & 255
            elif kind == 4:
                p = left + up - corner
                pa, pb, pc = abs(p - left), abs(p - up), abs(p - corner)
                line[i] = (line[i] + (left if pa <= pb and pa <= pc else up if pb <= pc else corner)) & 255
        rows.append([tuple(line[x * channels:x * channels + 3]) for x in range(width)])
        previous = line
    return width, height, rows


def check_picture(name, path):
    """The model is drawn, lit, inside the picture and around its centre."""
    width, height, rows = read_png(path)
    if (width, height) != (WIDTH, HEIGHT):
        fail("%s: picture is %dx%d, asked for %dx%d" % (name, width, height, WIDTH, HEIGHT))
    background = rows[0][0]
    corners = {rows[0][0], rows[0][-1], rows[-1][0], rows[-1][-1]}
    if len(corners) != 1:
        fail("%s: the corners are not all background: %r" % (name, corners))
    covered, shades = [], set()
    for y, row in enumerate(rows):
        for x, pixel in enumerate(row):
            if sum(abs(a - b) for a, b in zip(pixel, background)) > 24:
                covered.append((x, y))
                shades.add(pixel)
    if len(covered) < 0.02 * width * height:
        fail("%s: blank picture (%d pixels differ from the background %r)" % (name, len(covered), background))
    cx = sum(x for x, _ in covered) / len(covered)
    cy = sum(y for _, y in covered) / len(covered)
    if abs(cx - width / 2) > 0.15 * width or abs(cy - height / 2) > 0.15 * height:
        fail("%s: the model's centre is at (%.0f, %.0f), not near the middle of %dx%d" % (name, cx, cy, width,
                                                                                         height))
    x0, x1 = min(x for x, _ in covered), max(x for x, _ in covered)
    y0, y1 = min(y for _, y in covered), max(y for _, y in covered)
    # The camera frames the bounding sphere in the picture's height: the
    # model stays inside the picture and fills a good part of it.
    if x0 <= 0 or y0 <= 0 or x1 >= width - 1 or y1 >= height - 1:
        fail("%s: the model touches the edge of the picture: box (%d, %d)-(%d, %d)" % (name, x0, y0, x1, y1))
    if x0 < (width - height) / 2 - 2 or x1 > (width + height) / 2 + 2:
        fail("%s: the model is wider than the framed sphere: box (%d, %d)-(%d, %d)" % (name, x0, y0, x1, y1))
    if max(x1 - x0, y1 - y0) < 0.3 * height:
        fail("%s: the model is too small: box (%d, %d)-(%d, %d)" % (name, x0, y0, x1, y1))
    # A directional light gives faces of different directions different shades.
    if len(shades) < 3:
        fail("%s: the model is not lit (%d shades)" % (name, len(shades)))
    print("%s: %d pixels covered, centre (%.0f, %.0f), box (%d, %d)-(%d, %d), %d shades" %
          (name, len(covered), cx, cy, x0, y0, x1, y1, len(shades)))
    return rows


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--source-dir", required=True)
    parser.add_argument("--build-dir", required=True)
    parser.add_argument("--work-dir", required=True)
    parser.add_argument("--cmake", required=True)
    parser.add_argument("--ninja")
    parser.add_argument("--corpus-dir")
    args = parser.parse_args()

    work = args.work_dir
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    prefix = os.path.join(work, "prefix")
    run("install", [args.cmake, "--install", args.build_dir, "--prefix", prefix])
    libdir = next((d for d in ("lib", "lib64") if os.path.isdir(os.path.join(prefix, d, "cmake"))), None)
    if not libdir:
        fail("no lib/cmake in the installed prefix")
    for part in ("include/qef/qef.h", "include/qef/ZGXTMemoryFileSystem.h", libdir + "/libqef.a",
                 libdir + "/libqef.so", libdir + "/pkgconfig/qef.pc", libdir + "/cmake/Meshwright/MeshwrightConfig.cmake",
                 libdir + "/cmake/Meshwright/MeshwrightQefTargets.cmake", "bin/meshwright-cli"):
        if not os.path.exists(os.path.join(prefix, part)):
            fail("the install has no " + part)

    # The example against the prefix alone, warnings as errors.
    build = os.path.join(work, "build")
    configure = [args.cmake, "-S", os.path.join(args.source_dir, "examples", "engine"), "-B", build,
                 "-DCMAKE_PREFIX_PATH=" + prefix, "-DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF",
                 "-DCMAKE_C_FLAGS=-Wall -Wextra -Werror", "-DCMAKE_CXX_FLAGS=-Wall -Wextra -Werror"]
    if args.ninja:
        configure += ["-G", "Ninja", "-DCMAKE_MAKE_PROGRAM=" + args.ninja]
    run("configure", configure)
    with open(os.path.join(build, "CMakeCache.txt")) as f:
        found = [line.strip() for line in f if line.startswith("Meshwright_DIR:")]
    if not found or not found[0].split("=", 1)[1].startswith(prefix):
        fail("the example found Meshwright elsewhere than the prefix: %r" % found)
    run("build", [args.cmake, "--build", build, "-j2"])

    # The scenes converted with the installed program.
    cli = os.path.join(prefix, "bin", "meshwright-cli")
    examples = os.path.join(args.source_dir, "examples")
    arm = os.path.join(work, "skinned_arm.qef")
    box = os.path.join(work, "textured_box.qef")
    run("convert", [cli, "convert", os.path.join(examples, "skinned_arm.dae"), "-o", arm, "--quiet", "--options",
                    os.path.join(examples, "skinned_arm.cfg")])
    run("convert", [cli, "convert", os.path.join(examples, "textured_box.dae"), "-o", box, "--quiet"])

    env = dict(os.environ, LIBGL_ALWAYS_SOFTWARE="1")
    size = "%dx%d" % (WIDTH, HEIGHT)

    def draw(name, program, scene, frame="0", cwd=None):
        picture = os.path.join(work, name + ".png")
        command = [os.path.join(build, program)] + ([scene] if scene else [])
        out = run(name, command + ["--frame", frame, "--screenshot", picture, "--size", size], env=env, cwd=cwd)
        return out, picture

    out, picture = draw("arm", "engine", arm)
    first = check_picture("skinned_arm frame 0", picture)
    frames = int(out.split(" frames")[0].rsplit(" ", 1)[1])
    if frames < 2:
        fail("skinned_arm.qef has no animation: %s" % out)
    _, picture = draw("arm-later", "engine", arm, str(frames // 2))
    later = check_picture("skinned_arm frame %d" % (frames // 2), picture)
    moved = sum(a != b for row_a, row_b in zip(first, later) for a, b in zip(row_a, row_b))
    if moved < 0.01 * WIDTH * HEIGHT:
        fail("skinned_arm: frame %d looks like frame 0 (%d pixels differ)" % (frames // 2, moved))

    _, picture = draw("box", "engine", box)
    check_picture("textured_box", picture)

    # A corpus scene with a directional light of its own, which lights it.
    duck_dae = os.path.join(args.corpus_dir or "", "assorted", "duck.dae")
    if args.corpus_dir and os.path.exists(duck_dae):
        duck = os.path.join(work, "duck.qef")
        run("convert", [cli, "convert", duck_dae, "-o", duck, "--quiet"])
        _, picture = draw("duck", "engine", duck)
        check_picture("duck", picture)

    # The compiled-in scene (skinned_arm.dae with skinned_arm.cfg), from a
    # folder without scene.qef: the same picture as the loaded file.
    for program in ("engine_header", "engine_source"):
        _, picture = draw(program, program, None, cwd=work)
        if check_picture(program, picture) != first:
            fail("%s draws another picture than engine with skinned_arm.qef" % program)

    # A damaged file is refused with the loader's message.
    damaged = os.path.join(work, "damaged.qef")
    with open(arm, "rb") as f, open(damaged, "wb") as g:
        g.write(f.read()[:200])
    out = run("engine on a damaged file", [os.path.join(build, "engine"), damaged], env=env, expect=1)
    if "refused" not in out:
        fail("no refusal message for a damaged file: " + out)
    print("OK")


if __name__ == "__main__":
    main()
