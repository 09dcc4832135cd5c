#include "DriveList.h"
#include "ICustomDraw.h"
#include "ListView.h"
#include "SystemFixture.h"
#include "VolumeMonitor.h"
#include "WindowMessages.h"
#include "modDevInfo.h"

#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

using namespace kardelo;

namespace {

using testing::SystemFixture;

SystemRoots rootsOf(const SystemFixture& f)
{
    return {f.proc(), f.sys()};
}

const QString Usb = "pci0000:00/0000:00:14.0/usb1/1-1/1-1:1.0/host6/target6:0:0/6:0:0:0";
const QString Reader = "pci0000:00/0000:00:14.0/usb2/2-3/2-3:1.0/host7/target7:0:0/7:0:0:0";
const QString NoName = "pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0/host8/target8:0:0/8:0:0:0";
const QString FuseStick = "pci0000:00/0000:00:14.0/usb1/1-3/1-3:1.0/host9/target9:0:0/9:0:0:0";
const QString Locked = "pci0000:00/0000:00:14.0/usb1/1-4/1-4:1.0/host10/target10:0:0/10:0:0:0";
const QString Sata = "pci0000:00/0000:00:17.0/ata3/host2/target2:0:0/2:0:0:0";
const QString Mmc = "pci0000:00/0000:00:1e.6/mmc_host/mmc0/mmc0:aaaa";
const QString Nvme = "pci0000:00/0000:00:1d.0/0000:3d:00.0/nvme/nvme0";

const QByteArray SystemDisk = "26 1 254:0 / / rw,relatime - ext4 /dev/vda rw\n";

// The devices of a machine with every kind of medium and image; what is mounted is up to the
// test.
void buildDevices(const SystemFixture& f)
{
    f.disk(Usb + "/block/sdb", Usb, "8:17", true,
           {{"vendor", "Intenso \n"}, {"model", "Speed Line      \n"}, {"rev", "1.00\n"}}, "sdb1");
    f.disk(Reader + "/block/sdc", Reader, "8:33", true,
           {{"vendor", "Generic-\n"}, {"model", "SD/MMC          \n"}, {"rev", "1.00\n"}}, "sdc1");
    f.disk(NoName + "/block/sdd", NoName, "8:49", true, {{"model", "   \n"}}, "sdd1");
    f.disk(FuseStick + "/block/sdf", FuseStick, "8:81", true,
           {{"vendor", "SanDisk \n"}, {"model", "Cruzer\n"}, {"rev", "8.02\n"}}, "sdf1");
    f.disk(Locked + "/block/sdg", Locked, "8:97", true, {{"model", "Locked\n"}}, "sdg1", true);
    f.disk(Sata + "/block/sda", Sata, "8:2", false,
           {{"vendor", "ATA     \n"}, {"model", "Samsung SSD 860 \n"}, {"rev", "4B6Q\n"}}, "sda2");
    f.disk(Sata + "/block/sda", {}, "8:3", false, {}, "sda3");
    f.disk(Mmc + "/block/mmcblk0", Mmc, "179:1", false, {{"name", "SD64G\n"}, {"type", "SD\n"}},
           "mmcblk0p1");
    f.disk(Nvme + "/nvme0n1", Nvme, "259:2", false,
           {{"model", "WDC PC SN730      \n"}, {"firmware_rev", "11170101\n"}}, "nvme0n1p2");
    f.disk("pci0000:00/0000:00:02.0/virtio1/block/vda", "pci0000:00/0000:00:02.0/virtio1", "254:0",
           false, {{"vendor", "0x1af4\n"}});
    f.loop("loop0", "7:0", "/var/lib/snapd/snaps/core_1.snap", false);
    f.loop("loop1", "7:1", "/var/lib/images/app.erofs", false);
    f.loop("loop2", "7:2", "/srv/images/base.img", true);
    f.loop("loop3", "7:3", "/home/anna/test medium.img", false);
}

struct Recorder {
    QWidget widget;
    WindowHandle handle = registerWindow(&widget);
    QStringList seen;

    Recorder()
    {
        setWindowProcedure(handle, [this](WindowHandle, std::uint32_t msg, std::int32_t wParam,
                                          std::int32_t lParam) {
            const auto record = deviceBroadcastRecord(lParam);
            if (msg == WM_DEVICECHANGE && record)
                seen << QStringLiteral("%1 %2 %3")
                            .arg(wParam == DBT_DEVICEARRIVAL ? "arrival" : "removal")
                            .arg(record->dbcv_flags & DBTF_NET ? "network" : "local")
                            .arg(record->mountPoints.join(u','));
            return 0;
        });
    }
};

struct Host : ICustomDraw {
    bool CustomDraw(std::int32_t, std::int32_t, std::int32_t&, std::int32_t&) override
    {
        return true;
    }
};

} // namespace

