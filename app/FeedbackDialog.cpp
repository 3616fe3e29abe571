#include "app/FeedbackDialog.h"

#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QVBoxLayout>

#include "base/Version.h"

namespace {

QLabel* LinkLabel(const QString& name, QWidget* parent)
{
    QLabel* label = new QLabel(parent);
    label->setObjectName(name);
    label->setTextFormat(Qt::RichText);
    label->setTextInteractionFlags(Qt::TextBrowserInteraction);
    label->setOpenExternalLinks(false);
    return label;
}

QString Anchor(const QString& href, const QString& text)
{
    return QStringLiteral("<a href=\"%1\">%2</a>").arg(href.toHtmlEscaped(), text.toHtmlEscaped());
}

} // namespace

CFeedbackDialog::CFeedbackDialog(const QString& product, const QString& version, QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("FeedbackClass"));
    const QString build = QString::fromLatin1(MW_VERSION_STRING).section(QStringLiteral(" | "), 1);
    m_requiredText = product + QStringLiteral(" ") + version + QStringLiteral(" (build ") + build + QStringLiteral(")");

    QVBoxLayout* layout = new QVBoxLayout(this);

    QGroupBox* forum = new QGroupBox(this);
    forum->setObjectName(QStringLiteral("ForumGroup"));
    QVBoxLayout* forumLayout = new QVBoxLayout(forum);
    m_pForumLabel = new QLabel(forum);
    m_pForumLabel->setObjectName(QStringLiteral("ForumLabel"));
    m_pForumLabel->setWordWrap(true);
    m_pForumURL = LinkLabel(QStringLiteral("ForumURL"), forum);
    forumLayout->addWidget(m_pForumLabel);
    forumLayout->addWidget(m_pForumURL);
    layout->addWidget(forum);

    QGroupBox* support = new QGroupBox(this);
    support->setObjectName(QStringLiteral("SupportGroup"));
    QVBoxLayout* supportLayout = new QVBoxLayout(support);
    m_pSupportEmailLabel = new QLabel(support);
    m_pSupportEmailLabel->setObjectName(QStringLiteral("SupportEmailLabel"));
    m_pSupportEmailLabel->setWordWrap(true);
    m_pSupportEmail = LinkLabel(QStringLiteral("SupportEmail"), support);
    supportLayout->addWidget(m_pSupportEmailLabel);
    supportLayout->addWidget(m_pSupportEmail);
    layout->addWidget(support);

    QGroupBox* required = new QGroupBox(this);
    required->setObjectName(QStringLiteral("RequiredGroup"));
    QVBoxLayout* requiredLayout = new QVBoxLayout(required);
    m_pRequiredTextLabel = new QLabel(required);
    m_pRequiredTextLabel->setObjectName(QStringLiteral("RequiredTextLabel"));
    m_pRequiredText = new QPlainTextEdit(m_requiredText, required);
    m_pRequiredText->setObjectName(QStringLiteral("RequiredText"));
    m_pRequiredText->setReadOnly(true);
    m_pRequiredText->setMaximumHeight(60);
    m_pSelectAndCopyLabel = new QLabel(required);
    m_pSelectAndCopyLabel->setObjectName(QStringLiteral("SelectAndCopyLabel"));
    requiredLayout->addWidget(m_pRequiredTextLabel);
    requiredLayout->addWidget(m_pRequiredText);
    requiredLayout->addWidget(m_pSelectAndCopyLabel);
    layout->addWidget(required);

    m_pButtons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    m_pButtons->setObjectName(QStringLiteral("ButtonBox"));
    layout->addWidget(m_pButtons);

    connect(m_pForumURL, &QLabel::linkActivated, this, &CFeedbackDialog::launchLink);
    connect(m_pSupportEmail, &QLabel::linkActivated, this, &CFeedbackDialog::launchLink);
    connect(m_pButtons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    translateUI(0);
}

QUrl CFeedbackDialog::MailLink() const
{
    // Every character of the body that could end the query or the field is
    // escaped, so the mail program gets the text whole.
    const QByteArray query = "subject=Feedback&body=" + QUrl::toPercentEncoding(m_requiredText);
    QUrl url(QStringLiteral("mailto:") + QLatin1String(kSupportEmail));
    url.setQuery(QString::fromLatin1(query), QUrl::StrictMode);
    return url;
}

void CFeedbackDialog::translateUI(int)
{
    // One language: British English.
    setWindowTitle(QStringLiteral("Feedback"));
    m_pForumLabel->setText(QStringLiteral("Ask questions and share tips with other users in the Meshwright forum:"));
    m_pForumURL->setText(Anchor(QLatin1String(kForum), QLatin1String(kForum)));
    m_pSupportEmailLabel->setText(QStringLiteral("Report a problem or suggest an improvement to the Meshwright "
                                                 "developers by e-mail:"));
    m_pSupportEmail->setText(Anchor(MailLink().toString(QUrl::FullyEncoded), QLatin1String(kSupportEmail)));
    m_pRequiredTextLabel->setText(QStringLiteral("Please include the following text in your feedback"));
    m_pSelectAndCopyLabel->setText(QStringLiteral("Select text [Ctrl+A] and copy [Ctrl + C]."));
}

void CFeedbackDialog::launchLink(const QString& link)
{
    QDesktopServices::openUrl(QUrl(link, QUrl::StrictMode));
}
