/* The loader's header as a C99 program sees it, and a C program that loads
 * a scene given on the command line and prints its counts. */
#include <qef/qef.h>
#include <stdio.h>

int main(int argc, char** argv)
{
    qef_scene* scene = NULL;
    qef_error error;
    float world[16];
    uint32_t m;
    if (argc < 2)
        return 2;
    if (qef_load_file(argv[1], NULL, &scene, &error) != QEF_OK) {
        printf("refused: %s\n", error.message);
        return 1;
    }
    printf("meshes %u nodes %u\n", scene->mesh_count, scene->node_count);
    for (m = 0; m < scene->mesh_count; ++m) {
        float p[3] = {0, 0, 0};
        if (scene->meshes[m].vertex_count)
            qef_decode(&scene->meshes[m].position, 0, 1, 3, scene->meshes[m].unpack_matrix, p);
        printf("mesh %u: %u vertices, first at %g %g %g\n", m, scene->meshes[m].vertex_count, p[0], p[1], p[2]);
    }
    if (scene->node_count && qef_world_matrix(scene, 0, 0.0f, world) == QEF_OK)
        printf("node 0 at %g %g %g\n", world[12], world[13], world[14]);
    qef_free(scene);
    return 0;
}
