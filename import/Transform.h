#pragma once
// The transform block of a node record, whatever the input format.
#include "scene/ImportScene.h"

// Splits a local matrix into a transform block: the parts by affine
// decomposition, the matrix as given (with an affine last column).
SImportTransform DecomposeTransform(const SMatrix44& local);
