#include "language.h"

#include <QCoreApplication>
#include <QLocale>
#include <QTranslator>

namespace geofluid::gui {

bool InstallLanguage(QCoreApplication& app, const QLocale& locale) {
  if (locale.language() == QLocale::Japanese) return false;
  auto* english = new QTranslator(&app);
  // Built into the program by qt_add_translations.
  if (!english->load(":/i18n/geofluid_en.qm")) {
    delete english;
    return false;
  }
  return QCoreApplication::installTranslator(english);
}

}  // namespace geofluid::gui
