#pragma once
// Every user-visible text of the window, the dialogs, the profiles and the
// options editor, looked up by number. One table per language.
#include <QMetaType>
#include <QString>

class CMeshwrightStrings {
public:
    enum ELanguages : int {
        eBritishEnglish = 0,
        eLanguageCount
    };
    static constexpr int kStringCount = 169;

    // The language UIText reads from; British English until changed.
    static void SetLanguage(ELanguages language);
    static ELanguages Language();
    static const char* LanguageName(ELanguages language);

    // The text of entry id in the given language, or an empty string for an
    // id or language outside the table.
    static QString Text(int id, ELanguages language);
};

// The text of entry id in the current language.
QString UIText(int id);

Q_DECLARE_METATYPE(CMeshwrightStrings::ELanguages)
