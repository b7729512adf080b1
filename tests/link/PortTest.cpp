#include "LinkTestSupport.h"

#include <QSignalSpy>
#include <QTemporaryDir>

#include <dlfcn.h>

namespace varnetta::link::testing {
namespace {

using PortConstruction = LinkTest;

TEST_F(PortConstruction, withoutDevicesListsNothingAndConnectFailsWithError101)
{
    TCP2110& p = makePort();
    EXPECT_TRUE(p.DeviceList().isEmpty());
    EXPECT_TRUE(p.DeviceName().isEmpty());
    QSignalSpy errors(&p, &TCP2110::OnError);
    EXPECT_FALSE(p.Connect());
    ASSERT_EQ(errors.count(), 1);
    EXPECT_EQ(errors.at(0).at(0).value<uint32_t>(), 101u);
    EXPECT_TRUE(errors.at(0).at(1).toString().isEmpty());
    EXPECT_FALSE(p.Connected());
}

TEST_F(PortConstruction, sortsEntriesIgnoringCaseAndPicksTheFirstSerial)
{
    TestBridge_AddDevice("beta", "/dev/hidraw2");
    TestBridge_AddDevice("Alpha", "/dev/hidraw5");
    TestBridge_AddDevice("GAMMA", "/dev/hidraw1");
    TCP2110& p = makePort();
    EXPECT_EQ(p.DeviceList(), QStringList({"Alpha=/dev/hidraw5", "beta=/dev/hidraw2", "GAMMA=/dev/hidraw1"}));
    EXPECT_EQ(p.DeviceName(), "Alpha");
    EXPECT_EQ(p.devicePath("ALPHA"), "/dev/hidraw5");
}

TEST_F(PortConstruction, passesOverBlankSerialsButKeepsTheirEntries)
{
    TestBridge_AddDevice("   ", "/dev/hidraw1");
    TestBridge_AddDevice("\t", "/dev/hidraw2");
    TestBridge_AddDevice("Zed", "/dev/hidraw3");
    TCP2110& p = makePort();
    EXPECT_EQ(p.DeviceList().size(), 3);
    EXPECT_EQ(p.DeviceName(), "Zed");
}

TEST_F(PortConstruction, skipsAnIndexWhoseStringsCannotBeRead)
{
    TestBridge_AddDevice("A", "/dev/hidraw1");
    TestBridge_FailCall("HidUart_GetString", HID_UART_DEVICE_NOT_FOUND);
    TCP2110& p = makePort();
    EXPECT_TRUE(p.DeviceList().isEmpty());
    EXPECT_TRUE(p.DeviceName().isEmpty());
}

TEST_F(PortConstruction, startsWithTheDocumentedDefaultsAndPollPause70)
{
    TCP2110::setPollPause(5);
    TCP2110& p = makePort();
    EXPECT_EQ(TCP2110::pollPause(), 70u);
    EXPECT_EQ(p.BaudRate(), TBaudRate::CBR_9600);
    EXPECT_EQ(p.ByteSize(), TByteSize::_8);
    EXPECT_EQ(p.StopBits(), TStopBits::_1);
    EXPECT_EQ(p.Parity(), TParity::None);
    EXPECT_EQ(p.ReadTimeOuts(), 0u);
    EXPECT_EQ(p.WriteTimeOuts(), 500u);
    EXPECT_EQ(p.ReadTimeInterval(), 100u);
    EXPECT_FALSE(p.ReadPause());
    EXPECT_FALSE(p.Connected());
}

using UnboundLibrary = LinkTest;

TEST_F(UnboundLibrary, missingFileIsReportedOnceAndConnectFailsWithError101)
{
    QTemporaryDir empty;
    TCP2110& p = makePort(empty.path());
    EXPECT_EQ(missingNotices, QStringList({"DLL File is not Exists!"}));
    EXPECT_FALSE(p.isBound());
    EXPECT_EQ(hotplug, nullptr) << "no notification registration while unbound";
    QSignalSpy errors(&p, &TCP2110::OnError);
    EXPECT_FALSE(p.Connect());
    ASSERT_EQ(errors.count(), 1);
    EXPECT_EQ(errors.at(0).at(0).value<uint32_t>(), 101u);
    uint32_t written = 7;
    const uint8_t byte = 1;
    EXPECT_FALSE(p.Write(&byte, 1, written));
    EXPECT_EQ(written, 0u);
}

TEST_F(UnboundLibrary, missingEntryPointsMakeConnectFailWithoutCallingTheLibrary)
{
    TCP2110& p = makePort(QStringLiteral(PARTIAL_BRIDGE_DIR));
    EXPECT_TRUE(missingNotices.isEmpty());
    EXPECT_EQ(p.DeviceName(), "PARTIAL");

    void* module = dlopen(PARTIAL_BRIDGE_DIR "/libSLABHIDtoUART.so", RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(module, nullptr);
    auto calls = reinterpret_cast<unsigned (*)()>(dlsym(module, "PartialBridge_Calls"));
    ASSERT_NE(calls, nullptr);
    const unsigned before = calls();
    QSignalSpy errors(&p, &TCP2110::OnError);
    EXPECT_FALSE(p.Connect());
    EXPECT_EQ(calls(), before);
    EXPECT_EQ(errors.count(), 1);
    p.Disconnect();
    EXPECT_EQ(calls(), before);
    dlclose(module);
}

using PortConnect = LinkTest;

struct ConfigCase
{
    const char* name;
    TBaudRate baud;
    TByteSize byteSize;
    TParity parity;
    TStopBits stopBits;
    uint32_t expectBaud;
    uint8_t expectDataBits, expectParity, expectStopBits;
};

TEST_F(PortConnect, passesTheUartSettingsAsTheLibraryExpectsThem)
{
    const ConfigCase cases[] = {
        {"defaults", TBaudRate::CBR_9600, TByteSize::_8, TParity::None, TStopBits::_1, 9600, 3, 0, 0},
        {"115200", TBaudRate::CBR_115200, TByteSize::_8, TParity::None, TStopBits::_1, 115200, 3, 0, 0},
        {"stop 1.5", TBaudRate::CBR_9600, TByteSize::_8, TParity::None, TStopBits::_1_5, 9600, 3, 0, 1},
        {"stop 2", TBaudRate::CBR_9600, TByteSize::_7, TParity::Even, TStopBits::_2, 9600, 2, 2, 1},
        {"110 5 space", TBaudRate::CBR_110, TByteSize::_5, TParity::Space, TStopBits::_1, 110, 0, 4, 0},
        {"256000 odd", TBaudRate::CBR_256000, TByteSize::_6, TParity::Odd, TStopBits::_1, 256000, 1, 1, 0},
    };
    TestBridge_AddDevice("M1", "/dev/hidraw1");
    TCP2110& p = makePort();
    for (const ConfigCase& c : cases) {
        SCOPED_TRACE(c.name);
        p.setBaudRate(c.baud);
        p.setByteSize(c.byteSize);
        p.setParity(c.parity);
        p.setStopBits(c.stopBits);
        ASSERT_TRUE(p.Connect());
        uint32_t baud = 0;
        uint8_t dataBits = 9, parity = 9, stopBits = 9, flow = 9;
        TestBridge_LastConfig(&baud, &dataBits, &parity, &stopBits, &flow);
        EXPECT_EQ(baud, c.expectBaud);
        EXPECT_EQ(dataBits, c.expectDataBits);
        EXPECT_EQ(parity, c.expectParity);
        EXPECT_EQ(stopBits, c.expectStopBits);
        EXPECT_EQ(flow, 0);
        uint32_t readTimeout = 9, writeTimeout = 9;
        TestBridge_LastTimeouts(&readTimeout, &writeTimeout);
        EXPECT_EQ(readTimeout, 0u);
        EXPECT_EQ(writeTimeout, 500u);
        EXPECT_TRUE(p.Disconnect());
    }
}

TEST_F(PortConnect, raisesOnConnectAfterConnectedBecameTrue)
{
    TestBridge_AddDevice("M1", "/dev/hidraw1");
    TCP2110& p = makePort();
    bool connectedInHandler = false;
    QObject* sender = nullptr;
    QObject::connect(&p, &TCP2110::OnConnect, [&](QObject* s) {
        connectedInHandler = p.Connected();
        sender = s;
    });
    ASSERT_TRUE(p.Connect());
    EXPECT_TRUE(connectedInHandler);
    EXPECT_EQ(sender, &p);
    EXPECT_EQ(p.partNumber(), HID_UART_PART_CP2110);
    EXPECT_EQ(TestBridge_OpenHandles(), 1);
}

TEST_F(PortConnect, serialDifferingOnlyInCaseIsNotOpened)
{
    TestBridge_AddDevice("Meter", "/dev/hidraw1");
    TCP2110& p = makePort();
    p.setDeviceName("meter");
    QSignalSpy errors(&p, &TCP2110::OnError);
    EXPECT_FALSE(p.Connect());
    EXPECT_EQ(errors.count(), 1);
    EXPECT_EQ(TestBridge_CallCount("HidUart_Open"), 0u);
}

TEST_F(PortConnect, opensTheDeviceNamedEvenWhenAnotherIsListedFirst)
{
    TestBridge_AddDevice("B", "/dev/hidraw1");
    TestBridge_AddDevice("A", "/dev/hidraw2");
    TCP2110& p = makePort();
    ASSERT_EQ(p.DeviceName(), "A");
    ASSERT_TRUE(p.Connect());
    QSignalSpy removal(&p, &TCP2110::OnRemoval);
    TestBridge_RemoveDevice("/dev/hidraw2");
    hotplug->remove("/dev/hidraw2");
    EXPECT_EQ(removal.count(), 1) << "the open device was A at /dev/hidraw2";
}

TEST_F(PortConnect, everyFailingStepReportsError101AndLeavesNoDeviceOpen)
{
    const char* steps[] = {"HidUart_GetNumDevices", "HidUart_Open",          "HidUart_GetOpenedString",
                           "HidUart_GetPartNumber", "HidUart_SetUartConfig", "HidUart_GetUartConfig",
                           "HidUart_SetTimeouts"};
    TestBridge_AddDevice("M1", "/dev/hidraw1");
    TCP2110& p = makePort();
    QSignalSpy errors(&p, &TCP2110::OnError);
    QSignalSpy connects(&p, &TCP2110::OnConnect);
    for (const char* step : steps) {
        SCOPED_TRACE(step);
        errors.clear();
        TestBridge_FailCall(step, HID_UART_DEVICE_IO_FAILED);
        EXPECT_FALSE(p.Connect());
        EXPECT_FALSE(p.Connected());
        ASSERT_EQ(errors.count(), 1);
        EXPECT_EQ(errors.at(0).at(0).value<uint32_t>(), 101u);
        EXPECT_EQ(TestBridge_OpenHandles(), 0);
        TestBridge_FailCall(step, HID_UART_SUCCESS);
    }
    EXPECT_EQ(connects.count(), 0);
    EXPECT_TRUE(p.Connect()) << "a failed attempt leaves the port able to connect";
}

TEST_F(PortConnect, configurationReadBackDifferentlyFails)
{
    TestBridge_AddDevice("M1", "/dev/hidraw1");
    TestBridge_SetBaudReadBackSkew(1);
    TCP2110& p = makePort();
    QSignalSpy errors(&p, &TCP2110::OnError);
    EXPECT_FALSE(p.Connect());
    EXPECT_EQ(errors.count(), 1);
    EXPECT_EQ(TestBridge_OpenHandles(), 0);
}

using PortDisconnect = LinkTest;

TEST_F(PortDisconnect, whileNotConnectedRaisesOnDisconnectAndReturnsFalse)
{
    TestBridge_AddDevice("M1", "/dev/hidraw1");
    TCP2110& p = makePort();
    QSignalSpy disconnects(&p, &TCP2110::OnDisconnect);
    EXPECT_FALSE(p.Disconnect());
    ASSERT_EQ(disconnects.count(), 1);
    EXPECT_EQ(disconnects.at(0).at(0).value<QObject*>(), nullptr);
}

TEST_F(PortDisconnect, aFailingCloseStillEndsTheConnection)
{
    TestBridge_AddDevice("M1", "/dev/hidraw1");
    TCP2110& p = makePort();
    ASSERT_TRUE(p.Connect());
    TestBridge_FailCall("HidUart_Close", HID_UART_DEVICE_IO_FAILED);
    QSignalSpy disconnects(&p, &TCP2110::OnDisconnect);
    EXPECT_FALSE(p.Disconnect());
    EXPECT_FALSE(p.Connected());
    EXPECT_EQ(disconnects.count(), 1);
    TestBridge_FailCall("HidUart_Close", HID_UART_SUCCESS);
    EXPECT_FALSE(p.Disconnect()) << "the handle was dropped";
}

TEST_F(PortDisconnect, destructionClosesAnOpenDevice)
{
    TestBridge_AddDevice("M1", "/dev/hidraw1");
    ASSERT_TRUE(makePort().Connect());
    port.reset();
    EXPECT_EQ(TestBridge_OpenHandles(), 0);
}

using PortWrite = LinkTest;

TEST_F(PortWrite, sendsTheBytesToTheOpenDeviceAndFailsWithoutOne)
{
    TestBridge_AddDevice("M1", "/dev/hidraw1");
    TCP2110& p = makePort();
    const uint8_t frame[] = {0xAB, 0xCD, 0x04, 0x41, 0x01, 0x01, 0xFE};
    uint32_t written = 99;
    EXPECT_FALSE(p.Write(frame, sizeof frame, written));
    ASSERT_TRUE(p.Connect());
    EXPECT_TRUE(p.Write(frame, sizeof frame, written));
    EXPECT_EQ(written, sizeof frame);
    uint8_t out[16] = {};
    ASSERT_EQ(TestBridge_TakeWritten(out, sizeof out), sizeof frame);
    EXPECT_EQ(0, memcmp(out, frame, sizeof frame));
    TestBridge_FailCall("HidUart_Write", HID_UART_WRITE_TIMED_OUT);
    EXPECT_FALSE(p.Write(frame, sizeof frame, written));
}

using HotPlug = LinkTest;

// Records the port's device events in the order they were raised.
struct EventLog
{
    explicit EventLog(TCP2110& p)
    {
        QObject::connect(&p, &TCP2110::OnRemoval, [this](QObject*) { events << "removal"; });
        QObject::connect(&p, &TCP2110::OnArrival, [this](QObject*) { events << "arrival"; });
        QObject::connect(&p, &TCP2110::OnDisconnect, [this](QObject*) { events << "disconnect"; });
        QObject::connect(&p, &TCP2110::OnDeviceChange, [this](QObject*) { events << "change"; });
        QObject::connect(&p, &TCP2110::OnReceiveData, [this](const uint8_t*, uint32_t) { events << "data"; });
    }
    QStringList events;
};

TEST_F(HotPlug, removalOfAnotherDeviceDropsItsEntryOnly)
{
    TestBridge_AddDevice("A", "/dev/hidraw1");
    TestBridge_AddDevice("B", "/dev/hidraw2");
    TCP2110& p = makePort();
    ASSERT_TRUE(p.Connect());
    EventLog log(p);
    TestBridge_RemoveDevice("/dev/hidraw2");
    hotplug->remove("/dev/HIDRAW2");
    EXPECT_EQ(log.events, QStringList({"change"}));
    EXPECT_EQ(p.DeviceList(), QStringList({"A=/dev/hidraw1"}));
    EXPECT_TRUE(p.Connected());
}

TEST_F(HotPlug, removalOfTheOpenDeviceRaisesRemovalDisconnectChangeInOrder)
{
    TestBridge_AddDevice("A", "/dev/hidraw1");
    TCP2110& p = makePort();
    ASSERT_TRUE(p.Connect());
    EventLog log(p);
    TestBridge_RemoveDevice("/dev/hidraw1");
    hotplug->remove("/dev/hidraw1");
    EXPECT_EQ(log.events, QStringList({"removal", "disconnect", "change"}));
    EXPECT_FALSE(p.Connected());
    EXPECT_TRUE(p.DeviceList().isEmpty());
    EXPECT_EQ(TestBridge_OpenHandles(), 0);
}

TEST_F(HotPlug, removalWhileIdleNeverRaisesRemoval)
{
    TestBridge_AddDevice("A", "/dev/hidraw1");
    TCP2110& p = makePort();
    EventLog log(p);
    TestBridge_RemoveDevice("/dev/hidraw1");
    hotplug->remove("/dev/hidraw1");
    EXPECT_EQ(log.events, QStringList({"change"}));
}

TEST_F(HotPlug, removalFindsTheRightEntryAmongSharedSerials)
{
    TestBridge_AddDevice("0001", "/dev/hidraw1");
    TestBridge_AddDevice("0001", "/dev/hidraw2");
    TCP2110& p = makePort();
    ASSERT_EQ(p.DeviceList().size(), 2);
    TestBridge_RemoveDevice("/dev/hidraw2");
    hotplug->remove("/dev/hidraw2");
    EXPECT_EQ(p.DeviceList(), QStringList({"0001=/dev/hidraw1"}));
}

TEST_F(HotPlug, arrivalAddsEveryMissingDeviceSortedAndRaisesArrivalBeforeChange)
{
    TestBridge_AddDevice("m2", "/dev/hidraw2");
    TCP2110& p = makePort();
    EventLog log(p);
    TestBridge_AddDevice("M3", "/dev/hidraw3");
    TestBridge_AddDevice("M1", "/dev/hidraw1");
    hotplug->arrive("/dev/hidraw3");
    EXPECT_EQ(log.events, QStringList({"arrival", "change"}));
    EXPECT_EQ(p.DeviceList(), QStringList({"M1=/dev/hidraw1", "m2=/dev/hidraw2", "M3=/dev/hidraw3"}));
    EXPECT_EQ(p.DeviceName(), "m2") << "the choice is the window's, not the arrival's";
}

TEST_F(HotPlug, arrivalOfAnUnrelatedDeviceOrOtherChangeOnlyRaisesChange)
{
    TestBridge_AddDevice("m2", "/dev/hidraw2");
    TCP2110& p = makePort();
    EventLog log(p);
    hotplug->arrive("/dev/hidraw9");
    hotplug->other();
    EXPECT_EQ(log.events, QStringList({"change", "change"}));
    EXPECT_EQ(p.DeviceList().size(), 1);
}

using PollPause = LinkTest;

TEST_F(PollPause, readTimeIntervalSetsThePauseOnlyWhenItChanges)
{
    TCP2110& p = makePort();
    p.setReadTimeInterval(100);
    EXPECT_EQ(TCP2110::pollPause(), 70u);
    p.setReadTimeInterval(50);
    EXPECT_EQ(p.ReadTimeInterval(), 50u);
    EXPECT_EQ(TCP2110::pollPause(), 50u);
}

TEST_F(PollPause, aPauseSetDirectlySurvivesReconnection)
{
    TestBridge_AddDevice("M1", "/dev/hidraw1");
    TCP2110& p = makePort();
    TCP2110::setPollPause(100);
    ASSERT_TRUE(p.Connect());
    p.Disconnect();
    ASSERT_TRUE(p.Connect());
    EXPECT_EQ(TCP2110::pollPause(), 100u);
    EXPECT_EQ(p.ReadTimeInterval(), 100u);
}

using PortPermission = LinkTest;

TEST_F(PortPermission, aBridgeWhoseNodeMayNotBeOpenedIsReportedWithTheNode)
{
    TestBridge_AddDevice("M1", "/dev/hidraw7");
    TestBridge_FailCall("HidUart_Open", HID_UART_DEVICE_ACCESS_ERROR);
    TCP2110& p = makePort();
    QSignalSpy errors(&p, &TCP2110::OnError);
    EXPECT_FALSE(p.Connect());
    ASSERT_EQ(errors.count(), 1);
    EXPECT_EQ(errors.at(0).at(0).value<uint32_t>(), TCP2110::kAccessError);
    EXPECT_EQ(errors.at(0).at(1).toString(), "/dev/hidraw7");
    EXPECT_EQ(TestBridge_OpenHandles(), 0);
}

TEST_F(PortPermission, otherOpenFailuresStillReadAsNoDevice)
{
    TestBridge_AddDevice("M1", "/dev/hidraw7");
    for (const int32_t status : {HID_UART_DEVICE_NOT_FOUND, HID_UART_DEVICE_IO_FAILED, HID_UART_DEVICE_NOT_SUPPORTED}) {
        TestBridge_FailCall("HidUart_Open", status);
        TCP2110& p = makePort();
        QSignalSpy errors(&p, &TCP2110::OnError);
        EXPECT_FALSE(p.Connect());
        ASSERT_EQ(errors.count(), 1);
        EXPECT_EQ(errors.at(0).at(0).value<uint32_t>(), TCP2110::kConnectError) << status;
        EXPECT_TRUE(errors.at(0).at(1).toString().isEmpty());
    }
}

using PortUsbIds = LinkTest;

TEST_F(PortUsbIds, theFamilysOwnIdsAskTheLibraryWithoutAFilter)
{
    TestBridge_AddDevice("M1", "/dev/hidraw1");
    TCP2110& p = makePort();
    EXPECT_EQ(p.UsbIds(), DefaultUsbIds());
    ASSERT_TRUE(p.Connect());
    uint16_t vid = 1, pid = 1;
    TestBridge_LastOpenIds(&vid, &pid);
    EXPECT_EQ(vid, 0);
    EXPECT_EQ(pid, 0);
}

TEST_F(PortUsbIds, otherIdsListOnlyTheirBridgesAndOpenWithThem)
{
    TestBridge_AddDevice("Family", "/dev/hidraw1");
    TestBridge_AddDeviceWithIds("Maker", "/dev/hidraw2", 0x1234, 0x5678);
    TestBridge_AddDeviceWithIds("Other", "/dev/hidraw3", 0x1234, 0x9999);
    TCP2110& p = makePort();
    QSignalSpy changes(&p, &TCP2110::OnDeviceChange);
    p.setUsbIds({{0x1234, 0x5678}});
    EXPECT_EQ(p.DeviceList(), QStringList{"Maker=/dev/hidraw2"});
    EXPECT_EQ(p.DeviceName(), "Maker");
    EXPECT_EQ(changes.count(), 1);
    ASSERT_TRUE(p.Connect());
    uint16_t vid = 0, pid = 0;
    TestBridge_LastOpenIds(&vid, &pid);
    EXPECT_EQ(vid, 0x1234);
    EXPECT_EQ(pid, 0x5678);
    p.Disconnect();

    p.setUsbIds({{0x1234, 0x9999}, {0x1234, 0x5678}});
    EXPECT_EQ(p.DeviceList(), QStringList({"Maker=/dev/hidraw2", "Other=/dev/hidraw3"}));
    p.setUsbIds({{0x1234, 0x9999}, {0x1234, 0x5678}});
    p.setUsbIds({});
    EXPECT_EQ(changes.count(), 2) << "the same list again, or none, changes nothing";
}

TEST_F(PortUsbIds, arrivalUnderOtherIdsFindsTheNewBridge)
{
    TCP2110& p = makePort();
    p.setUsbIds({{0x1234, 0x5678}});
    EXPECT_TRUE(p.DeviceList().isEmpty());
    TestBridge_AddDeviceWithIds("Maker", "/dev/hidraw4", 0x1234, 0x5678);
    hotplug->arrive("/dev/hidraw4");
    EXPECT_EQ(p.DeviceList(), QStringList{"Maker=/dev/hidraw4"});
}

struct IdsCase
{
    const char* text;
    std::optional<TUsbIds> ids;
    friend void PrintTo(const IdsCase& c, std::ostream* os) { *os << '"' << c.text << '"'; }
};

class UsbIdsParsing : public ::testing::TestWithParam<IdsCase>
{
};

TEST_P(UsbIdsParsing, readsPairsOfHexIdsAndRefusesTheRestWithAReason)
{
    QString error;
    const auto ids = ParseUsbIds(QString::fromLatin1(GetParam().text), error);
    EXPECT_EQ(ids, GetParam().ids) << GetParam().text;
    EXPECT_EQ(error.isEmpty(), ids.has_value());
    if (ids) {
        EXPECT_EQ(ParseUsbIds(UsbIdsText(*ids), error), ids) << "written as it is read";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, UsbIdsParsing,
    ::testing::Values(IdsCase{"10c4:ea80,10c4:eab0", DefaultUsbIds()},
                      IdsCase{" 10C4:EA80  1234:5678 ", TUsbIds{{0x10C4, 0xEA80}, {0x1234, 0x5678}}},
                      IdsCase{"1234:5678,1234:5678", TUsbIds{{0x1234, 0x5678}}}, IdsCase{"1:2", TUsbIds{{1, 2}}},
                      IdsCase{"", std::nullopt}, IdsCase{",", std::nullopt}, IdsCase{"10c4", std::nullopt},
                      IdsCase{"0:ea80", std::nullopt}, IdsCase{"10c4:0000", std::nullopt},
                      IdsCase{"10c4:ea80:1", std::nullopt}, IdsCase{"12345:1", std::nullopt},
                      IdsCase{"g000:1", std::nullopt}, IdsCase{"10c4:ea80,junk", std::nullopt}));

} // namespace
} // namespace varnetta::link::testing
