#pragma once
// Reading an input file whole, or learning why not.
#include <QByteArray>
#include <QString>

// Reads the regular file at path into *bytes. False with *why set to the
// system's reason ("Permission denied", "Is a directory", "Input/output
// error") when it cannot be opened or a read fails part-way; a file cut
// short by a read error is never handed on as if it were whole.
bool ReadAll(const QString& path, QByteArray* bytes, QString* why);
