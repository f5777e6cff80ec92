#include "gui/qt_front_end_translations.h"

#include <QLocale>
#include <string_view>

#include "lang/catalog.h"

namespace tarmix::gui {

namespace {

struct QtWord {
    const char* context;
    const char* english;  // as Qt writes it, with its "&" mnemonic
    const char* greek;
    const char* lithuanian;
};

constexpr QtWord kQtWords[] = {
    // The standard buttons.
    {"QPlatformTheme", "OK", "OK", "Gerai"},
    {"QPlatformTheme", "Save", "Αποθήκευση", "Įrašyti"},
    {"QPlatformTheme", "Save All", "Αποθήκευση όλων", "Įrašyti viską"},
    {"QPlatformTheme", "Open", "Άνοιγμα", "Atverti"},
    {"QPlatformTheme", "&Yes", "&Ναι", "&Taip"},
    {"QPlatformTheme", "Yes to &All", "Ναι σε ό&λα", "Taip &viskam"},
    {"QPlatformTheme", "&No", "Ό&χι", "&Ne"},
    {"QPlatformTheme", "N&o to All", "Όχι σε όλ&α", "N&e viskam"},
    {"QPlatformTheme", "Abort", "Ματαίωση", "Nutraukti"},
    {"QPlatformTheme", "Retry", "Επανάληψη", "Kartoti"},
    {"QPlatformTheme", "Ignore", "Παράβλεψη", "Nepaisyti"},
    {"QPlatformTheme", "Close", "Κλείσιμο", "Užverti"},
    {"QPlatformTheme", "Cancel", "Άκυρο", "Atsisakyti"},
    {"QPlatformTheme", "Discard", "Απόρριψη", "Atmesti"},
    {"QPlatformTheme", "Help", "Βοήθεια", "Žinynas"},
    {"QPlatformTheme", "Apply", "Εφαρμογή", "Taikyti"},
    {"QPlatformTheme", "Reset", "Επαναφορά", "Atstatyti"},
    {"QPlatformTheme", "Restore Defaults", "Επαναφορά προεπιλογών", "Atkurti numatytąsias"},
    {"QMessageBox", "Show Details...", "Εμφάνιση λεπτομερειών...", "Rodyti išsamiau..."},
    {"QMessageBox", "Hide Details...", "Απόκρυψη λεπτομερειών...", "Slėpti išsamumą..."},
    // The file dialog.
    {"QFileDialog", "Look in:", "Αναζήτηση σε:", "Ieškoti aplanke:"},
    {"QFileDialog", "File &name:", "Όνομα &αρχείου:", "&Failo vardas:"},
    {"QFileDialog", "Files of type:", "Αρχεία τύπου:", "Failų tipas:"},
    {"QFileDialog", "&Open", "Ά&νοιγμα", "&Atverti"},
    {"QFileDialog", "&Save", "&Αποθήκευση", "Į&rašyti"},
    {"QFileDialog", "&Choose", "&Επιλογή", "Pa&sirinkti"},
    {"QFileDialog", "Open", "Άνοιγμα", "Atverti"},
    {"QFileDialog", "Save As", "Αποθήκευση ως", "Įrašyti kaip"},
    {"QFileDialog", "Find Directory", "Εύρεση φακέλου", "Rasti aplanką"},
    {"QFileDialog", "Directory:", "Φάκελος:", "Aplankas:"},
    {"QFileDialog", "Back", "Πίσω", "Atgal"},
    {"QFileDialog", "Forward", "Εμπρός", "Pirmyn"},
    {"QFileDialog", "Parent Directory", "Γονικός φάκελος", "Aukštesnis aplankas"},
    {"QFileDialog", "Create New Folder", "Δημιουργία νέου φακέλου", "Kurti naują aplanką"},
    {"QFileDialog", "List View", "Προβολή λίστας", "Sąrašo rodinys"},
    {"QFileDialog", "Detail View", "Προβολή λεπτομερειών", "Išsamus rodinys"},
    {"QFileDialog", "New Folder", "Νέος φάκελος", "Naujas aplankas"},
    {"QFileDialog", "&New Folder", "&Νέος φάκελος", "&Naujas aplankas"},
    {"QFileDialog", "&Rename", "&Μετονομασία", "Pervar&dyti"},
    {"QFileDialog", "&Delete", "&Διαγραφή", "Paša&linti"},
    {"QFileDialog", "Show &hidden files", "Εμφάνιση &κρυφών αρχείων", "Rodyti pa&slėptus failus"},
    {"QFileDialog", "All Files (*)", "Όλα τα αρχεία (*)", "Visi failai (*)"},
    {"QFileDialog", "Cancel", "Άκυρο", "Atsisakyti"},
    {"QFileSystemModel", "Name", "Όνομα", "Vardas"},
    {"QFileSystemModel", "Size", "Μέγεθος", "Dydis"},
    {"QFileSystemModel", "Type", "Τύπος", "Tipas"},
    {"QFileSystemModel", "Date Modified", "Ημερομηνία τροποποίησης", "Keitimo data"},
    {"QFileSystemModel", "Computer", "Υπολογιστής", "Kompiuteris"},
    {"QFileSystemModel", "My Computer", "Ο υπολογιστής μου", "Mano kompiuteris"},
    {"QAbstractFileIconProvider", "Drive", "Μονάδα δίσκου", "Diskas"},
    {"QAbstractFileIconProvider", "Folder", "Φάκελος", "Aplankas"},
    {"QAbstractFileIconProvider", "File", "Αρχείο", "Failas"},
    {"QAbstractFileIconProvider", "%1 File", "Αρχείο %1", "%1 failas"},
};

constexpr int kGreekLanguage = 10;
constexpr int kLithuanianLanguage = 11;

}  // namespace

QString OwnQtTranslations::translate(const char* context, const char* sourceText,
                                     const char* /*disambiguation*/, int /*n*/) const {
    const int language = languageIndex();
    if ((language != kGreekLanguage && language != kLithuanianLanguage) || !context || !sourceText)
        return {};
    for (const QtWord& word : kQtWords)
        if (std::string_view(context) == word.context &&
            std::string_view(sourceText) == word.english)
            return QString::fromUtf8(language == kGreekLanguage ? word.greek : word.lithuanian);
    return {};
}

void UseLocaleOfLanguage() {
    const int index = languageIndex();
    const char* code = languages()[kGermanLanguage].code;
    for (const Language& language : languages())
        if (language.index == index && language.hasCatalogue) code = language.code;
    QLocale::setDefault(QLocale(QString::fromLatin1(code)));
}

}  // namespace tarmix::gui
