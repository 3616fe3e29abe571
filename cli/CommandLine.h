#pragma once
#include <QStringList>

// Exit status of a call whose words are wrong.
constexpr int kExitUsage = 64;

// Runs the command line; arguments exclude the program name.
int RunCommandLine(const QStringList& args);
