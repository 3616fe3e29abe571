#pragma once
// The about box: picture, program and build versions, the Qt version, the
// maker's addresses and a "Show at startup" switch kept in the application
// store under <title>/About/ShowSplash.
#include <QDialog>
#include <QImage>

class CZGXPreferences;
class QCheckBox;
class QLabel;

class CAboutBoxDialog : public QDialog {
    Q_OBJECT
public:
    static constexpr const char* kWebsite = "https://meshwright.example.org";
    static constexpr const char* kSupportEmail = "support@meshwright.example.org";

    // force: shown whatever the start-up switch says. uses: what else the
    // program is built on (empty here).
    CAboutBoxDialog(const QString& title, const QImage& picture, CZGXPreferences* prefs, bool force,
                    const QString& uses, QWidget* parent = nullptr);

    // The key of the start-up switch for a title.
    static QString ShowSplashKey(const QString& title);
    // The built-in 500 x 320 picture, 24-bit pixels.
    static QImage DefaultPicture();

    // Forced, or the start-up switch is on (absent counts as on).
    bool ShouldShow() const { return m_bForce || m_bShowAtStartUp; }

    QCheckBox* ShowAtStartUpCheckBox() const { return m_pShowAtStartUp; }

public slots:
    void onCheckBoxStateChanged(int state);
    void launchLink(const QString& link);

private:
    CZGXPreferences* m_pPrefs;
    QString m_key;
    bool m_bForce;
    bool m_bShowAtStartUp = true;
    QCheckBox* m_pShowAtStartUp = nullptr;
};
