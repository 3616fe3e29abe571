#pragma once
// One conversion run: import, process, write, record. Created on the GUI
// thread, moved to a worker thread, started by the thread's start signal.
#include <QObject>
#include <QString>

#include <atomic>

#include "base/ConversionLog.h"
#include "base/ResultCodes.h"
#include "options/Options.h"

class I2QEF;
struct SImportScene;

// While it exists, the converter is where the message log goes (the log's
// sink): each message becomes one of its signals.
class CConverterObject : public QObject, public ILogSink {
    Q_OBJECT
public:
    CConverterObject(const COptions& options, const QString& inputPath, QObject* parent = nullptr);
    ~CConverterObject() override;

    const COptions& Options() const { return m_options; }
    const QString& InputPath() const { return m_inputPath; }
    // Result of the last run; -1 before it has ended.
    int Result() const { return m_result; }
    // Whether a written file joins the list of exported files (on unless
    // turned off: a build's many conversions are not the user's exports).
    void SetRecordExport(bool record) { m_recordExport = record; }

signals:
    void finished(E2QEFErrorCodes res);
    void finished();
    void progressUpdated(int progress, QString update);
    void conversionWarning(QString msg);
    void conversionError(QString msg);
    void conversionInfo(QString msg);
    void conversionSuccess(QString msg);

public slots:
    void start();

private:
    int Run();
    // The import step; an exception leaving it ends the run with its reason.
    int Import(I2QEF& importer, SImportScene& scene);
    void LogMessage(int level, const char* text) override;
    void LogProgress(int percent, const char* text) override;

    COptions m_options;
    QString m_inputPath;
    int m_result = -1;
    int m_errorLines = 0; // red lines of the current run
    bool m_recordExport = true;
};

// The converter that receives log messages; set and cleared by the converter
// itself on construction and destruction.
extern std::atomic<CConverterObject*> g_pActiveConverter;

Q_DECLARE_METATYPE(E2QEFErrorCodes)
