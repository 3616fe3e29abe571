#include "gui/MeshwrightStrings.h"

#include <atomic>
#include <vector>

namespace {

// British English, UTF-8, by id.
const char* const kBritishEnglish[CMeshwrightStrings::kStringCount] = {
    /*   0 */ "A0",
    /*   1 */ "A1",
    /*   2 */ "A2",
    /*   3 */ "A3",
    /*   4 */ "ARGB",
    /*   5 */ "Add position unpack matrix",
    /*   6 */ "Use scale and offset to improve accuracy of 8-bit and 16-bit vector types",
    /*   7 */ "Align vertex data (to 16-bits)",
    /*   8 */ "Align vertex data (to 32-bits)",
    /*   9 */ "Align vertex data (to 8-bits)",
    /*  10 */ "Pad the vertex data to the shown alignment (calculated based on the largest vector type)",
    /*  11 */ "Binormal",
    /*  12 */ "Bone indices",
    /*  13 */ "Bone weights",
    /*  14 */ "byte",
    /*  15 */ "byte, normalised",
    /*  16 */ "Co-ordinate system",
    /*  17 */ "DirectX",
    /*  18 */ "OpenGL",
    /*  19 */ "Cancel",
    /*  20 */ "Choose a file",
    /*  21 */ "Choose a working directory",
    /*  22 */ "Colour",
    /*  23 */ "[Current]",
    /*  24 */ "Current export options",
    /*  25 */ "D3DCOLOR",
    /*  26 */ "DEC3N",
    /*  27 */ "Data Type",
    /*  28 */ "Default Settings",
    /*  29 */ "Default export options",
    /*  30 */ "Delete profile",
    /*  31 */ "Are you sure you'd like to delete this profile?",
    /*  32 */ "Name",
    /*  33 */ "Enter Name",
    /*  34 */ "Export animations",
    /*  35 */ "Export node animation arrays",
    /*  36 */ "Export transformations as matrices",
    /*  37 */ "Export transformations as matrices",
    /*  38 */ "Export Geometry",
    /*  39 */ "Export the meshes - vertex and triangle data",
    /*  40 */ "Export mapping channels",
    /*  41 */ "Export mapping channels",
    /*  42 */ "Export materials",
    /*  43 */ "Export materials",
    /*  44 */ "Export skinning data",
    /*  45 */ "Export bone weights and indices for skinned meshes",
    /*  46 */ "Export user data",
    /*  47 */ "Enable the exporting of user data",
    /*  48 */ "File",
    /*  49 */ "All types (*.*)",
    /*  50 */ "All supported formats (*.qef;*.QEF)",
    /*  51 */ "All supported formats (*.dae;*.DAE;*.gltf;*.GLTF;*.glb;*.GLB)",
    /*  52 */ "Config files (*.cfg)",
    /*  53 */ "Collada files (*.dae;*.DAE)",
    /*  54 */ "Executable files (*.exe)",
    /*  55 */ "Executable files (*)",
    /*  56 */ "Mel files (*.mel)",
    /*  57 */ "MAXScript files (*.ms)",
    /*  58 */ "QEF scene files (*.qef;*.QEF;*.h;*.cpp)",
    /*  59 */ "QEF scene files [Binary] (*.qef;*.QEF)",
    /*  60 */ "QEF scene files [Source] (*.cpp)",
    /*  61 */ "QEF scene files [Header] (*.h)",
    /*  62 */ "Normal txt file (*.txt)",
    /*  63 */ "Exit",
    /*  64 */ "Export...",
    /*  65 */ "Open...",
    /*  66 */ "fixed 16.16",
    /*  67 */ "Flip V co-ordinate",
    /*  68 */ "Flip V of texture coordinates",
    /*  69 */ "float",
    /*  70 */ "Generate tangent-space",
    /*  71 */ "Calculate tangents and binormals for vertices; uses mapping channel 0",
    /*  72 */ "Geometry",
    /*  73 */ "Options that affect the export of geometry",
    /*  74 */ "Help",
    /*  75 */ "About Meshwright",
    /*  76 */ "Feedback...",
    /*  77 */ "Meshwright Help",
    /*  78 */ "QEF Specification",
    /*  79 */ "Improve position precision",
    /*  80 */ "Index animation data",
    /*  81 */ "Index the node animation arrays to potentially reduce the amount data",
    /*  82 */ "int",
    /*  83 */ "Interleave vertex data",
    /*  84 */ "Interleave vertex data: use Array of Structures rather than Structure of Arrays",
    /*  85 */ "Invert transparency",
    /*  86 */ "Invert the transparency of the materials",
    /*  87 */ "MAXScript file",
    /*  88 */ "MAXScript file to use to add user data to QEF nodes, materials and scene",
    /*  89 */ "Materials",
    /*  90 */ "Options that affect the export of materials",
    /*  91 */ "Matrix palette size",
    /*  92 */
    "Enter how large a palette of bones may be indexed into when rendering - e.g. 9 for OGLES 1.x and for OGLES 2.0 "
    "the maximum number of bone matrices supported by your shader",
    /*  93 */ "Mel file",
    /*  94 */ "Mel file to use to add user data to QEF nodes, materials and scene",
    /*  95 */ "Merge materials",
    /*  96 */ "Merge texture, effects and blending values from the overwritten or another .qef file",
    /*  97 */ "Source .qef file",
    /*  98 */ "No",
    /*  99 */ "Normal",
    /* 100 */ "OK",
    /* 101 */ "Open in scene viewer",
    /* 102 */ "Open the .qef file in the scene viewer after exporting",
    /* 103 */ "Open import file",
    /* 104 */ "Scene viewer path",
    /* 105 */ "Position",
    /* 106 */ "Post-export command-line",
    /* 107 */ "Command arguments",
    /* 108 */ "The arguments to pass to 'command'",
    /* 109 */ "Command",
    /* 110 */ "The command to run after export",
    /* 111 */ "Working directory",
    /* 112 */ "The working directory to run 'command' in.",
    /* 113 */ "Indexed triangle list",
    /* 114 */ "Indexed triangle strips",
    /* 115 */ "Triangle list",
    /* 116 */ "Triangle strips",
    /* 117 */ "Primitive Type",
    /* 118 */ "Profile:",
    /* 119 */ "Menu",
    /* 120 */ "Delete",
    /* 121 */ "Export to file",
    /* 122 */ "Import from file",
    /* 123 */ "Rename",
    /* 124 */ "Save As...",
    /* 125 */ "Set as",
    /* 126 */ "Profiles",
    /* 127 */ "The profiles are saved export options",
    /* 128 */ "RGBA",
    /* 129 */ "short",
    /* 130 */ "short, normalised",
    /* 131 */ "Sort vertices",
    /* 132 */ "Sort vertices to improve the performance of a vertex-read memory cache",
    /* 133 */ "Vertex cache order (meshoptimizer)",
    /* 134 */ "None",
    /* 135 */ "Geometry sort",
    /* 136 */ "Triangle strip order",
    /* 137 */ "Sorting method",
    /* 138 */ "Model space",
    /* 139 */ "World space",
    /* 140 */ "Static frame",
    /* 141 */ "Select a frame of animation to use as the base position of all objects when exporting in world space",
    /* 142 */ "Tangent",
    /* 143 */ "Transformations",
    /* 144 */ "Options that affect the export of transformations/animations",
    /* 145 */ "Triangle data optimisations",
    /* 146 */ "UBYTE4",
    /* 147 */ "UVW 0",
    /* 148 */ "UVW 1",
    /* 149 */ "UVW 2",
    /* 150 */ "UVW 3",
    /* 151 */ "UVW 4",
    /* 152 */ "UVW 5",
    /* 153 */ "UVW 6",
    /* 154 */ "UVW 7",
    /* 155 */ "unsigned byte",
    /* 156 */ "unsigned byte, normalised",
    /* 157 */ "unsigned int",
    /* 158 */ "unsigned short",
    /* 159 */ "unsigned short, normalised",
    /* 160 */ "Use custom optimisation settings",
    /* 161 */ "Use custom optimisation settings instead of letting Meshwright decide",
    /* 162 */ "User Options",
    /* 163 */ "Custom user export options",
    /* 164 */ "Vector",
    /* 165 */ "Vertex data optimisations",
    /* 166 */ "Vertex-splitting",
    /* 167 */ "Split a vertex if the DP3 of tangents/binormals are below this (range -1..1)",
    /* 168 */ "Yes",
    /* 169 */ "Scale to metres by the document's unit",
    /* 170 */ "Scale Collada scenes to metres by the unit their asset gives (glTF scenes are in metres already)",
    /* 171 */ "Copy Textures Beside Export",
    /* 172 */ "Copy the image files a scene refers to beside the exported file",
};

static_assert(eTextCopyTexturesTip + 1 == CMeshwrightStrings::kStringCount, "every entry has a name");

const char* const* const kLanguages[CMeshwrightStrings::eLanguageCount] = {kBritishEnglish};
const char* const kLanguageNames[CMeshwrightStrings::eLanguageCount] = {"British English"};

std::atomic<int> g_language{CMeshwrightStrings::eBritishEnglish};

// The QStrings are built once, on first use.
const std::vector<QString>& Table(int language)
{
    static const std::vector<std::vector<QString>> tables = [] {
        std::vector<std::vector<QString>> all(CMeshwrightStrings::eLanguageCount);
        for (int l = 0; l < CMeshwrightStrings::eLanguageCount; ++l) {
            all[l].reserve(CMeshwrightStrings::kStringCount);
            for (int i = 0; i < CMeshwrightStrings::kStringCount; ++i)
                all[l].push_back(QString::fromUtf8(kLanguages[l][i]));
        }
        return all;
    }();
    return tables[language];
}

bool ValidLanguage(int language)
{
    return language >= 0 && language < CMeshwrightStrings::eLanguageCount;
}

} // namespace

void CMeshwrightStrings::SetLanguage(ELanguages language)
{
    if (ValidLanguage(language))
        g_language = language;
}

CMeshwrightStrings::ELanguages CMeshwrightStrings::Language()
{
    return static_cast<ELanguages>(g_language.load());
}

const char* CMeshwrightStrings::LanguageName(ELanguages language)
{
    return ValidLanguage(language) ? kLanguageNames[language] : "";
}

QString CMeshwrightStrings::Text(int id, ELanguages language)
{
    if (!ValidLanguage(language) || id < 0 || id >= kStringCount)
        return QString();
    return Table(language)[id];
}

QString UIText(int id)
{
    return CMeshwrightStrings::Text(id, CMeshwrightStrings::Language());
}
