#include "gui/OutputWidget.h"

#include <QLayout>
#include <QProgressBar>
#include <QTextEdit>

COutputWidget::COutputWidget(QWidget* parent, Qt::WindowFlags flags) : QWidget(parent, flags)
{
    setObjectName(QStringLiteral("OutputWidgetClass"));
    resize(593, 435);
    setMinimumSize(0, 50);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::MinimumExpanding);
    setFocusPolicy(Qt::StrongFocus);
    setWindowTitle(tr("Form"));

    m_pLayout = new QVBoxLayout(this);
    m_pLayout->setObjectName(QStringLiteral("verticalLayout"));
    m_pLayout->setSpacing(0);
    m_pLayout->setContentsMargins(0, 0, 0, 0);

    m_pOutputLayout = new QVBoxLayout();
    m_pOutputLayout->setObjectName(QStringLiteral("OutputLayout"));
    m_pOutputLayout->setSpacing(0);
    m_pOutputLayout->setSizeConstraint(QLayout::SetMaximumSize);
    m_pLayout->addLayout(m_pOutputLayout);

    m_pText = new QTextEdit(this);
    m_pText->setObjectName(QStringLiteral("OutputTE"));
    m_pText->setReadOnly(true);
    m_pText->setUndoRedoEnabled(false);
    m_pText->setFrameShape(QFrame::Panel);
    m_pText->setFocusPolicy(Qt::StrongFocus);
    m_pText->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    m_pOutputLayout->addWidget(m_pText);

    m_pProgress = new QProgressBar(this);
    m_pProgress->setObjectName(QStringLiteral("OutputPB"));
    m_pProgress->setTextVisible(false);
    m_pProgress->setInvertedAppearance(false);
    m_pProgress->setAutoFillBackground(false);
    m_pProgress->setFocusPolicy(Qt::StrongFocus);
    m_pProgress->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    m_pOutputLayout->addWidget(m_pProgress);

    m_pProgress->setValue(0);
    m_pProgress->show();
}

COutputWidget::~COutputWidget() = default;

void COutputWidget::appendOutput(const char* pStr, EOutputType type)
{
    if (!pStr)
        return;
    // Messages are plain text (paths may hold "<" or "&"), so they are
    // escaped before they go into the rich-text log.
    const QString text = QString::fromUtf8(pStr).toHtmlEscaped();
    QString line;
    switch (type) {
    case eOutputWarning: line = QStringLiteral("<font color=\"Chocolate\">") + text + QStringLiteral("</font>"); break;
    case eOutputError: line = QStringLiteral("<font color=\"red\"><b>") + text + QStringLiteral("</b></font>"); break;
    case eOutputSuccess: line = QStringLiteral("<font color=\"Dark Green\">") + text + QStringLiteral("</font>"); break;
    case eOutputInfo:
    default: line = QStringLiteral("<font color=\"Black\">") + text + QStringLiteral("</font>"); break;
    }
    m_pText->append(line);
}

void COutputWidget::clearOutput()
{
    m_pText->clear();
    m_pProgress->setValue(0);
    m_pProgress->show();
}

void COutputWidget::setProgress(uint ui32Progress)
{
    m_pProgress->setValue(static_cast<int>(qMin(ui32Progress, 100u)));
    m_pProgress->setVisible(ui32Progress != 100);
}
