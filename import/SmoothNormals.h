#pragma once
// Normals for a mesh that has none.
#include "scene/ImportScene.h"

// Gives every corner of the record's triangles a smooth normal: the sum of
// the face normals (cross products, so each face weighs by its area) of all
// triangles that touch a corner at exactly the same position, normalised.
// Replaces the record's normals and the triangles' normal indices (one
// normal per distinct position). A position whose faces all vanish gets
// (0, 1, 0). Linear in the corner count (hashed positions).
void ComputeSmoothNormals(SImportNode& record);

// A mesh read without normals while normals are exported: one warning that
// names it, then ComputeSmoothNormals. One mesh without normals leaves the
// others theirs.
void MendMissingNormals(SImportNode& record);
