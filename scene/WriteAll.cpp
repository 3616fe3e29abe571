#include "scene/WriteAll.h"

#include <QIODevice>

bool WriteAll(QIODevice& device, const void* data, size_t n, QString* why)
{
    const char* p = static_cast<const char*>(data);
    while (n > 0) {
        const qint64 written = device.write(p, qint64(n));
        if (written <= 0) {
            if (why)
                *why = device.errorString();
            return false;
        }
        p += written;
        n -= size_t(written);
    }
    return true;
}
