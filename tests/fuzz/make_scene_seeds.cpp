// Writes seed scene files for fuzz_scene into the folder given: the scene of
// the scene tests with every record kind, a texts-only file and an empty scene.
#include <cstdio>
#include <string>
#include <vector>

#include "SceneTestUtil.h"
#include "options/Options.h"
#include "scene/SceneWrite.h"

namespace {

bool Save(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 64;
    }
    const std::string dir = argv[1];
    const std::string options = COptionsData().ToText();
    std::vector<uint8_t> bytes;
    int failed = 0;
    failed |= WriteSceneFileToMemory(MakeFullScene(), "bIndexed=0\nbExportSkin=1\n", "history", &bytes) ||
              !Save(dir + "/full.qef", bytes);
    failed |= WriteSceneFileToMemory(SScene(), options.c_str(), "Meshwright 2.12 | 3.0@2149614", &bytes) ||
              !Save(dir + "/texts.qef", bytes);
    failed |= WriteSceneFileToMemory(SScene(), nullptr, nullptr, &bytes) || !Save(dir + "/empty.qef", bytes);
    return failed ? 1 : 0;
}
