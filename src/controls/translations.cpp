#include "controls/translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <memory>

namespace {

// Debian's qt6-translations-l10n installs it into Qt's translations folder.
const char QtCatalogue[] = "qtbase_zh_CN";

} // namespace

bool installChineseTranslations()
{
    static bool installed = false;
    if (installed)
        return true;
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(QLatin1String(QtCatalogue),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))
        || !QCoreApplication::installTranslator(translator.get()))
        return false;
    // The application owns it from here on.
    translator.release()->setParent(QCoreApplication::instance());
    installed = true;
    return true;
}
