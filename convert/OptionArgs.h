#pragma once
// The options of one conversion as a caller names them: defaults, then a
// saved profile, then an options file (or its lines given directly), then
// single settings, in that order. The command line and the Python module
// build their options through these, so both give the same precedence and
// the same messages.
#include <QString>
#include <QStringList>

#include <string>
#include <vector>

class COptions;
class COptionsData;

struct SOptionArgs {
    QString profile;
    bool profileGiven = false;
    QString file;          // an options file (profile text, generated header, scene file)
    QStringList fileLines; // "NAME=VALUE" lines in place of the file
    QStringList sets;      // "NAME=VALUE" lines applied last
    bool expFormatSet = false;
};

// Applies the saved profile, the options file (or its lines) and the single
// settings, in that order; returns an error text or empty.
QString ApplyOptionArgs(const SOptionArgs& in, COptionsData& options);

// The options of a conversion into output: a .h or .cpp output writes C
// source unless eExpFormat was set; the post-export command and viewer run
// only when asked for (a pipeline must not start programs named in an
// options file it was handed).
void SetConversionOutput(COptions& options, const QString& output, bool expFormatSet, bool postExport);

// Every file a conversion of input read, given what the run itself noted:
// the profile store, the options file and the input first (read before the
// run), then the rest in the order read.
std::vector<std::string> FilesRead(const SOptionArgs& in, const QString& input, const std::vector<std::string>& read);
