// A simulated Windows PC behind the seam: devices with their ioctls, SCSI ports with the port
// driver's cached INQUIRY data, a registry, libraries (the ASPI layer among them), events and a
// virtual clock. The whole core runs on it natively, in milliseconds.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/windows_api.h"
#include "sim/aspi_layer.h"
#include "sim/korvane_drive.h"

namespace sim {

// A drive as the pass-through side sees it: its SCSI address and, where it has one, its letter.
struct Attachment {
    KorvaneDrive* drive = nullptr;
    int port = -1;  // -1: on no SCSI port (IOCTL_SCSI_GET_ADDRESS fails)
    int path = 0;
    int target = 0;
    int lun = 0;
    int letter = -1;  // 0 = A: .. 25 = Z:, -1: none
    // The INQUIRY data the port driver holds for the drive: the copy it took when it enumerated
    // its bus (at boot, or when the drive arrived later) and keeps until a rescan, so that after
    // a firmware change it still shows the old revision. A test may set a copy that differs
    // from the drive's answer before boot.
    std::optional<std::vector<uint8_t>> cachedInquiry;

    // The CD-ROM class driver's exclusive access to the drive at this letter.
    dw::Handle exclusiveOwner = 0;      // the handle that holds the lock, or 0
    bool lockedByOtherProgram = false;  // another program holds the lock
    bool volumeInUse = false;           // a program keeps the drive's file system mounted
};

struct SimPort {
    int number = 0;
    int busCount = 1;
    uint8_t initiatorId = 7;
    bool inquiryDataFails = false;
    // Replaces the generated IOCTL_SCSI_GET_INQUIRY_DATA answer (hostile or odd drivers).
    std::optional<std::vector<uint8_t>> rawInquiryData;
};

// One pass-through request as the system received it.
struct PassThroughSeen {
    std::string deviceName;
    uint16_t length = 0;
    uint8_t pathId = 0, targetId = 0, lun = 0;
    uint8_t cdbLength = 0, senseInfoLength = 0, dataIn = 0;
    uint32_t dataTransferLength = 0, timeOutValue = 0, senseInfoOffset = 0;
    uint8_t opcode = 0;
};

class Machine : public dw::WindowsApi {
public:
    Machine();
    ~Machine() override;

    // --- building the PC -------------------------------------------------------------------
    KorvaneDrive& addDrive(const std::string& product, const std::string& revision,
                           const std::string& vendor = "KORVANE");
    SimPort& addPort(int number);
    SimPort* port(int number);
    Attachment* attachmentOf(const KorvaneDrive& drive);
    Attachment& attach(KorvaneDrive& drive, int port, int path, int target, int lun, int letter);
    // The port drivers enumerate their buses: each takes its copy of its drives' INQUIRY data.
    // Happens at the first device open unless a test boots the PC before.
    void boot();
    // What IOCTL_SCSI_RESCAN_BUS on the port does: its driver takes its copies anew.
    void rescanBus(int port);
    int rescans = 0;
    AspiLayer& aspi() { return aspi_; }
    // Installs the ASPI layer as the library wnaspi32.dll, in the system folder or at `path`
    // (without the entry points named in `missingExports`).
    void installAspi(std::vector<std::string> missingExports = {}, const std::string& path = "");

    // Files and the library search. Files are named by their full paths; a bare name given to
    // the builders means the system folder. The system folder holds the system libraries the
    // program and its windows use. Started from Explorer, the current folder is the program's.
    std::string programFolder = "C:\\Users\\user\\Downloads";
    std::string systemFolder = "C:\\Windows\\System32";
    std::string currentFolder = programFolder;
    std::string programPath() const { return programFolder + "\\drivewright.exe"; }
    void addFile(const std::string& path);  // a library with no entry points the program uses
    // What kernel32 exports: SetDllDirectoryA from XP SP1 on, SetDefaultDllDirectories from
    // Windows 8 on (Vista and 7 with the update). The scenarios set them.
    bool exportsSetDllDirectory = false;
    bool exportsSetDefaultDllDirectories = false;
    // A window of the program appears, and Windows loads what it needs for it (its theme, the
    // shell behind the Open dialog and what those import), each found as any library is.
    void showWindow(const std::string& title, const std::vector<std::string>& libraries);
    // In order: the calls that change the search (SetDefaultDllDirectories 800,
    // SetDllDirectoryA ""), the windows (window TITLE) and every library loaded, by the program
    // or for a window (load PATH, in lower case).
    std::vector<std::string> journal;

