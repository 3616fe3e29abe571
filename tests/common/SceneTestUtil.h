#pragma once
// Helpers of the scene tests: raw little-endian file bytes written by hand,
// scenes with every record kind, and a flat walk over a file's blocks.
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "scene/Scene.h"
#include "scene/SceneRead.h"

class QTemporaryDir;

// Builds file bytes block by block, exactly as the format lays them out.
class CQefBytes {
public:
    CQefBytes& U32(uint32_t v);
    CQefBytes& I32(int32_t v) { return U32(uint32_t(v)); }
    CQefBytes& F32(float v);
    CQefBytes& Raw(const std::string& bytes);
    CQefBytes& Raw(const void* p, size_t n);

    CQefBytes& Begin(uint32_t tag, uint32_t length = 0) { return U32(tag).U32(length); }
    CQefBytes& End(uint32_t tag) { return U32(tag | 0x80000000u).U32(0); }
    CQefBytes& LeafU32(uint32_t tag, uint32_t v) { return Begin(tag, 4).U32(v).End(tag); }
    CQefBytes& LeafI32(uint32_t tag, int32_t v) { return LeafU32(tag, uint32_t(v)); }
    CQefBytes& LeafF32s(uint32_t tag, std::initializer_list<float> v);
    CQefBytes& LeafF32s(uint32_t tag, const float* v, size_t n);
    CQefBytes& LeafU32s(uint32_t tag, const std::vector<uint32_t>& v);
    CQefBytes& LeafString(uint32_t tag, const std::string& s); // with its NUL
    CQefBytes& LeafBytes(uint32_t tag, const std::string& bytes);
    CQefBytes& Version(); // the 1000 block

    const std::string& str() const { return m_bytes; }
    size_t size() const { return m_bytes.size(); }

private:
    std::string m_bytes;
};

// One block header found by a flat walk over a file (group starts have length
// 0, so walking header by header visits every block at every depth).
struct SBlockRef {
    size_t offset; // of the start header
    uint32_t tag;
    uint32_t length;
};
std::vector<SBlockRef> FindBlocks(const std::string& file, uint32_t tag);

uint32_t GetU32(const std::string& bytes, size_t offset);
void SetU32(std::string& bytes, size_t offset, uint32_t v);

// A channel with its own data; values hold n values per vertex (plain types)
// or the values of one packed element.
SVertexChannel ChannelOf(uint32_t type, uint32_t n, uint32_t vertices, const std::vector<float>& values);
SVertexChannel IndexChannel(uint32_t type, const std::vector<uint32_t>& indices);
// Moves the mesh's channels into one interleaved block (zeros in the gaps).
void InterleaveForTest(SSceneMesh& mesh, const std::vector<std::pair<SVertexChannel*, uint32_t>>& offsets,
                       uint32_t stride);

// A scene with every record kind: three meshes (separate channels with bone
// batches, strips with 32-bit indices, interleaved with padding), animation
// with and without index arrays, all light types, cameras, materials with
// effects and user data.
SScene MakeFullScene();

// The whole scene from a file image in memory, with its animation cache, as
// LoadSceneFile reads a file; 0 on success, 1 on failure.
int ReadSceneBytes(const std::string& bytes, SScene* scene, CZGXTString* error);

// A unique path in a fresh temporary folder that lives as long as the test.
class CTempDir {
public:
    CTempDir();
    ~CTempDir();
    std::string Path(const std::string& name) const;
    const std::string& Dir() const { return m_dir; }

private:
    std::unique_ptr<QTemporaryDir> m_tmp;
    std::string m_dir;
};
