// Drives from a mount table and sysfs fixture trees.
#include "platform/linux/linux_platform.h"
#include "support/temp_dir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

namespace quorvane::platform {
namespace {

using ::testing::ElementsAre;
namespace fs = std::filesystem;

TEST(ParseMountInfoTest, KeepsFileSystemsOnDevices) {
  const char* text =
      "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
      "23 22 0:21 / /proc rw shared:2 - proc proc rw\n"
      "40 22 8:17 / /media/u/MY\\040STICK rw,nosuid master:9 - vfat /dev/sdb1 rw,uid=1000\n"
      "41 22 0:45 / /run/user/1000 rw - tmpfs tmpfs rw\n"
      "broken line\n";
  std::vector<MountEntry> entries = parseMountInfo(text);
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].mountPoint, "/");
  EXPECT_EQ(entries[1].mountPoint, "/media/u/MY STICK");
  EXPECT_EQ(entries[1].major, 8u);
  EXPECT_EQ(entries[1].minor, 17u);
  EXPECT_EQ(entries[1].source, "/dev/sdb1");
}

/// A mount table and sysfs tree with a SATA disk, a USB stick, a USB hard disk and an SD card
/// that only udev knows to be on USB.
class LinuxDrivesTest : public ::testing::Test {
protected:
  LinuxDrivesTest() {
    dir.write("mountinfo",
              "22 1 8:1 / / rw - ext4 /dev/sda1 rw\n"
              "40 22 8:17 / /media/u/STICK rw - vfat /dev/sdb1 rw\n"
              "41 22 8:32 / /media/u/BIGDISK rw - ext4 /dev/sdc rw\n"
              "42 22 179:1 / /media/u/CARD rw - vfat /dev/mmcblk0p1 rw\n"
              "43 22 8:49 / /media/u/GONE rw - vfat /dev/sdd1 rw\n");
    device("devices/pci0000:00/0000:00:17.0/ata1/host0/target0:0:0/0:0:0:0/block/sda", "sda1",
           "8:1", "0", "ATA", "Samsung SSD");
    device("devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0/host6/target6:0:0/6:0:0:0/block/sdb",
           "sdb1", "8:17", "1", "SanDisk", "Cruzer Blade", "1.00");
    device("devices/pci0000:00/0000:00:14.0/usb2/2-1/2-1:1.0/host7/target7:0:0/7:0:0:0/block/sdc",
           "", "8:32", "0", "WD", "Elements");
    device("devices/platform/mmc0/mmc_host/mmc0/mmc0:0001/block/mmcblk0", "mmcblk0p1", "179:1", "1",
           "", "");
    dir.write("udev/b179:1", "S:disk/by-id/usb-card\nE:ID_BUS=usb\nE:ID_TYPE=disk\n");
  }
  /// A disk folder (and a partition folder in it when named) linked from /sys/dev/block.
  void device(const std::string& diskPath, const std::string& partition, const std::string& numbers,
              const std::string& removable, const std::string& vendor, const std::string& model,
              const std::string& revision = "") {
    std::string disk = "sys/" + diskPath;
    dir.write(disk + "/removable", removable + "\n");
    dir.write(disk + "/device/vendor", vendor + "    \n");
    dir.write(disk + "/device/model", model + "\n");
    dir.write(disk + "/device/rev", revision + "\n");
    std::string target = disk;
    if (!partition.empty()) {
      target = disk + "/" + partition;
      dir.write(target + "/partition", "1\n");
    }
    fs::create_directories(dir / "sys/dev/block");
    fs::create_symlink(fs::relative(dir / target, dir / "sys/dev/block"),
                       dir / ("sys/dev/block/" + numbers));
  }

  testing::TempDir dir;
  LinuxDrives drives{dir / "mountinfo", dir / "sys", dir / "udev"};
};

TEST_F(LinuxDrivesTest, RootsInMountOrder) {
  EXPECT_THAT(drives.roots(), ElementsAre("/", "/media/u/STICK", "/media/u/BIGDISK",
                                          "/media/u/CARD", "/media/u/GONE"));
}

TEST_F(LinuxDrivesTest, BusAndRemovableFlagsComeFromSysfsAndUdev) {
  struct Case {
    const char* root;
    bool ok;
    int bus;
    bool removable;
  } cases[] = {
      {"/", true, 0, false},
      {"/media/u/STICK", true, kBusTypeUsb, true},
      {"/media/u/BIGDISK", true, kBusTypeUsb, false},
      {"/media/u/CARD", true, kBusTypeUsb, true},
      {"/media/u/GONE", false, 0, false}, // no sysfs entry
      {"/nowhere", false, 0, false},
  };
  for (const Case& c : cases) {
    DeviceInfo info = drives.deviceInfo(c.root);
    EXPECT_EQ(info.ok, c.ok) << c.root;
    EXPECT_EQ(info.busType, c.bus) << c.root;
    EXPECT_EQ(info.removable, c.removable) << c.root;
  }
  DeviceInfo stick = drives.deviceInfo("/media/u/STICK");
  EXPECT_EQ(stick.vendor, "SanDisk");
  EXPECT_EQ(stick.product, "Cruzer Blade");
  EXPECT_EQ(stick.revision, "1.00");
}

TEST(LinuxDrivesWatchTest, TheRealMountTableWaitsQuietly) {
  LinuxDrives drives;
  // Nothing is mounted meanwhile (the test mounts nothing), so the wait ends by time.
  EXPECT_FALSE(drives.waitForChange(std::chrono::milliseconds(20)));
}

} // namespace
} // namespace quorvane::platform
