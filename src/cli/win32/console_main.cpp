// drivewright-cli.exe: the command line on Windows, a console program. The question is asked on
// the console (CONIN$ and CONOUT$), whatever the standard handles are redirected to; Ctrl+C and
// Ctrl+Break end list and check at once, and from the upgrade's question on are caught and
// told, so that nothing but the drive ends an upgrade that has begun.
#include <windows.h>

#include <wincrypt.h>

#include <cerrno>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "app/program_start.h"
#include "cli/cli_program.h"
#include "cli/command_line.h"
#include "cli/json_report.h"
#include "cli/windows_cli_system.h"
#include "platform/win32/win32_windows_api.h"
#include "resources/program_strings.h"

namespace {

volatile LONG gInterrupt = -1;  // the first console event caught, -1 before one came
volatile LONG gHeld = 0;        // 1 from the upgrade's confirmation to its end

// Windows runs the handler on a thread of its own. Ctrl+C and Ctrl+Break handled (TRUE) leave
// the process running. After a close, log-off or shut-down event the process ends when the
// handler returns, whatever it returns, or when the system's time-out passes: while an upgrade
// runs the handler waits for its end, which is all a program can do.
BOOL WINAPI onConsoleEvent(DWORD event) {
    InterlockedCompareExchange(&gInterrupt, static_cast<LONG>(event), -1);
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) {
        while (gHeld != 0) Sleep(100);
    }
    return TRUE;
}

class ConsoleSignals : public dw::cli::Signals {
public:
    void catchInterrupts() override { SetConsoleCtrlHandler(onConsoleEvent, TRUE); }
    // The handler keeps the process running at Ctrl+C; a closing console waits for the end.
    void holdBack() override { InterlockedExchange(&gHeld, 1); }
    void release() override { InterlockedExchange(&gHeld, 0); }
    const char* interruption() override {
        switch (gInterrupt) {
            case -1: return nullptr;
            case CTRL_C_EVENT: return "Ctrl+C";
            case CTRL_BREAK_EVENT: return "Ctrl+Break";
            default: return "the console's close";
        }
    }
};

// The console the program runs in, whatever its standard handles are redirected to.
class ConsoleTerminal : public dw::cli::Terminal {
public:
    ~ConsoleTerminal() override { closeConsole(); }
    int openControlling() override {
        closeControlling();
        in_ = CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE,
                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        out_ = CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        if (in_ != INVALID_HANDLE_VALUE && out_ != INVALID_HANDLE_VALUE) return 0;
        closeConsole();
        return ENXIO;  // no console
    }
    void show(const std::string& text) override {
        DWORD written = 0;
        if (out_ != INVALID_HANDLE_VALUE) {
            WriteFile(out_, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        }
    }
    std::optional<std::string> readLine() override {
        std::string line;
        for (char c; in_ != INVALID_HANDLE_VALUE;) {
            DWORD n = 0;
            if (!ReadFile(in_, &c, 1, &n, nullptr)) return std::nullopt;  // Ctrl+C, or gone
            if (n == 0) return line.empty() ? std::nullopt : std::optional<std::string>(line);
            if (c == '\n') return line;
            if (c != '\r') line += c;
        }
        return std::nullopt;
    }
    void closeControlling() override { closeConsole(); }
    bool errorIsTerminal() override {
        DWORD mode = 0;
        return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != FALSE;
    }
    int errorColumns() override {
        CONSOLE_SCREEN_BUFFER_INFO info = {};
        if (!GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &info)) return 0;
        return info.srWindow.Right - info.srWindow.Left + 1;
    }
    std::string columnsVariable() override {
        const char* columns = std::getenv("COLUMNS");
        return columns != nullptr ? columns : "";
    }

private:
    void closeConsole() {
        if (in_ != INVALID_HANDLE_VALUE) CloseHandle(in_);
        if (out_ != INVALID_HANDLE_VALUE) CloseHandle(out_);
        in_ = out_ = INVALID_HANDLE_VALUE;
    }

    HANDLE in_ = INVALID_HANDLE_VALUE;
    HANDLE out_ = INVALID_HANDLE_VALUE;
};

