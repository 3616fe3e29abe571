#pragma once
// The one place where the Python module reads a scene file: from a path or
// from the bytes of one. Everything load() returns is built from the scene
// this gives, so another reader can take its place here alone.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct SScene;

// The scene read from path, or from bytes when path is null. Null with the
// reason in *error when the file cannot be read as a scene file.
std::shared_ptr<SScene> ReadSceneData(const std::string* path, const std::vector<uint8_t>& bytes, std::string* error);