    // Registry keys, created on the way (names are case-insensitive, kept in insertion order).
    void setRegistryString(dw::Handle root, const std::string& keyPath, const std::string& name,
                           const std::string& value);
    void setRegistryValue(dw::Handle root, const std::string& keyPath, const std::string& name,
                          uint32_t type, std::vector<uint8_t> data);
    void addRegistryKey(dw::Handle root, const std::string& keyPath);

    // Drive letters as the file system sees them (GetDriveTypeA); unlisted letters have no
    // root directory.
    void setDriveType(int letter, uint32_t type) { driveTypes_[letter] = type; }

    // The Windows version GetVersionExA reports.
    dw::OsVersionInfo version;
    bool refusesExtendedVersion = false;  // Windows 95 and NT 4.0 before SP6
    void setVersion(uint32_t platform, uint32_t major, uint32_t minor);

    // Device installation: present devices of setup classes, with their children.
    struct SetupDevice {
        dw::Guid classGuid;
        std::string instanceId;
        std::optional<std::string> service, driver, description;
        std::vector<std::string> childIds;
    };
    SetupDevice& addSetupDevice(const std::string& classGuid, const std::string& instanceId);
    bool setupApiMissing = false;  // the device installation libraries are not there
    int reenumerations = 0;

    // The ANSI code page of MultiByteToWideChar: 1252 or 932.
    uint32_t ansiCodePage = 1252;

    // Version information of files: FileVersion texts under their translations.
    void setFileVersion(const std::string& fileName, const std::string& fileVersion,
                        uint32_t translation = 0x04B00409);
    void setFileVersionBlock(const std::string& fileName, std::vector<uint32_t> translations,
                             std::map<std::string, std::string> strings);

    // Failure injection (an error of 0 ends it).
    void failOpen(const std::string& deviceName, uint32_t error);
    // Every DeviceIoControl with this code on this device fails with `error` (as a driver that
    // does not support the request answers).
    void failIoControl(const std::string& deviceName, uint32_t code, uint32_t error);
    // The nth (from 1; 0: every) pass-through request with this opcode on this device is carried
    // out by its drive, and then DeviceIoControl fails with `error`: the system gave up waiting
    // (121), reset the bus (1117), or the drive dropped off the bus (1167) after it took the
    // command. The drive keeps what the command did (a committing chunk stays committed).
    void failAfterDrive(const std::string& deviceName, uint8_t opcode, int nth, uint32_t error);
    bool eventsFail = false;
    // The CD-ROM class driver knows IOCTL_CDROM_EXCLUSIVE_ACCESS (Vista and later); false for
    // Windows XP and older drivers, which answer it with ERROR_INVALID_FUNCTION.
    bool exclusiveAccessSupported = true;

    // --- what happened ---------------------------------------------------------------------
    const std::vector<std::string>& openedDevices() const { return openLog_; }
    bool wasOpened(const std::string& deviceName) const;
    const std::vector<PassThroughSeen>& passThroughRequests() const { return passThroughLog_; }
    // Every DeviceIoControl in order: "E: 3B" for a pass-through request (the device's name
    // after its "\\.\" prefix, and the opcode), "E: lock" and "E: unlock" for exclusive access,
    // else the device and the code in hex; " refused N" follows a request that failed with N.
    const std::vector<std::string>& ioControls() const { return ioControlLog_; }
    // Off, pass-through requests and I/O controls are not logged: for benchmarks of the host
    // side.
    bool keepsPassThroughLog = true;
    int openHandleCount() const { return static_cast<int>(handles_.size()); }
    int openKeyCount() const { return static_cast<int>(keys_.size()); }
    int loadedLibraryCount() const { return loadedLibraries_; }
    int strayLibraryFrees = 0;  // FreeLibrary calls on a handle that is no loaded library
    int eventsCreated = 0, eventWaits = 0, eventResets = 0, eventsClosed = 0;
    int sleeps = 0;

