# Meshwright scene export for Blender: File > Export > Meshwright scene (.qef, .h).
#
# The scene goes out through Blender's own glTF exporter into a temporary
# .glb, which meshwright-cli converts into a QEF scene file or C header.
# Written against the operator and property API that Blender 3.4 to 5.x keep.

bl_info = {
    "name": "Meshwright scene export",
    "author": "The Meshwright developers",
    "version": (2, 12, 0),
    "blender": (3, 4, 0),
    "location": "File > Export > Meshwright scene (.qef, .h)",
    "description": "Exports the scene through glTF and meshwright-cli into a QEF scene file or C header",
    "category": "Import-Export",
}

import os
import shutil
import subprocess
import tempfile

import bpy
from bpy.props import BoolProperty, StringProperty
from bpy_extras.io_utils import ExportHelper

CLI_NAME = "meshwright-cli"


class MeshwrightExportPreferences(bpy.types.AddonPreferences):
    bl_idname = __name__

    cli_path: StringProperty(
        name="meshwright-cli",
        description="The meshwright-cli program; empty: found on PATH",
        subtype="FILE_PATH",
        default="",
    )

    def draw(self, context):
        self.layout.prop(self, "cli_path")


def find_cli(context):
    """The converter: the preferences' path when set, else meshwright-cli on PATH."""
    addon = context.preferences.addons.get(__name__)
    path = addon.preferences.cli_path if addon else ""
    if path:
        path = bpy.path.abspath(path)
        return path if os.path.isfile(path) else None
    return shutil.which(CLI_NAME)


def converter_arguments(glb, output, profile, options_file, sets):
    """The words of one `meshwright-cli convert` call."""
    args = ["convert", glb, "-o", output, "--quiet"]
    if profile:
        args.append("--profile=" + profile)
    if options_file:
        args.append("--options=" + options_file)
    for name, value in sets:
        args.append("--set=%s=%s" % (name, value))
    return args


def read_messages(text):
    """The converter's warning and error lines (without their prefixes)."""
    warnings, errors = [], []
    for line in text.splitlines():
        line = line.strip()
        if line.startswith("warning: "):
            text = line[len("warning: "):]
            # Some log lines carry their own "Warning: ".
            warnings.append(text[len("Warning: "):] if text.startswith("Warning: ") else text)
        elif line.startswith("error: "):
            errors.append(line[len("error: "):])
        elif line.startswith("meshwright-cli: "):
            errors.append(line[len("meshwright-cli: "):])
    return warnings, errors


