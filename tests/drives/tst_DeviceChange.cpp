#include "EventLog.h"
#include "LoopMedium.h"
#include "SystemFixture.h"
#include "VolumeMonitor.h"
#include "WindowMessages.h"
#include "modDeviceChange.h"

#include <QDir>
#include <QFile>
#include <QTest>
#include <QWidget>
#include <stdexcept>
#include <vector>

using namespace kardelo;

namespace {

constexpr std::int32_t OwnResult = 0x55;

using testing::LoopMedium;
using testing::SystemFixture;

const QByteArray BaseTable = "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
                             "23 22 0:21 / /proc rw,nosuid - proc proc rw\n"
                             "24 22 0:22 / /run rw,nosuid shared:5 - tmpfs tmpfs rw,size=100k\n";
const QByteArray Stick = "40 22 8:17 / /media/anna/STICK rw,nosuid - vfat /dev/sdb1 rw\n";
const QByteArray StickAgain = "41 22 8:17 / /mnt/stick rw - vfat /dev/sdb1 rw\n";
const QByteArray StickRemounted = "50 22 8:17 / /media/anna/STICK rw - vfat /dev/sdb1 rw\n";
const QByteArray StickSubdirectory = "42 22 8:17 /photos /mnt/photos rw - vfat /dev/sdb1 rw\n";
const QByteArray Scratch = "43 22 0:40 / /mnt/scratch rw - tmpfs tmpfs rw\n";
const QByteArray Share = "44 22 0:41 / /mnt/share rw - nfs4 server:/export rw,vers=4.2\n";
const QByteArray Card = "45 22 179:1 / /media/anna/CARD rw - exfat /dev/mmcblk0p1 rw\n";
const QByteArray Disc = "46 22 11:0 / /media/anna/DISC ro - iso9660 /dev/sr0 ro\n";

// A machine with a system disk, a stick, a card and an optical drive.
class Machine : public SystemFixture {
public:
    Machine()
    {
        disk("pci0000:00/ata1/host0/target0:0:0/0:0:0:0/block/sda", {}, "8:1", false, {}, "sda1");
        disk("pci0000:00/usb1/1-1/host6/target6:0:0/6:0:0:0/block/sdb", {}, "8:17", true, {},
             "sdb1");
        disk("pci0000:00/mmc_host/mmc0/mmc0:aaaa/block/mmcblk0", {}, "179:1", true, {},
             "mmcblk0p1");
        disk("pci0000:00/ata2/host1/target1:0:0/1:0:0:0/block/sr0", {}, "11:0", true, {});
        mountinfo(BaseTable);
    }
    SystemRoots roots() const { return {proc(), sys()}; }
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
    // "arrival /a,/b" for each device-change message, "network" added for network volumes.
    QStringList changes() const
    {
        QStringList texts;
        for (const SeenMessage& message : deviceChanges()) {
            QString text = message.wParam == DBT_DEVICEARRIVAL ? "arrival" : "removal";
            if (message.record && message.record->dbcv_flags & DBTF_NET)
                text += " network";
            if (message.record)
                text += " " + message.record->mountPoints.join(u',');
            texts << text;
        }
        return texts;
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

} // namespace

class tst_DeviceChange : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { UnregisterDeviceChange(NoWindow); }

