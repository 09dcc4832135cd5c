#include "FaultyFileSystem.h"
#include "PlantedFiles.h"
#include "PosixFileSystem.h"
#include "RecordingDialogs.h"
#include "ResultsLog.h"
#include "SaveCommand.h"

#include <QCryptographicHash>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <cerrno>
#include <sys/stat.h>

using namespace kardelo;
using namespace kardelo::results;
using kardelo::testing::contents;

namespace {

const QLocale German(QLocale::German, QLocale::Germany);
const QLocale English(QLocale::English, QLocale::UnitedStates);

bool isReadOnly(const QString& path)
{
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 &&
           (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

TestResult singleResult()
{
    TestResult result;
    result.kind = TestKind::SingleFile;
    result.singleWriteSpeed = "19,48";
    result.singleReadSpeed = "30,12";
    result.multiWriteSpeed = "1,12";
    result.multiReadSpeed = "6,71";
    result.fileSizeText = " 128";
    result.blockSizeText = " 256";
    result.testFileCount = 46;
    result.totalSizeText = "2.071.691.264";
    return result;
}

// A save against a folder whose prompt a test answers; records what the window would show.
struct Session {
    QString folder;
    QString answer;
    testing::RecordingDialogs dialogs;
    FileSystem* files = &PosixFileSystem::instance();
    QDateTime now = QDateTime(QDate(2007, 12, 27), QTime(9, 36, 4));

    Session(QString saveFolder, QString nameAnswer)
        : folder(std::move(saveFolder)), answer(std::move(nameAnswer))
    {
        dialogs.answer = [this](const QString&) { return answer; };
    }
    bool save(const TestResult& result, const QString& suggested)
    {
        return saveTestResult(dialogs, *files, logFilePath(folder), result, suggested, now);
    }
    QStringList warnings() const { return dialogs.messageTexts(); }
};

} // namespace

class tst_ResultsLog : public QObject {
    Q_OBJECT

private slots:
    void init() { QLocale::setDefault(German); }
    void cleanupTestCase() { QLocale::setDefault(QLocale::c()); }

    void seedIsTheDocumentedBlock()
    {
        const QByteArray seed = seedBytes();
        QCOMPARE(seed.size(), SeedSize);
        QCOMPARE(QCryptographicHash::hash(seed, QCryptographicHash::Sha256).toHex(),
                 QByteArray("6ab874a5c263900001151be7b645017669e78df036cb874b9b902a66bc62d666"));
        QCOMPARE(recordsOf(seed).size(), 14);
    }

    void protDumpCreatesOnlyAMissingLog()
    {
        QTemporaryDir dir;
        const QString path = logFilePath(dir.path());
        prot_dump(PosixFileSystem::instance(), dir.path());
        QCOMPARE(contents(path), seedBytes());
        QVERIFY(isReadOnly(path));
        prot_dump(PosixFileSystem::instance(),
                  dir.path()); // read-only and existing: nothing happens
        QCOMPARE(contents(path), seedBytes());

        QTemporaryDir other;
        const QString empty = logFilePath(other.path());
        QFile(empty).open(QIODevice::WriteOnly);
        prot_dump(PosixFileSystem::instance(), other.path());
        QCOMPARE(contents(empty), QByteArray());
        QVERIFY(!isReadOnly(empty));

        QTemporaryDir none;

        // Where the executable's folder is not writable, the window and the command line, whose
        // application names differ, keep one log in one per-user folder.
        const QString unwritable = none.filePath("not-there");
        QCoreApplication::setApplicationName("kardelo-cli");
        const QString forCli = programFolderFor(PosixFileSystem::instance(), unwritable);
        QCoreApplication::setApplicationName("kardelo");
        QCOMPARE(programFolderFor(PosixFileSystem::instance(), unwritable), forCli);
        QVERIFY(forCli.endsWith("/kardelo/"));
        QVERIFY(QFileInfo(forCli).isDir());
        QCOMPARE(programFolderFor(PosixFileSystem::instance(), none.path()), none.path() + '/');
    }

    void records_data()
    {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<QString>("total");
        QTest::addColumn<QString>("single");
        QTest::addColumn<QString>("multi");
        QTest::addColumn<QString>("midnight");
        QTest::newRow("German") << German << "2.071.691.264"
                                << "BUFFALO USB 2GByte|19,48|30,12| 128| 256|2.023.136|"
                                   "27.12.2007 09:36:04"
                                << "BUFFALO USB 2GByte|1,12|6,71|46 Files (10K-4M)|variabel|"
                                   "2.023.136|27.12.2007 09:36:04"
                                << "01.03.2008";
        QTest::newRow("English") << English << "2,071,691,264"
                                 << "BUFFALO USB 2GByte|19,48|30,12| 128| 256|2,023,136|"
                                    "12/27/2007 9:36:04 AM"
                                 << "BUFFALO USB 2GByte|1,12|6,71|46 Files (10K-4M)|variabel|"
                                    "2,023,136|12/27/2007 9:36:04 AM"
                                 << "3/1/2008";
    }

    void records()
    {
        QFETCH(QLocale, locale);
        QFETCH(QString, total);
        QFETCH(QString, single);
        QFETCH(QString, multi);
        QFETCH(QString, midnight);
        QLocale::setDefault(locale);
        TestResult result = singleResult();
        result.totalSizeText = total;
        const QDateTime when(QDate(2007, 12, 27), QTime(9, 36, 4));
        const QString name = "BUFFALO USB 2GByte";
        QCOMPARE(buildRecord(result, name, when).value_or("<none>"), single);
        result.kind = TestKind::MultiFile;
        QCOMPARE(buildRecord(result, name, when).value_or("<none>"), multi);
        result.kind = TestKind::None;
        QCOMPARE(buildRecord(result, name, when).value_or("<none>"), QString());

        QCOMPARE(dateField(QDateTime(QDate(2008, 3, 1), QTime(0, 0))), midnight);
        QVERIFY(dateField(QDateTime(QDate(2008, 3, 1), QTime(0, 0, 1))).size() > 10);
        // kibibytes, rounded half to even; a total that holds no number ends the save
        QCOMPARE(capacityField("1536").value_or("<none>"), QStringLiteral("2"));
        QCOMPARE(capacityField("2560").value_or("<none>"), QStringLiteral("2"));
        QCOMPARE(capacityField(locale.toString(125861888.0, 'f', 0)).value_or("<none>"),
                 locale.toString(122912.0, 'f', 0));
        QVERIFY(!capacityField("").has_value());
        QVERIFY(!capacityField("viel").has_value());
    }

    void windows1252()
    {
        const QString text =
            QString::fromUtf8("Größe €…ÿ\u0081") + QChar(0x4E2D) + QString::fromUtf8("\U0001F600");
        QCOMPARE(toWindows1252(text), QByteArray("Gr\xF6\xDF\x65 \x80\x85\xFF\x81??"));
        QCOMPARE(fromWindows1252(toWindows1252(text.left(10))), text.left(10));
    }

    void saveAppendsOneRecord()
    {
        QTemporaryDir dir;
        prot_dump(PosixFileSystem::instance(), dir.path());
        const QString path = logFilePath(dir.path());
        Session session(dir.path(), "Stick | \"Größe\" €\r\nzwei\nLinien");
        QVERIFY(session.save(singleResult(), "Intenso"));
        QCOMPARE(session.dialogs.prompts,
                 (QStringList{"Datenträgername ändern oder ergänzen?",
                              "Hier kann der Datenträgername verändert werden. Dieser "
                              "Datenträgername wird in die Protokolldatei geschrieben. Wenn "
                              "Sie \"Abbrechen\" wählen, wird kein Eintrag in die "
                              "Protokolldatei geschrieben.",
                              "Intenso"}));
        const QByteArray line = "Stick / \"Gr\xF6\xDF\x65\" \x80 zwei Linien|19,48|30,12| 128| "
                                "256|2.023.136|27.12.2007 09:36:04\r\n";
        QCOMPARE(contents(path), seedBytes() + line);
        QVERIFY(isReadOnly(path));
        QCOMPARE(recordsOf(contents(path)).size(), 15);
        QVERIFY(session.warnings().isEmpty());

        session.answer = "  Leerzeichen bleiben  ";
        TestResult multi = singleResult();
        multi.kind = TestKind::MultiFile;
        QVERIFY(session.save(multi, "x"));
        QVERIFY(contents(path).endsWith("\r\n  Leerzeichen bleiben  |1,12|6,71|46 Files "
                                        "(10K-4M)|variabel|2.023.136|27.12.2007 09:36:04\r\n"));
    }

    void saveWritesNothing_data()
    {
        QTest::addColumn<QString>("suggested");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("total");
        QTest::addColumn<int>("prompts");
        QTest::addColumn<bool>("logDeleted");
        QTest::newRow("no selection") << ""
                                      << "X" << 1 << "1.024" << 0 << false;
        QTest::newRow("cancel or emptied") << "Stick"
                                           << "" << 1 << "1.024" << 3 << false;
        QTest::newRow("no test yet") << "Stick"
                                     << "X" << 0 << "1.024" << 3 << false;
        QTest::newRow("total no number") << "Stick"
                                         << "X" << 2 << "" << 3 << false;
        QTest::newRow("log deleted: not made again") << "Stick"
                                                     << "X" << 1 << "1.024" << 3 << true;
    }

    void saveWritesNothing()
    {
        QFETCH(QString, suggested);
        QFETCH(QString, answer);
        QFETCH(QString, total);
        QFETCH(int, kind);
        QFETCH(int, prompts);
        QFETCH(bool, logDeleted);
        QTemporaryDir dir;
        prot_dump(PosixFileSystem::instance(), dir.path());
        if (logDeleted)
            QVERIFY(QFile::remove(logFilePath(dir.path())));
        Session session(dir.path(), answer);
        TestResult result = singleResult();
        result.kind = static_cast<TestKind>(kind);
        result.totalSizeText = total;
        QVERIFY(!session.save(result, suggested));
        QCOMPARE(session.dialogs.prompts.size(), prompts);
        QCOMPARE(contents(logFilePath(dir.path())),
                 logDeleted ? QByteArray("<missing>") : seedBytes());
        QVERIFY(session.warnings().isEmpty());
    }

    void refusedAccessIsReported_data()
    {
        QTest::addColumn<int>("attributeError");
        QTest::addColumn<int>("appendError");
        QTest::addColumn<bool>("warned");
        QTest::newRow("attribute EACCES") << EACCES << 0 << true;
        QTest::newRow("attribute EPERM") << EPERM << 0 << true;
        QTest::newRow("append EROFS") << 0 << EROFS << true;
        QTest::newRow("append EACCES") << 0 << EACCES << true;
        QTest::newRow("append EIO") << 0 << EIO << false;
        QTest::newRow("append ENOSPC") << 0 << ENOSPC << false;
    }

    void refusedAccessIsReported()
    {
        QFETCH(int, attributeError);
        QFETCH(int, appendError);
        QFETCH(bool, warned);
        QTemporaryDir dir;
        prot_dump(PosixFileSystem::instance(), dir.path());
        Session session(dir.path(), "Stick");
        testing::FaultyFileSystem files;
        files.setWritableError = attributeError;
        files.writeError = appendError;
        files.failWriteAt = 1;
        session.files = &files;
        QVERIFY(!session.save(singleResult(), "Stick"));
        const QStringList expected{
            "Fehler beim Schreiben! Mögliche Ursachen:\r\n1. Der aktuelle Ordner befindet "
            "sich auf einen schreibgeschützten Datenträger.\r\n2. Sie besitzen nicht die "
            "erforderlichen Rechte um in diesen Ordner zu schreiben."};
        QCOMPARE(session.warnings(), warned ? expected : QStringList());
    }
};

QTEST_MAIN(tst_ResultsLog)
#include "tst_ResultsLog.moc"
