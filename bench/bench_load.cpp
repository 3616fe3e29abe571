// Loading one scene from memory as a .qef through qef/ and as a .glb through
// tinygltf (Debian's libtinygltf-dev), several times each.
//
// Usage: bench_load SCENE.qef SCENE.glb [--repeat N]
//
// Steps, each the median of N runs (the files are read into memory first):
//   qef walk      qef_measure: the block structure, sizing the tables
//   qef load      qef_load: the walk, one allocation, and the pass that checks
//                 every block, count, offset and index while filling the tables
//   qef decode    the positions of every mesh to floats and the triangles to a
//                 32-bit list, through the helpers (what a renderer might do next)
//   gltf load     tinygltf::TinyGLTF::LoadBinaryFromMemory
// The last line is "qef/tinygltf load time ratio R": qef load / gltf load.
#include <tiny_gltf.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include <qef/qef.h>

namespace {

using Clock = std::chrono::steady_clock;

std::vector<unsigned char> ReadFile(const char* path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Median seconds of n runs of f.
double Median(int n, const std::function<bool()>& f)
{
    std::vector<double> t;
    for (int i = 0; i < n; ++i) {
        const auto start = Clock::now();
        if (!f()) {
            std::fprintf(stderr, "a run failed\n");
            std::exit(1);
        }
        t.push_back(std::chrono::duration<double>(Clock::now() - start).count());
    }
    std::sort(t.begin(), t.end());
    return t[t.size() / 2];
}

void Line(const char* step, double seconds, size_t bytes)
{
    std::printf("%-12s %9.3f ms  %8.2f GB/s of file\n", step, seconds * 1e3, double(bytes) / seconds / 1e9);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s SCENE.qef SCENE.glb [--repeat N]\n", argv[0]);
        return 64;
    }
    int repeat = 9;
    if (argc >= 5 && std::strcmp(argv[3], "--repeat") == 0)
        repeat = std::max(1, std::atoi(argv[4]));
    const std::vector<unsigned char> qefBytes = ReadFile(argv[1]);
    const std::vector<unsigned char> glbBytes = ReadFile(argv[2]);
    if (qefBytes.empty() || glbBytes.empty()) {
        std::fprintf(stderr, "cannot read %s or %s\n", argv[1], argv[2]);
        return 1;
    }

    qef_error error;
    qef_scene* scene = nullptr;
    if (qef_load(qefBytes.data(), qefBytes.size(), nullptr, &scene, &error) != QEF_OK) {
        std::fprintf(stderr, "%s: %s\n", argv[1], error.message);
        return 1;
    }
    uint64_t triangles = 0, vertices = 0;
    for (uint32_t m = 0; m < scene->mesh_count; ++m) {
        triangles += scene->meshes[m].triangle_count;
        vertices += scene->meshes[m].vertex_count;
    }
    std::printf("%s: %.1f MB, %u meshes, %llu triangles, %llu vertices, %u nodes, %u frames\n", argv[1],
                double(qefBytes.size()) / 1e6, scene->mesh_count, (unsigned long long)triangles,
                (unsigned long long)vertices, scene->node_count, scene->frame_count);
    qef_free(scene);

    size_t need = 0;
    const double walk = Median(
        repeat, [&] { return qef_measure(qefBytes.data(), qefBytes.size(), nullptr, &need, nullptr) == QEF_OK; });
    const double load = Median(repeat, [&] {
        qef_scene* s = nullptr;
        const bool ok = qef_load(qefBytes.data(), qefBytes.size(), nullptr, &s, nullptr) == QEF_OK;
        qef_free(s);
        return ok;
    });
    std::vector<float> positions;
    std::vector<uint32_t> list;
    qef_load(qefBytes.data(), qefBytes.size(), nullptr, &scene, nullptr);
    const double decode = Median(repeat, [&] {
        for (uint32_t m = 0; m < scene->mesh_count; ++m) {
            const qef_mesh& mesh = scene->meshes[m];
            positions.resize(size_t(mesh.vertex_count) * 3);
            list.resize(size_t(mesh.triangle_count) * 3);
            if (mesh.vertex_count &&
                qef_decode(&mesh.position, 0, mesh.vertex_count, 3, mesh.unpack_matrix, positions.data()) != QEF_OK)
                return false;
            if (qef_triangle_list(&mesh, list.data(), list.size()) != QEF_OK)
                return false;
        }
        return true;
    });
    qef_free(scene);

    tinygltf::TinyGLTF loader;
    const double gltf = Median(repeat, [&] {
        tinygltf::Model model;
        std::string err, warn;
        return loader.LoadBinaryFromMemory(&model, &err, &warn, glbBytes.data(), unsigned(glbBytes.size()));
    });

    std::printf("%s: %.1f MB; tables %zu bytes\n", argv[2], double(glbBytes.size()) / 1e6, need);
    Line("qef walk", walk, qefBytes.size());
    Line("qef load", load, qefBytes.size());
    Line("qef decode", decode, qefBytes.size());
    Line("gltf load", gltf, glbBytes.size());
    std::printf("qef/tinygltf load time ratio %.4f\n", load / gltf);
    return 0;
}
