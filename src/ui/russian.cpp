// Qt's Russian translations and the Russian locale.
#include "ui/russian.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <cstring>

namespace ui {
namespace {

// Consulted before Qt's own catalogue: the few terms where Qt's Russian
// texts differ from what a Russian desktop shows, or are missing.  Keys are
// named as on the keyboard and in the menus of Russian Windows programs
// ("Enter", not "Return"); the OK button is written in Cyrillic letters.
class RussianTerms : public QTranslator {
 public:
  using QTranslator::QTranslator;

  bool isEmpty() const override { return false; }

  QString translate(const char* context, const char* source, const char* /*disambiguation*/,
                    int /*n*/) const override {
    static const struct {
      const char* context;
      const char* source;
      const char* text;
    } kTerms[] = {
        {"QPlatformTheme", "OK", "ОК"},
        {"QShortcut", "Ins", "Insert"},
        {"QShortcut", "Del", "Delete"},
        {"QShortcut", "Return", "Enter"},
        {"QShortcut", "Space", "Пробел"},
        {"QShortcut", "PgUp", "Page Up"},
        {"QShortcut", "PgDown", "Page Down"},
    };
    if (!context || !source) return {};
    for (const auto& t : kTerms)
      if (std::strcmp(context, t.context) == 0 && std::strcmp(source, t.source) == 0)
        return QString::fromUtf8(t.text);
    return {};
  }
};

}  // namespace

bool UseRussian(QCoreApplication& application) {
  const QLocale russian(QLocale::Russian, QLocale::Russia);
  QLocale::setDefault(russian);
  // "qt_ru" gathers the catalogues of every Qt module, qtbase among them.
  auto* catalogue = new QTranslator(&application);
  const bool found = catalogue->load(russian, QStringLiteral("qt"), QStringLiteral("_"),
                                     QLibraryInfo::path(QLibraryInfo::TranslationsPath));
  if (found) {
    application.installTranslator(catalogue);
  } else {
    delete catalogue;
  }
  // Installed last, so asked first.
  application.installTranslator(new RussianTerms(&application));
  return found;
}

}  // namespace ui
