#include "prefs/ZGXPreferencesImpl.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QString>

#include <cerrno>
#include <cstring>
#include <mutex>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

const char kZGXPrefEmptyFrame[] = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                  "<!DOCTYPE plist PUBLIC \"-//Apple Computer//DTD PLIST 1.0//EN\" "
                                  "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
                                  "<plist version=\"1.0\">\n"
                                  "<dict>\n"
                                  "</dict>\n"
                                  "</plist>\n";

const char kZGXPrefVendorFolder[] = "Meshwright";

namespace {

std::mutex g_baseMutex;
CZGXTString g_baseFolder[2];

// Longest store name, in characters.
constexpr int kMaxNameChars = 1024;

QByteArray Native(const CZGXTString& path)
{
    return QFile::encodeName(QString::fromUtf8(path.data(), int(path.size())));
}

CZGXTString StandardBase(int location)
{
    const QString user = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    if (location == 0)
        return user.toUtf8().toStdString();
    // All users: the first system-wide configuration folder.
    for (const QString& dir : QStandardPaths::standardLocations(QStandardPaths::GenericConfigLocation))
        if (dir != user)
            return dir.toUtf8().toStdString();
    return "/etc/xdg";
}

bool IsRegularFile(std::FILE* f)
{
    struct stat st;
    return fstat(fileno(f), &st) == 0 && S_ISREG(st.st_mode);
}

// Creates the store file with the empty frame unless a file of that name
// exists already; an existing file is never truncated.
void CreateEmptyStore(const QByteArray& path)
{
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0)
        return;
    const size_t size = sizeof(kZGXPrefEmptyFrame) - 1;
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, kZGXPrefEmptyFrame + done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += size_t(n);
    }
    ::close(fd);
}

void SyncFolder(const QByteArray& filePath)
{
    const int slash = filePath.lastIndexOf('/');
    const QByteArray folder = slash > 0 ? filePath.left(slash) : QByteArray("/");
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

void HashBytes(uint32_t& hash, uint64_t value, int bytes)
{
    // FNV-1a, least significant byte first.
    for (int i = 0; i < bytes; ++i) {
        hash ^= uint32_t(value >> (8 * i) & 0xff);
        hash *= 16777619u;
    }
}

} // namespace

CZGXTString CZGXPreferencesPosix::StoreFolder(int location)
{
    if (location != 0 && location != 1)
        return CZGXTString();
    CZGXTString base;
    {
        std::lock_guard<std::mutex> lock(g_baseMutex);
        base = g_baseFolder[location];
    }
    if (base.empty())
        base = StandardBase(location);
    if (base.empty())
        return CZGXTString();
    return QDir::cleanPath(QString::fromUtf8(base.c_str()) + QLatin1Char('/') + QLatin1String(kZGXPrefVendorFolder))
        .toUtf8()
        .toStdString();
}

void CZGXPreferencesPosix::SetBaseFolder(int location, const CZGXTString& folder)
{
    if (location != 0 && location != 1)
        return;
    std::lock_guard<std::mutex> lock(g_baseMutex);
    g_baseFolder[location] = folder;
}

CZGXTString CZGXPreferencesPosix::StorePath(const CZGXTString& name, int location)
{
    // The name is one file name: nothing that could reach another folder.
    if (name.empty() || name == "." || name == ".." || name.find_first_of(CZGXTString("/\\\0", 3)) != CZGXTString::npos)
        return CZGXTString();
    if (QString::fromUtf8(name.data(), int(name.size())).size() > kMaxNameChars)
        return CZGXTString();
    const CZGXTString folder = StoreFolder(location);
    if (folder.empty())
        return CZGXTString();
    return folder + "/" + name + ".plist";
}

