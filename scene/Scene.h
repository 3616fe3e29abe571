#pragma once
// The exportable scene. Filled in with the scene model.
struct SScene {
};
