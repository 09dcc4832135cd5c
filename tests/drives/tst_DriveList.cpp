#include "DriveList.h"
#include "ICustomDraw.h"
#include "ListView.h"
#include "modDevInfo.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <filesystem>

using namespace kardelo;

namespace {

// A /sys and /proc shaped like the kernel's, with devices added one by one.
class Fixture {
public:
    Fixture() : m_roots{m_dir.path() + "/proc", m_dir.path() + "/sys"}
    {
        QDir().mkpath(m_roots.sys + "/dev/block");
        QDir().mkpath(m_roots.proc + "/self");
    }
    const SystemRoots& roots() const { return m_roots; }

    void write(const QString& path, const QByteArray& text)
    {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(text);
    }
    void link(const QString& target, const QString& at)
    {
        QDir().mkpath(QFileInfo(at).absolutePath());
        std::filesystem::create_directory_symlink(target.toStdString(), at.toStdString());
    }
    // A disk (paths below /sys/devices) with its device folder holding the given files, and
    // optionally one partition; the node of major:minor is the partition when there is one.
    void disk(const QString& diskPath, const QString& devicePath, const QString& numbers,
              bool removable, const QMap<QString, QByteArray>& deviceFiles,
              const QString& partition = {})
    {
        const QString diskDir = m_roots.sys + "/devices/" + diskPath;
        write(diskDir + "/removable", removable ? "1\n" : "0\n");
        if (!devicePath.isEmpty()) {
            const QString deviceDir = m_roots.sys + "/devices/" + devicePath;
            QDir().mkpath(deviceDir);
            for (auto it = deviceFiles.begin(); it != deviceFiles.end(); ++it)
                write(deviceDir + "/" + it.key(), it.value());
            link(QDir(diskDir).relativeFilePath(deviceDir), diskDir + "/device");
        }
        QString node = diskDir;
        if (!partition.isEmpty()) {
            node = diskDir + "/" + partition;
            write(node + "/partition", "1\n");
        }
        link(QDir(m_roots.sys + "/dev/block").relativeFilePath(node),
             m_roots.sys + "/dev/block/" + numbers);
    }
    void mountinfo(const QByteArray& text) { write(m_roots.proc + "/self/mountinfo", text); }

private:
    QTemporaryDir m_dir;
    SystemRoots m_roots;
};

const QString Usb = "pci0000:00/0000:00:14.0/usb1/1-1/1-1:1.0/host6/target6:0:0/6:0:0:0";
const QString Reader = "pci0000:00/0000:00:14.0/usb2/2-3/2-3:1.0/host7/target7:0:0/7:0:0:0";
const QString NoName = "pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0/host8/target8:0:0/8:0:0:0";
const QString Sata = "pci0000:00/0000:00:17.0/ata3/host2/target2:0:0/2:0:0:0";
const QString Mmc = "pci0000:00/0000:00:1e.6/mmc_host/mmc0/mmc0:aaaa";
const QString Nvme = "pci0000:00/0000:00:1d.0/0000:3d:00.0/nvme/nvme0";

void buildMachine(Fixture& f)
{
    f.disk(Usb + "/block/sdb", Usb, "8:17", true,
           {{"vendor", "Intenso \n"}, {"model", "Speed Line      \n"}, {"rev", "1.00\n"}}, "sdb1");
    f.disk(Reader + "/block/sdc", Reader, "8:33", true,
           {{"vendor", "Generic-\n"}, {"model", "SD/MMC          \n"}, {"rev", "1.00\n"}}, "sdc1");
    f.disk(NoName + "/block/sdd", NoName, "8:49", true, {{"model", "   \n"}}, "sdd1");
    f.disk(Sata + "/block/sda", Sata, "8:2", false,
           {{"vendor", "ATA     \n"}, {"model", "Samsung SSD 860 \n"}, {"rev", "4B6Q\n"}}, "sda2");
    f.disk(Mmc + "/block/mmcblk0", Mmc, "179:1", false, {{"name", "SD64G\n"}, {"type", "SD\n"}},
           "mmcblk0p1");
    f.disk(Nvme + "/nvme0n1", Nvme, "259:2", false,
           {{"model", "WDC PC SN730      \n"}, {"firmware_rev", "11170101\n"}}, "nvme0n1p2");
    f.disk("pci0000:00/0000:00:02.0/virtio1/block/vda", "pci0000:00/0000:00:02.0/virtio1", "254:0",
           false, {{"vendor", "0x1af4\n"}});
    f.disk("virtual/block/loop0", {}, "7:0", false, {});
    f.write(f.roots().sys + "/devices/virtual/block/loop0/loop/backing_file",
            "/var/lib/snapd/snaps/core_1.snap\n");
    // btrfs reports an anonymous 0:N; its source's device numbers come from the class folder.
    f.disk(Sata + "/block/sda", {}, "8:3", false, {}, "sda3");
    f.write(f.roots().sys + "/class/block/sda3/dev", "8:3\n");
    f.mountinfo("26 1 254:0 / / rw,relatime - ext4 /dev/vda rw\n"
                "30 26 8:2 / /data rw - ext4 /dev/sda2 rw\n"
                "31 26 8:2 /sub /srv/bind rw - ext4 /dev/sda2 rw\n"
                "32 26 0:50 / /mnt/nfs rw - nfs4 server:/export rw,addr=10.0.0.1\n"
                "33 26 0:30 / /tmp rw - tmpfs tmpfs rw\n"
                "34 26 8:17 / /media/anna/INTENSO rw shared:5 - vfat /dev/sdb1 rw\n"
                "35 26 8:33 / /media/anna/SD\\040CARD rw - exfat /dev/sdc1 rw\n"
                "36 26 179:1 / /media/anna/CAMERA rw - vfat /dev/mmcblk0p1 rw\n"
                "37 26 259:2 / /mnt/nvme rw - ext4 /dev/nvme0n1p2 rw\n"
                "38 26 7:0 / /snap/core/1 ro - squashfs /dev/loop0 ro\n"
                "39 26 8:49 / /media/anna/NONAME rw - vfat /dev/sdd1 rw\n"
                "40 26 8:65 / /mnt/gone rw - ext4 /dev/sde1 rw\n"
                "41 26 0:40 /@data /mnt/btrfs rw - btrfs /dev/sda3 rw,subvol=/@data\n"
                "42 26 0:40 /@data/photos /srv/photos rw - btrfs /dev/sda3 rw,subvol=/@data\n");
}

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
    void rowsOfAMachine()
    {
        Fixture f;
        buildMachine(f);
        const std::vector<DriveListEntry> rows = driveEntries(f.roots());
        QStringList table;
        for (const DriveListEntry& row : rows)
            table << QStringList{row.rootPath, row.busType, row.removable, row.name}.join('|');
        // No row for NFS, tmpfs, a bind mount of a subdirectory, a device sysfs lacks.
        const QStringList expected{
            "/|Virtual|nein|",
            "/data|SATA|nein|ATA Samsung SSD 860 4B6Q",
            "/media/anna/CAMERA|SD|nein|SD64G",
            "/media/anna/INTENSO|USB|ja|Intenso Speed Line 1.00",
            "/media/anna/NONAME|USB|ja|",
            "/media/anna/SD CARD|USB|ja|Generic- SD/MMC 1.00",
            "/mnt/btrfs|SATA|nein|ATA Samsung SSD 860 4B6Q",
            "/mnt/nvme|NVMe|nein|WDC PC SN730 11170101",
            "/snap/core/1|FileBackedVirtual|nein|core_1.snap",
        };
        QCOMPARE(table, expected);
    }