std::unique_ptr<SZGXPrefStream> CZGXPreferencesPosix::OpenStream(const CZGXTString& name, bool forWriting, int location,
                                                                 bool useTemporary)
{
    const CZGXTString path = StorePath(name, location);
    if (path.empty())
        return nullptr;
    const QByteArray nativePath = Native(path);
    const QString folder = QString::fromUtf8(StoreFolder(location).c_str());
    auto stream = std::make_unique<SZGXPrefStream>();
    stream->path = path;
    stream->forWriting = forWriting;

    if (forWriting) {
        QDir().mkpath(folder);
        if (useTemporary) {
            // A unique temporary name: two programs saving the same store at
            // once must not write into each other's file.
            QByteArray templ = nativePath + ".tmp.XXXXXX";
            const int fd = ::mkostemp(templ.data(), O_CLOEXEC);
            if (fd < 0)
                return nullptr;
            stream->file = ::fdopen(fd, "wb");
            if (!stream->file) {
                ::close(fd);
                ::unlink(templ.constData());
                return nullptr;
            }
            stream->tempPath = QFile::decodeName(templ).toUtf8().toStdString();
        } else {
            stream->file = std::fopen(nativePath.constData(), "wb");
            if (!stream->file)
                return nullptr;
        }
        return stream;
    }

    stream->file = std::fopen(nativePath.constData(), "rbe");
    if (!stream->file) {
        QDir().mkpath(folder);
        CreateEmptyStore(nativePath);
        stream->file = std::fopen(nativePath.constData(), "rbe");
    }
    if (!stream->file)
        return nullptr;
    if (!IsRegularFile(stream->file)) {
        std::fclose(stream->file);
        return nullptr;
    }
    return stream;
}

bool CZGXPreferencesPosix::CloseStream(std::unique_ptr<SZGXPrefStream> stream, bool commit)
{
    if (!stream || !stream->file)
        return false;
    bool ok = true;
    if (stream->forWriting) {
        // The data must be on disk before the rename makes it the store.
        ok = std::fflush(stream->file) == 0 && ::fsync(fileno(stream->file)) == 0;
        if (commit && ok && !stream->tempPath.empty()) {
            struct stat st;
            const mode_t mode = ::stat(Native(stream->path).constData(), &st) == 0 ? (st.st_mode & 07777) : 0644;
            ::fchmod(fileno(stream->file), mode);
        }
    }
    if (std::fclose(stream->file) != 0)
        ok = false;
    stream->file = nullptr;
    if (!stream->forWriting || stream->tempPath.empty())
        return ok;

    const QByteArray temp = Native(stream->tempPath);
    if (commit && ok) {
        // rename() replaces the store in one step: a crash leaves the old
        // file or the new one, never neither.
        const QByteArray path = Native(stream->path);
        if (::rename(temp.constData(), path.constData()) == 0) {
            SyncFolder(path);
            return true;
        }
        ok = false;
    }
    ::unlink(temp.constData());
    return ok && !commit;
}

bool CZGXPreferencesPosix::GetStamp(const CZGXTString& name, int location, uint32_t& stamp)
{
    const CZGXTString path = StorePath(name, location);
    struct stat st;
    if (path.empty() || ::stat(Native(path).constData(), &st) != 0)
        return false;
    // Seconds alone would miss a rewrite within the same second, and a
    // replacement by rename shows in the file's serial number.
    uint32_t hash = 2166136261u;
    HashBytes(hash, uint64_t(st.st_mtim.tv_sec), 8);
    HashBytes(hash, uint64_t(st.st_mtim.tv_nsec), 4);
    HashBytes(hash, uint64_t(st.st_size), 8);
    HashBytes(hash, uint64_t(st.st_ino), 8);
    stamp = hash;
    return true;
}

bool CZGXPreferencesPosix::KeepCopy(const CZGXTString& name, int location, const char* suffix)
{
    const CZGXTString path = StorePath(name, location);
    if (path.empty())
        return false;
    const QString from = QString::fromUtf8(path.c_str());
    const QString to = from + QString::fromUtf8(suffix);
    if (!QFile::exists(from))
        return true;
    QFile::remove(to);
    return QFile::copy(from, to);
}
