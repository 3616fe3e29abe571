"""Meshwright from Python: convert Collada and glTF scenes, read scene files.

NAME
    meshwright - convert Collada (.dae) and glTF (.gltf, .glb) scenes into QEF
    scene files (.qef) or C source (.h, .cpp), and read scene files back.

SYNOPSIS
    import meshwright

    result = meshwright.convert("robot.glb", "robot.qef",
                                profile="Mobile", options="game.cfg",
                                set={"bExportAnimations": False})
    for warning in result.warnings:
        print(warning)

    scene = meshwright.load("robot.qef")
    for mesh in scene.meshes:
        print(mesh.vertex_count, mesh.positions().min(axis=0))

CONVERTING
    convert(src, dst=None, *, options=None, profile=None, set=None)
        Converts one scene file, as 'meshwright-cli convert' does, and gives
        the same bytes. Options are applied in the command line's order:
        the defaults, then the saved profile named by `profile` (as
        --profile), then `options` (as --options: a path to a profile text,
        generated header or scene file, or a dict of option names to
        values), then `set` (a dict, as --set NAME=VALUE, applied last).
        Without `dst` the scene file goes beside `src` with the suffix .qef;
        a `dst` ending in .h or .cpp writes C source unless `set` names
        eExpFormat. Post-export commands named in the options are not run.
        Returns a ConversionResult; raises ConversionError on failure.

        The conversion runs without the global interpreter lock, each with
        its own log, so conversions on several threads run side by side
        and give the same bytes as one after another.

OPTIONS
    default_options()
        The default options as a dict of name to value (bool, int, float or
        str), in the order of the options text.
    options_text(options)
        The whole options text (one NAME=VALUE line per option) of the
        defaults with `options` (a dict) applied: what a profile file or
        'meshwright-cli options' holds. options_text(default_options())
        is the text of the defaults.

READING SCENE FILES
    load(path_or_bytes)
        Reads a scene file (.qef) from a path or from bytes and returns a
        Scene: nodes with names, parents and world matrices at any frame,
        meshes whose channels are numpy arrays, materials, cameras, lights
        and the frame count. Raises ValueError for a file that is not a
        readable scene file.

    Matrices are 4x4 float32 arrays for row vectors: a point p in world
    space is [x, y, z, 1] @ M, the translation in the last row.

RESULT CODES
    0 success, 1 input not read, 2 processing failed, 3 writing failed,
    4 out of memory, 5 input is not a .dae, .gltf or .glb file,
    6 unexpected error in the import, 7 no scene in the document,
    64 options that cannot be applied (an unknown name, a missing file or
    profile), as for the command line.
"""

from __future__ import annotations

import os
from dataclasses import dataclass, field
from typing import Any, Dict, List, Mapping, Optional, Union

import numpy

from . import _meshwright
from ._meshwright import Channel, Mesh

__all__ = [
    "convert",
    "ConversionResult",
    "ConversionError",
    "default_options",
    "options_text",
    "load",
    "Scene",
    "Node",
    "Mesh",
    "Channel",
    "RESULT_CODES",
]

#: Result codes of a conversion and what each means.
RESULT_CODES = {
    0: "success",
    1: "input not read",
    2: "processing failed",
    3: "writing failed",
    4: "out of memory",
    5: "input is not a .dae, .gltf or .glb file",
    6: "unexpected error in the import",
    7: "no scene in the document",
    64: "options that cannot be applied",
}

_LEVEL_SUCCESS, _LEVEL_INFO, _LEVEL_WARNING, _LEVEL_ERROR = 0, 1, 2, 3

PathLike = Union[str, "os.PathLike[str]"]


@dataclass
class ConversionResult:
    """What one conversion did.

    code     -- the result code (0 for success; see RESULT_CODES)
    output   -- the scene file or C source written (or that would have been)
    written  -- every file written: the output and extra files (effects...)
    read     -- every file read: the input, options file and profile store
                first, then textures, effects... (a dependency file's data)
    warnings -- the warning lines of the log
    messages -- every line of the log as (level, text); levels 0 success,
                1 information, 2 warning, 3 error, 4 detail
    """

    code: int
    output: str
    written: List[str] = field(default_factory=list)
    read: List[str] = field(default_factory=list)
    warnings: List[str] = field(default_factory=list)
    messages: List[tuple] = field(default_factory=list)

    @property
    def errors(self) -> List[str]:
        """The error lines of the log."""
        # The log's own "Error: " is left out, as the command line prints it.
        return [text[7:] if text.startswith("Error: ") else text for level, text in self.messages if level == _LEVEL_ERROR]


class ConversionError(Exception):
    """A conversion that failed.

    code   -- the result code, as the command line's exit status (RESULT_CODES)
    errors -- the error lines of the log (at least one)
    result -- the whole ConversionResult
    """

    def __init__(self, result: ConversionResult):
        self.result = result
        self.code = result.code
        self.errors = result.errors or [RESULT_CODES.get(result.code, "failed")]
        super().__init__("; ".join(self.errors) + " (result %d: %s)" % (self.code, RESULT_CODES.get(self.code, "failed")))


