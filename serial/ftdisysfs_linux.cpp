#include "serial/ftdisysfs_linux.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <fstream>
#include <limits>
#include <optional>
#include <string>
#include <system_error>

namespace fs = std::filesystem;

namespace {

constexpr uint32_t FtdiVendor = 0x0403;
constexpr uint32_t HiSpeedFlag = 2;
constexpr uint32_t UnknownDeviceType = 3;
constexpr int MaxWalkDepth = 64;

// k of a name "ttyUSB<k>"; nothing for other names and for k whose port number k+1 would not
// fit the 32-bit signed port number.
std::optional<uint32_t> TtyUsbNumber(const std::string& name)
{
    static constexpr std::string_view prefix = "ttyUSB";
    if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) {
        return std::nullopt;
    }
    const char* first = name.data() + prefix.size();
    const char* last = name.data() + name.size();
    uint32_t number = 0;
    const auto [end, error] = std::from_chars(first, last, number);
    if (error != std::errc() || end != last ||
        number >= static_cast<uint32_t>(std::numeric_limits<int32_t>::max())) {
        return std::nullopt;
    }
    return number;
}

// First line of a sysfs attribute, without its line end; empty when it cannot be read.
std::string ReadAttribute(const fs::path& dir, const char* name)
{
    std::ifstream file(dir / name);
    std::string line;
    std::getline(file, line);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' ')) {
        line.pop_back();
    }
    return line;
}

std::optional<uint32_t> NumberAttribute(const fs::path& dir, const char* name, int base)
{
    const std::string text = ReadAttribute(dir, name);
    uint32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

// The USB device a tty belongs to: the nearest directory above the tty's device that holds
// idVendor. Stops at the sysfs root, so a tree for tests never reaches beyond itself.
std::optional<fs::path> UsbDeviceOf(const fs::path& ttyEntry, const fs::path& root)
{
    std::error_code error;
    fs::path dir = fs::canonical(ttyEntry / "device", error);
    if (error) {
        return std::nullopt;
    }
    for (int depth = 0; depth < MaxWalkDepth; ++depth) {
        if (fs::exists(dir / "idVendor", error)) {
            return dir;
        }
        if (dir == root || dir == dir.parent_path()) {
            break;
        }
        dir = dir.parent_path();
    }
    return std::nullopt;
}

// Bus number with one nibble per port on the way to the device, as the vendor's location ids.
uint32_t LocationOf(const fs::path& usbDevice)
{
    uint32_t location = NumberAttribute(usbDevice, "busnum", 10).value_or(0);
    const std::string path = ReadAttribute(usbDevice, "devpath");
    std::size_t start = 0;
    while (start < path.size()) {
        const std::size_t dot = std::min(path.find('.', start), path.size());
        uint32_t port = 0;
        std::from_chars(path.data() + start, path.data() + dot, port);
        location = (location << 4) | (port & 0xF);
        start = dot + 1;
    }
    return location;
}

// The vendor's device type, told by the chip's release number.
uint32_t TypeOf(const fs::path& usbDevice)
{
    switch (NumberAttribute(usbDevice, "bcdDevice", 16).value_or(0)) {
    case 0x0400:
        return 0; // FT232B/FT245B
    case 0x0200:
        return 1; // FT8U232AM
    case 0x0500:
        return 4; // FT2232C
    case 0x0600:
        return 5; // FT232R
    case 0x0700:
        return 6; // FT2232H
    case 0x0800:
        return 7; // FT4232H
    case 0x0900:
        return 8; // FT232H
    case 0x1000:
        return 9; // FT-X series
    default:
        return UnknownDeviceType;
    }
}

// Copies text into a fixed field, cut so that a NUL always follows it.
template <std::size_t N> void CopyText(char (&field)[N], const std::string& text)
{
    std::memset(field, 0, N);
    std::memcpy(field, text.data(), std::min(text.size(), N - 1));
}

} // namespace

TFtdiSysfs::TFtdiSysfs(fs::path sysfsRoot) : Root(std::move(sysfsRoot)) {}