template <typename Fn>
Fn entry(HMODULE module, const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// The file's SHA-256 from CryptoAPI's provider for AES and SHA-2 (Windows XP SP3 and later),
// looked up at run time so that the program still loads where advapi32 lacks it (Windows 95
// and NT 4.0 give no digest: an empty text). The file is read in pieces.
std::string sha256OfFile(const std::string& path) {
    using AcquireFn = BOOL(WINAPI*)(HCRYPTPROV*, LPCSTR, LPCSTR, DWORD, DWORD);
    using CreateHashFn = BOOL(WINAPI*)(HCRYPTPROV, ALG_ID, HCRYPTKEY, DWORD, HCRYPTHASH*);
    using HashDataFn = BOOL(WINAPI*)(HCRYPTHASH, const BYTE*, DWORD, DWORD);
    using GetHashParamFn = BOOL(WINAPI*)(HCRYPTHASH, DWORD, BYTE*, DWORD*, DWORD);
    using DestroyHashFn = BOOL(WINAPI*)(HCRYPTHASH);
    using ReleaseFn = BOOL(WINAPI*)(HCRYPTPROV, DWORD);
    const HMODULE advapi = GetModuleHandleA("advapi32.dll");
    if (advapi == nullptr) return "";
    const auto acquire = entry<AcquireFn>(advapi, "CryptAcquireContextA");
    const auto createHash = entry<CreateHashFn>(advapi, "CryptCreateHash");
    const auto hashData = entry<HashDataFn>(advapi, "CryptHashData");
    const auto getHashParam = entry<GetHashParamFn>(advapi, "CryptGetHashParam");
    const auto destroyHash = entry<DestroyHashFn>(advapi, "CryptDestroyHash");
    const auto release = entry<ReleaseFn>(advapi, "CryptReleaseContext");
    if (!acquire || !createHash || !hashData || !getHashParam || !destroyHash || !release) {
        return "";
    }
    HCRYPTPROV provider = 0;
    if (!acquire(&provider, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT)) return "";
    std::string text;
    HCRYPTHASH hash = 0;
    const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
    if (file != INVALID_HANDLE_VALUE && createHash(provider, CALG_SHA_256, 0, 0, &hash)) {
        std::vector<BYTE> piece(65536);
        bool read = true;
        for (DWORD n = 0;;) {
            if (!ReadFile(file, piece.data(), static_cast<DWORD>(piece.size()), &n, nullptr)) {
                read = false;
                break;
            }
            if (n == 0) break;
            if (!hashData(hash, piece.data(), n, 0)) {
                read = false;
                break;
            }
        }
        BYTE digest[32];
        DWORD length = sizeof digest;
        if (read && getHashParam(hash, HP_HASHVAL, digest, &length, 0) && length == 32) {
            static const char kHex[] = "0123456789abcdef";
            for (const BYTE b : digest) {
                text += kHex[b >> 4];
                text += kHex[b & 15];
            }
        }
        destroyHash(hash);
    }
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    release(provider, 0);
    return text;
}

// SetThreadExecutionState (Windows 98 and 2000 on), looked up at run time: the system does not
// sleep while the thread asks for it, until the thread asks no more. Nothing on Windows 95 and
// NT 4.0.
bool stayAwake(bool awake) {
    using SetStateFn = EXECUTION_STATE(WINAPI*)(EXECUTION_STATE);
    const auto set = entry<SetStateFn>(GetModuleHandleA("kernel32.dll"), "SetThreadExecutionState");
    if (set == nullptr) return false;
    return set(awake ? ES_CONTINUOUS | ES_SYSTEM_REQUIRED : ES_CONTINUOUS) != 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> arguments(argv + 1, argv + argc);
    std::string error;
    const auto options = dw::cli::parseCommandLine(arguments, error);
    if (!options) {
        std::cerr << "drivewright: " << error << " (drivewright-cli --help lists the commands)\n";
        if (dw::cli::asksForJson(arguments)) std::cout << dw::cli::usageErrorDocument(error);
        return dw::cli::kExitUsage;
    }
    dw::Win32WindowsApi api;
    int exitCode = dw::cli::kExitFailed;
    // The library search is narrowed before anything loads a library (the ASPI layer's included).
    dw::StartProgram(api, [&] {
        dw::cli::WindowsCliSystem system(api, options->yes, sha256OfFile, stayAwake);
        dw::ProgramStrings strings;
        ConsoleTerminal terminal;
        ConsoleSignals signals;
        dw::cli::Environment environment{system,    api,       strings, terminal,
                                         std::cout, std::cerr, signals};
        exitCode = dw::cli::RunCommand(*options, environment);
    });
    return exitCode;
}
