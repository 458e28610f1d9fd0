#include "sim/scenarios.h"

#include <cctype>

namespace sim::scenarios {

namespace {

int letterIndex(char letter) { return std::toupper(static_cast<unsigned char>(letter)) - 'A'; }

// A UTF-16 mount-manager value for a path.
std::vector<uint8_t> utf16(const std::string& text) {
    std::vector<uint8_t> bytes;
    for (char c : text) {
        bytes.push_back(static_cast<uint8_t>(c));
        bytes.push_back(0);
    }
    return bytes;
}

// A vendor or product text as device IDs carry it: trailing blanks dropped, the others "_".
std::string idText(std::string text) {
    while (!text.empty() && text.back() == ' ') text.pop_back();
    for (char& c : text) {
        if (c == ' ') c = '_';
    }
    return text;
}

}  // namespace

void mountAt(Machine& pc, char letter, const std::string& instanceId) {
    std::string path = "\\??\\" + instanceId + "#{53f5630d-b6bf-11d0-94f2-00a0c91efb8b}";
    for (size_t i = 4; i < path.size(); ++i) {
        if (path[i] == '\\') path[i] = '#';
    }
    std::string name = "\\DosDevices\\C:";
    name[12] = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
    pc.setRegistryValue(dw::Registry::kLocalMachine, "System\\MountedDevices", name,
                        dw::Registry::kTypeBinary, utf16(path));
}

void windows98(Machine& pc) {
    pc.setVersion(dw::Versions::kPlatformWindows, 4, 10);
    pc.refusesExtendedVersion = true;
    pc.exclusiveAccessSupported = false;
    pc.installAspi();
    pc.addRegistryKey(dw::Registry::kDynData, "Config Manager\\Enum");
}

void addAspiAdapter(Machine& pc, const std::string& adapterId, const std::string& hdcDescription) {
    AspiAdapter adapter;
    adapter.adapterId = adapterId;
    pc.aspi().adapters.push_back(adapter);
    const std::string index = "000" + std::to_string(pc.aspi().adapters.size() - 1);
    for (const RegistryText& v :
         windows98AdapterValues("hdc", index, adapterId + ".mpd", hdcDescription)) {
        pc.setRegistryString(v.root, v.key, v.name, v.value);
    }
}

std::vector<RegistryText> windows98AdapterValues(const std::string& classKey,
                                                 const std::string& index,
                                                 const std::string& portDriver,
                                                 const std::string& description) {
    const std::string key =
        "System\\CurrentControlSet\\Services\\Class\\" + classKey + "\\" + index;
    return {{dw::Registry::kLocalMachine, key, "PortDriver", portDriver},
            {dw::Registry::kLocalMachine, key, "DriverDesc", description}};
}

std::vector<RegistryText> windows98DriveValues(const std::string& entry, const std::string& device,
                                               const std::string& instance, char letter,
                                               const std::string& target) {
    const std::string settings = "Enum\\SCSI\\" + device + "\\" + instance;
    return {{dw::Registry::kDynData, "Config Manager\\Enum\\" + entry, "HardWareKey",
             "SCSI\\" + device + "\\" + instance},
            {dw::Registry::kLocalMachine, settings, "CurrentDriveLetterAssignment",
             std::string(1, letter)},
            {dw::Registry::kLocalMachine, settings, "SCSITargetID", target}};
}

std::string deviceKeyName(const KorvaneDrive& drive) {
    std::string name = drive.vendor() + drive.product();
    for (char& c : name) {
        if (c == ' ') c = '_';
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return name;
}

KorvaneDrive& addWindows98Drive(Machine& pc, const std::string& product,
                                const std::string& revision, int adapter, int target, char letter,
                                const std::string& instanceKey) {
    KorvaneDrive& drive = pc.addDrive(product, revision);
    pc.aspi().attach(drive, adapter, target);
    static int serial = 0;
    for (const RegistryText& v :
         windows98DriveValues("C29" + std::to_string(1000 + ++serial), deviceKeyName(drive),
                              instanceKey, letter, std::to_string(target))) {
        pc.setRegistryString(v.root, v.key, v.name, v.value);
    }
    return drive;
}

// The CD-ROM class driver of XP and earlier has no exclusive access.
void windowsXp(Machine& pc) {
    pc.setVersion(dw::Versions::kPlatformNt, 5, 1);
    pc.exclusiveAccessSupported = false;
    pc.exportsSetDllDirectory = true;  // from SP1 on
}
void windowsNt4(Machine& pc) {
    pc.setVersion(dw::Versions::kPlatformNt, 4, 0);
    pc.refusesExtendedVersion = true;
    pc.exclusiveAccessSupported = false;
}

void addPort(Machine& pc, int port, const std::string& service, const std::string& classGuid,
             const std::string& description) {
    pc.addPort(port);
    pc.setRegistryString(dw::Registry::kLocalMachine,
                         "HARDWARE\\DEVICEMAP\\Scsi\\Scsi Port " + std::to_string(port), "Driver",
                         service);
    auto& device = pc.addSetupDevice(classGuid, "PCI\\VEN_8086&DEV_24CB\\" + std::to_string(port));
    device.service = service;
    device.driver = classGuid + "\\000" + std::to_string(port);
    device.description = description;
}

KorvaneDrive& addPortDrive(Machine& pc, const std::string& product, const std::string& revision,
                           int port, int target, char letter) {
    KorvaneDrive& drive = pc.addDrive(product, revision);
    pc.attach(drive, port, 0, target, 0, letterIndex(letter));
    pc.setDriveType(letterIndex(letter), dw::DriveTypes::kCdrom);
    return drive;
}

KorvaneDrive& addSystemDisk(Machine& pc, int port, int target) {
    KorvaneDrive& disk = pc.addDrive("ST3500418AS     ", "CC38", "ATA     ");
    pc.attach(disk, port, 0, target, 0, letterIndex('C'));
    pc.setDriveType(letterIndex('C'), dw::DriveTypes::kFixed);
    return disk;
}

KorvaneDrive& addUsbDrive(Machine& pc, const std::string& product, const std::string& revision,
                          char letter) {
    KorvaneDrive& drive = pc.addDrive(product, revision);
    pc.attach(drive, -1, 0, 0, 0, letterIndex(letter));
    pc.setDriveType(letterIndex(letter), dw::DriveTypes::kCdrom);
    static int serial = 0;
    const std::string child =
        "USBSTOR\\CDROM&VEN_KORVANE&PROD_DVDR&REV_1.00\\" + std::to_string(7000 + ++serial) + "&0";
    auto& hub = pc.addSetupDevice(kUsbClass, "USB\\VID_0EA0&PID_2168\\" + std::to_string(serial));
    hub.service = "usbstor";
    hub.driver = std::string(kUsbClass) + "\\0001";
    hub.description = "USB Mass Storage Device";
    hub.childIds.push_back(child);
    mountAt(pc, letter, child);
    return drive;
}

void windows7(Machine& pc) {
    pc.setVersion(dw::Versions::kPlatformNt, 6, 1);
    pc.exportsSetDllDirectory = true;  // SetDefaultDllDirectories only with its update
}

void windows10(Machine& pc) {
    pc.setVersion(dw::Versions::kPlatformNt, 10, 0);
    pc.exportsSetDllDirectory = true;
    pc.exportsSetDefaultDllDirectories = true;
}

void addAtaChannelPort(Machine& pc, int port, const std::string& controllerService,
                       const std::string& controllerDescription) {
    pc.addPort(port);
    pc.setRegistryString(dw::Registry::kLocalMachine,
                         "HARDWARE\\DEVICEMAP\\Scsi\\Scsi Port " + std::to_string(port), "Driver",
                         "atapi");
    const std::string n = std::to_string(port);
    auto& controller = pc.addSetupDevice(kHdcClass, "PCI\\VEN_8086&DEV_3A20\\3&11583659&0&F" + n);
    controller.service = controllerService;
    controller.driver = "{4d36e96a-e325-11ce-bfc1-08002be10318}\\000" + n;
    controller.description = controllerDescription;
    const std::string channelKey = "{4d36e96a-e325-11ce-bfc1-08002be10318}\\001" + n;
    const std::string instance = "4&2617aeae&0&" + n;
    auto& channel = pc.addSetupDevice(kHdcClass, "PCIIDE\\IDECHANNEL\\" + instance);
    channel.service = "atapi";
    channel.driver = channelKey;
    channel.description = "ATA Channel " + n;
    pc.setRegistryString(dw::Registry::kLocalMachine,
                         "SYSTEM\\CurrentControlSet\\Enum\\PCIIDE\\IDEChannel\\" + instance,
                         "Driver", channelKey);
}

void addStorahciPort(Machine& pc, int port) {
    pc.addPort(port);
    pc.setRegistryString(dw::Registry::kLocalMachine,
                         "HARDWARE\\DEVICEMAP\\Scsi\\Scsi Port " + std::to_string(port), "Driver",
                         "storahci");
    auto& controller =
        pc.addSetupDevice(kScsiAdapterClass,
                          "PCI\\VEN_8086&DEV_A102\\3&11583659&0&B" + std::to_string(port));
    controller.service = "storahci";
    controller.driver = "{4d36e97b-e325-11ce-bfc1-08002be10318}\\000" + std::to_string(port);
    controller.description = "Standard SATA AHCI Controller";
}

KorvaneDrive& addInternalDrive(Machine& pc, const std::string& product, const std::string& revision,
                               int port, int target, char letter) {
    KorvaneDrive& drive = addPortDrive(pc, product, revision, port, target, letter);
    mountAt(pc, letter,
            "SCSI\\CdRom&Ven_" + idText(drive.vendor()) + "&Prod_" + idText(drive.product()) +
                "&Rev_" + revision + "\\4&3a2f1b7&0&0" + std::to_string(target) + "0000");
    return drive;
}

KorvaneDrive& addIeee1394Drive(Machine& pc, const std::string& product, const std::string& revision,
                               char letter) {
    KorvaneDrive& drive = pc.addDrive(product, revision);
    pc.attach(drive, -1, 0, 0, 0, letterIndex(letter));
    pc.setDriveType(letterIndex(letter), dw::DriveTypes::kCdrom);
    static int serial = 0;
    const std::string unique = std::to_string(++serial);
    const std::string model = idText(drive.vendor()) + "&" + idText(drive.product());
    auto& host = pc.addSetupDevice(kIeee1394Class, "PCI\\VEN_1106&DEV_3044\\4&1f7dbc9f&" + unique);
    host.service = "1394ohci";
    host.driver = "{6bdd1fc1-810f-11d0-bec7-08002be2092f}\\000" + unique;
    host.description = "1394 OHCI Compliant Host Controller";
    auto& unit = pc.addSetupDevice(kSbp2Class, "1394\\" + model + "\\0030e0f4e02" + unique);
    unit.service = "sbp2port";
    unit.driver = "{d48179be-ec20-11d1-b6b8-00c04fa372a7}\\000" + unique;
    unit.description = "SBP2 Compliant IEEE 1394 Device";
    const std::string child = "SBP2\\" + model + "&LUN0\\1&0030e0f4e02" + unique + "&0";
    unit.childIds.push_back(child);
    mountAt(pc, letter, child);
    return drive;
}

}  // namespace sim::scenarios