    // --- the seam --------------------------------------------------------------------------
    OpenResult createFile(const std::string& name, uint32_t access, uint32_t share,
                          uint32_t disposition, uint32_t flags) override;
    IoResult deviceIoControl(dw::Handle device, uint32_t code, std::span<uint8_t> in,
                             std::span<uint8_t> out) override;
    bool closeHandle(dw::Handle handle) override;

    dw::Handle loadLibrary(const std::string& name) override;
    void* getProcAddress(dw::Handle module, const std::string& name) override;
    bool freeLibrary(dw::Handle module) override;
    Call setDefaultDllDirectories(uint32_t directoryFlags) override;
    Call setDllDirectory(const std::string& path) override;
    std::string moduleFileName() override { return programPath(); }

    dw::Handle createEvent(bool manualReset, bool initiallySignalled) override;
    bool resetEvent(dw::Handle event) override;
    uint32_t waitForSingleObject(dw::Handle event, uint32_t milliseconds) override;
    bool closeEvent(dw::Handle event) override;

    uint32_t tickCount() override { return now_; }
    void sleep(uint32_t milliseconds) override;
    void setTickCount(uint32_t now) { now_ = now; }

    uint32_t openKey(dw::Handle parent, const std::string& subKey, uint32_t access,
                     dw::Handle& key) override;
    uint32_t enumKey(dw::Handle key, uint32_t index, std::span<char> name) override;
    uint32_t queryValue(dw::Handle key, const std::string& valueName, uint32_t* type,
                        std::span<uint8_t> data, uint32_t& size) override;
    uint32_t closeKey(dw::Handle key) override;

    uint32_t getDriveType(const std::string& rootPath) override;
    bool getVersionEx(uint32_t recordSize, dw::OsVersionInfo& out) override;
    using dw::DeviceSetup::setupDiGetClassDevs;
    dw::Handle setupDiGetClassDevs(const dw::Guid& classGuid, uint32_t flags,
                                   uint32_t* error) override;
    Result setupDiEnumDeviceInfo(dw::Handle set, uint32_t index, DeviceInfo& out) override;
    Result setupDiGetDeviceRegistryProperty(dw::Handle set, const DeviceInfo& device,
                                            uint32_t property, uint32_t* type,
                                            std::span<uint8_t> buffer,
                                            uint32_t& requiredSize) override;
    bool setupDiDestroyDeviceInfoList(dw::Handle set) override;
    uint32_t cmGetDeviceId(uint32_t devInst, std::span<char> buffer) override;
    uint32_t cmGetChild(uint32_t& child, uint32_t devInst) override;
    uint32_t cmGetSibling(uint32_t& sibling, uint32_t devInst) override;
    uint32_t cmReenumerateDevNode(uint32_t devInst, uint32_t flags) override;
    bool multiByteToWideChar(uint32_t codePage, std::string_view text,
                             std::u16string& wide) override;
    uint32_t getFileVersionInfoSize(const std::string& fileName) override;
    bool getFileVersionInfo(const std::string& fileName, std::span<uint8_t> block) override;
    bool verQueryValue(std::span<const uint8_t> block, const std::string& subBlock,
                       std::vector<uint8_t>& value) override;
    std::string loadString(uint32_t id) override;
    Reading systemPowerStatus() override { return power; }
    // What GetSystemPowerStatus reports: a desktop on mains power unless a test says otherwise.
    Reading power{true, 1, 128, 255};

    int openDeviceSets() const { return static_cast<int>(deviceSets_.size()); }