    // Each step writes a mount table; the monitor answers with the messages it sends.
    void monitorSendsOneMessagePerVolumeThatCameOrWent()
    {
        Machine machine;
        TestWindow window;
        VolumeMonitor monitor(window.handle, machine.roots());
        QVERIFY(monitor.start());
        const struct {
            QByteArray table;
            QStringList messages;
        } steps[] = {
            {BaseTable, {}},
            // Only a subdirectory of a file system that is not mounted itself: no volume.
            {BaseTable + StickSubdirectory + Scratch, {}},
            {BaseTable + Stick, {"arrival /media/anna/STICK"}},
            // A second mount point is a second row of the list; other mounts change nothing.
            {BaseTable + Stick + StickAgain + StickSubdirectory + Scratch, {"arrival /mnt/stick"}},
            // Both mount points of the stick go with one message.
            {BaseTable + Scratch, {"removal /media/anna/STICK,/mnt/stick"}},
            {BaseTable + Share, {"arrival network /mnt/share"}},
            {BaseTable + Stick + Card + Disc,
             {"removal network /mnt/share", "arrival /media/anna/CARD", "arrival /media/anna/DISC",
              "arrival /media/anna/STICK"}},
            // Unmounted and mounted again in between: the row's file system is another mount.
            {BaseTable + StickRemounted + Card + Disc,
             {"removal /media/anna/STICK", "arrival /media/anna/STICK"}},
        };
        for (const auto& step : steps) {
            window.seen.clear();
            QVERIFY(machine.mountinfo(step.table));
            monitor.poll();
            QCOMPARE(window.changes(), step.messages);
        }
        const std::vector<SeenMessage> last = window.deviceChanges();
        QCOMPARE(last[0].record->dbcv_devicetype, DBT_DEVTYP_VOLUME);
        QVERIFY(last[0].lParam != 0 && last[0].lParam != last[1].lParam);
        QVERIFY2(!deviceBroadcastRecord(last[0].lParam), "record outlives its message");

        // A table that cannot be read is no removal of everything.
        window.seen.clear();
        machine.removeMountinfo();
        monitor.poll();
        QVERIFY(machine.mountinfo(BaseTable + StickRemounted + Card + Disc));
        monitor.poll();
        QCOMPARE(window.changes(), QStringList{});
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
        Machine machine;
        TestWindow window;
        int clicks = 0;
        QVERIFY(RegisterDeviceChange(
                    window.handle, [&] { ++clicks; }, machine.roots()) != 0);

        DeviceBroadcastVolume record;
        record.dbcv_devicetype = static_cast<std::uint32_t>(deviceType);
        record.dbcv_flags = static_cast<std::uint16_t>(flags);
        const ScopedDeviceBroadcast broadcast(record);
        const std::int32_t lParam = withData ? broadcast.token() : 0;
        QCOMPARE(sendMessage(window.handle, WM_DEVICECHANGE, event, lParam), OwnResult);
        QCOMPARE(clicks, refreshes);
        QCOMPARE(window.seen.size(), 1u);

        OnDeviceChange(event, 0x7FFF0000); // a token nobody published
        QCOMPARE(clicks, refreshes);
        UnregisterDeviceChange(window.handle);
    }

    void procedureStandsInFrontUntilUnregistered()
    {
        Machine machine;
        TestWindow window;
        int clicks = 0;
        const DeviceNotifyHandle notification = RegisterDeviceChange(
            window.handle, [&] { ++clicks; }, machine.roots());
        QVERIFY(notification != 0);
        QCOMPARE(RegisterDeviceChange(
                     window.handle, [&] { clicks += 100; }, machine.roots()),
                 notification);

        // Every message reaches the window unchanged and keeps its answer.
        QCOMPARE(sendMessage(window.handle, WM_KEYDOWN, VK_RETURN, 0x1C0001), OwnResult);
        QCOMPARE(window.seen.size(), 1u);
        QCOMPARE(window.seen[0].lParam, 0x1C0001);

        // A monitor aimed at the window reaches the refresh through the chain, once per volume.
        VolumeMonitor monitor(window.handle, machine.roots());
        QVERIFY(monitor.start());
        QVERIFY(machine.mountinfo(BaseTable + Stick + Card + Share));
        monitor.poll();
        QCOMPARE(clicks, 2);
        QVERIFY(machine.mountinfo(BaseTable));
        monitor.poll();
        QCOMPARE(clicks, 4);

        UnregisterDeviceChange(window.handle);
        QCOMPARE(sendVolumeMessage(window.handle, DBT_DEVICEARRIVAL), OwnResult);
        QCOMPARE(clicks, 4);

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
        QCOMPARE(
            RegisterDeviceChange(
                window.handle, [&] { ++clicks; }, SystemRoots{QStringLiteral("/nonexistent-proc")}),
            0);
        UnregisterDeviceChange(window.handle); // nothing registered: nothing happens
        QCOMPARE(sendVolumeMessage(window.handle, DBT_DEVICEARRIVAL), OwnResult);
        QCOMPARE(clicks, 0);
        QCOMPARE(window.seen.size(), 1u);
    }

