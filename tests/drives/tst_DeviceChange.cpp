#include "EventLog.h"
#include "VolumeMonitor.h"
#include "WindowMessages.h"
#include "modDeviceChange.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>
#include <stdexcept>
#include <unistd.h>
#include <vector>

using namespace kardelo;

namespace {

constexpr std::int32_t OwnResult = 0x55;

const QByteArray BaseTable = "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
                             "23 22 0:21 / /proc rw,nosuid - proc proc rw\n"
                             "24 22 0:22 / /run rw,nosuid shared:5 - tmpfs tmpfs rw,size=100k\n";
const QByteArray Stick = "40 22 8:17 / /media/anna/STICK rw,nosuid - vfat /dev/sdb1 rw\n";
const QByteArray StickAgain = "41 22 8:17 / /mnt/stick rw - vfat /dev/sdb1 rw\n";
const QByteArray StickSubdirectory = "42 22 8:17 /photos /mnt/photos rw - vfat /dev/sdb1 rw\n";
const QByteArray Scratch = "43 22 0:40 / /mnt/scratch rw - tmpfs tmpfs rw\n";
const QByteArray Share = "44 22 0:41 / /mnt/share rw - nfs4 server:/export rw,vers=4.2\n";
const QByteArray Card = "45 22 179:1 / /media/anna/CARD rw - exfat /dev/mmcblk0p1 rw\n";
const QByteArray Disc = "46 22 11:0 / /media/anna/DISC ro - iso9660 /dev/sr0 ro\n";

// A proc tree whose mount table the test writes.
class FixtureProc {
public:
    FixtureProc()
    {
        QDir(m_dir.path()).mkpath(QStringLiteral("self"));
        write(BaseTable);
    }
    QString root() const { return m_dir.path(); }
    void write(const QByteArray& table) const
    {
        QFile file(m_dir.filePath(QStringLiteral("self/mountinfo")));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(table);
    }
    void remove() const { QFile::remove(m_dir.filePath(QStringLiteral("self/mountinfo"))); }

private:
    QTemporaryDir m_dir;
};

struct SeenMessage {
    std::uint32_t msg = 0;
    std::int32_t wParam = 0;
    std::int32_t lParam = 0;
    std::optional<DeviceBroadcastVolume> record;
};

// A registered widget whose own procedure records every message and answers OwnResult.
class TestWindow {
public:
    TestWindow() : handle(registerWindow(&widget))
    {
        setWindowProcedure(handle, [this](WindowHandle, std::uint32_t msg, std::int32_t wParam,
                                          std::int32_t lParam) {
            seen.push_back({msg, wParam, lParam, deviceBroadcastRecord(lParam)});
            return OwnResult;
        });
    }
    std::vector<SeenMessage> deviceChanges() const
    {
        std::vector<SeenMessage> result;
        for (const SeenMessage& message : seen) {
            if (message.msg == WM_DEVICECHANGE)
                result.push_back(message);
        }
        return result;
    }

    QWidget widget;
    WindowHandle handle;
    std::vector<SeenMessage> seen;
};

std::int32_t sendVolumeMessage(WindowHandle window, std::int32_t event,
                               DeviceBroadcastVolume record = {})
{
    const ScopedDeviceBroadcast broadcast(record);
    return sendMessage(window, WM_DEVICECHANGE, event, broadcast.token());
}

class CapturingLog final : public EventLog {
public:
    QStringList entries;
    void writeError(const QString& text) override { entries << text; }
};

bool run(const QString& program, const QStringList& arguments, QString* output = nullptr)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0)
        return false;
    if (output)
        *output = QString::fromUtf8(process.readAllStandardOutput()).trimmed();
    return true;
}

