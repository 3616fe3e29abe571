#pragma once
// The block tags live with the loader, the lowest layer.
#include "qef/SceneFileFormat.h"