    void aFailingRefreshStaysInsideTheProcedure()
    {
        Machine machine;
        TestWindow window;
        CapturingLog log;
        const ScopedEventLog scoped(log);
        QVERIFY(RegisterDeviceChange(
                    window.handle, [] { throw std::runtime_error("list broken"); },
                    machine.roots()) != 0);
        QCOMPARE(sendVolumeMessage(window.handle, DBT_DEVICEARRIVAL), OwnResult);
        QCOMPARE(window.seen.size(), 1u);
        QCOMPARE(log.entries.size(), 1);
        QVERIFY(log.entries[0].contains(QStringLiteral("list broken")));
        UnregisterDeviceChange(window.handle);
    }

    // Real mounts reach the window through the event loop. Other programs may mount and
    // unmount at the same time: only the messages about this test's own mount points count.
    void realMountsRefreshThroughTheEventLoop_data()
    {
        QTest::addColumn<LoopMedium::Kind>("kind");
        QTest::newRow("ext4") << LoopMedium::Kind::Ext4;
        QTest::newRow("FUSE") << LoopMedium::Kind::FuseFat;
    }
    void realMountsRefreshThroughTheEventLoop()
    {
        QFETCH(LoopMedium::Kind, kind);
        LoopMedium medium(kind);
        if (const QString missing = medium.create(); !missing.isEmpty())
            QSKIP(qPrintable(missing));
        TestWindow window;
        int clicks = 0;
        int clicksSeen = 0;
        // Per message about a mount point: "arrival" or "removal", and "+refresh" when the list
        // was rebuilt for it (the refresh runs before the window's own procedure sees it).
        std::vector<std::pair<QStringList, QString>> events;
        setWindowProcedure(window.handle, [&](WindowHandle, std::uint32_t msg, std::int32_t wParam,
                                              std::int32_t lParam) {
            if (msg != WM_DEVICECHANGE)
                return OwnResult;
            const auto record = deviceBroadcastRecord(lParam);
            QString event = wParam == DBT_DEVICEARRIVAL ? "arrival" : "removal";
            if (clicks > clicksSeen)
                event += "+refresh";
            clicksSeen = clicks;
            events.emplace_back(record ? record->mountPoints : QStringList{}, event);
            return OwnResult;
        });
        QVERIFY(RegisterDeviceChange(window.handle, [&] { ++clicks; }) != 0);
        const auto about = [&](const QString& point) {
            QStringList seen;
            for (const auto& [points, event] : events) {
                if (points.contains(point))
                    seen << event;
            }
            return seen;
        };

        const QString stick = medium.mountPoint(QStringLiteral("stick"));
        QVERIFY(medium.mount(stick));
        QTRY_COMPARE_WITH_TIMEOUT(about(stick).size(), 1, 5000);
        QVERIFY(medium.unmount(stick));
        QTRY_COMPARE_WITH_TIMEOUT(about(stick).size(), 2, 5000);
        const QString scratch = medium.mountPoint(QStringLiteral("scratch"));
        QVERIFY(medium.mountOther(
            {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("tmpfs")}, scratch));
        QTest::qWait(1000);
        UnregisterDeviceChange(window.handle);

        QCOMPARE(about(stick), (QStringList{"arrival+refresh", "removal+refresh"}));
        QCOMPARE(about(scratch), QStringList{});
    }
};

QTEST_MAIN(tst_DeviceChange)
#include "tst_DeviceChange.moc"
