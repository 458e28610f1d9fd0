// The simulated ASPI for Win32 library: the two entry points of wnaspi32.dll in front of the
// simulated layer and drives. It reads wnaspi32.cfg from its own folder when first called,
// appends every command the drives receive to wnaspi32.log there, and writes each image a drive
// commits to wnaspi32-<adapter>-<target>.bin, so that a test outside the process can see what
// the drives saw.
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "sim/layer_config.h"

namespace {

HMODULE gModule = nullptr;
sim::SimulatedLayer* gLayer = nullptr;
std::string gFolder;

std::string folderOfModule() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(gModule, path, MAX_PATH);
    std::string text(path);
    const size_t slash = text.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : text.substr(0, slash + 1);
}

void logLine(const std::string& line) {
    FILE* log = std::fopen((gFolder + "wnaspi32.log").c_str(), "ab");
    if (log == nullptr) return;
    std::fprintf(log, "%s\n", line.c_str());
    std::fclose(log);
}

// Reads the configuration once. A missing or unreadable file leaves a layer without adapters,
// and the log says why.
sim::SimulatedLayer& layer() {
    if (gLayer != nullptr) return *gLayer;
    gLayer = new sim::SimulatedLayer;
    gFolder = folderOfModule();
    std::ifstream file(gFolder + "wnaspi32.cfg", std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    std::string error;
    const auto config = file ? sim::parseLayerConfig(text.str(), error) : std::nullopt;
    if (!config) {
        logLine("config: " + (file ? error : std::string("no wnaspi32.cfg")));
        gLayer->layer.supportStatus = dw::aspi::kNoAdapters;
        return *gLayer;
    }
    sim::buildLayer(*config, *gLayer);
    gLayer->layer.completion = sim::AspiLayer::Completion::Signalled;
    gLayer->layer.signalEvent = [](void* event) { SetEvent(static_cast<HANDLE>(event)); };
    gLayer->layer.activate();
    logLine("config: " + std::to_string(config->adapters.size()) + " adapters, " +
            std::to_string(config->drives.size()) + " drives");
    return *gLayer;
}

void saveCommitted(const sim::DriveConfig& where, const sim::KorvaneDrive& drive) {
    const std::string name = gFolder + "wnaspi32-" + std::to_string(where.adapter) + "-" +
                             std::to_string(where.target) + ".bin";
    std::ofstream out(name, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(drive.committedImage.data()),
              static_cast<std::streamsize>(drive.committedImage.size()));
    logLine("commit " + std::to_string(where.adapter) + " " + std::to_string(where.target) +
            " bytes=" + std::to_string(drive.committedImage.size()) +
            " revision=" + drive.revision());
}

}  // namespace

extern "C" {

__declspec(dllexport) DWORD GetASPI32SupportInfo() {
    layer();
    return sim::AspiLayer::getSupportInfo();
}

__declspec(dllexport) DWORD SendASPI32Command(void* srb) {
    sim::SimulatedLayer& simulated = layer();
    // What each drive had received and committed before, to log what this request added.
    std::vector<size_t> seen;
    std::vector<int> commits;
    for (const auto& drive : simulated.drives) {
        seen.push_back(drive->received().size());
        commits.push_back(drive->commits);
    }
    const DWORD result = sim::AspiLayer::sendCommand(srb);
    const uint8_t status = static_cast<const uint8_t*>(srb)[1];
    for (size_t i = 0; i < simulated.drives.size(); ++i) {
        const sim::KorvaneDrive& drive = *simulated.drives[i];
        for (size_t c = seen[i]; c < drive.received().size(); ++c) {
            logLine(sim::commandLogLine(simulated.placed[i].adapter, simulated.placed[i].target,
                                        drive.received()[c], status));
        }
        if (drive.commits != commits[i]) saveCommitted(simulated.placed[i], drive);
    }
    return result;
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) gModule = instance;
    return TRUE;
}

}  // extern "C"
