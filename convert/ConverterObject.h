#pragma once
// One conversion run for the window's worker thread: created on the GUI
// thread, moved to a worker thread, started by the thread's start signal. It
// runs Convert() and turns its messages into signals.
#include <QObject>
#include <QString>

#include "base/ConversionLog.h"
#include "base/ResultCodes.h"
#include "options/Options.h"
#include "scene/I2QEF.h"

class CConverterObject : public QObject, public ILogSink {
    Q_OBJECT
public:
    CConverterObject(const COptions& options, const QString& inputPath, QObject* parent = nullptr,
                     const SImportSettings& settings = SImportSettings());
    ~CConverterObject() override;

    const COptions& Options() const { return m_options; }
    const QString& InputPath() const { return m_inputPath; }
    // Result of the last run; -1 before it has ended.
    int Result() const { return m_result; }

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
    void LogMessage(int level, const char* text) override;
    void LogProgress(int percent, const char* text) override;

    COptions m_options;
    QString m_inputPath;
    SImportSettings m_settings;
    int m_result = -1;
};

Q_DECLARE_METATYPE(E2QEFErrorCodes)