    void queryByMountPoint()
    {
        Fixture f;
        buildMachine(f);
        const DeviceProperties stick = QueryDeviceProperties("/media/anna/INTENSO/", f.roots());
        QVERIFY(stick.Success);
        QCOMPARE(stick.BusType, 7);
        QVERIFY(stick.Removable);
        QCOMPARE(stick.VendorId, QStringLiteral("Intenso"));
        QCOMPARE(stick.ProductId, QStringLiteral("Speed Line"));
        QCOMPARE(QueryDeviceProperties("/", f.roots()).BusType, 14);
        for (const char* failing : {"/mnt/nfs", "/tmp", "/srv/bind", "/mnt/gone", "/srv/photos",
                                    "/media/anna", "/nowhere"}) {
            const DeviceProperties none = QueryDeviceProperties(failing, f.roots());
            QVERIFY2(!none.Success && none.BusType == 0 && !none.Removable &&
                         none.ProductId.isEmpty(),
                     failing);
        }
    }

    void mmcTypeAndLaterMounts()
    {
        Fixture f;
        f.disk(Mmc + "/block/mmcblk1", Mmc, "179:8", false, {{"name", "M8G\n"}, {"type", "MMC\n"}});
        // The stick mounted twice and then hidden by a tmpfs over its first mount point.
        f.disk(Usb + "/block/sdb", Usb, "8:17", true, {{"model", "X\n"}}, "sdb1");
        f.mountinfo("36 1 179:8 / /e rw - ext4 /dev/mmcblk1 rw\n"
                    "37 1 8:17 / /a rw - vfat /dev/sdb1 rw\n"
                    "38 1 8:17 / /b rw - vfat /dev/sdb1 rw\n"
                    "39 1 0:60 / /a rw - tmpfs tmpfs rw\n");
        const std::vector<DriveListEntry> rows = driveEntries(f.roots());
        QCOMPARE(rows.size(), 2u);
        QCOMPARE(rows[0].rootPath, QStringLiteral("/b"));
        QCOMPARE(rows[1].busType, QStringLiteral("MMC"));
    }

