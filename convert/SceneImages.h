#pragma once
// Images that travel with the scene: those held in the document are written
// beside the output under the names its materials record; those the document
// refers to are copied there when asked. A different file of that name is
// never replaced: the image takes a free name instead, and its materials with
// it. Every file written is noted (base/FileTrace.h).
#include <string>

struct SImportScene;

// Places the images of scene in folder; copyExternal copies image files too.
// A missing or unreadable image is one warning naming its first material and
// its path; nothing here fails the conversion.
void PlaceSceneImages(SImportScene& scene, const std::string& folder, bool copyExternal);