fs::path TFtdiSysfs::TtyEntry(uint32_t ttyNumber) const
{
    return Root / "class" / "tty" / ("ttyUSB" + std::to_string(ttyNumber));
}

bool TFtdiSysfs::ReadDevice(uint32_t ttyNumber, const fs::path& root, Device* device) const
{
    const std::optional<fs::path> usb = UsbDeviceOf(TtyEntry(ttyNumber), root);
    if (!usb || NumberAttribute(*usb, "idVendor", 16) != FtdiVendor) {
        return false;
    }
    const uint32_t product = NumberAttribute(*usb, "idProduct", 16).value_or(0);
    TFtDeviceListInfoNode& node = device->Node;
    std::memset(&node, 0, sizeof node);
    node.Flags = ReadAttribute(*usb, "speed") == "480" ? HiSpeedFlag : 0;
    node.Type = TypeOf(*usb);
    node.ID = (FtdiVendor << 16) | (product & 0xFFFF);
    node.LocId = LocationOf(*usb);
    CopyText(node.SerialNumber, ReadAttribute(*usb, "serial"));
    CopyText(node.Description, ReadAttribute(*usb, "product"));
    device->TtyNumber = ttyNumber;
    return true;
}

FtStatus TFtdiSysfs::CreateDeviceInfoList(uint32_t* count)
{
    if (!count) {
        return FtInvalidParameter;
    }
    Devices.clear();
    std::vector<uint32_t> ttyNumbers;
    std::error_code error;
    // No tty class at all (no sysfs, or a test tree without ttys) is simply no device.
    for (fs::directory_iterator it(Root / "class" / "tty", error), end; !error && it != end;
         it.increment(error)) {
        if (const auto number = TtyUsbNumber(it->path().filename().string())) {
            ttyNumbers.push_back(*number);
        }
    }
    std::sort(ttyNumbers.begin(), ttyNumbers.end());
    const fs::path root = fs::canonical(Root, error);
    for (const uint32_t number : ttyNumbers) {
        Device device{};
        if (ReadDevice(number, root, &device)) {
            Devices.push_back(device);
        }
    }
    *count = static_cast<uint32_t>(Devices.size());
    return FtOk;
}

FtStatus TFtdiSysfs::GetDeviceInfoList(TFtDeviceListInfoNode* nodes, uint32_t* count)
{
    if (!count || (!nodes && *count > 0)) {
        return FtInvalidParameter;
    }
    const std::size_t written = std::min<std::size_t>(*count, Devices.size());
    for (std::size_t i = 0; i < written; ++i) {
        nodes[i] = Devices[i].Node;
    }
    *count = static_cast<uint32_t>(written);
    return FtOk;
}

FtStatus TFtdiSysfs::Open(int32_t index, FtHandle* handle)
{
    if (!handle) {
        return FtInvalidParameter;
    }
    if (index < 0 || static_cast<std::size_t>(index) >= Devices.size()) {
        return FtDeviceNotFound;
    }
    // The device may have gone since the list was built.
    const uint32_t ttyNumber = Devices[static_cast<std::size_t>(index)].TtyNumber;
    std::error_code error;
    if (!fs::exists(TtyEntry(ttyNumber) / "device", error)) {
        return FtDeviceNotFound;
    }
    *handle = NextHandle++;
    OpenDevices[*handle] = ttyNumber;
    return FtOk;
}

FtStatus TFtdiSysfs::GetComPortNumber(FtHandle handle, int32_t* port)
{
    const auto device = OpenDevices.find(handle);
    if (device == OpenDevices.end()) {
        return FtInvalidHandle;
    }
    if (!port) {
        return FtInvalidParameter;
    }
    *port = static_cast<int32_t>(device->second) + 1;
    return FtOk;
}

FtStatus TFtdiSysfs::Close(FtHandle handle)
{
    return OpenDevices.erase(handle) == 1 ? FtOk : FtInvalidHandle;
}
