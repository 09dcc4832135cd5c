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

// A CSV file to be written at the end: its folder must exist, and no folder may sit at it.
std::optional<QString> traceProblem(const QString& path)
{
    const QFileInfo file(path);
    if (file.isDir())
        return QStringLiteral("--trace braucht eine Datei, %1 ist ein Ordner.").arg(path);
    if (!file.absoluteDir().exists())
        return QStringLiteral("Den Ordner für --trace (%1) gibt es nicht.")
            .arg(file.absolutePath());
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
        "  kardelo-cli single PFAD [--size MB] [--block KB] [--json] [--trace DATEI.csv]\n"
        "  kardelo-cli multi PFAD [--json]\n"
        "  kardelo-cli verify PFAD [--size MB] [--keep] [--read-only] [--json] [--trace "
        "DATEI.csv]\n"
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
        "  verify   prüft Kapazität und Daten: füllt den freien Platz mit Prüfdateien\n"
        "           ($_cap0001.$$$ ...), liest sie unter Umgehung des Dateicaches zurück und\n"
        "           zählt unversehrte, beschädigte, überschriebene und leere Bytes;\n"
        "           --size prüft höchstens so viele MByte, --keep behält die Prüfdateien,\n"
        "           --read-only prüft die behaltenen Dateien einer früheren Prüfung\n"
        "           (etwa nach dem Aus- und Einstecken), ohne zu schreiben\n"
        "  drives   listet die Laufwerke wie das Fenster: Gerät, Bus Typ, Wechselbar, Name\n"
        "  log      gibt die gültigen Einträge der Protokolldatei protokoll.dat aus\n"
        "  --save NAME  trägt das Ergebnis nach dem Test unter NAME in protokoll.dat ein\n"
        "  --json   gibt die Messwerte maschinenlesbar auf der Standardausgabe aus\n"
        "  --trace DATEI.csv  schreibt den Durchsatz entlang des Datenträgers als CSV\n"
        "           (single: die Zeit jedes Blocks; verify: Position, Schreib- und Lese-MByte/s)\n"
        "\n"
        "1 MByte = 1.048.576 Byte. Strg+C bricht den Test ab; die Testdateien werden gelöscht.\n"
        "Exit-Status: 0 nach normalem Ende (verify: alle Daten unversehrt), 1 nach Abbruch des\n"
        "Tests, 2 bei falschem Aufruf, 3 wenn verify Daten verloren oder eine gefälschte\n"
        "Kapazität fand, 130 nach Strg+C.\n");
}

ParseResult parseArguments(const QStringList& arguments)
{
    if (arguments.isEmpty())
        return refuse(
            QStringLiteral("Es fehlt der Befehl (single, multi, verify, drives oder log)."));
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
    else if (verb == QLatin1String("verify"))
        options.command = Command::Verify;
    else
        return refuse(QStringLiteral("Unbekannter Test: %1").arg(verb));

    options.fileSizeText = settings::defaultFileSizeText();
    options.blockSizeText = settings::defaultBlockSizeText();
    int fileSizeMB = settings::DefaultFileSizeMB;
    int blockSizeKB = settings::DefaultBlockSizeKB;
    std::optional<QString> path;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        const bool verify = options.command == Command::Verify;
        if (argument == QLatin1String("--json")) {
            options.json = true;
        } else if (argument == QLatin1String("--save") && !verify) {
            if (i + 1 >= arguments.size())
                return refuse(QStringLiteral("--save braucht einen Namen."));
            options.saveName = arguments[++i];
        } else if ((argument == QLatin1String("--keep") ||
                    argument == QLatin1String("--read-only")) &&
                   verify) {
            (argument == QLatin1String("--keep") ? options.keep : options.readOnly) = true;
        } else if (argument == QLatin1String("--trace") && options.command != Command::MultiFile) {
            if (i + 1 >= arguments.size() || arguments[i + 1].isEmpty())
                return refuse(QStringLiteral("--trace braucht den Namen einer CSV-Datei."));
            options.tracePath = arguments[++i];
            if (const auto problem = traceProblem(*options.tracePath))
                return refuse(*problem);
        } else if (argument == QLatin1String("--size") || argument == QLatin1String("--block")) {
            const bool size = argument == QLatin1String("--size");
            if (options.command == Command::MultiFile || (verify && !size))
                return refuse(size ? QStringLiteral("--size gilt nur für single und verify.")
                                   : QStringLiteral("--block gilt nur für den Test single."));
            if (i + 1 >= arguments.size())
                return refuse(QStringLiteral("%1 braucht eine Zahl.").arg(argument));
            const auto number = positiveNumber(arguments[++i]);
            if (!number)
                return refuse(QStringLiteral("%1 braucht eine ganze Zahl größer 0, nicht \"%2\".")
                                  .arg(argument, arguments[i]));
            if (verify) {
                options.checkSizeMB = *number;
                continue;
            }
            (size ? fileSizeMB : blockSizeKB) = *number;
            (size ? options.fileSizeText : options.blockSizeText) = settings::entryText(*number);
        } else if (argument == QLatin1String("--keep") ||
                   argument == QLatin1String("--read-only")) {
            return refuse(QStringLiteral("%1 gilt nur für verify.").arg(argument));
        } else if (argument == QLatin1String("--save")) {
            return refuse(QStringLiteral("--save gilt nur für single und multi."));
        } else if (argument == QLatin1String("--trace")) {
            return refuse(QStringLiteral("--trace gilt nur für single und verify."));
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
