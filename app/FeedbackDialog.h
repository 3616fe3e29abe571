#pragma once
// Where to send feedback: the forum, the support address (a link that starts
// a message with the text below) and the product, version and build text a
// report should carry.
#include <QDialog>
#include <QUrl>

class QDialogButtonBox;
class QLabel;
class QPlainTextEdit;

class CFeedbackDialog : public QDialog {
    Q_OBJECT
public:
    static constexpr const char* kForum = "https://meshwright.example.org/forum";
    static constexpr const char* kSupportEmail = "support@meshwright.example.org";

    CFeedbackDialog(const QString& product, const QString& version, QWidget* parent = nullptr);

    // The text a report should include: product, version and build.
    QString RequiredText() const { return m_requiredText; }
    // The support address with subject "Feedback" and the text as body.
    QUrl MailLink() const;

public slots:
    void translateUI(int lang);
    void launchLink(const QString& link);

private:
    QString m_requiredText;
    QLabel* m_pForumLabel = nullptr;
    QLabel* m_pForumURL = nullptr;
    QLabel* m_pSupportEmailLabel = nullptr;
    QLabel* m_pSupportEmail = nullptr;
    QLabel* m_pRequiredTextLabel = nullptr;
    QPlainTextEdit* m_pRequiredText = nullptr;
    QLabel* m_pSelectAndCopyLabel = nullptr;
    QDialogButtonBox* m_pButtons = nullptr;
};
