#pragma once
// Opens the manuals of the Help menu with the desktop's viewer. The shipped
// documents stand beside the program; a document the user had to locate is
// remembered in the store at "OpenDocs/" + the document key.
#include <QString>
#include <QStringList>

class CZGXPreferences;
class QWidget;

class CDocumentOpener {
public:
    CDocumentOpener(QWidget* window, CZGXPreferences* store);
    virtual ~CDocumentOpener();

    // True once the document opened; false when the user gave up looking.
    bool Open(const QString& fileName, const QString& folder, const QString& documentKey);

    // The places tried before the user is asked, in order.
    QStringList Candidates(const QString& fileName, const QString& folder, const QString& documentKey) const;

    static QString RememberedKey(const QString& documentKey);
    // What the user is told when the desktop cannot show the document at path.
    static QString NoViewerText(const QString& path);

    // The folder the program runs from (tests point it elsewhere).
    void SetProgramFolder(const QString& folder) { m_programFolder = folder; }

protected:
    // Hands an existing file to the desktop's viewer; false when no program
    // could be started for it.
    virtual bool OpenFile(const QString& path);
    virtual void Warn(const QString& title, const QString& text);
    // Empty when cancelled.
    virtual QString ChooseFile(const QString& caption, const QString& filter);

private:
    QWidget* m_pWindow;
    CZGXPreferences* m_pStore;
    QString m_programFolder;
};

// The window's entry point.
bool OpenDocument(QWidget* window, CZGXPreferences* store, const QString& fileName, const QString& folder,
                  const QString& documentKey);