// An ext4 image on a loop device, and the mounts a test makes; all undone at the end.
class LoopMedium {
public:
    ~LoopMedium()
    {
        for (auto point = m_mounts.crbegin(); point != m_mounts.crend(); ++point)
            run(QStringLiteral("umount"), {QStringLiteral("-l"), *point});
        if (!m_device.isEmpty())
            run(QStringLiteral("losetup"), {QStringLiteral("-d"), m_device});
    }
    bool create()
    {
        const QString image = m_dir.filePath(QStringLiteral("medium.img"));
        QFile file(image);
        if (!file.open(QIODevice::WriteOnly) || !file.resize(8 * 1024 * 1024))
            return false;
        file.close();
        return run(QStringLiteral("mkfs.ext4"),
                   {QStringLiteral("-q"), QStringLiteral("-F"), image}) &&
               run(QStringLiteral("losetup"),
                   {QStringLiteral("--find"), QStringLiteral("--show"), image}, &m_device);
    }
    QString mountPoint(const QString& name) const
    {
        QDir(m_dir.path()).mkpath(name);
        return m_dir.filePath(name);
    }
    bool mount(const QStringList& arguments, const QString& point)
    {
        if (!run(QStringLiteral("mount"), arguments + QStringList{point}))
            return false;
        m_mounts << point;
        return true;
    }
    bool unmount(const QString& point)
    {
        if (!run(QStringLiteral("umount"), {point}))
            return false;
        m_mounts.removeAll(point);
        return true;
    }
    QString device() const { return m_device; }

private:
    QTemporaryDir m_dir;
    QString m_device;
    QStringList m_mounts;
};

} // namespace

