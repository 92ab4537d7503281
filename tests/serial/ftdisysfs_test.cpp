#include "serial/ft_portid.h"
#include "serial/ftdisysfs_linux.h"
#include "serial/latencycheck.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;

namespace {

// A sysfs tree in a temporary directory, laid out as the kernel does it:
// class/tty/ttyUSBk -> ../../devices/.../usb1/1-n/1-n:1.0/ttyUSBk/tty/ttyUSBk, whose `device`
// points back to the usb-serial port .../1-n:1.0/ttyUSBk; the USB device 1-n holds the
// identifying attributes, and above it the root hub usb1 holds its own.
class SysfsTree
{
public:
    SysfsTree()
    {
        char pattern[] = "/tmp/ftdisysfs-test-XXXXXX";
        const char* dir = mkdtemp(pattern);
        EXPECT_NE(dir, nullptr);
        Root = dir ? dir : "/nonexistent-ftdisysfs-test";
        const fs::path hub = Root / HubPath;
        fs::create_directories(hub);
        fs::create_directories(Root / "class" / "tty");
        Attribute(hub, "idVendor", "1d6b");
        Attribute(hub, "idProduct", "0002");
        Attribute(hub, "product", "xHCI Host Controller FT");
    }
    ~SysfsTree()
    {
        std::error_code error;
        fs::remove_all(Root, error);
    }
    SysfsTree(const SysfsTree&) = delete;
    SysfsTree& operator=(const SysfsTree&) = delete;

    // A USB serial adapter at hub port `port`, seen as ttyUSB<tty>.
    void AddAdapter(int tty, int port, const std::string& vendor, const std::string& product,
                    const std::string& serial = "A50285BI")
    {
        const std::string usbName = "1-" + std::to_string(port);
        const fs::path usb = Root / HubPath / usbName;
        const std::string ttyName = "ttyUSB" + std::to_string(tty);
        const fs::path portDir = usb / (usbName + ":1.0") / ttyName;
        fs::create_directories(portDir / "tty" / ttyName);
        Attribute(usb, "idVendor", vendor);
        Attribute(usb, "idProduct", "6001");
        Attribute(usb, "bcdDevice", "0600");
        Attribute(usb, "manufacturer", "FTDI");
        Attribute(usb, "product", product);
        Attribute(usb, "serial", serial);
        Attribute(usb, "busnum", "1");
        Attribute(usb, "devpath", std::to_string(port));
        Attribute(usb, "speed", "12");
        Attribute(usb / (usbName + ":1.0"), "bInterfaceNumber", "00");
        LinkTty(ttyName, portDir / "tty" / ttyName, "../../../" + ttyName);
    }

    // A tty whose device is no USB device at all (a UART on the platform bus).
    void AddPlatformTty(const std::string& ttyName)
    {
        const fs::path classDir = Root / "devices/platform/serial8250/tty" / ttyName;
        fs::create_directories(classDir);
        LinkTty(ttyName, classDir, "../../../serial8250");
    }

    // The latency timer the FTDI driver shows on the usb-serial port of ttyUSB<tty>.
    void SetLatencyTimer(int tty, const std::string& value)
    {
        Attribute(Root / "class/tty" / ("ttyUSB" + std::to_string(tty)) / "device", "latency_timer",
                  value);
    }

    void RemoveTty(int tty) { fs::remove(Root / "class/tty" / ("ttyUSB" + std::to_string(tty))); }

    fs::path Root;

private:
    static constexpr const char* HubPath = "devices/pci0000:00/0000:00:14.0/usb1";

    static void Attribute(const fs::path& dir, const char* name, const std::string& value)
    {
        std::ofstream(dir / name) << value << '\n';
    }

    void LinkTty(const std::string& ttyName, const fs::path& classDir, const std::string& device)
    {
        fs::create_symlink(device, classDir / "device");
        fs::create_symlink("../.." / fs::relative(classDir, Root), Root / "class/tty" / ttyName);
    }
};

std::vector<TFtDeviceListInfoNode> ListOf(TFtdiSysfs& sysfs)
{
    uint32_t count = 0;
    EXPECT_EQ(sysfs.CreateDeviceInfoList(&count), FtOk);
    std::vector<TFtDeviceListInfoNode> nodes(count);
    EXPECT_EQ(sysfs.GetDeviceInfoList(nodes.data(), &count), FtOk);
    nodes.resize(count);
    return nodes;
}

} // namespace

TEST(TFtdiSysfs, OneAdapterIsListedWithItsDetails)
{
    SysfsTree tree;
    tree.AddAdapter(0, 3, "0403", "FT232R USB UART");
    TFtdiSysfs sysfs(tree.Root);
    const auto nodes = ListOf(sysfs);
    ASSERT_EQ(nodes.size(), 1u);
    EXPECT_STREQ(nodes[0].Description, "FT232R USB UART");
    EXPECT_STREQ(nodes[0].SerialNumber, "A50285BI");
    EXPECT_EQ(nodes[0].ID, 0x04036001u);
    EXPECT_EQ(nodes[0].LocId, 0x13u);
    EXPECT_EQ(nodes[0].Type, 5u); // FT232R
    EXPECT_EQ(FindAdapterPort(sysfs, "FT"), 1);
}

