#include "CliOptions.h"

#include "SettingsLists.h"

#include <QDir>
#include <QFileInfo>

namespace kardelo::cli {

namespace {

std::optional<int> positiveNumber(const QString& text)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value <= 0 || text.trimmed() != text)
        return std::nullopt;
    return value;
}

QString normalisedDrive(const QString& path)
{
    QString drive = QDir::cleanPath(QDir(path).absolutePath());
    while (drive.size() > 1 && drive.endsWith(QLatin1Char('/')))
        drive.chop(1);
    return drive;
}

ParseResult refuse(const QString& why)
{
    return {std::nullopt, why};
}

// The ranges the single-file test can run with: a file of at most 2047 MByte (its byte count
// is a 32-bit figure), blocks of 1 to 4096 KByte, and at least one whole block in the file.
constexpr int MaxFileSizeMB = 2047;
constexpr int MaxBlockSizeKB = 4096;

std::optional<QString> sizeProblem(int fileSizeMB, int blockSizeKB)
{
    if (fileSizeMB > MaxFileSizeMB)
        return QStringLiteral("--size muss zwischen 1 und %1 MByte liegen, nicht %2.")
            .arg(MaxFileSizeMB)
            .arg(fileSizeMB);
    if (blockSizeKB > MaxBlockSizeKB)
        return QStringLiteral("--block muss zwischen 1 und %1 KByte liegen, nicht %2.")
            .arg(MaxBlockSizeKB)
            .arg(blockSizeKB);
    if (static_cast<qint64>(fileSizeMB) * 1024 < blockSizeKB)
        return QStringLiteral("Die Testdatei (%1 MByte) muss mindestens einen ganzen Block (%2 "
                              "KByte) fassen.")
            .arg(fileSizeMB)
            .arg(blockSizeKB);
    return std::nullopt;
}

std::optional<QString> folderProblem(const QString& path)
{
    const QFileInfo folder(path);
    if (!folder.exists())
        return QStringLiteral("Den PFAD %1 gibt es nicht.").arg(path);
    if (!folder.isDir())
        return QStringLiteral("Der PFAD %1 ist kein Ordner.").arg(path);
    return std::nullopt;
}

} // namespace

QString usageText()
{
    return QStringLiteral(
        "Aufruf:\n"
        "  kardelo-cli single PFAD [--size MB] [--block KB] [--json]\n"
        "  kardelo-cli multi PFAD [--json]\n"
        "  kardelo-cli drives [--json]\n"
        "  kardelo-cli log [--json]\n"
        "  kardelo-cli --version\n"
        "\n"
        "PFAD ist das Wurzelverzeichnis des Datenträgers, etwa /media/anna/STICK, oder ein\n"
        "Ordner darauf; die Angaben zum Laufwerk gelten dann für dessen Dateisystem.\n"
        "  single   schreibt und liest eine Testdatei ($_test.$$$) unter Umgehung des\n"
        "           Dateicaches; --size in MByte (1-2047, Vorgabe 128), --block in KByte\n"
        "           (1-4096, Vorgabe 256); die Datei fasst mindestens einen ganzen Block\n"
        "  multi    schreibt und liest bis zu 100 Dateien zufälliger Größe (1-4000 KByte)\n"
        "  drives   listet die Laufwerke wie das Fenster: Gerät, Bus Typ, Wechselbar, Name\n"
        "  log      gibt die gültigen Einträge der Protokolldatei protokoll.dat aus\n"
        "  --save NAME  trägt das Ergebnis nach dem Test unter NAME in protokoll.dat ein\n"
        "  --json   gibt die Messwerte maschinenlesbar auf der Standardausgabe aus\n"
        "\n"
        "Strg+C bricht den Test ab; die Testdateien werden gelöscht.\n"
        "Exit-Status: 0 nach normalem Ende, 1 nach Abbruch des Tests, 2 bei falschem Aufruf,\n"
        "130 nach Strg+C.\n");
}

ParseResult parseArguments(const QStringList& arguments)
{
    if (arguments.isEmpty())
        return refuse(QStringLiteral("Es fehlt der Befehl (single, multi, drives oder log)."));
    const QString& verb = arguments.first();
    if (verb == QLatin1String("--help") || verb == QLatin1String("-h") ||
        verb == QLatin1String("help"))
        return {Options{}, {}};
    if (verb == QLatin1String("--version")) {
        Options version;
        version.command = Command::Version;
        return {version, {}};
    }

    Options options;
    if (verb == QLatin1String("drives")) {
        options.command = Command::Drives;
        for (qsizetype i = 1; i < arguments.size(); ++i) {
            if (arguments[i] != QLatin1String("--json"))
                return refuse(
                    QStringLiteral("drives kennt nur --json, nicht \"%1\".").arg(arguments[i]));
            options.json = true;
        }
        return {options, {}};
    }
    if (verb == QLatin1String("log")) {
        options.command = Command::Log;
        for (qsizetype i = 1; i < arguments.size(); ++i) {
            if (arguments[i] != QLatin1String("--json"))
                return refuse(
                    QStringLiteral("log kennt nur --json, nicht \"%1\".").arg(arguments[i]));
            options.json = true;
        }
        return {options, {}};
    }
    if (verb == QLatin1String("single"))
        options.command = Command::SingleFile;
    else if (verb == QLatin1String("multi"))
        options.command = Command::MultiFile;
    else
        return refuse(QStringLiteral("Unbekannter Test: %1").arg(verb));

    options.fileSizeText = settings::defaultFileSizeText();
    options.blockSizeText = settings::defaultBlockSizeText();
    int fileSizeMB = settings::DefaultFileSizeMB;
    int blockSizeKB = settings::DefaultBlockSizeKB;
    std::optional<QString> path;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (argument == QLatin1String("--json")) {
            options.json = true;
        } else if (argument == QLatin1String("--save")) {
            if (i + 1 >= arguments.size())
                return refuse(QStringLiteral("--save braucht einen Namen."));
            options.saveName = arguments[++i];
        } else if (argument == QLatin1String("--size") || argument == QLatin1String("--block")) {
            if (options.command != Command::SingleFile)
                return refuse(QStringLiteral("%1 gilt nur für den Test single.").arg(argument));
            if (i + 1 >= arguments.size())
                return refuse(QStringLiteral("%1 braucht eine Zahl.").arg(argument));
            const auto number = positiveNumber(arguments[++i]);
            if (!number)
                return refuse(QStringLiteral("%1 braucht eine ganze Zahl größer 0, nicht \"%2\".")
                                  .arg(argument, arguments[i]));
            const bool size = argument == QLatin1String("--size");
            (size ? fileSizeMB : blockSizeKB) = *number;
            (size ? options.fileSizeText : options.blockSizeText) = settings::entryText(*number);
        } else if (argument.startsWith(QLatin1String("--"))) {
            return refuse(QStringLiteral("Unbekannte Option: %1").arg(argument));
        } else if (!path) {
            path = argument;
        } else {
            return refuse(QStringLiteral("Nur ein PFAD ist erlaubt."));
        }
    }
    if (!path || path->isEmpty())
        return refuse(QStringLiteral("Es fehlt der PFAD des Datenträgers."));
    if (options.command == Command::SingleFile)
        if (const auto problem = sizeProblem(fileSizeMB, blockSizeKB))
            return refuse(*problem);
    if (const auto problem = folderProblem(*path))
        return refuse(*problem);
    options.drive = normalisedDrive(*path);
    return {options, {}};
}

} // namespace kardelo::cli
