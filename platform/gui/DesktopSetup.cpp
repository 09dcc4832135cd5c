#include "DesktopSetup.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QFontDatabase>
#include <QLibraryInfo>
#include <QTranslator>
#include <utility>

namespace kardelo {

bool installGermanQtTexts(QCoreApplication& application)
{
    // Owned by the application, which keeps it installed for its lifetime.
    auto* translator = new QTranslator(&application);
    if (!translator->load(QStringLiteral("qtbase_de"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}

void ensureLayoutFonts()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    const QString folder = QStringLiteral("/usr/share/wine/fonts/");
    const std::pair<QString, QStringList> faces[] = {
        {QStringLiteral("Tahoma"), {QStringLiteral("tahoma.ttf"), QStringLiteral("tahomabd.ttf")}},
        {QStringLiteral("Small Fonts"), {QStringLiteral("small_fonts.ttf")}},
    };
    const QStringList installed = QFontDatabase::families();
    for (const auto& [family, files] : faces) {
        if (installed.contains(family, Qt::CaseInsensitive))
            continue;
        for (const QString& file : files) {
            if (QFileInfo(folder + file).isFile())
                QFontDatabase::addApplicationFont(folder + file);
        }
    }
}

} // namespace kardelo
