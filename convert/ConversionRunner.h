#pragma once
// Convert() for callers that take messages as values: every message is handed
// to a callback on the calling thread, in the order it was sent.
#include <QString>

#include <functional>

#include "options/Options.h"
#include "scene/I2QEF.h"

struct SConversionMessage {
    enum EKind { eSuccess = 0, eInfo = 1, eWarning = 2, eError = 3, eProgress = 5 };
    int kind = eInfo;
    int percent = 0; // progress messages only
    QString text;
};

using ConversionMessageSink = std::function<void(const SConversionMessage&)>;

struct SConvertResult;

// Runs one conversion on the calling thread; returns its E2QEFErrorCodes
// value. result, when given, receives the whole result (files read and
// written included).
int RunConversion(const COptions& options, const QString& inputPath,
                  const ConversionMessageSink& sink = ConversionMessageSink(), SConvertResult* result = nullptr,
                  const SImportSettings& settings = SImportSettings());