class ExportMeshwrightScene(bpy.types.Operator, ExportHelper):
    """Export the scene as a Meshwright scene file (.qef) or C header (.h)"""

    bl_idname = "export_scene.qef"
    bl_label = "Export Meshwright scene"
    bl_options = {"PRESET"}

    filename_ext = ".qef"
    filter_glob: StringProperty(default="*.qef;*.h", options={"HIDDEN"})

    # What Blender's glTF exporter writes.
    use_selection: BoolProperty(name="Selected Objects", description="Export the selected objects only", default=False)
    export_apply: BoolProperty(name="Apply Modifiers", description="Apply the modifiers (except armatures)", default=True)
    export_animations: BoolProperty(name="Animation", description="Export the animation", default=True)

    # How meshwright-cli converts it.
    profile: StringProperty(
        name="Profile", description="A profile saved in Meshwright's window (empty: none)", default=""
    )
    options_file: StringProperty(
        name="Options File",
        description="An options file (profile text, generated header or scene file); empty: none",
        subtype="FILE_PATH",
        default="",
    )
    set_common: BoolProperty(
        name="Set Options Here",
        description="Apply the options below after the profile and options file; "
        "off: the profile and options file decide",
        default=True,
    )
    export_skin: BoolProperty(name="Skin", description="Export skinning (bone indices and weights)", default=True)
    tangent_space: BoolProperty(name="Tangent Space", description="Export tangents and binormals", default=False)
    world_space: BoolProperty(
        name="World Space", description="Write vertices in world space instead of model space", default=False
    )
    keep_gltf: BoolProperty(
        name="Keep glTF",
        description="Keep the intermediate .glb beside the output (for checking the conversion)",
        default=False,
    )

    def check(self, context):
        # A .h name is kept; anything else becomes .qef.
        path = self.filepath
        if path.lower().endswith(".h") or path.lower().endswith(".qef"):
            return False
        return ExportHelper.check(self, context)

    def draw(self, context):
        layout = self.layout
        layout.use_property_split = True
        layout.use_property_decorate = False
        box = layout.box()
        box.label(text="Include")
        box.prop(self, "use_selection")
        box.prop(self, "export_apply")
        box.prop(self, "export_animations")
        box = layout.box()
        box.label(text="Meshwright")
        box.prop(self, "profile")
        box.prop(self, "options_file")
        box.prop(self, "set_common")
        col = box.column()
        col.enabled = self.set_common
        col.prop(self, "export_skin")
        col.prop(self, "tangent_space")
        col.prop(self, "world_space")
        box.prop(self, "keep_gltf")

    def common_sets(self):
        if not self.set_common:
            return []
        flag = lambda b: "1" if b else "0"
        return [
            ("bExportSkin", flag(self.export_skin)),
            ("bExportAnimations", flag(self.export_animations)),
            ("bTangentSpace", flag(self.tangent_space)),
            ("bExportModelSpace", flag(not self.world_space)),
        ]

    def execute(self, context):
        cli = find_cli(context)
        if not cli:
            self.report({"ERROR"}, "meshwright-cli not found: put it on PATH or set it in the add-on's preferences")
            return {"CANCELLED"}
        output = bpy.path.abspath(self.filepath)
        options_file = bpy.path.abspath(self.options_file) if self.options_file else ""
        with tempfile.TemporaryDirectory(prefix="meshwright-") as folder:
            stem = os.path.splitext(os.path.basename(output))[0] or "scene"
            glb = os.path.join(folder, stem + ".glb")
            try:
                result = bpy.ops.export_scene.gltf(
                    filepath=glb,
                    export_format="GLB",
                    use_selection=self.use_selection,
                    export_apply=self.export_apply,
                    export_animations=self.export_animations,
                    export_skins=True,
                    export_yup=True,
                )
            except (RuntimeError, TypeError) as e:
                self.report({"ERROR"}, "the glTF export failed: %s" % e)
                return {"CANCELLED"}
            if "FINISHED" not in result or not os.path.isfile(glb):
                self.report({"ERROR"}, "the glTF export wrote no file")
                return {"CANCELLED"}
            if self.keep_gltf:
                shutil.copyfile(glb, os.path.splitext(output)[0] + ".glb")
            args = converter_arguments(glb, output, self.profile, options_file, self.common_sets())
            try:
                run = subprocess.run([cli] + args, capture_output=True, text=True, errors="replace")
            except OSError as e:
                self.report({"ERROR"}, "cannot run %s: %s" % (cli, e))
                return {"CANCELLED"}
        warnings, errors = read_messages(run.stderr)
        for w in warnings:
            self.report({"WARNING"}, w)
        if run.returncode != 0:
            message = "; ".join(errors) or "meshwright-cli failed with exit status %d" % run.returncode
            self.report({"ERROR"}, message)
            return {"CANCELLED"}
        self.report({"INFO"}, "Wrote %s" % output)
        return {"FINISHED"}


def menu_func_export(self, context):
    self.layout.operator(ExportMeshwrightScene.bl_idname, text="Meshwright scene (.qef, .h)")


classes = (MeshwrightExportPreferences, ExportMeshwrightScene)


def register():
    for cls in classes:
        bpy.utils.register_class(cls)
    bpy.types.TOPBAR_MT_file_export.append(menu_func_export)


def unregister():
    bpy.types.TOPBAR_MT_file_export.remove(menu_func_export)
    for cls in reversed(classes):
        bpy.utils.unregister_class(cls)
