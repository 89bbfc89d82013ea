#include "platform/qt/translations.h"

#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace velmora::qt {

void InstallQtTranslations(QCoreApplication& app) {
    auto* translator = new QTranslator(&app);
    if (translator->load(QLocale::system(), "qtbase", "_",
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(translator);
    else
        delete translator;
}

}  // namespace velmora::qt