    // The port driver's answer to IOCTL_SCSI_GET_INQUIRY_DATA for a port, as generated.
    std::vector<uint8_t> portInquiryData(const SimPort& port) const;

private:
    struct RegValue {
        std::string name;
        uint32_t type;
        std::vector<uint8_t> data;
    };
    struct RegNode {
        std::string name;
        std::vector<std::unique_ptr<RegNode>> children;
        std::vector<RegValue> values;
        RegNode* child(const std::string& name) const;
    };
    struct OpenDevice {
        std::string name;
        Attachment* letter = nullptr;  // a drive-letter device
        SimPort* port = nullptr;       // a SCSI port device
        uint32_t access = 0;           // what CreateFileA asked for
    };
    // A file of the PC: a library (with the entry points the program takes from it) and its
    // version information, if it has any.
    struct File {
        std::map<std::string, void*> exports;
        std::string versionBlock;
    };
    struct Event {
        bool manualReset;
        bool signalled;
    };

    RegNode* rootNode(dw::Handle root);
    RegNode& makeKey(dw::Handle root, const std::string& keyPath);
    // The key's node when it was opened with every right in `needed`; the predefined roots
    // allow everything. `error` says why not.
    RegNode* nodeOf(dw::Handle key, uint32_t needed, uint32_t& error);
    IoResult passThrough(const OpenDevice& device, std::span<uint8_t> in, std::span<uint8_t> out);
    IoResult control(dw::Handle handle, const OpenDevice& device, uint32_t code,
                     std::span<uint8_t> in, std::span<uint8_t> out);
    IoResult exclusiveAccess(dw::Handle handle, const OpenDevice& device, std::span<uint8_t> in,
                             std::span<uint8_t> out);
    void logIoControl(const OpenDevice& device, const std::string& what, const IoResult& result);
    Attachment* attachmentAt(const SimPort* port, int path, int target, int lun);

    std::vector<std::unique_ptr<KorvaneDrive>> drives_;
    std::vector<std::unique_ptr<Attachment>> attachments_;
    std::vector<std::unique_ptr<SimPort>> ports_;
    AspiLayer aspi_;
    RegNode localMachine_, dynData_;
    std::map<std::string, uint32_t> openFailures_;
    std::map<std::pair<std::string, uint32_t>, uint32_t> ioControlFailures_;
    struct LateFailure {
        std::string deviceName;  // lower case
        uint8_t opcode;
        int nth;
        uint32_t error;
    };
    std::vector<LateFailure> lateFailures_;
    std::map<std::pair<std::string, uint8_t>, int> passThroughCounts_;  // by device and opcode
    std::map<std::string, File> files_;                                 // by full path, lower case
    // The full path (lower case) of a file named by path or found by the library search as
    // LoadLibraryA searches; empty when there is none.
    std::string findFile(const std::string& name) const;
    std::string fullPath(const std::string& name) const;  // a bare name: the system folder's
    uint32_t defaultDirectories_ = 0;                     // SetDefaultDllDirectories
    bool currentFolderLeftOut_ = false;                   // SetDllDirectoryA("")

    dw::Handle nextHandle_ = 0x100;
    std::map<dw::Handle, OpenDevice> handles_;
    struct OpenKey {
        RegNode* node;
        uint32_t access;  // what the key was opened for, checked as Windows checks it
    };
    std::map<dw::Handle, OpenKey> keys_;
    std::map<dw::Handle, std::string> modules_;  // the file of each loaded library
    std::map<dw::Handle, Event> events_;
    int loadedLibraries_ = 0;
    uint32_t now_ = 1000;

    // Device nodes: 1-based; a setup device's node, then its children's.
    struct DevNode {
        std::string id;
        uint32_t parent = 0;
        std::vector<uint32_t> children;
    };
    std::vector<DevNode> devNodes_;
    std::vector<std::pair<std::unique_ptr<SetupDevice>, uint32_t>> setupDevices_;
    std::map<dw::Handle, std::vector<size_t>> deviceSets_;
    void buildDevNodes();
    std::map<int, uint32_t> driveTypes_;

    std::vector<std::string> openLog_;
    std::vector<PassThroughSeen> passThroughLog_;
    std::vector<std::string> ioControlLog_;
    bool booted_ = false;
};

}  // namespace sim
