// The records of discovery and the transport's operations on its adapter tree.
#include "test_support.h"

using namespace testing_support;

namespace {

dw::HostAdapter adapterWithBuses(std::initializer_list<int> sizes, int port = -1) {
    dw::HostAdapter a;
    a.portNumber = port;
    for (int n : sizes) {
        dw::DeviceList bus;
        for (int i = 0; i < n; ++i) {
            dw::DeviceEntry e;
            e.hostAdapter = port < 0 ? 0 : port;  // ASPI-style adapters: index 0 here
            e.targetId = i;
            bus.append(e);
        }
        a.buses.push_back(bus);
    }
    return a;
}

}  // namespace

TEST(AdapterTree, newRecordsTakeTheirDefaults) {
    dw::DeviceEntry e;
    EXPECT_EQ(e.hostAdapter, 0);
    EXPECT_EQ(e.targetId, 0);
    EXPECT_EQ(e.driveLetter, 1);
    EXPECT_EQ(e.busKind, dw::BusKind::Atapi);
    EXPECT_STREQ(e.vendor, "");
    EXPECT_EQ(std::count(std::begin(e.sense), std::end(e.sense), 0), dw::kSenseLength);

    dw::HostAdapter a;
    EXPECT_EQ(a.busKind, dw::BusKind::Unclassified);
    EXPECT_EQ(static_cast<int>(a.busKind), -1);
    EXPECT_EQ(a.portNumber, -1);
    EXPECT_TRUE(a.buses.empty());
    EXPECT_TRUE(a.deviceName.empty());
    EXPECT_EQ(static_cast<int>(dw::BusKind::Remove), 666);
}

TEST(AdapterTree, busKindReachesEveryEntryOnEveryBus) {
    sim::Machine machine;
    dw::ScsiTransport t(machine);
    t.adapters.push_back(adapterWithBuses({1}));
    t.adapters.push_back(adapterWithBuses({3, 1}));
    t.setAdapterBusKind(1, dw::BusKind::SerialAta);
    EXPECT_EQ(t.adapters[1].busKind, dw::BusKind::SerialAta);
    int changed = 0;
    for (const auto& bus : t.adapters[1].buses) {
        for (const auto& e : bus) changed += e.busKind == dw::BusKind::SerialAta;
    }
    EXPECT_EQ(changed, 4);
    EXPECT_EQ(t.adapters[0].busKind, dw::BusKind::Unclassified);
    EXPECT_EQ(t.adapters[0].buses[0].at(0).busKind, dw::BusKind::Atapi);
    t.setAdapterBusKind(7, dw::BusKind::Usb);  // no such adapter: nothing happens
    EXPECT_FALSE(t.hasUsbOr1394Adapter());
}

TEST(AdapterTree, aCopyIsIndependentOfLaterChanges) {
    sim::Machine machine;
    dw::ScsiTransport t(machine);
    t.adapters.push_back(adapterWithBuses({2}));
    std::vector<dw::HostAdapter> copy;
    t.copyAdapters(copy);

    dw::DeviceEntry changed = t.adapters[0].buses[0].at(1);
    std::strcpy(changed.product, "DVDR   KV-825U  ");
    t.storeDevice(changed, 0, 1);
    t.setAdapterBusKind(0, dw::BusKind::Usb);

    EXPECT_STREQ(t.adapters[0].buses[0].at(1).product, "DVDR   KV-825U  ");
    EXPECT_STREQ(copy[0].buses[0].at(1).product, "");
    EXPECT_EQ(copy[0].busKind, dw::BusKind::Unclassified);
    EXPECT_EQ(copy[0].buses[0].at(1).busKind, dw::BusKind::Atapi);
}

TEST(AdapterTree, usbOr1394IsFoundOnlyWhenPresent) {
    using K = dw::BusKind;
    struct Case {
        std::vector<K> kinds;
        bool expected;
    } cases[] = {
        {{}, false},
        {{K::Atapi, K::Ata, K::SerialAta, K::Scsi}, false},
        {{K::Unclassified, K::Remove}, false},
        {{K::Atapi, K::Usb}, true},
        {{K::Ieee1394}, true},
    };
    for (const auto& c : cases) {
        sim::Machine machine;
        dw::ScsiTransport t(machine);
        for (K k : c.kinds) {
            dw::HostAdapter a;
            a.busKind = k;
            t.adapters.push_back(a);
        }
        EXPECT_EQ(t.hasUsbOr1394Adapter(), c.expected) << c.kinds.size();
    }
}

TEST(AdapterTree, aDeviceReachesTheAdapterAtItsIndexAndNothingOutsideTheTree) {
    sim::Machine machine;
    dw::ScsiTransport t(machine);
    for (int port : {0, 1}) t.adapters.push_back(adapterWithBuses({1}, port));
    dw::DeviceEntry e;
    for (int index : {0, 1}) {
        e.hostAdapter = index;
        EXPECT_EQ(t.adapterOf(e), &t.adapters[size_t(index)]);
    }
    for (int outside : {-1, 2, 1000}) {
        e.hostAdapter = outside;
        EXPECT_EQ(t.adapterOf(e), nullptr) << outside;
    }
}

TEST(AdapterTree, storeDeviceOutsideTheTreeChangesNothing) {
    sim::Machine machine;
    dw::ScsiTransport t(machine);
    t.adapters.push_back(adapterWithBuses({1}));
    dw::DeviceEntry e;
    e.hostAdapter = 0;
    e.targetId = 9;
    t.storeDevice(e, 1, 0);  // no bus 1
    t.storeDevice(e, 0, 4);  // no entry 4
    e.hostAdapter = 3;       // no adapter 3
    t.storeDevice(e, 0, 0);
    EXPECT_EQ(t.adapters[0].buses[0].at(0).targetId, 0);
}

TEST(AdapterTree, stopReleasesTheLibraryAndEmptiesTheTree) {
    AspiPc pc;
    pc.transport.adapters.push_back(adapterWithBuses({1}));
    EXPECT_EQ(pc.machine.loadedLibraryCount(), 1);
    pc.transport.stop();
    EXPECT_EQ(pc.machine.loadedLibraryCount(), 0);
    EXPECT_TRUE(pc.transport.adapters.empty());
    EXPECT_EQ(pc.transport.kind, dw::TransportKind::None);
    EXPECT_EQ(pc.transport.sendCommand, nullptr);
}
