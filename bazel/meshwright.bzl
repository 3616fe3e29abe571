"""Converting scenes with meshwright-cli in a Bazel build.

In WORKSPACE:

    local_repository(name = "meshwright", path = "<meshwright checkout>/bazel")
    load("@meshwright//:meshwright.bzl", "meshwright_cli_repository")
    meshwright_cli_repository(name = "meshwright_cli")

In a BUILD file:

    load("@meshwright//:meshwright.bzl", "meshwright_scene", "meshwright_scenes")

    meshwright_scene(
        name = "hero",                       # writes hero.qef
        src = "art/hero.gltf",
        data = ["art/hero.bin"],             # every other file the conversion reads
        options = "art/mobile.cfg",
        set = {"bTangentSpace": "1"},
    )

Each scene is one action, "MeshwrightConvert": meshwright-cli convert with a
dependency file, which the action checks against what the rule declares, so
that the action's key (its declared inputs) covers everything the output
depends on and a remote cache or executor can share it between machines.
"""

_FORMATS = ["qef", "h", "cpp"]

def _meshwright_scene_impl(ctx):
    src = ctx.file.src
    out = ctx.actions.declare_file("%s.%s" % (ctx.label.name, ctx.attr.format))
    effects = []
    for name in ctx.attr.effects:
        if "/" in name or not name.endswith(".qdl"):
            fail("effects lists the names of effect files (NAME.qdl, written beside the scene file), not '%s'" % name)
        effects.append(ctx.actions.declare_file(name, sibling = out))

    inputs = [src] + ctx.files.data
    if ctx.file.options:
        inputs.append(ctx.file.options)

    args = ctx.actions.args()
    args.add(str(ctx.label))
    args.add(out)
    args.add(len(inputs))
    args.add_all(inputs)
    args.add(len(effects))
    args.add_all(effects)
    args.add(ctx.executable.converter)
    args.add("convert")
    args.add(src)
    args.add("-o", out)
    if ctx.file.options:
        args.add("--options", ctx.file.options)
    for key, value in ctx.attr.set.items():
        args.add("--set", "%s=%s" % (key, value))
    args.add("--quiet")

    ctx.actions.run(
        executable = ctx.executable._convert,
        arguments = [args],
        inputs = inputs,
        tools = [ctx.attr.converter[DefaultInfo].files_to_run],
        outputs = [out] + effects,
        mnemonic = "MeshwrightConvert",
        progress_message = "Converting scene %s" % src.short_path,
        # The same on every machine: part of the action's key.
        env = {"PATH": "/usr/bin:/bin", "LC_ALL": "C.UTF-8"},
        use_default_shell_env = False,
    )
    return [DefaultInfo(files = depset([out] + effects))]

meshwright_scene = rule(
    implementation = _meshwright_scene_impl,
    doc = """Converts one scene file into NAME.FORMAT (a QEF scene file or C source).

The action fails, naming the file, when the conversion reads a file that is
not src, options or in data, or writes an effect file not named in effects.""",
    attrs = {
        "src": attr.label(
            mandatory = True,
            allow_single_file = True,
            doc = "The scene: a Collada (.dae) or glTF (.gltf, .glb) file.",
        ),
        "data": attr.label_list(
            allow_files = True,
            doc = "Every other file the conversion reads: external glTF buffers, a material-merge scene.",
        ),
        "options": attr.label(
            allow_single_file = True,
            doc = "An options file (profile text, generated header or scene file), as --options.",
        ),
        "set": attr.string_dict(doc = "Options set after the options file, as --set NAME=VALUE."),
        "format": attr.string(default = "qef", values = _FORMATS, doc = "qef, h or cpp."),
        "effects": attr.string_list(
            doc = "The effect files (NAME.qdl) that the scene's GLSL materials write beside the scene file.",
        ),
        "converter": attr.label(
            default = "@meshwright_cli//:meshwright-cli",
            executable = True,
            cfg = "exec",
            allow_files = True,
            doc = "The meshwright-cli program.",
        ),
        "_convert": attr.label(
            default = Label("//:convert.sh"),
            executable = True,
            cfg = "exec",
            allow_single_file = True,
        ),
    },
)

def _base_name(src):
    name = src.split(":")[-1].split("/")[-1]
    return name.rpartition(".")[0] if "." in name else name

def meshwright_scenes(name, srcs, options = None, set = {}, data = [], effects = {}, format = "qef", converter = None, **kwargs):
    """Converts many scene files into NAME/BASE.FORMAT, one meshwright_scene NAME/BASE each.

    Args:
      name: the filegroup of every output; the folder the outputs are written to.
      srcs: the scene files.
      options: an options file for every scene (a change converts every scene again).
      set: options set after the options file, for every scene.
      data: the other files the conversions read: a list for every scene, or a
        dict from a source (as written in srcs) to its own list.
      effects: a dict from a source to the effect files its GLSL materials write.
      format: qef, h or cpp.
      converter: the meshwright-cli program (default: @meshwright_cli).
      **kwargs: common attributes (visibility, tags) of every target.
    """
    for key in (data.keys() if type(data) == "dict" else []) + effects.keys():
        if key not in srcs:
            fail("meshwright_scenes %s: '%s' is not in srcs" % (name, key))
    writer = {}
    scenes = []
    for src in srcs:
        base = _base_name(src)
        if base in writer:
            fail("meshwright_scenes %s: '%s' and '%s' would both be written to %s/%s.%s" %
                 (name, writer[base], src, name, base, format))
        writer[base] = src
        meshwright_scene(
            name = "%s/%s" % (name, base),
            src = src,
            options = options,
            set = set,
            data = data.get(src, []) if type(data) == "dict" else data,
            effects = effects.get(src, []),
            format = format,
            converter = converter,
            **kwargs
        )
        scenes.append(":%s/%s" % (name, base))
    native.filegroup(name = name, srcs = scenes, **kwargs)

def _meshwright_cli_repository_impl(rctx):
    program = rctx.os.environ.get("MESHWRIGHT_CLI", "")
    if program:
        if not program.startswith("/"):
            fail("MESHWRIGHT_CLI must be an absolute path, not '%s'" % program)
        path = rctx.path(program)
        if not path.exists:
            fail("MESHWRIGHT_CLI names '%s', which does not exist (build it with " % program +
                 "'cmake --build build --target meshwright-cli', or install Meshwright)")
    else:
        path = rctx.which("meshwright-cli")
        if path == None:
            fail("meshwright-cli not found: set MESHWRIGHT_CLI to the program " +
                 "(bazel build --repo_env=MESHWRIGHT_CLI=/path/to/meshwright-cli ...) or put it on the PATH")
    result = rctx.execute([path, "--version"])
    if result.return_code != 0:
        fail("'%s' does not run (exit %d): %s%s" % (path, result.return_code, result.stdout, result.stderr))
    rctx.symlink(path, "meshwright-cli")
    rctx.file("BUILD.bazel", "\n".join([
        "# %s: %s" % (path, result.stdout.strip()),
        'exports_files(["meshwright-cli"], visibility = ["//visibility:public"])',
        "",
    ]))

meshwright_cli_repository = repository_rule(
    implementation = _meshwright_cli_repository_impl,
    doc = """A repository holding meshwright-cli as prebuilt: the program named by the
environment variable MESHWRIGHT_CLI (an absolute path), else the one on the PATH.""",
    environ = ["MESHWRIGHT_CLI", "PATH"],
    local = True,
)
