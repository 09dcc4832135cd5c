#pragma once

#include <QString>
#include <cstddef>
#include <cstdint>

// The texts the speed tests show, in one place.
namespace kardelo::messages {

inline const QString NoDriveSelected =
    QStringLiteral("Es wurde noch kein Laufwerk selektiert! Bitte einen USB-Stick auswählen.");
inline const QString OnlyFreePrefix = QStringLiteral("Auf dem ausgewählten Datenträger sind nur: ");
inline const QString OnlyFreeSuffix = QStringLiteral(" Byte frei.");
inline const QString CannotWrite =
    QStringLiteral("Es kann nicht geschrieben werden! Schreibschutz ausschalten!");
inline const QString DriveAccess =
    QStringLiteral("Auf das Laufwerk konnte nicht zugegriffen werden!");
inline const QString TooLittleSpace = QStringLiteral(
    "Auf dem ausgewählten Datenträger ist zu wenig Platz frei. Der Test kann nicht ausgeführt "
    "werden.");
inline const QString WriteFailed = QStringLiteral("Fehler beim Schreiben auf den Datenträger! ");
inline const QString ReadFailed = QStringLiteral("Fehler beim Lesen vom Datenträger! ");
inline const QString NoDirectIo = QStringLiteral(
    "Das Dateisystem dieses Datenträgers unterstützt keinen Zugriff unter Umgehung des "
    "Dateicaches.");
// A speed test or a capacity check, of this program or another, holds the medium.
inline const QString OtherRunActive =
    QStringLiteral("Der Datenträger wird gerade von einem anderen Test oder einer Prüfung von "
                   "Kapazität und Daten benutzt. Bitte warten, bis dieser Vorgang beendet ist!");
QString blockNotSectorMultiple(unsigned alignment);
QString fileSizesNotSectorMultiple(unsigned alignment);
QString folderAtTestName(const QString& path);
QString partlyTransferred(bool writing, std::size_t moved, std::int64_t size);
QString fewerFiles(const QString& freeText, int fileCount, double totalBytes);
QString notDeleted(const QString& path, const QString& reason);

inline const QString TimeReset = QStringLiteral("Time: 0,000 s");
inline const QString ThroughputReset = QStringLiteral("0,00");

inline const QString DeletingTestFile = QStringLiteral(" Die Testdatei wird gelöscht...");
inline const QString DeletingTestFiles = QStringLiteral(" Die Testfiles werden gelöscht...");

inline const QString ProgressWriting = QStringLiteral("Schreiben: ");
inline const QString ProgressReading = QStringLiteral("Lesen: ");
inline const QString ProgressWriteRead = QStringLiteral("Write/Read: ");
inline const QString ProgressDeleting = QStringLiteral("Die Testfiles werden gelöscht: ");
inline const QString ProgressFinished = QStringLiteral("Ende des Tests: ");
inline const QString ProgressAborted = QStringLiteral("Abbruch des Tests: ");

} // namespace kardelo::messages