class tst_DeviceChange : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { UnregisterDeviceChange(NoWindow); }

    void monitorSendsOneMessagePerVolumeThatCameOrWent()
    {
        FixtureProc proc;
        TestWindow window;
        VolumeMonitor monitor(window.handle, proc.root());
        QVERIFY(monitor.start());
        monitor.poll();
        QVERIFY(window.deviceChanges().empty());
        // Only a subdirectory of a file system that is not mounted itself: no volume.
        proc.write(BaseTable + StickSubdirectory + Scratch);
        monitor.poll();
        QVERIFY(window.deviceChanges().empty());

        proc.write(BaseTable + Stick);
        monitor.poll();
        auto changes = window.deviceChanges();
        QCOMPARE(changes.size(), 1u);
        QCOMPARE(changes[0].wParam, DBT_DEVICEARRIVAL);
        QVERIFY(changes[0].lParam != 0);
        QVERIFY(changes[0].record);
        QCOMPARE(changes[0].record->dbcv_devicetype, DBT_DEVTYP_VOLUME);
        QCOMPARE(changes[0].record->dbcv_flags, std::uint16_t{0});
        QVERIFY2(!deviceBroadcastRecord(changes[0].lParam), "record outlives its message");

        // Other mounts and a second mount point of the same volume change no volume.
        proc.write(BaseTable + Stick + StickAgain + StickSubdirectory + Scratch);
        monitor.poll();
        QCOMPARE(window.deviceChanges().size(), 1u);

        proc.write(BaseTable + Scratch);
        monitor.poll();
        changes = window.deviceChanges();
        QCOMPARE(changes.size(), 2u);
        QCOMPARE(changes[1].wParam, DBT_DEVICEREMOVECOMPLETE);
        QCOMPARE(changes[1].record->dbcv_flags, std::uint16_t{0});

        proc.write(BaseTable + Share);
        monitor.poll();
        changes = window.deviceChanges();
        QCOMPARE(changes.size(), 3u);
        QCOMPARE(changes[2].wParam, DBT_DEVICEARRIVAL);
        QCOMPARE(changes[2].record->dbcv_flags, DBTF_NET);

        proc.write(BaseTable + Stick + Card + Disc);
        monitor.poll();
        changes = window.deviceChanges();
        QCOMPARE(changes.size(), 7u);
        int arrivals = 0;
        int removals = 0;
        for (std::size_t i = 3; i < changes.size(); ++i)
            (changes[i].wParam == DBT_DEVICEARRIVAL ? arrivals : removals) += 1;
        QCOMPARE(arrivals, 3);
        QCOMPARE(removals, 1);
        QVERIFY(changes[3].lParam != changes[4].lParam);

        // A table that cannot be read is no removal of everything.
        proc.remove();
        monitor.poll();
        QCOMPARE(window.deviceChanges().size(), 7u);
        proc.write(BaseTable + Stick + Card + Disc);
        monitor.poll();
        QCOMPARE(window.deviceChanges().size(), 7u);
    }

    void monitorDoesNotStartWithoutATable()
    {
        TestWindow window;
        VolumeMonitor monitor(window.handle, QStringLiteral("/nonexistent-proc"));
        QVERIFY(!monitor.start());
    }

    void onlyLocalVolumeArrivalsAndRemovalsRefresh_data()
    {
        QTest::addColumn<int>("event");
        QTest::addColumn<int>("deviceType");
        QTest::addColumn<int>("flags");
        QTest::addColumn<bool>("withData");
        QTest::addColumn<int>("refreshes");
        QTest::newRow("arrival") << DBT_DEVICEARRIVAL << 2 << 0 << true << 1;
        QTest::newRow("removal complete") << DBT_DEVICEREMOVECOMPLETE << 2 << 0 << true << 1;
        QTest::newRow("query remove") << 0x8001 << 2 << 0 << true << 0;
        QTest::newRow("device nodes changed") << 0x0007 << 2 << 0 << true << 0;
        QTest::newRow("media change") << DBT_DEVICEARRIVAL << 2 << 1 << true << 0;
        QTest::newRow("network volume") << DBT_DEVICEARRIVAL << 2 << 2 << true << 0;
        QTest::newRow("network removal") << DBT_DEVICEREMOVECOMPLETE << 2 << 2 << true << 0;
        QTest::newRow("device interface") << DBT_DEVICEARRIVAL << 5 << 0 << true << 0;
        QTest::newRow("no data") << DBT_DEVICEARRIVAL << 2 << 0 << false << 0;
    }
    void onlyLocalVolumeArrivalsAndRemovalsRefresh()
    {
        QFETCH(int, event);
        QFETCH(int, deviceType);
        QFETCH(int, flags);
        QFETCH(bool, withData);
        QFETCH(int, refreshes);
        FixtureProc proc;
        TestWindow window;
        int clicks = 0;
        QVERIFY(RegisterDeviceChange(
                    window.handle, [&] { ++clicks; }, proc.root()) != 0);

        DeviceBroadcastVolume record;
        record.dbcv_devicetype = static_cast<std::uint32_t>(deviceType);
        record.dbcv_flags = static_cast<std::uint16_t>(flags);
        const ScopedDeviceBroadcast broadcast(record);
        const std::int32_t lParam = withData ? broadcast.token() : 0;
        QCOMPARE(sendMessage(window.handle, WM_DEVICECHANGE, event, lParam), OwnResult);
        QCOMPARE(clicks, refreshes);
        QCOMPARE(window.seen.size(), 1u);
        QCOMPARE(window.seen[0].wParam, event);
        QCOMPARE(window.seen[0].lParam, lParam);

        OnDeviceChange(event, 0x7FFF0000); // a token nobody published
        QCOMPARE(clicks, refreshes);
        UnregisterDeviceChange(window.handle);
    }

    void procedureStandsInFrontUntilUnregistered()
    {
        FixtureProc proc;
        TestWindow window;
        int clicks = 0;
        const DeviceNotifyHandle notification = RegisterDeviceChange(
            window.handle, [&] { ++clicks; }, proc.root());
        QVERIFY(notification != 0);
        QCOMPARE(RegisterDeviceChange(
                     window.handle, [&] { clicks += 100; }, proc.root()),
                 notification);

        // Every message reaches the window unchanged and keeps its answer.
        QCOMPARE(sendMessage(window.handle, WM_KEYDOWN, VK_RETURN, 0x1C0001), OwnResult);
        QCOMPARE(sendVolumeMessage(window.handle, DBT_DEVICEARRIVAL), OwnResult);
        QCOMPARE(window.seen.size(), 2u);
        QCOMPARE(window.seen[0].msg, WM_KEYDOWN);
        QCOMPARE(window.seen[0].wParam, VK_RETURN);
        QCOMPARE(window.seen[0].lParam, 0x1C0001);
        QCOMPARE(window.seen[1].wParam, DBT_DEVICEARRIVAL);
        QCOMPARE(clicks, 1);

        // A monitor aimed at the window reaches the refresh through the chain, once per volume.
        VolumeMonitor monitor(window.handle, proc.root());
        QVERIFY(monitor.start());
        proc.write(BaseTable + Stick + Card + Share);
        monitor.poll();
        QCOMPARE(clicks, 3);
        proc.write(BaseTable);
        monitor.poll();
        QCOMPARE(clicks, 5);

        UnregisterDeviceChange(window.handle);
        window.seen.clear();
        QCOMPARE(sendVolumeMessage(window.handle, DBT_DEVICEARRIVAL), OwnResult);
        QCOMPARE(window.seen.size(), 1u);
        QCOMPARE(clicks, 5);

        // A second unregistration must not put an old procedure over a newer one.
        int newer = 0;
        const WindowProcedure below = setWindowProcedure(
            window.handle, [&](WindowHandle h, std::uint32_t m, std::int32_t w, std::int32_t l) {
                ++newer;
                return callWindowProcedure(below, h, m, w, l);
            });
        UnregisterDeviceChange(window.handle);
        sendMessage(window.handle, WM_KEYDOWN, 0, 0);
        QCOMPARE(newer, 1);
    }

    void failedRegistrationLeavesTheWindowAlone()
    {
        TestWindow window;
        int clicks = 0;
        QCOMPARE(RegisterDeviceChange(NoWindow, [&] { ++clicks; }), 0);
        QCOMPARE(RegisterDeviceChange(
                     window.handle, [&] { ++clicks; }, QStringLiteral("/nonexistent-proc")),
                 0);
        QCOMPARE(sendVolumeMessage(window.handle, DBT_DEVICEARRIVAL), OwnResult);
        QCOMPARE(clicks, 0);
        QCOMPARE(window.seen.size(), 1u);
        UnregisterDeviceChange(window.handle); // nothing registered: nothing happens
        QCOMPARE(sendVolumeMessage(window.handle, DBT_DEVICEARRIVAL), OwnResult);
        QCOMPARE(window.seen.size(), 2u);
    }

    void aFailingRefreshStaysInsideTheProcedure()
    {
        FixtureProc proc;
        TestWindow window;
        CapturingLog log;
        const ScopedEventLog scoped(log);
        QVERIFY(RegisterDeviceChange(
                    window.handle, [] { throw std::runtime_error("list broken"); }, proc.root()) !=
                0);
        QCOMPARE(sendVolumeMessage(window.handle, DBT_DEVICEARRIVAL), OwnResult);
        QCOMPARE(window.seen.size(), 1u);
        QCOMPARE(log.entries.size(), 1);
        QVERIFY(log.entries[0].contains(QStringLiteral("list broken")));
        UnregisterDeviceChange(window.handle);
    }

    void realMountsRefreshThroughTheEventLoop()
    {
        if (::geteuid() != 0)
            QSKIP("mounting needs root");
        for (const char* tool : {"losetup", "mkfs.ext4", "mount", "umount"}) {
            if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty() &&
                QStandardPaths::findExecutable(
                    QString::fromLatin1(tool),
                    {QStringLiteral("/sbin"), QStringLiteral("/usr/sbin")})
                    .isEmpty())
                QSKIP(qPrintable(QStringLiteral("%1 is missing").arg(QLatin1String(tool))));
        }
        LoopMedium medium;
        if (!medium.create())
            QSKIP("no loop device available");
        TestWindow window;
        int clicks = 0;
        QVERIFY(RegisterDeviceChange(window.handle, [&] { ++clicks; }) != 0);

        const QString stick = medium.mountPoint(QStringLiteral("stick"));
        QVERIFY(medium.mount({medium.device()}, stick));
        QTRY_COMPARE_WITH_TIMEOUT(clicks, 1, 5000);
        QVERIFY(medium.unmount(stick));
        QTRY_COMPARE_WITH_TIMEOUT(clicks, 2, 5000);

        const QString scratch = medium.mountPoint(QStringLiteral("scratch"));
        QVERIFY(medium.mount(
            {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("tmpfs")}, scratch));
        QTest::qWait(1500);
        QCOMPARE(clicks, 2);
        UnregisterDeviceChange(window.handle);
    }
};

QTEST_MAIN(tst_DeviceChange)
#include "tst_DeviceChange.moc"
