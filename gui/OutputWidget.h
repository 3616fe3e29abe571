#pragma once
// The output pane: one coloured rich-text line per message of a conversion
// and a progress bar under it. Passive; the window feeds it.
#include <QWidget>

#include "base/ConversionLog.h"

class QProgressBar;
class QTextEdit;
class QVBoxLayout;

class COutputWidget : public QWidget {
    Q_OBJECT
public:
    explicit COutputWidget(QWidget* parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());
    ~COutputWidget() override;

    QTextEdit* TextEdit() const { return m_pText; }
    QProgressBar* ProgressBar() const { return m_pProgress; }

public slots:
    // Appends pStr (UTF-8) as one line of the given kind; nothing for null.
    void appendOutput(const char* pStr, EOutputType type);
    void clearOutput();
    // The bar is shown while the value is not 100.
    void setProgress(uint ui32Progress);

private:
    QVBoxLayout* m_pLayout = nullptr;
    QVBoxLayout* m_pOutputLayout = nullptr;
    QTextEdit* m_pText = nullptr;
    QProgressBar* m_pProgress = nullptr;
};
