#pragma once
#include <QStringList>

// "inspect FILE.qef [--json]": prints what a scene file holds. Arguments
// exclude the command word. Exit status 0, 1 for a file that cannot be read
// or breaks a rule of the format, 64 for wrong arguments.
int RunInspect(const QStringList& args);
