#include "convert/DepFile.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#include "base/OutputPath.h"

namespace {

QString ShownPath(const QString& path)
{
    const QString clean = QDir::cleanPath(path);
    if (!QFileInfo(clean).isAbsolute())
        return clean;
    const QString relative = QDir::current().relativeFilePath(clean);
    return relative.startsWith(QLatin1String("..")) ? clean : relative;
}

// Make reads "\ " as a space, "\#" as '#' and "$$" as '$'; a backslash is
// literal unless it comes before one of those (so a backslash before a space
// is doubled).
QByteArray Escaped(const QString& path)
{
    const QByteArray bytes = ShownPath(path).toUtf8();
    QByteArray out;
    out.reserve(bytes.size() + 8);
    for (int i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (c == ' ') {
            for (int j = i - 1; j >= 0 && bytes[j] == '\\'; --j)
                out += '\\';
            out += "\\ ";
        } else if (c == '#') {
            out += "\\#";
        } else if (c == '$') {
            out += "$$";
        } else {
            out += c;
        }
    }
    return out;
}

bool Writable(const QStringList& paths, QString* error)
{
    for (const QString& p : paths) {
        if (p.contains(QLatin1Char('\n')) || p.contains(QLatin1Char('\r'))) {
            *error = QStringLiteral("a dependency file cannot name '%1' (a line break in the path)").arg(p);
            return false;
        }
    }
    return true;
}

} // namespace

QByteArray DepFileText(const std::vector<SDepRule>& rules, QString* error)
{
    QByteArray text;
    for (const SDepRule& rule : rules) {
        if (rule.outputs.isEmpty())
            continue;
        if (!Writable(rule.outputs, error) || !Writable(rule.inputs, error))
            return QByteArray();
        for (int i = 0; i < rule.outputs.size(); ++i) {
            if (i)
                text += ' ';
            text += Escaped(rule.outputs[i]);
        }
        text += ':';
        for (const QString& input : rule.inputs) {
            text += " \\\n  ";
            text += Escaped(input);
        }
        text += '\n';
    }
    return text;
}

bool WriteDepFile(const QString& path, const std::vector<SDepRule>& rules, QString* error)
{
    const QByteArray text = DepFileText(rules, error);
    if (!error->isEmpty())
        return false;
    const QByteArray native = QFile::encodeName(path);
    if (!IsReplaceableOutput(native.constData())) {
        *error = QStringLiteral("cannot write the dependency file '%1': it exists and is not a regular file").arg(path);
        return false;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit()) {
        *error = QStringLiteral("cannot write the dependency file '%1': %2").arg(path, file.errorString());
        return false;
    }
    return true;
}
