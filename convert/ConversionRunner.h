#pragma once
// Runs one conversion on its own worker thread and waits for it, handing every
// message to a callback on the calling thread in the order they were sent.
// The command line and the tests use it; the window wires its own thread.
#include <QString>

#include <functional>

#include "options/Options.h"

struct SConversionMessage {
    enum EKind { eSuccess = 0, eInfo = 1, eWarning = 2, eError = 3, eProgress = 5 };
    int kind = eInfo;
    int percent = 0; // progress messages only
    QString text;
};

using ConversionMessageSink = std::function<void(const SConversionMessage&)>;

// Needs a QCoreApplication. Returns the run's E2QEFErrorCodes value.
// recordExport false leaves the written file out of the exported-files list.
int RunConversionAndWait(const COptions& options, const QString& inputPath,
                         const ConversionMessageSink& sink = ConversionMessageSink(), bool recordExport = true);
