#include "scene/ReadAll.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include <QFile>
#include <QFileInfo>

#include "base/MappedFile.h"
#include "base/Parallel.h"

namespace {

// Big files are read in pieces on every core: copying a few hundred
// megabytes out of the system's cache, into pages it must clear first,
// takes a core about as long as reading all the numbers in them.
constexpr qint64 kPieceBytes = qint64(16) << 20;

// Reads the file's `size` bytes in pieces side by side. False with *error
// set (an errno) when a read fails; false with *error 0 when the file is
// not `size` bytes long any more (then it is read again the plain way).
bool ReadInPieces(int fd, qint64 size, QByteArray* bytes, int* error)
{
    *error = 0;
    QByteArray data(size, Qt::Uninitialized);
    AdviseHugePages(data.data(), size_t(size));
    const size_t pieces = size_t((size + kPieceBytes - 1) / kPieceBytes);
    std::vector<int> errors(pieces, 0);
    std::vector<char> cut(pieces, 0);
    ParallelFor(pieces, [&](size_t i) {
        qint64 at = qint64(i) * kPieceBytes;
        const qint64 end = std::min(size, at + kPieceBytes);
        while (at < end) {
            const ssize_t n = pread(fd, data.data() + at, size_t(end - at), off_t(at));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                errors[i] = errno;
                return;
            }
            if (n == 0) {
                cut[i] = 1;
                return;
            }
            at += n;
        }
    });
    for (size_t i = 0; i < pieces; ++i) {
        if (errors[i]) {
            *error = errors[i];
            return false;
        }
        if (cut[i])
            return false;
    }
    // A file that grew while it was read is read again whole.
    char more;
    ssize_t n;
    do
        n = pread(fd, &more, 1, off_t(size));
    while (n < 0 && errno == EINTR);
    if (n != 0) {
        *error = n < 0 ? errno : 0;
        return false;
    }
    *bytes = std::move(data);
    return true;
}

} // namespace

bool ReadAll(const QString& path, QByteArray* bytes, QString* why)
{
    bytes->clear();
    const QFileInfo info(path);
    // A folder opens on some systems and then reads as nothing; a pipe or a
    // device could block or never end.
    if (info.exists() && !info.isFile()) {
        if (why)
            *why = info.isDir() ? QStringLiteral("it is a folder") : QStringLiteral("it is not a regular file");
        return false;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (why)
            *why = file.errorString();
        return false;
    }
    const qint64 size = file.size();
    if (size >= 2 * kPieceBytes && ParallelWorkers() > 1 && file.handle() >= 0) {
        int error = 0;
        if (ReadInPieces(file.handle(), size, bytes, &error))
            return true;
        if (error) {
            if (why)
                *why = qt_error_string(error);
            bytes->clear();
            return false;
        }
        file.seek(0);
    }
    *bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        if (why)
            *why = file.errorString();
        bytes->clear();
        return false;
    }
    return true;
}
