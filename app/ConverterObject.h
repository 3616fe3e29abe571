#pragma once
// One conversion run: import, process, write, record. Created on the GUI
// thread, moved to a worker thread, started by the thread's start signal.
#include <QObject>
#include <QString>

#include <atomic>

#include "options/Options.h"

enum E2QEFErrorCodes : int32_t {
    E2QEF_SUCCESS = 0,
    E2QEF_READ_FAILED = 1,
    E2QEF_PROCESS_FAILED = 2,
    E2QEF_WRITE_FAILED = 3,
    E2QEF_OUT_OF_MEMORY = 4,
    E2QEF_NOT_COLLADA = 5,
    E2QEF_EXCEPTION = 6,
    E2QEF_NO_SCENE = 7,
};

class CConverterObject : public QObject {
    Q_OBJECT
public:
    CConverterObject(const COptions& options, const QString& inputPath, QObject* parent = nullptr);
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
    int Run();

    COptions m_options;
    QString m_inputPath;
    int m_result = -1;
};

// The converter that receives log messages; set and cleared by the converter
// itself on construction and destruction.
extern std::atomic<CConverterObject*> g_pActiveConverter;

Q_DECLARE_METATYPE(E2QEFErrorCodes)
