#include "CheckMessages.h"

#include "Formats.h"
#include "TestMessages.h"
#include "UnitPattern.h"

namespace kardelo::capacity::messages {

QString protectedFileSystem(const QString& folder, const QString& protectedFolder)
{
    return QStringLiteral("%1 liegt auf demselben Dateisystem wie %2. Die Prüfung füllt den "
                          "ganzen freien Platz und ist nur für USB-Sticks und Speicherkarten "
                          "gedacht, nicht für das System oder den persönlichen Ordner.")
        .arg(folder, protectedFolder);
}

QString tooLittleSpace(std::uint64_t availableBytes)
{
    return kardelo::messages::OnlyFreePrefix +
           formats::grouped(static_cast<double>(availableBytes)) +
           kardelo::messages::OnlyFreeSuffix +
           QStringLiteral(" Die Prüfung braucht mindestens %1 Byte.")
               .arg(formats::grouped(static_cast<double>(UnitSize)));
}

QString noCheckFiles(const QString& firstFile)
{
    return QStringLiteral("Es gibt keine Dateien einer früheren Prüfung (%1). Bitte zuerst "
                          "prüfen und die Dateien dabei behalten!")
        .arg(firstFile);
}

QString notACheckFile(const QString& path)
{
    return QStringLiteral("%1 ist keine gewöhnliche Datei und gehört nicht zur Prüfung; es "
                          "bleibt, wo es ist.")
        .arg(path);
}

QString cannotOpenForReading(const QString& path, const QString& reason)
{
    return kardelo::messages::ReadFailed + QStringLiteral("%1: %2").arg(path, reason);
}

} // namespace kardelo::capacity::messages