TEST(TFtdiSysfs, OtherVendorsAndPlainSerialPortsAreIgnored)
{
    SysfsTree tree;
    tree.AddAdapter(0, 1, "0403", "FT232R USB UART");
    tree.AddAdapter(1, 2, "10c4", "CP2102 FT Bridge");
    tree.AddPlatformTty("ttyS0");
    tree.AddPlatformTty("ttyUSB5");
    TFtdiSysfs sysfs(tree.Root);
    const auto nodes = ListOf(sysfs);
    ASSERT_EQ(nodes.size(), 1u);
    EXPECT_STREQ(nodes[0].Description, "FT232R USB UART");
    EXPECT_EQ(FindAdapterPort(sysfs, "FT"), 1);
    EXPECT_EQ(FindAdapterPort(sysfs, "CP2102"), -1);
}

TEST(TFtdiSysfs, LaterAdapterInListOrderWins)
{
    SysfsTree tree;
    tree.AddAdapter(3, 2, "0403", "FT232R USB UART", "B");
    tree.AddAdapter(0, 1, "0403", "FT232R USB UART", "A");
    TFtdiSysfs sysfs(tree.Root);
    const auto nodes = ListOf(sysfs);
    ASSERT_EQ(nodes.size(), 2u);
    EXPECT_STREQ(nodes[0].SerialNumber, "A");
    EXPECT_STREQ(nodes[1].SerialNumber, "B");
    EXPECT_EQ(FindAdapterPort(sysfs, "FT"), 4);
}

TEST(TFtdiSysfs, TtysAreListedInNumericOrder)
{
    SysfsTree tree;
    tree.AddAdapter(10, 1, "0403", "FT232R Ten");
    tree.AddAdapter(2, 2, "0403", "FT232R Two");
    TFtdiSysfs sysfs(tree.Root);
    const auto nodes = ListOf(sysfs);
    ASSERT_EQ(nodes.size(), 2u);
    EXPECT_STREQ(nodes[0].Description, "FT232R Two");
    EXPECT_STREQ(nodes[1].Description, "FT232R Ten");
    EXPECT_EQ(FindAdapterPort(sysfs, "FT"), 11);
    EXPECT_EQ(FindAdapterPort(sysfs, "Two"), 3);
}

TEST(TFtdiSysfs, MissingOrEmptyTreeHasNoDevices)
{
    TFtdiSysfs missing("/nonexistent/ftdisysfs/root");
    EXPECT_TRUE(ListOf(missing).empty());
    EXPECT_EQ(FindAdapterPort(missing, "FT"), -1);

    SysfsTree tree;
    TFtdiSysfs empty(tree.Root);
    EXPECT_TRUE(ListOf(empty).empty());
    EXPECT_EQ(FindAdapterPort(empty, "FT"), -1);
}

TEST(TFtdiSysfs, LongProductIsCutAndEndsWithNul)
{
    SysfsTree tree;
    const std::string product = "FT" + std::string(80, 'p');
    tree.AddAdapter(0, 1, "0403", product, std::string(20, 's'));
    TFtdiSysfs sysfs(tree.Root);
    const auto nodes = ListOf(sysfs);
    ASSERT_EQ(nodes.size(), 1u);
    EXPECT_EQ(std::string(nodes[0].Description), product.substr(0, 63));
    EXPECT_EQ(std::string(nodes[0].SerialNumber), std::string(15, 's'));
}

TEST(TFtdiSysfs, HandlesAreCheckedAndGoneDevicesDoNotOpen)
{
    SysfsTree tree;
    tree.AddAdapter(0, 1, "0403", "FT232R USB UART");
    tree.AddAdapter(1, 2, "0403", "FT232R USB UART");
    TFtdiSysfs sysfs(tree.Root);
    ASSERT_EQ(ListOf(sysfs).size(), 2u);

    FtHandle handle = 0;
    EXPECT_NE(sysfs.Open(-1, &handle), FtOk);
    EXPECT_NE(sysfs.Open(2, &handle), FtOk);
    ASSERT_EQ(sysfs.Open(1, &handle), FtOk);
    int32_t port = 0;
    EXPECT_EQ(sysfs.GetComPortNumber(handle, &port), FtOk);
    EXPECT_EQ(port, 2);
    EXPECT_NE(sysfs.GetComPortNumber(handle + 1, &port), FtOk);
    EXPECT_EQ(sysfs.Close(handle), FtOk);
    EXPECT_NE(sysfs.Close(handle), FtOk);
    EXPECT_NE(sysfs.GetComPortNumber(handle, &port), FtOk);

    // Unplugged after the list was built: its open fails and the other adapter is found.
    tree.RemoveTty(1);
    EXPECT_NE(sysfs.Open(1, &handle), FtOk);
    uint32_t count = 5;
    TFtDeviceListInfoNode nodes[5];
    ASSERT_EQ(sysfs.GetDeviceInfoList(nodes, &count), FtOk);
    EXPECT_EQ(count, 2u); // the list stays as built until it is built again
    EXPECT_EQ(FindAdapterPort(sysfs, "FT"), 1);
}

