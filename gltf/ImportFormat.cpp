#include "gltf/ImportFormat.h"

#include <QFileInfo>

EImportFormat ImportFormatOf(const QString& fileName)
{
    const QString name = QFileInfo(fileName).fileName();
    if (!name.contains(QLatin1Char('.')))
        return eImportFormatNone;
    const QString suffix = name.section(QLatin1Char('.'), -1);
    if (suffix.compare(QLatin1String("dae"), Qt::CaseInsensitive) == 0)
        return eImportFormatCollada;
    if (suffix.compare(QLatin1String("gltf"), Qt::CaseInsensitive) == 0 ||
        suffix.compare(QLatin1String("glb"), Qt::CaseInsensitive) == 0)
        return eImportFormatGltf;
    return eImportFormatNone;
}

QString GltfFileFilter()
{
    return QStringLiteral("glTF files (*.gltf;*.GLTF;*.glb;*.GLB)");
}
