#pragma once
// The scene files a conversion reads, told apart by their file-name suffix.
#include <QString>

enum EImportFormat {
    eImportFormatNone = 0, // not a scene file this program reads
    eImportFormatCollada,  // .dae
    eImportFormatGltf,     // .gltf, .glb
};

// The format of a file by the text after the last dot of its name, compared
// without regard to case; a name without a dot is no scene file.
EImportFormat ImportFormatOf(const QString& fileName);

// Open-dialog filter of the glTF suffixes.
QString GltfFileFilter();