class tst_DriveList : public QObject {
    Q_OBJECT

private slots:
    // The drive list and the volume monitor share one rule: every row of the list arrives and
    // goes with a message, and nothing else does (apart from network file systems, which the
    // window ignores).
    void whatIsAMedium_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("row");
        QTest::addColumn<QString>("message");
        const auto add = [](const char* name, const QByteArray& line, const QString& row) {
            const QString point = row.section(u'|', 0, 0);
            QTest::newRow(name) << line + "\n"
                                << row << (row.isEmpty() ? QString() : "local " + point);
        };
        add("USB stick", "34 26 8:17 / /media/anna/INTENSO rw shared:5 - vfat /dev/sdb1 rw",
            "/media/anna/INTENSO|USB|ja|Intenso Speed Line 1.00");
        add("card reader, blank in the name",
            "35 26 8:33 / /media/anna/SD\\040CARD rw - exfat /dev/sdc1 rw",
            "/media/anna/SD CARD|USB|ja|Generic- SD/MMC 1.00");
        add("stick without a name", "39 26 8:49 / /media/anna/NONAME rw - vfat /dev/sdd1 rw",
            "/media/anna/NONAME|USB|ja|");
        add("write-protected stick", "47 26 8:97 / /media/anna/LOCKED ro - vfat /dev/sdg1 ro",
            "/media/anna/LOCKED|USB|ja|Locked");
        add("FUSE stick", "46 26 0:55 / /media/anna/FUSE rw - fuse.fusefat /dev/sdf1 rw",
            "/media/anna/FUSE|USB|ja|SanDisk Cruzer 8.02");
        add("fuseblk stick", "46 26 0:56 / /media/anna/NTFS rw - fuseblk /dev/sdf1 rw",
            "/media/anna/NTFS|USB|ja|SanDisk Cruzer 8.02");
        add("SD card", "36 26 179:1 / /media/anna/CAMERA rw - vfat /dev/mmcblk0p1 rw",
            "/media/anna/CAMERA|SD|nein|SD64G");
        add("SATA disk", "30 26 8:2 / /data rw - ext4 /dev/sda2 rw",
            "/data|SATA|nein|ATA Samsung SSD 860 4B6Q");
        add("NVMe disk", "37 26 259:2 / /mnt/nvme rw - ext4 /dev/nvme0n1p2 rw",
            "/mnt/nvme|NVMe|nein|WDC PC SN730 11170101");
        add("btrfs subvolume", "41 26 0:40 /@data /mnt/btrfs rw - btrfs /dev/sda3 rw,subvol=/@data",
            "/mnt/btrfs|SATA|nein|ATA Samsung SSD 860 4B6Q");
        add("writable image", "45 26 7:3 / /media/anna/IMAGE rw - ext4 /dev/loop3 rw",
            "/media/anna/IMAGE|FileBackedVirtual|nein|test medium.img");
        add("snap package", "38 26 7:0 / /snap/core/1 ro - squashfs /dev/loop0 ro", {});
        add("erofs image", "43 26 7:1 / /run/app ro - erofs /dev/loop1 ro", {});
        add("read-only loop image", "44 26 7:2 / /mnt/image ro - ext4 /dev/loop2 ro", {});
        add("FUSE without a device", "48 26 0:57 / /mnt/fuse rw - fuse.fusefat fusefat rw", {});
        add("bind mount of a folder", "31 26 8:2 /sub /srv/bind rw - ext4 /dev/sda2 rw", {});
        add("btrfs folder", "42 26 0:40 /@data/photos /srv/photos rw - btrfs /dev/sda3 rw", {});
        add("tmpfs", "33 26 0:30 / /tmp rw - tmpfs tmpfs rw", {});
        add("device sysfs lacks", "40 26 8:65 / /mnt/gone rw - ext4 /dev/sde1 rw", {});
        QTest::newRow("NFS") << QByteArray("32 26 0:50 / /mnt/nfs rw - nfs4 server:/export rw\n")
                             << QString() << "network /mnt/nfs";
        QTest::newRow("sshfs") << QByteArray(
                                      "49 26 0:57 / /mnt/ssh rw - fuse.sshfs anna@host: rw\n")
                               << QString() << "network /mnt/ssh";
    }
    void whatIsAMedium()
    {
        QFETCH(QByteArray, line);
        QFETCH(QString, row);
        QFETCH(QString, message);
        SystemFixture f;
        buildDevices(f);
        QVERIFY(f.mountinfo(SystemDisk));
        Recorder window;
        VolumeMonitor monitor(window.handle, rootsOf(f));
        QVERIFY(monitor.start());

        QVERIFY(f.mountinfo(SystemDisk + line));
        QStringList rows;
        for (const DriveListEntry& entry : driveEntries(rootsOf(f)))
            rows << QStringList{entry.rootPath, entry.busType, entry.removable, entry.name}.join(
                '|');
        QCOMPARE(rows, QStringList{"/|Virtual|nein|"} +
                           (row.isEmpty() ? QStringList{} : QStringList{row}));
        monitor.poll();
        QCOMPARE(window.seen,
                 message.isEmpty() ? QStringList{} : QStringList{"arrival " + message});

        QVERIFY(f.mountinfo(SystemDisk));
        monitor.poll();
        QCOMPARE(window.seen.size(), message.isEmpty() ? 0 : 2);
        if (!message.isEmpty())
            QCOMPARE(window.seen[1], "removal " + message);
    }

    void queryByMountPoint()
    {
        SystemFixture f;
        buildDevices(f);
        QVERIFY(f.mountinfo(SystemDisk + "34 26 8:17 / /media/anna/INTENSO rw - vfat /dev/sdb1 rw\n"
                                         "38 26 7:0 / /snap/core/1 ro - squashfs /dev/loop0 ro\n"
                                         "31 26 8:2 /sub /srv/bind rw - ext4 /dev/sda2 rw\n"
                                         "32 26 0:50 / /mnt/nfs rw - nfs4 server:/export rw\n"));
        const DeviceProperties stick = QueryDeviceProperties("/media/anna/INTENSO/", rootsOf(f));
        QVERIFY(stick.Success);
        QCOMPARE(stick.BusType, 7);
        QVERIFY(stick.Removable);
        QCOMPARE(QueryDeviceProperties("/", rootsOf(f)).BusType, 14);
        for (const char* failing :
             {"/mnt/nfs", "/srv/bind", "/snap/core/1", "/media/anna", "/nowhere"}) {
            const DeviceProperties none = QueryDeviceProperties(failing, rootsOf(f));
            QVERIFY2(!none.Success && none.BusType == 0 && !none.Removable &&
                         none.ProductId.isEmpty(),
                     failing);
        }
    }

    void mmcTypeAndLaterMounts()
    {
        SystemFixture f;
        f.disk(Mmc + "/block/mmcblk1", Mmc, "179:8", false, {{"name", "M8G\n"}, {"type", "MMC\n"}});
        // The stick mounted twice and then hidden by a tmpfs over its first mount point.
        f.disk(Usb + "/block/sdb", Usb, "8:17", true, {{"model", "X\n"}}, "sdb1");
        f.mountinfo("36 1 179:8 / /e rw - ext4 /dev/mmcblk1 rw\n"
                    "37 1 8:17 / /a rw - vfat /dev/sdb1 rw\n"
                    "38 1 8:17 / /b rw - vfat /dev/sdb1 rw\n"
                    "39 1 0:60 / /a rw - tmpfs tmpfs rw\n");
        const std::vector<DriveListEntry> rows = driveEntries(rootsOf(f));
        QCOMPARE(rows.size(), 2u);
        QCOMPARE(rows[0].rootPath, QStringLiteral("/b"));
        QCOMPARE(rows[1].busType, QStringLiteral("MMC"));
    }

    // A row's drive is reachable only while the same mount and file system sit at its root.
    void reachableWhileTheSameMountIsThere()
    {
        QTemporaryDir dir;
        const MountIdentity now = mountIdentityOf(dir.path()).value_or(MountIdentity{});
        QVERIFY(now.device != 0 && now.mountId != 0);
        const struct {
            const char* what;
            MountIdentity row;
            bool reachable;
        } cases[] = {
            {"as listed", now, true},
            {"another mount", {now.mountId + 1, now.device}, false},
            {"another file system", {now.mountId, now.device + 1}, false},
            {"never reached", {}, false},
        };
        for (const auto& c : cases)
            QVERIFY2(isStillMounted({dir.path(), "USB", "ja", "", c.row}) == c.reachable, c.what);
        const QString root = dir.path();
        dir.remove();
        QVERIFY(!isStillMounted({root, "USB", "ja", "", now}));
    }

    // The list always shows nine rows, fillers below the drives; a filler row is no drive.
    void rowsAndSelection()
    {
        ListView list;
        Host host;
        create_drive_grid(list, &host);
        QCOMPARE(list.ColumnCount(), 7);
        const std::vector<DriveListEntry> two{{"/", "SATA", "nein", "ATA X 1"},
                                              {"/media/anna/INTENSO", "USB", "ja", "Intenso"}};
        load_drive_list(list, two);
        QCOMPARE(list.ItemCount(), 9);
        QCOMPARE(list.ItemText(1, 4), QStringLiteral("ja"));
        QCOMPARE(list.ItemText(2, 0), QString());

        const struct {
            int selected;
            QString drive, name;
        } picks[] = {
            {-1, {}, {}}, {4, {}, {}}, {1, "/media/anna/INTENSO", "Intenso"}, {0, "/", "ATA X 1"}};
        for (const auto& pick : picks) {
            if (pick.selected >= 0)
                list.Table().SetItemSelected(pick.selected, true);
            QCOMPARE(check_select(list), pick.drive);
            QCOMPARE(check_snap(list), pick.name);
        }

        // A rebuild drops the selection; ten drives leave no room for fillers.
        load_drive_list(list, std::vector<DriveListEntry>(10, two[1]));
        QCOMPARE(list.ItemCount(), 10);
        QCOMPARE(check_select(list), QString());
        load_drive_list(list, {});
        QCOMPARE(list.ItemCount(), 9);
    }

    void rowsWithoutColumnsDoNotHang()
    {
        ListView list;
        load_drive_list(list, {{"/", "SATA", "nein", ""}});
        QCOMPARE(list.ItemCount(), 0);
        QVERIFY(list.Redraw());
    }
};

QTEST_MAIN(tst_DriveList)
#include "tst_DriveList.moc"