def _option_value(value: Any) -> str:
    if isinstance(value, bool):
        return "1" if value else "0"
    return str(value)


def _option_lines(options: Optional[Mapping[str, Any]], what: str) -> List[str]:
    if options is None:
        return []
    if not isinstance(options, Mapping):
        raise TypeError("%s takes a dict of option names to values" % what)
    return ["%s=%s" % (name, _option_value(value)) for name, value in options.items()]


def convert(
    src: PathLike,
    dst: Optional[PathLike] = None,
    *,
    options: Union[PathLike, Mapping[str, Any], None] = None,
    profile: Optional[str] = None,
    set: Optional[Mapping[str, Any]] = None,
) -> ConversionResult:
    """Convert the scene file src into dst (a .qef, .h or .cpp file).

    Options apply in the command line's order: defaults, the saved `profile`,
    `options` (a path to an options file or a dict of names to values), then
    `set` (a dict, applied last). Without dst the scene file goes beside src
    with the suffix .qef. Returns a ConversionResult with the written paths,
    the warnings and the files read; raises ConversionError with the result
    code and the error lines when the conversion fails.
    """
    options_file = None
    option_lines: List[str] = []
    if isinstance(options, Mapping):
        option_lines = _option_lines(options, "options")
    elif options is not None:
        options_file = os.fspath(options)
    code, output, written, read, messages = _meshwright.convert(
        os.fspath(src),
        None if dst is None else os.fspath(dst),
        options_file,
        option_lines,
        profile,
        _option_lines(set, "set"),
    )
    # Lines as the command line prints them, without line ends.
    messages = [(level, text.rstrip("\r\n")) for level, text in messages]
    result = ConversionResult(
        code=code,
        output=output,
        written=list(written),
        read=list(read),
        warnings=[text for level, text in messages if level == _LEVEL_WARNING],
        messages=[(level, text) for level, text in messages],
    )
    if code != 0:
        raise ConversionError(result)
    return result


def default_options() -> Dict[str, Any]:
    """The default options: a dict of option name to value (bool, int, float or str)."""
    return _meshwright.default_options()


def options_text(options: Optional[Mapping[str, Any]] = None) -> str:
    """The options text of the defaults with `options` applied: one NAME=VALUE line per option.

    Raises ValueError naming the first entry that no option takes.
    """
    return _meshwright.options_text(_option_lines(options, "options_text"))


@dataclass
class Node:
    """One node of a scene file.

    index    -- its place in Scene.nodes
    name     -- its name
    parent   -- the index of its parent, -1 for a root
    kind     -- "mesh", "light", "camera" or "node"
    content  -- the index of its mesh, light or camera (by kind), else -1
    material -- the index of its material, -1 for none
    """

    index: int
    name: str
    parent: int
    kind: str
    content: int
    material: int


class Scene:
    """A scene file read by load().

    nodes             -- list of Node
    meshes            -- list of Mesh (channels as numpy arrays)
    materials         -- list of dicts: name, diffuse, ambient, specular,
                         shininess, opacity, diffuse_texture, texture_slots,
                         effect_file, effect
    textures          -- list of texture file names (materials index these)
    cameras           -- list of dicts: target, field_of_view (radians), near, far
    lights            -- list of dicts: target, type, colour, attenuation,
                         falloff_angle, falloff_exponent
    frame_count       -- frames of animation (0: none)
    frames_per_second -- playback rate when animated
    background, ambient -- RGB colours
    """

    def __init__(self, data: Dict[str, Any]):
        self._world = data.pop("world_matrices")
        self.nodes = [Node(**n) for n in data.pop("nodes")]
        self.meshes: List[Mesh] = data.pop("meshes")
        self.materials: List[Dict[str, Any]] = data.pop("materials")
        self.textures: List[str] = data.pop("textures")
        self.cameras: List[Dict[str, Any]] = data.pop("cameras")
        self.lights: List[Dict[str, Any]] = data.pop("lights")
        self.frame_count: int = data.pop("frame_count")
        self.frames_per_second: int = data.pop("frames_per_second")
        self.background = data.pop("background")
        self.ambient = data.pop("ambient")

    def world_matrices(self, frame: float = 0.0) -> numpy.ndarray:
        """The world matrix of every node at frame: a (nodes, 4, 4) float32 array (row vectors)."""
        return self._world(float(frame))

    def world_matrix(self, node: int, frame: float = 0.0) -> numpy.ndarray:
        """The world matrix of one node at frame: a 4x4 float32 array (row vectors)."""
        return self.world_matrices(frame)[node]

    def mesh_nodes(self) -> List[Node]:
        """The nodes that place meshes (Node.content is the mesh's index)."""
        return [n for n in self.nodes if n.kind == "mesh"]

    def __repr__(self) -> str:
        return "<Scene: %d nodes, %d meshes, %d materials, %d frames>" % (
            len(self.nodes),
            len(self.meshes),
            len(self.materials),
            self.frame_count,
        )


def load(path_or_bytes: Union[PathLike, bytes, bytearray, memoryview]) -> Scene:
    """Read a scene file from a path or from its bytes; raises ValueError when it cannot be read."""
    return Scene(_meshwright.load(path_or_bytes))
