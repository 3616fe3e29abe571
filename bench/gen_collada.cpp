// Writes a large Collada document for the import and conversion benchmarks.
// Usage: gen_collada OUTPUT.dae [triangles|polylist|corners|skinned] [MIN_TRIANGLES] [rows|oneline]
//   oneline writes every array on one line, as many exporters do: a
//   1,000,000-triangle polylist grid (gen_collada grid.dae polylist 1000000
//   oneline, about 90 MB) has lines of 10 MB and more.
//   corners and skinned are the documents of BigBenchDocuments.h (always one
//   line per array): a grid with every corner's own values (1,000,000
//   triangles: about 300 MB) and a skinned, animated grid as Blender writes it.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "BigBenchDocuments.h"
#include "ColladaBenchDocument.h"

int main(int argc, char** argv)
{
    if (argc < 2 || argc > 5) {
        std::fprintf(stderr,
                     "Usage: %s OUTPUT.dae [triangles|polylist|corners|skinned] [MIN_TRIANGLES] [rows|oneline]\n",
                     argv[0]);
        return 64;
    }
    const bool polylist = argc > 2 && std::strcmp(argv[2], "polylist") == 0;
    const bool corners = argc > 2 && std::strcmp(argv[2], "corners") == 0;
    const bool skinned = argc > 2 && std::strcmp(argv[2], "skinned") == 0;
    if (argc > 2 && !polylist && !corners && !skinned && std::strcmp(argv[2], "triangles") != 0) {
        std::fprintf(stderr, "%s: the kind is 'triangles', 'polylist', 'corners' or 'skinned'\n", argv[0]);
        return 64;
    }
    const long long triangles = argc > 3 ? std::atoll(argv[3]) : 1000000;
    if (triangles < 2) {
        std::fprintf(stderr, "%s: at least 2 triangles\n", argv[0]);
        return 64;
    }
    const bool oneLine = argc > 4 && std::strcmp(argv[4], "oneline") == 0;
    if (argc > 4 && !oneLine && std::strcmp(argv[4], "rows") != 0) {
        std::fprintf(stderr, "%s: the layout is 'rows' or 'oneline'\n", argv[0]);
        return 64;
    }
    const bool written = corners   ? WriteCornerGridDocument(argv[1], triangles)
                         : skinned ? WriteSkinnedDocument(argv[1], triangles)
                                   : WriteColladaBenchDocument(argv[1], polylist, triangles, oneLine);
    if (!written) {
        std::fprintf(stderr, "%s: cannot write %s\n", argv[0], argv[1]);
        return 1;
    }
    return 0;
}
