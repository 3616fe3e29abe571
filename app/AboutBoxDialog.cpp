#include "app/AboutBoxDialog.h"

#include <QCheckBox>
#include <QDesktopServices>
#include <QHBoxLayout>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

#include "base/Version.h"
#include "prefs/ZGXPreferences.h"

namespace {

// The build part of the version text ("3.0@2149614").
QString BuildText()
{
    return QString::fromLatin1(MW_VERSION_STRING).section(QStringLiteral(" | "), 1);
}

QLabel* LinkLabel(const QString& name, const QString& href, const QString& text, QWidget* parent)
{
    QLabel* label = new QLabel(parent);
    label->setObjectName(name);
    label->setTextFormat(Qt::RichText);
    label->setTextInteractionFlags(Qt::TextBrowserInteraction);
    label->setOpenExternalLinks(false);
    label->setText(QStringLiteral("<a href=\"%1\">%2</a>").arg(href.toHtmlEscaped(), text.toHtmlEscaped()));
    return label;
}

} // namespace

CAboutBoxDialog::CAboutBoxDialog(const QString& title, const QImage& picture, CZGXPreferences* prefs, bool force,
                                 const QString& uses, QWidget* parent)
    : QDialog(parent), m_pPrefs(prefs), m_key(ShowSplashKey(title)), m_bForce(force)
{
    setObjectName(QStringLiteral("AboutBoxClass"));
    setWindowTitle(QStringLiteral("About ") + title);
    if (m_pPrefs)
        m_pPrefs->ReadBool(m_key.toUtf8().toStdString(), m_bShowAtStartUp, true);

    QVBoxLayout* layout = new QVBoxLayout(this);
    QLabel* pictureLabel = new QLabel(this);
    pictureLabel->setObjectName(QStringLiteral("PictureLabel"));
    pictureLabel->setPixmap(QPixmap::fromImage(picture));
    pictureLabel->setAlignment(Qt::AlignCenter);
    layout->addWidget(pictureLabel);

    QLabel* appVersion = new QLabel(title, this);
    appVersion->setObjectName(QStringLiteral("AppVersionLabel"));
    QFont bold = appVersion->font();
    bold.setBold(true);
    appVersion->setFont(bold);
    layout->addWidget(appVersion);

    // There is no SDK to speak of: the build is Meshwright's own.
    QLabel* version = new QLabel(title + QStringLiteral(" (build ") + BuildText() + QStringLiteral(")"), this);
    version->setObjectName(QStringLiteral("VersionLabel"));
    layout->addWidget(version);

    QString usesText;
    if (!uses.isEmpty())
        usesText = uses + QStringLiteral(" | ");
    usesText += QStringLiteral("Qt version ") + QString::fromLatin1(qVersion());
    QLabel* usesLabel = new QLabel(usesText, this);
    usesLabel->setObjectName(QStringLiteral("UsesLabel"));
    layout->addWidget(usesLabel);

    QLabel* notice = new QLabel(QStringLiteral("Made by the Meshwright developers. Meshwright converts Collada "
                                               "and glTF scenes into QEF scene files and C source."),
                                this);
    notice->setObjectName(QStringLiteral("NoticeLabel"));
    notice->setWordWrap(true);
    layout->addWidget(notice);

    QLabel* email = LinkLabel(QStringLiteral("EmailLabel"), QStringLiteral("mailto:") + QLatin1String(kSupportEmail),
                              QLatin1String(kSupportEmail), this);
    QLabel* website = LinkLabel(QStringLiteral("WebsiteLabel"), QLatin1String(kWebsite), QLatin1String(kWebsite), this);
    layout->addWidget(email);
    layout->addWidget(website);
    connect(email, &QLabel::linkActivated, this, &CAboutBoxDialog::launchLink);
    connect(website, &QLabel::linkActivated, this, &CAboutBoxDialog::launchLink);

    QHBoxLayout* bottom = new QHBoxLayout();
    m_pShowAtStartUp = new QCheckBox(QStringLiteral("Show at startup"), this);
    m_pShowAtStartUp->setObjectName(QStringLiteral("ShowAtStartUpCB"));
    m_pShowAtStartUp->setChecked(m_bShowAtStartUp);
    bottom->addWidget(m_pShowAtStartUp);
    bottom->addStretch(1);
    QPushButton* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("OkButton"));
    ok->setDefault(true);
    bottom->addWidget(ok);
    layout->addLayout(bottom);

    connect(m_pShowAtStartUp, &QCheckBox::stateChanged, this, &CAboutBoxDialog::onCheckBoxStateChanged);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

QString CAboutBoxDialog::ShowSplashKey(const QString& title)
{
    return title + QStringLiteral("/About/ShowSplash");
}

void CAboutBoxDialog::onCheckBoxStateChanged(int state)
{
    m_bShowAtStartUp = state != Qt::Unchecked;
    if (!m_pPrefs)
        return;
    m_pPrefs->WriteBool(m_key.toUtf8().toStdString(), m_bShowAtStartUp);
    m_pPrefs->Save();
}

void CAboutBoxDialog::launchLink(const QString& link)
{
    QDesktopServices::openUrl(QUrl(link));
}

QImage CAboutBoxDialog::DefaultPicture()
{
    QImage image(500, 320, QImage::Format_RGB888);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, 320);
    sky.setColorAt(0, QColor(0x1b, 0x2c, 0x41));
    sky.setColorAt(1, QColor(0x2f, 0x58, 0x7f));
    p.fillRect(image.rect(), sky);

    // A small triangle mesh, the program's emblem, lit from the upper left.
    const QPointF apex(250, 40), left(120, 250), right(380, 250), mid(250, 175), back(250, 270);
    const QPointF faces[4][3] = {{apex, left, mid}, {apex, mid, right}, {left, back, mid}, {mid, back, right}};
    const QColor shades[4] = {QColor(0x7c, 0xc8, 0xf2), QColor(0x45, 0x9a, 0xd6), QColor(0x2c, 0x76, 0xb4),
                              QColor(0x1f, 0x5d, 0x96)};
    for (int i = 0; i < 4; ++i) {
        QPainterPath path;
        path.moveTo(faces[i][0]);
        path.lineTo(faces[i][1]);
        path.lineTo(faces[i][2]);
        path.closeSubpath();
        p.fillPath(path, shades[i]);
    }
    p.setPen(QPen(QColor(0xee, 0xf4, 0xfa), 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    for (const auto& face : faces)
        p.drawPolygon(QPolygonF({face[0], face[1], face[2]}));

    QFont font = p.font();
    font.setPixelSize(30);
    font.setBold(true);
    p.setFont(font);
    p.setPen(QColor(0xf2, 0xf6, 0xfa));
    p.drawText(QRectF(0, 276, 500, 40), Qt::AlignCenter, QStringLiteral("Meshwright"));
    return image;
}
