#pragma once
// Turns the primitives of an instanced geometry into triangle-list mesh data
// of node records: one position, normal, colour and texture-coordinate entry
// per corner.
#include <cstdint>
#include <vector>

#include "scene/ImportScene.h"

struct SColladaImport;
class CDAEObject;
class CEl_Geometry;
class CEl_Instance_material;
class CEl_Node;
class CEl_Triangles;

// Builds nodes[recordIndex] (one primitive) or one "-submesh<i>" child record
// per primitive appended after it, whose indices join node's mesh records.
// False, after an error message, when the geometry has no primitive. skin is
// the skin controller of an instance_controller, or null (static mesh).
bool BuildGeometryInstance(SColladaImport& im, CEl_Geometry& geometry, int32_t recordIndex, CEl_Node& node,
                           std::vector<SImportNode>& nodes, const std::vector<CEl_Instance_material*>& materials,
                           const CDAEObject* skin);

// Mesh data of one primitive into record, which holds none yet. Long
// primitives are read in pieces on all cores; the record, and the warnings,
// are those of reading the corners one by one. A mesh without normals gets
// smooth ones when the options export normals.
bool BuildPrimitiveMesh(SColladaImport& im, CEl_Triangles& primitive, float unitScale, SImportNode& record,
                        const std::vector<CEl_Instance_material*>& materials, const CDAEObject* skin);
