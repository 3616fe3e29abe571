#pragma once
// Watch mode: the scenes converted once, then again whenever their input or
// a file they all depend on (the options file) changes, until SIGINT or
// SIGTERM.
#include <QStringList>

#include <functional>
#include <vector>

#include "cli/BatchConvert.h"
#include "convert/ScenePlan.h"

// Converts every job of plan(), then watches. Changes are collected for a
// short while (an editor writes a file in several steps, or saves to another
// name and renames it over the old one) and each changed scene is converted
// again; a change of a file in shared converts them all. plan() is asked
// again after each change, so a scene file added to a folder given as input
// is converted too; folders lists those folders. One log line per
// conversion. Returns 0 once interrupted.
int RunWatch(const std::function<std::vector<SSceneJob>()>& plan, const QStringList& folders, const QStringList& shared,
             const SBatchSettings& settings);
