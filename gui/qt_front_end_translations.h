// Qt's own words in the program's language: the standard buttons of message boxes and the
// file dialog's labels, for the languages Qt ships no texts for (Greek, Lithuanian); and
// the locale of the program's language, so that the file dialog's dates and sizes follow
// it too.
#pragma once

#include <QTranslator>

namespace tarmix::gui {

// Answers from the program's own table in the current language (languageIndex()), and
// nothing where the table has no entry, so Qt's own catalogues and English still serve
// the rest. Installed once; it follows every later language change by itself.
class OwnQtTranslations final : public QTranslator {
  public:
    QString translate(const char* context, const char* sourceText, const char* disambiguation,
                      int n) const override;
    bool isEmpty() const override { return false; }
};

// The default locale of the program's current language (German for one without a
// catalogue, whose texts are German).
void UseLocaleOfLanguage();

}  // namespace tarmix::gui