    void busTypeNames()
    {
        QCOMPARE(busTypeName(0), QStringLiteral("Unknown"));
        QCOMPARE(busTypeName(4), QStringLiteral("1394"));
        QCOMPARE(busTypeName(8), QStringLiteral("RAID"));
        QCOMPARE(busTypeName(9), QStringLiteral("iSCSI"));
        QCOMPARE(busTypeName(15), QStringLiteral("FileBackedVirtual"));
        QCOMPARE(busTypeName(19), QStringLiteral("UFS"));
        QCOMPARE(busTypeName(20), QStringLiteral("Unknown"));
        QCOMPARE(busTypeName(-1), QStringLiteral("Unknown"));
    }

    void gridAndRows()
    {
        ListView list;
        Host host;
        create_drive_grid(list, &host);
        QCOMPARE(list.ColumnCount(), 7);
        QStringList keys;
        for (int i = 0; i < 7; ++i)
            keys << list.Table().ColumnKey(i) + ":" + list.Table().ColumnCaption(i) + ":" +
                        QString::number(list.Table().ColumnWidth(i));
        QCOMPARE(keys,
                 (QStringList{"Gerät:Gerät:190", "trenner1::1", "Bus Typ:Bus Typ:70", "trenner2::1",
                              "Wechselbar:Wechselbar:80", "trenner4::1", "Name:Name:263"}));
        QVERIFY(!list.Table().ColumnResizable(1) && list.Table().ColumnResizable(6));
        QCOMPARE(list.DrawCallback(), &host);
        QVERIFY(list.Redraw());

        const std::vector<DriveListEntry> two{{"/", "SATA", "nein", "ATA X 1"},
                                              {"/media/anna/INTENSO", "USB", "ja", "Intenso"}};
        load_drive_list(list, two);
        QCOMPARE(list.ItemCount(), 9);
        QCOMPARE(list.ItemText(1, 0), QStringLiteral("/media/anna/INTENSO"));
        QCOMPARE(list.ItemText(1, 2), QStringLiteral("USB"));
        QCOMPARE(list.ItemText(1, 4), QStringLiteral("ja"));
        QCOMPARE(list.ItemText(1, 6), QStringLiteral("Intenso"));
        QCOMPARE(list.ItemText(2, 0), QString());
        QVERIFY(list.Redraw());

        QCOMPARE(check_select(list), QString());
        list.Table().SetItemSelected(4, true); // a filler row
        QCOMPARE(check_select(list), QString());
        list.Table().SetItemSelected(1, true);
        QCOMPARE(check_select(list), QStringLiteral("/media/anna/INTENSO"));
        list.Table().SetItemSelected(0, true);
        QCOMPARE(check_select(list), QStringLiteral("/"));

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

    void colourRule()
    {
        ListView list;
        Host host;
        create_drive_grid(list, &host);
        load_drive_list(list, {{"/", "SATA", "nein", ""}});
        list.Table().SetItemSelected(2, true);
        const auto back = [&](int row, int column) {
            std::int32_t colour = -1, fore = -1;
            const bool handled = driveRowColours(list, row, column, colour, fore);
            return handled && fore == -1 ? colour : -2;
        };
        QCOMPARE(back(0, 0), 0x00FDFCD9); // light cyan
        QCOMPARE(back(1, 6), 0x00FFFFFF);
        QCOMPARE(back(2, 4), 0x008CEF8D); // selected: light green
        QCOMPARE(back(2, 1), 0x00C0C0C0);
        QCOMPARE(back(0, 5), 0x00C0C0C0);
        QCOMPARE(back(1, 19), 0x00C0C0C0);
        QCOMPARE(back(1, 21), 0x00FFFFFF);
    }
};

QTEST_MAIN(tst_DriveList)
#include "tst_DriveList.moc"
