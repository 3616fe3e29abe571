#include "convert/ConverterObject.h"

#include "convert/Convert.h"

namespace {
const int kRegisterMetaType = qRegisterMetaType<E2QEFErrorCodes>("E2QEFErrorCodes");
} // namespace

CConverterObject::CConverterObject(const COptions& options, const QString& inputPath, QObject* parent,
                                   const SImportSettings& settings)
    : QObject(parent), m_options(options), m_inputPath(inputPath), m_settings(settings)
{
    (void)kRegisterMetaType;
}

CConverterObject::~CConverterObject() = default;

void CConverterObject::LogMessage(int level, const char* text)
{
    // Paths on this platform are UTF-8, so messages are read as UTF-8.
    const QString message = QString::fromUtf8(text);
    switch (level) {
    case eLogSuccess: emit conversionSuccess(message); break;
    case eLogInfo: emit conversionInfo(message); break;
    case eLogWarning: emit conversionWarning(message); break;
    case eLogError: emit conversionError(message); break;
    default: break; // detail lines are formatted and dropped
    }
}

void CConverterObject::LogProgress(int percent, const char* text)
{
    emit progressUpdated(percent, QString::fromUtf8(text));
}

void CConverterObject::start()
{
    m_result = Convert(m_inputPath.toUtf8().toStdString(), m_options, this, m_settings).code;
    emit finished(static_cast<E2QEFErrorCodes>(m_result));
    emit finished();
}
