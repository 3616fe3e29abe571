// The loader alone: measure, load into the caller's memory, and load through
// an allocator; both loads must agree.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include <qef/qef.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    size_t need = 0;
    qef_error error;
    const qef_result measured = qef_measure(data, size, nullptr, &need, &error);
    qef_scene* scene = nullptr;
    const qef_result loaded = qef_load(data, size, nullptr, &scene, &error);
    if (measured != QEF_OK && loaded == QEF_OK)
        std::abort(); // the structural walk refuses less than the load
    if (measured == QEF_OK) {
        std::vector<std::max_align_t> memory(need / sizeof(std::max_align_t) + 1);
        qef_scene* into = nullptr;
        const qef_result r = qef_load_into(data, size, nullptr, memory.data(), need, &into, &error);
        if ((r == QEF_OK) != (loaded == QEF_OK))
            std::abort();
        if (r == QEF_OK && (into->mesh_count != scene->mesh_count || into->node_count != scene->node_count))
            std::abort();
    }
    qef_free(scene);
    return 0;
}
