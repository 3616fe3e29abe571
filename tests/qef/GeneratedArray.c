/* A scene compiled in as generated source of format 1 (an array and its
 * size), loaded from memory where it is. Built as C99 and as C++. */
#include <qef/qef.h>
#include <stdio.h>

#include "textured_box.h"

int main(void)
{
    qef_scene* scene = NULL;
    qef_error error;
    if (qef_load(_textured_box_qef, (size_t)_textured_box_qef_size, NULL, &scene, &error) != QEF_OK) {
        printf("refused: %s\n", error.message);
        return 1;
    }
    if (scene->mesh_count == 0 || scene->file_data != (const void*)_textured_box_qef) {
        printf("unexpected scene\n");
        return 1;
    }
    printf("embedded scene: %u meshes, %u triangles in mesh 0\n", scene->mesh_count, scene->meshes[0].triangle_count);
    qef_free(scene);
    return 0;
}
