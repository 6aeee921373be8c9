#pragma once
// A folder that stands for "/" to the system-information stand-ins
// (ZAVMO_SYSINFO_ROOT): tests write the proc/ and sys/ files they need. The
// destructor removes it and unsets the variable.

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace zavmo::test {

class FakeRoot
{
public:
    FakeRoot()
    {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/sysroot.XXXXXX";
        root_ = mkdtemp(pattern.data());
        setenv("ZAVMO_SYSINFO_ROOT", root_.c_str(), 1);
    }
    ~FakeRoot()
    {
        unsetenv("ZAVMO_SYSINFO_ROOT");
        std::error_code ec;
        std::filesystem::remove_all(root_, ec);
    }
    FakeRoot(const FakeRoot&) = delete;
    FakeRoot& operator=(const FakeRoot&) = delete;

    const std::string& path() const { return root_; }

    // Writes a file (its folders made as needed) below the root.
    void write(const std::string& relative, const std::string& text) const
    {
        const std::filesystem::path path = root_ + "/" + relative;
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << text;
    }
    void makeFolder(const std::string& relative) const { std::filesystem::create_directories(root_ + "/" + relative); }
    // A symbolic link below the root pointing at target (as written).
    void link(const std::string& relative, const std::string& target) const
    {
        const std::filesystem::path path = root_ + "/" + relative;
        std::filesystem::create_directories(path.parent_path());
        std::filesystem::create_symlink(target, path);
    }

    // A PCI device with its class, vendor and device ids ("0x...").
    void device(const std::string& address, const std::string& cls, const std::string& vendor,
                const std::string& device) const
    {
        const std::string base = "sys/bus/pci/devices/" + address + "/";
        write(base + "class", cls + "\n");
        write(base + "vendor", vendor + "\n");
        write(base + "device", device + "\n");
    }

    // A network interface: physical ones get a "device" folder with PCI ids.
    void netInterface(const std::string& name, int index, const std::string& mac, bool physical, int arpType = 1,
                      bool wireless = false) const
    {
        const std::string base = "sys/class/net/" + name + "/";
        write(base + "address", mac + "\n");
        write(base + "ifindex", std::to_string(index) + "\n");
        write(base + "type", std::to_string(arpType) + "\n");
        if (physical) {
            write(base + "device/vendor", "0x8086\n");
            write(base + "device/device", "0x15bc\n");
        }
        if (wireless)
            makeFolder(base + "wireless");
    }

private:
    std::string root_;
};

} // namespace zavmo::test
