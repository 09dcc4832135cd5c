#include "AlignedBuffer.h"
#include "DriveRoot.h"
#include "FaultyFileSystem.h"
#include "FifoGuard.h"
#include "PlantedFiles.h"
#include "PosixFileSystem.h"
#include "RuntimeError.h"
#include "basFileAPI.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

using namespace kardelo;
using namespace kardelo::basFileAPI;
using namespace kardelo::testing;

class tst_basFileAPI : public QObject {
    Q_OBJECT

    PosixFileSystem m_files;
    QTemporaryDir m_dir;

    QString path(const char* name) const { return m_dir.filePath(QString::fromLatin1(name)); }

private slots:
    void writeThenReadBackWithoutTheCache()
    {
        AlignedBuffer out(64 * 1024);
        QCOMPARE(reinterpret_cast<std::uintptr_t>(out.data()) % AlignedBuffer::Alignment, 0u);
        for (std::size_t i = 0; i < out.size(); ++i)
            out.data()[i] = static_cast<std::byte>(i % 251 + 1);

        const FileHandle writer = OpenForWrite(m_files, path("a")).handle;
        QVERIFY(writer != InvalidHandle);
        QVERIFY(WriteBlock(m_files, writer, out.data(), 64 * 1024).ok);
        QVERIFY(WriteBlock(m_files, writer, out.data(), 32 * 1024).ok); // part of the buffer
        QVERIFY(FlushAndClose(m_files, writer));
        QCOMPARE(QFileInfo(path("a")).size(), 96 * 1024);

        AlignedBuffer in(64 * 1024);
        const FileHandle reader = OpenForRead(m_files, path("a")).handle;
        QVERIFY(reader != InvalidHandle);
        QVERIFY(ReadBlock(m_files, reader, in.data(), 64 * 1024).ok);
        QVERIFY(std::equal(out.data(), out.data() + out.size(), in.data()));
        QVERIFY(ReadBlock(m_files, reader, in.data(), 32 * 1024).ok);
        // Past the end there is nothing to read: a short transfer is a failed one.
        const TransferResult pastTheEnd = ReadBlock(m_files, reader, in.data(), 1024);
        QVERIFY(!pastTheEnd.ok);
        QCOMPARE(pastTheEnd.moved, 0u);
        QVERIFY(FlushAndClose(m_files, reader));
    }

    void openForWriteOnlyCreates()
    {
        // Whatever sits at the name, the open never reaches it: a hard link to someone's file,
        // a link, a FIFO (which would block the open for good).
        writeFile(path("user"), "precious");
        plant(Planted::HardLink, path("hard"), path("user"));
        plant(Planted::SymbolicLink, path("soft"), path("user"));
        plant(Planted::Fifo, path("fifo"), {});
        for (const char* name : {"user", "hard", "soft", "fifo"}) {
            const OpenResult refused = OpenForWrite(m_files, path(name));
            QCOMPARE(refused.handle, InvalidHandle);
            QCOMPARE(refused.error, EEXIST);
        }
        QCOMPARE(contents(path("user")), QByteArray("precious"));
        // Reading takes a regular file only, and never waits for a FIFO's writer.
        {
            const FifoGuard guard(path("fifo"));
            QCOMPARE(OpenForRead(m_files, path("fifo")).handle, InvalidHandle);
            QVERIFY2(!guard.fired(), "waited on the FIFO");
        }
        QCOMPARE(OpenForRead(m_files, path("soft")).handle, InvalidHandle);
    }

    void openForReadNeedsAnExistingFile()
    {
        QCOMPARE(OpenForRead(m_files, path("missing")).error, ENOENT);
    }

    void aSecondOpenFailsWhileTheFileIsOpen()
    {
        const FileHandle first = OpenForWrite(m_files, path("c")).handle;
        QVERIFY(first != InvalidHandle);
        AlignedBuffer block(4096);
        QVERIFY(WriteBlock(m_files, first, block.data(), 4096).ok);
        const OpenResult second = OpenForRead(m_files, path("c"));
        QCOMPARE(second.handle, InvalidHandle);
        QCOMPARE(second.error, EWOULDBLOCK);
        QVERIFY(m_files.isLockedByAnother(path("c")));
        QVERIFY(FlushAndClose(m_files, first));
        QVERIFY(!m_files.isLockedByAnother(path("c")));
        const FileHandle again = OpenForRead(m_files, path("c")).handle;
        QVERIFY(again != InvalidHandle);
        QVERIFY(FlushAndClose(m_files, again));
    }

    void transferOffTheSectorGridFails()
    {
        const FileHandle handle = OpenForWrite(m_files, path("d")).handle;
        QVERIFY(handle != InvalidHandle);
        AlignedBuffer block(4096);
        const TransferResult offTheGrid = WriteBlock(m_files, handle, block.data(), 100);
        QVERIFY(!offTheGrid.ok);
        QCOMPARE(offTheGrid.error, EINVAL);
        QVERIFY(m_files.directIoAlignment(path("d")) >= 512);
        QVERIFY(FlushAndClose(m_files, handle));
    }

    void closingWhatIsNotOpen()
    {
        QVERIFY(!FlushAndClose(m_files, InvalidHandle));
        AlignedBuffer block(4096);
        QCOMPARE(WriteBlock(m_files, InvalidHandle, block.data(), 4096).error, EBADF);
        QCOMPARE(ReadBlock(m_files, InvalidHandle, block.data(), 4096).error, EBADF);
    }

    void driveAccessErrors()
    {
        const auto expectDriveError = [](auto&& step) {
            try {
                step();
                QFAIL("no drive-access error");
            } catch (const RuntimeError& error) {
                QCOMPARE(error.code(), ErrorCode::BadFileNameOrNumber);
            }
        };
        DriveRoot missing(m_files, m_dir.filePath(QStringLiteral("not-there/")));
        expectDriveError([&] { missing.fileExists(path("not-there/x")); });

        FaultyFileSystem faulty;
        DriveRoot drive(faulty, m_dir.path() + QLatin1Char('/'));
        QVERIFY(!drive.fileExists(path("nothing")));
        faulty.deviceOverride = 1; // unmounted: the bare mount point is another file system
        expectDriveError([&] { drive.fileExists(path("nothing")); });
    }
};

QTEST_GUILESS_MAIN(tst_basFileAPI)
#include "tst_basFileAPI.moc"
