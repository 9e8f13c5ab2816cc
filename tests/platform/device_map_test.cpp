#include "platform/device_map.h"
#include "tests/platform/scoped_environment.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace orvane {
namespace {

namespace fs = std::filesystem;

// A throw-away folder tree standing in for /dev, /sys and the dosdevices map.
class FakeMachine : public ::testing::Test {
  protected:
    fs::path root = fs::temp_directory_path() / ("orvane-map-" + std::to_string(getpid()));
    fs::path dos = root / "dosdevices";
    fs::path dev = root / "dev";
    fs::path sys = root / "sys";

    void SetUp() override {
        fs::remove_all(root);
        fs::create_directories(dos);
        fs::create_directories(dev);
        fs::create_directories(sys / "class/tty");
        fs::create_directories(sys / "bus/usb-serial/drivers/ftdi_sio");
        fs::create_directories(sys / "bus/usb/drivers/cdc_acm");
        fs::create_directories(sys / "bus/pnp/drivers/serial");
    }
    void TearDown() override { fs::remove_all(root); }

    void addDevice(const std::string& name, const std::string& driver) {
        std::ofstream(dev / name) << "";
        fs::path entry = sys / "class/tty" / name / "device";
        fs::create_directories(entry);
        fs::create_directory_symlink(sys / "bus" / driver, entry / "driver");
    }
    DeviceMap map() {
        return DeviceMap({dos.string(), dev.string(), (sys / "class/tty").string()});
    }
};

TEST_F(FakeMachine, EntriesWinOverTheDefaultMapping) {
    addDevice("ttyUSB0", "usb-serial/drivers/ftdi_sio");
    fs::create_symlink(dev / "ttyUSB0", dos / "com1");
    EXPECT_EQ(map().devicePath(1), (dos / "com1").string());
    EXPECT_EQ(map().devicePath(2), (dev / "ttyS1").string());
    EXPECT_EQ(map().devicePath(33), (dev / "ttyUSB0").string());
    EXPECT_EQ(map().devicePath(66), (dev / "ttyACM1").string());
    EXPECT_EQ(map().devicePath(97), "");
    EXPECT_EQ(map().devicePath(0), "");
}

TEST_F(FakeMachine, PortNamesListEntriesAndExistingDefaultsOnce) {
    addDevice("ttyS0", "pnp/drivers/serial");
    addDevice("ttyACM0", "usb/drivers/cdc_acm");
    fs::create_symlink(dev / "ttyS0", dos / "com1");
    fs::create_symlink(dev / "ttyACM0", dos / "COM12");
    std::ofstream(dos / "notes.txt") << "";
    auto names = map().portNames();
    ASSERT_TRUE(names);
    std::sort(names->begin(), names->end());
    EXPECT_EQ(*names, (std::vector<std::string>{"COM1", "COM12", "COM65"}));
}

TEST_F(FakeMachine, UsbSerialAndCdcAcmDriversCountAsAdaptersPlainSerialNot) {
    addDevice("ttyS0", "pnp/drivers/serial");
    addDevice("ttyUSB3", "usb-serial/drivers/ftdi_sio");
    addDevice("ttyACM0", "usb/drivers/cdc_acm");
    fs::create_symlink(dev / "ttyS0", dos / "com4");
    fs::create_symlink(dev / "ttyUSB3", dos / "com5");
    EXPECT_FALSE(map().isUsbSerialAdapter("COM4"));
    EXPECT_TRUE(map().isUsbSerialAdapter("COM5"));
    EXPECT_TRUE(map().isUsbSerialAdapter("COM65"));
    EXPECT_FALSE(map().isUsbSerialAdapter("COM9"));
    EXPECT_FALSE(map().isUsbSerialAdapter("LPT1"));
}

TEST(ComNames, OnlyComFollowedByDigitsParses) {
    EXPECT_EQ(parseComName("COM7"), 7);
    EXPECT_EQ(parseComName("com12"), 12);
    EXPECT_FALSE(parseComName("COMX"));
    EXPECT_FALSE(parseComName("COM"));
    EXPECT_FALSE(parseComName("LPT1"));
}

TEST(DeviceMapEnvironment, DosdevicesFolderComesFromTheEnvironment) {
    {
        testing::ScopedEnvironment dosdevices("ORVANE_DOSDEVICES", "/tmp/somewhere");
        EXPECT_EQ(DeviceMap::fromEnvironment().dosdevices, "/tmp/somewhere");
    }
    testing::ScopedEnvironment noDosdevices("ORVANE_DOSDEVICES", std::nullopt);
    testing::ScopedEnvironment config("XDG_CONFIG_HOME", "/tmp/cfg");
    EXPECT_EQ(DeviceMap::fromEnvironment().dosdevices, "/tmp/cfg/orvane/dosdevices");
}

}  // namespace
}  // namespace orvane