TEST(TFtdiSysfs, ListIsNeverWrittenBeyondTheGivenCapacity)
{
    SysfsTree tree;
    for (int i = 0; i < 3; ++i) {
        tree.AddAdapter(i, i + 1, "0403", "FT232R USB UART");
    }
    TFtdiSysfs sysfs(tree.Root);
    uint32_t count = 0;
    ASSERT_EQ(sysfs.CreateDeviceInfoList(&count), FtOk);
    ASSERT_EQ(count, 3u);
    TFtDeviceListInfoNode nodes[3] = {};
    nodes[2].Flags = 0xABCD;
    count = 2;
    ASSERT_EQ(sysfs.GetDeviceInfoList(nodes, &count), FtOk);
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(nodes[2].Flags, 0xABCDu);
}

// This machine's own sysfs: without an FTDI adapter attached the lookup finds nothing.
TEST(TFtdiSysfs, RealSysfsWithoutAdapterGivesMinusOne)
{
    TFtdiSysfs sysfs("/sys");
    uint32_t count = 0;
    ASSERT_EQ(sysfs.CreateDeviceInfoList(&count), FtOk);
    if (count > 0) {
        GTEST_SKIP() << "an FTDI adapter is attached to this machine";
    }
    EXPECT_EQ(FindAdapterPort(sysfs, "FT"), -1);
    EXPECT_EQ(FindAdapterPort("FT"), -1);
}

// The timer read back after the open: the low-latency request took when it reads 1; anything
// more is told with the command for this tty. Devices without the attribute say nothing.
TEST(LatencyCheck, TheTimerReadBackIsJudgedAndTold)
{
    SysfsTree tree;
    tree.AddAdapter(0, 1, "0403", "FT232R USB UART");
    tree.AddAdapter(3, 2, "0403", "FT232R USB UART");
    tree.AddAdapter(4, 3, "0403", "FT232R USB UART");
    tree.AddPlatformTty("ttyS0");
    tree.SetLatencyTimer(0, "1");
    tree.SetLatencyTimer(3, "16");
    tree.SetLatencyTimer(4, "garbage");
    const TLatencyCheck check(tree.Root);
    const struct
    {
        const char* Device;
        std::optional<int> Timer;
    } cases[] = {
        {"/dev/ttyUSB0", 1},
        {"/dev/ttyUSB3", 16},
        {"/dev/ttyUSB4", std::nullopt},
        {"/dev/ttyS0", std::nullopt},
        {"/dev/ttyUSB9", std::nullopt},
        {"/dev/pts/3", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(check.TimerMs(c.Device), c.Timer) << c.Device;
        EXPECT_EQ(check.Advice(c.Device, true).empty(), c.Timer.value_or(0) <= 1) << c.Device;
    }
    EXPECT_EQ(check.Advice("/dev/ttyUSB3", true),
              "latency timer 16 ms: a full read takes about 3 s; set 1 ms with \"echo 1 | sudo "
              "tee /sys/bus/usb-serial/devices/ttyUSB3/latency_timer\", or for good with the "
              "udev rule in the manual");
    // Before the open the timer is at rest: the open asks for 1 ms, so nothing is told yet.
    EXPECT_EQ(check.Advice("/dev/ttyUSB3", false), "");
    EXPECT_EQ(check.AddedTo("Adapter: x", "/dev/ttyUSB3"),
              "Adapter: x\n" + check.Advice("/dev/ttyUSB3", true));
    EXPECT_EQ(check.AddedTo("Adapter: x", "/dev/ttyUSB0"), "Adapter: x");
}

TEST(LatencyCheck, TheFullReadIsEstimatedFromTheTimer)
{
    const struct
    {
        int Timer;
        const char* Told;
    } cases[] = {{2, "latency timer 2 ms: a full read takes about 0.7 s; "},
                 {8, "latency timer 8 ms: a full read takes about 1.7 s; "},
                 {16, "latency timer 16 ms: a full read takes about 3 s; "},
                 {255, "latency timer 255 ms: a full read takes about 46 s; "}};
    for (const auto& c : cases)
        EXPECT_EQ(TLatencyCheck::AdviceFor(c.Timer).rfind(c.Told, 0), 0u)
            << TLatencyCheck::AdviceFor(c.Timer);
    EXPECT_EQ(TLatencyCheck::AdviceFor(1), "");
}
