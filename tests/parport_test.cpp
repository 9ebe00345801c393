#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "parport.h"
#include "test_files.h"

namespace {

namespace fs = std::filesystem;

// A /proc and /dev of our own: ports by name and base address, and which of them have a device file.
void MakeTree(const ScratchDirectory& root, const std::vector<std::pair<std::string, std::string>>& ports,
              const std::vector<std::string>& devices) {
    for (const auto& [name, baseAddr] : ports) {
        fs::create_directories(root / ("proc/sys/dev/parport/" + name));
        WriteText(root / ("proc/sys/dev/parport/" + name + "/base-addr"), baseAddr);
    }
    fs::create_directories(root / "proc/sys/dev/parport/default");
    fs::create_directories(root / "dev");
    // An ordinary file opens but answers no ppdev request, as a device of another driver would.
    for (const std::string& device : devices) {
        fs::create_directories(fs::path(root / ("dev/" + device)).parent_path());
        WriteText(root / ("dev/" + device), "");
    }
}

TEST(Parport, FindsPortsByBaseAddressAndExplainsWhatIsMissing) {
    const struct {
        const char* name;
        short address;
        std::vector<std::pair<std::string, std::string>> ports;
        std::vector<std::string> devices;
        std::vector<std::string> said;  // parts the message must hold
    } cases[] = {
        {"no parport driver", 888, {}, {},
         {"Adresse 888 (0x378) nicht verfügbar", "der Kernel kennt keinen Parallelport", "modprobe parport_pc",
          "modprobe ppdev", "Vorhandene Parallelports: keine"}},
        {"a USB printer adapter and no port", 888, {}, {"usb/lp0"},
         {"der Kernel kennt keinen Parallelport; /dev/usb/lp0 ist ein USB-Druckeradapter", "keine einzelnen Datenleitungen",
          "PCIe-Karte", "Vorhandene Parallelports: keine"}},
        {"no port at the address", 888, {{"parport0", "956\t1980\n"}}, {"parport0"},
         {"kein Parallelport des Kernels hat diese Adresse", "/proc/sys/dev/parport/*/base-addr", "Pinbelegung.txt",
          "Vorhandene Parallelports: parport0 an 0x3BC (956)"}},
        {"PCI card above 32767, no device file", -6144, {{"parport0", "888\t1912\n"}, {"parport1", "59392\t59400\n"}},
         {"parport0"},
         {"Adresse 59392 (0xE800)", "/dev/parport1 fehlt", "sudo modprobe ppdev",
          "parport0 an 0x378 (888), parport1 an 0xE800 (59392)"}},
        {"device of another driver", 888, {{"parport0", "888\t1912\n"}}, {"parport0"},
         {"/dev/parport0 ist kein ppdev-Gerät (PPEXCL)", "Gesucht: /dev/parport0"}},
    };
    for (const auto& c : cases) {
        ScratchDirectory root;
        MakeTree(root, c.ports, c.devices);
        std::string message;

        EXPECT_EQ(parport::ClaimPort(c.address, root.path(), message), -1) << c.name;

        for (const std::string& part : c.said) EXPECT_NE(message.find(part), std::string::npos) << c.name << ":\n" << message;
        EXPECT_NE(message.find("Es wurde nichts auf den Port geschrieben."), std::string::npos) << c.name;
    }
}

}  // namespace
