#pragma once

#include <QLocale>

class QTranslator;

// The toolkit's own texts (the file and colour dialogs, the edit menu of
// text fields, standard buttons) in the language of a locale, from the
// translations the system installs for the toolkit. Returns the installed
// translator (owned by the application), or nullptr where the system has
// none for that language.
namespace ToolkitTranslations {
QTranslator* install(const QLocale& locale = QLocale::system());
} // namespace ToolkitTranslations
