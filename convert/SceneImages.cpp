#include "convert/SceneImages.h"

#include <QByteArray>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>

#include "base/ConversionLog.h"
#include "base/FileTrace.h"
#include "scene/ImportScene.h"
#include "scene/ReadAll.h"

namespace {

// Names tried after the recorded one: "wood-1.png", "wood-2.png"...
constexpr int kMaxOtherNames = 99;

// A plain file name from a name the document gives: no folders, nothing a
// file system refuses.
QString SafeFileName(const std::string& name)
{
    QString s = QString::fromStdString(name);
    for (QChar& c : s)
        if (c.unicode() < 0x20 || QStringLiteral("/\\:*?\"<>|").contains(c))
            c = QLatin1Char('_');
    if (s.isEmpty() || s == QLatin1String(".") || s == QLatin1String(".."))
        s = QStringLiteral("image");
    return s;
}

QString OtherName(const QString& name, int n)
{
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    const QString suffix = QStringLiteral("-%1").arg(n);
    return dot > 0 ? name.left(dot) + suffix + name.mid(dot) : name + suffix;
}

enum EPlaced { ePlacedWritten, ePlacedSame, ePlacedTaken, ePlacedFailed };

// Puts bytes at path unless a different file is there. A file that already
// holds the same bytes is left as it is, dated now, so a build tool sees it
// made by this conversion.
EPlaced PlaceBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        const bool ok = file.write(bytes) == bytes.size() && file.flush();
        file.close();
        if (!ok) {
            file.remove();
            return ePlacedFailed;
        }
        return ePlacedWritten;
    }
    const QFileInfo info(path);
    if (!info.exists())
        return ePlacedFailed;
    QByteArray existing;
    if (!info.isFile() || info.size() != bytes.size() || !ReadAll(path, &existing, nullptr) || existing != bytes)
        return ePlacedTaken;
    if (file.open(QIODevice::Append))
        file.setFileTime(QDateTime::currentDateTimeUtc(), QFileDevice::FileModificationTime);
    return ePlacedSame;
}

const std::string& FirstMaterial(const SImportScene& scene, const SImportImage& image)
{
    static const std::string kNone;
    for (const auto& use : image.uses)
        if (use.first >= 0 && size_t(use.first) < scene.materials.size())
            return scene.materials[size_t(use.first)].name;
    return kNone;
}

void Place(SImportScene& scene, SImportImage& image, const QDir& folder, bool copyExternal)
{
    if (!image.embedded && !copyExternal)
        return;
    const char* material = FirstMaterial(scene, image).c_str();
    QByteArray bytes;
    if (image.embedded) {
        bytes = QByteArray(reinterpret_cast<const char*>(image.bytes.data()), qsizetype(image.bytes.size()));
    } else {
        const QString source = QString::fromStdString(image.path);
        // An image already beside the output is where the scene looks.
        if (QFileInfo(source).absoluteFilePath() ==
            QFileInfo(folder.filePath(SafeFileName(image.name))).absoluteFilePath())
            return;
        QString why = QStringLiteral("there is no such file");
        if (!QFileInfo::exists(source) || !ReadAll(source, &bytes, &why)) {
            ConversionLog(eLogWarning,
                          "Warning: Material '%s' names the image '%s', which cannot be read (%s): it is not copied.",
                          material, image.path.c_str(), why.toUtf8().constData());
            return;
        }
        NoteFileRead(image.path);
    }
    if (image.embedded && bytes.isEmpty()) {
        ConversionLog(eLogWarning,
                      "Warning: Material '%s' names the image '%s', which holds no readable data: it is not written.",
                      material, image.reference.c_str());
        return;
    }
    const QString wanted = SafeFileName(image.name);
    for (int n = 0; n <= kMaxOtherNames; ++n) {
        const QString name = n == 0 ? wanted : OtherName(wanted, n);
        const QString path = folder.filePath(name);
        const EPlaced placed = PlaceBytes(path, bytes);
        if (placed == ePlacedTaken)
            continue;
        if (placed == ePlacedFailed) {
            ConversionLog(eLogWarning, "Warning: The image '%s' of material '%s' cannot be written.",
                          path.toUtf8().constData(), material);
            return;
        }
        NoteFileWritten(path.toStdString());
        const std::string recorded = name.toStdString();
        if (recorded != image.name) {
            if (n > 0)
                ConversionLog(eLogWarning,
                              "Warning: '%s' holds another image, so the image of material '%s' is written as '%s'.",
                              folder.filePath(wanted).toUtf8().constData(), material, recorded.c_str());
            for (const auto& use : image.uses)
                if (use.first >= 0 && size_t(use.first) < scene.materials.size())
                    scene.materials[size_t(use.first)].textures[use.second] = recorded;
            image.name = recorded;
        }
        return;
    }
    ConversionLog(eLogWarning, "Warning: The image '%s' of material '%s' is not written: every name for it is taken.",
                  wanted.toUtf8().constData(), material);
}

} // namespace

void PlaceSceneImages(SImportScene& scene, const std::string& folder, bool copyExternal)
{
    if (scene.images.empty())
        return;
    const QDir dir(QString::fromStdString(folder));
    for (SImportImage& image : scene.images)
        Place(scene, image, dir, copyExternal);
}
