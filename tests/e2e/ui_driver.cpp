// Drives the program the way a person does, from a script of steps, and checks what it shows.
// Each step is one line; words are separated by blanks, "quoted text" may hold blanks and the
// escapes \n \t \r \" \\. The first failing step ends the run with exit code 1.
//
//   main "Drivewright  V1.25" 30      wait for the visible main dialog; later steps act on it
//   window "ASPI Layer" 20            wait for a visible dialog of that title
//   gone "ASPI Layer" 20              wait until no visible window has that title
//   timer-start / elapsed 8 13        the seconds since timer-start lie within 8..13
//   combo-count 2 / combo 0 "text"    the device list
//   selected 0                        the selected item
//   text 1006 "Select an upgrade file"   (a control by its number or its name in the resource
//                                     header: text IDC_STATUS "...", click IDC_LOAD_FILE)
//   wait-text 1006 "Upgrade succesfull" 90
//   wait-prefix 1006 "Upgrade failed! " 90
//   enabled 1001 1                    whether a control is enabled (1) or not (0)
//   select 1                          pick an item, as a click in the list does
//   click 1000                        press a button (refused when it is disabled)
//   open-file /path/file.bin 30       fill the Open dialog with a file and press Open
//   cancel-file 30                    press Cancel in the Open dialog
//   msgbox "caption" "text" 20        wait for a message box and check its text
//   answer 1                          press a button of that box (1 OK, 2 Cancel)
//   shot NAME                         ask the runner for a screenshot and wait for it
//   delete-file PATH / copy-file FROM TO
//   font "Marlett"                    the system has a font of that family (not a stand-in)
//   sleep 2
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "resources/resource.h"

namespace {

// The controls by their names in the resource header, for steps that name them.
struct NamedControl {
    const char* name;
    int id;
};
#define DW_CONTROL(name) \
    { #name, name }
const NamedControl kControls[] = {
    DW_CONTROL(IDC_LOAD_FILE),    DW_CONTROL(IDC_UPGRADE),      DW_CONTROL(IDC_DEVICE_COMBO),
    DW_CONTROL(IDC_HOST_ADAPTER), DW_CONTROL(IDC_TARGET_ID),    DW_CONTROL(IDC_FIRMWARE_VERSION),
    DW_CONTROL(IDC_STATUS),       DW_CONTROL(IDC_WARNING_ICON), DW_CONTROL(IDOK),
    DW_CONTROL(IDCANCEL),
};
#undef DW_CONTROL

// An id no control has (the unnamed labels are 0xFFFF, which is -1).
constexpr int kNoControl = 0x7FFF;

// A number, or the name of a control; kNoControl for a name the header does not have, so that
// the step fails.
int numberOrControl(const std::string& word) {
    if (word.rfind("ID", 0) != 0) return std::atoi(word.c_str());
    for (const auto& c : kControls) {
        if (word == c.name) return c.id;
    }
    return kNoControl;
}

// How long a message to the program may wait for its answer. A program that handles no messages
// at all (it is busy with a drive) answers at once that it hangs, and the waiting steps ask again;
// one that is only slow, on a machine whose cores are all busy, gets this long.
constexpr UINT kAnswerMs = 10000;

HWND gMain = nullptr;
HWND gBox = nullptr;
DWORD gTimerStart = 0;
std::string gShotFolder;

// Linux paths become the Z: drive Wine maps to the root.
std::string windowsPath(const std::string& path) {
    if (path.empty() || path[0] != '/') return path;
    std::string out = "Z:" + path;
    for (char& c : out) {
        if (c == '/') c = '\\';
    }
    return out;
}

// Text of another process's window comes across in its wide form; the program's texts are
// in the ANSI code page.
std::string narrow(const wchar_t* text) {
    char out[2048] = {};
    WideCharToMultiByte(CP_ACP, 0, text, -1, out, sizeof out - 1, nullptr, nullptr);
    return out;
}

std::string windowText(HWND window) {
    wchar_t text[1024] = {};
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text),
                             SMTO_ABORTIFHUNG, kAnswerMs, &copied)) {
        return "<no answer>";
    }
    return narrow(text);
}

std::string className(HWND window) {
    char name[64] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

struct Search {
    std::string title;
    bool dialogOnly;
    HWND found;
};

BOOL CALLBACK findTopLevel(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<Search*>(param);
    if (!IsWindowVisible(window)) return TRUE;
    if (search->dialogOnly && className(window) != "#32770") return TRUE;
    char title[512] = {};
    GetWindowTextA(window, title, sizeof title);
    if (search->title == title) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

HWND findWindow(const std::string& title, bool dialogOnly) {
    Search search{title, dialogOnly, nullptr};
    EnumWindows(findTopLevel, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

template <typename Ready>
bool waitFor(double seconds, Ready ready) {
    const DWORD start = GetTickCount();
    for (;;) {
        if (ready()) return true;
        if (GetTickCount() - start > static_cast<DWORD>(seconds * 1000)) return false;
        Sleep(100);
    }
}

bool fail(const std::string& what) {
    std::printf("FAIL %s\n", what.c_str());
    std::fflush(stdout);
    return false;
}

HWND control(int id) { return gMain ? GetDlgItem(gMain, id) : nullptr; }

std::vector<std::string> comboItems() {
    std::vector<std::string> items;
    HWND combo = control(1002);
    DWORD_PTR count = 0;
    if (!SendMessageTimeoutA(combo, CB_GETCOUNT, 0, 0, SMTO_ABORTIFHUNG, kAnswerMs, &count))
        return items;
    for (int i = 0; i < static_cast<int>(count); ++i) {
        DWORD_PTR length = 0;
        SendMessageTimeoutW(combo, CB_GETLBTEXTLEN, i, 0, SMTO_ABORTIFHUNG, kAnswerMs, &length);
        std::vector<wchar_t> text(length + 1, L'\0');
        SendMessageTimeoutW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text.data()),
                            SMTO_ABORTIFHUNG, kAnswerMs, &length);
        items.push_back(narrow(text.data()));
    }
    return items;
}

// Splits a line into words; false for an unterminated quote.
bool words(const std::string& line, std::vector<std::string>& out) {
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
        if (i >= line.size()) break;
        std::string word;
        if (line[i] == '"') {
            ++i;
            bool closed = false;
            while (i < line.size()) {
                char c = line[i++];
                if (c == '"') {
                    closed = true;
                    break;
                }
                if (c == '\\' && i < line.size()) {
                    const char e = line[i++];
                    c = e == 'n' ? '\n' : e == 't' ? '\t' : e == 'r' ? '\r' : e;
                }
                word += c;
            }
            if (!closed) return false;
        } else {
            while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') {
                word += line[i++];
            }
        }
        out.push_back(word);
    }
    return true;
}

std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else if (c == '\t')
            out += "\\t";
        else
            out += c;
    }
    return out + "\"";
}

bool openFile(const std::string& path, double seconds) {
    HWND dialog = nullptr;
    if (!waitFor(seconds, [&] { return (dialog = findWindow("Open", true)) != nullptr; })) {
        return fail("no Open dialog");
    }
    // The explorer-style dialog has its name field in a combo box; the older one has an edit.
    HWND field = GetDlgItem(dialog, 0x47C);
    if (field != nullptr && className(field) != "Edit") {
        HWND edit = FindWindowExA(field, nullptr, "Edit", nullptr);
        if (edit != nullptr) field = edit;
    }
    if (field == nullptr) field = GetDlgItem(dialog, 0x480);
    if (field == nullptr) return fail("the Open dialog has no file name field");
    const std::string name = windowsPath(path);
    DWORD_PTR result = 0;
    SendMessageTimeoutA(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(name.c_str()),
                        SMTO_ABORTIFHUNG, kAnswerMs, &result);
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
    if (!waitFor(seconds, [&] { return !IsWindow(dialog) || !IsWindowVisible(dialog); })) {
        return fail("the Open dialog did not take " + name);
    }
    return true;
}

// Whether a font of the family is installed: enumerating a family by name lists its own faces,
// never the font the mapper would take in its place.
struct FontSearch {
    std::string family;
    bool found = false;
};

int CALLBACK noteFace(const LOGFONTA* font, const TEXTMETRICA*, DWORD, LPARAM search) {
    auto* s = reinterpret_cast<FontSearch*>(search);
    if (lstrcmpiA(font->lfFaceName, s->family.c_str()) == 0) s->found = true;
    return 1;
}

bool hasFont(const std::string& family) {
    LOGFONTA wanted = {};
    wanted.lfCharSet = DEFAULT_CHARSET;
    lstrcpynA(wanted.lfFaceName, family.c_str(), LF_FACESIZE);
    FontSearch search{family};
    HDC screen = GetDC(nullptr);
    EnumFontFamiliesExA(screen, &wanted, noteFace, reinterpret_cast<LPARAM>(&search), 0);
    ReleaseDC(nullptr, screen);
    return search.found;
}

bool cancelFile(double seconds) {
    HWND dialog = nullptr;
    if (!waitFor(seconds, [&] { return (dialog = findWindow("Open", true)) != nullptr; })) {
        return fail("no Open dialog");
    }
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDCANCEL)));
    if (!waitFor(seconds, [&] { return !IsWindow(dialog) || !IsWindowVisible(dialog); })) {
        return fail("the Open dialog stayed");
    }
    return true;
}

bool step(const std::vector<std::string>& w) {
    const std::string& op = w[0];
    auto need = [&](size_t n) { return w.size() >= n + 1; };
    auto num = [&](size_t i) { return std::atof(w[i].c_str()); };
    auto id = [&](size_t i) { return numberOrControl(w[i]); };

    if (op == "main" && need(2)) {
        if (!waitFor(num(2), [&] { return (gMain = findWindow(w[1], true)) != nullptr; })) {
            return fail("no main dialog " + quoted(w[1]));
        }
        return true;
    }
    if (op == "window" && need(2)) {
        return waitFor(num(2), [&] { return findWindow(w[1], true) != nullptr; }) ||
               fail("no window " + quoted(w[1]));
    }
    if (op == "gone" && need(2)) {
        return waitFor(num(2), [&] { return findWindow(w[1], false) == nullptr; }) ||
               fail("window still there: " + quoted(w[1]));
    }
    if (op == "timer-start") {
        gTimerStart = GetTickCount();
        return true;
    }
    if (op == "elapsed" && need(2)) {
        const double seconds = (GetTickCount() - gTimerStart) / 1000.0;
        std::printf("   %.1f s\n", seconds);
        return (seconds >= num(1) && seconds <= num(2)) ||
               fail("elapsed " + std::to_string(seconds) + " s");
    }
    if (op == "combo-count" && need(1)) {
        const auto items = comboItems();
        return items.size() == static_cast<size_t>(id(1)) ||
               fail("the list has " + std::to_string(items.size()) + " items");
    }
    if (op == "combo" && need(2)) {
        const auto items = comboItems();
        const size_t i = static_cast<size_t>(id(1));
        const std::string actual = i < items.size() ? items[i] : "<none>";
        return actual == w[2] || fail("item " + w[1] + " is " + quoted(actual));
    }
    if (op == "selected" && need(1)) {
        DWORD_PTR index = 0;
        SendMessageTimeoutA(control(1002), CB_GETCURSEL, 0, 0, SMTO_ABORTIFHUNG, kAnswerMs, &index);
        return static_cast<int>(index) == id(1) ||
               fail("selected is " + std::to_string(static_cast<int>(index)));
    }
    if (op == "text" && need(2)) {
        const std::string actual = windowText(control(id(1)));
        return actual == w[2] || fail("text " + w[1] + " is " + quoted(actual));
    }
    if ((op == "wait-text" || op == "wait-prefix") && need(3)) {
        std::string actual;
        const bool prefix = op == "wait-prefix";
        const bool ok = waitFor(num(3), [&] {
            actual = windowText(control(id(1)));
            return prefix ? actual.rfind(w[2], 0) == 0 : actual == w[2];
        });
        if (ok) std::printf("   %s\n", quoted(actual).c_str());
        return ok || fail("text " + w[1] + " is " + quoted(actual));
    }
    if (op == "enabled" && need(2)) {
        const bool enabled = IsWindowEnabled(control(id(1))) != FALSE;
        return enabled == (id(2) != 0) ||
               fail("control " + w[1] + (enabled ? " is enabled" : " is disabled"));
    }
    if (op == "select" && need(1)) {
        HWND combo = control(1002);
        DWORD_PTR result = 0;
        SendMessageTimeoutA(combo, CB_SETCURSEL, id(1), 0, SMTO_ABORTIFHUNG, kAnswerMs, &result);
        PostMessageA(gMain, WM_COMMAND, MAKEWPARAM(1002, CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(combo));
        return true;
    }
    if (op == "click" && need(1)) {
        HWND button = control(id(1));
        if (button == nullptr) return fail("no control " + w[1]);
        if (!IsWindowEnabled(button)) return fail("button " + w[1] + " is disabled");
        PostMessageA(gMain, WM_COMMAND, MAKEWPARAM(id(1), BN_CLICKED),
                     reinterpret_cast<LPARAM>(button));
        return true;
    }
    if (op == "open-file" && need(2)) return openFile(w[1], num(2));
    if (op == "cancel-file" && need(1)) return cancelFile(num(1));
    if (op == "font" && need(1)) return hasFont(w[1]) || fail("no font " + quoted(w[1]));
    if (op == "msgbox" && need(3)) {
        if (!waitFor(num(3), [&] { return (gBox = findWindow(w[1], true)) != nullptr; })) {
            return fail("no message box " + quoted(w[1]));
        }
        // The message text is the static control 0xFFFF of the box.
        std::string actual;
        waitFor(num(3), [&] {
            actual = windowText(GetDlgItem(gBox, 0xFFFF));
            return actual == w[2];
        });
        std::printf("   %s\n", quoted(actual).c_str());
        return actual == w[2] || fail("the box says " + quoted(actual));
    }
    if (op == "answer" && need(1)) {
        if (gBox == nullptr || !IsWindow(gBox)) return fail("no message box to answer");
        PostMessageA(gBox, WM_COMMAND, MAKEWPARAM(id(1), BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(gBox, id(1))));
        return waitFor(30, [&] { return !IsWindow(gBox) || !IsWindowVisible(gBox); }) ||
               fail("the box stayed");
    }
    if (op == "shot" && need(1)) {
        if (gShotFolder.empty()) return true;
        Sleep(700);  // let the windows finish painting
        const std::string request = gShotFolder + "\\" + w[1] + ".request";
        const std::string done = gShotFolder + "\\" + w[1] + ".done";
        std::ofstream(request.c_str()) << w[1] << "\n";
        return waitFor(20,
                       [&] {
                           return GetFileAttributesA(done.c_str()) != INVALID_FILE_ATTRIBUTES;
                       }) ||
               fail("no screenshot " + w[1]);
    }
    if (op == "delete-file" && need(1)) {
        return DeleteFileA(windowsPath(w[1]).c_str()) || fail("cannot delete " + w[1]);
    }
    if (op == "copy-file" && need(2)) {
        return CopyFileA(windowsPath(w[1]).c_str(), windowsPath(w[2]).c_str(), FALSE) ||
               fail("cannot copy " + w[1]);
    }
    if (op == "sleep" && need(1)) {
        Sleep(static_cast<DWORD>(num(1) * 1000));
        return true;
    }
    return fail("unknown step: " + op);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: ui_driver SCRIPT [SCREENSHOT-FOLDER]\n");
        return 2;
    }
    if (argc >= 3) gShotFolder = windowsPath(argv[2]);
    std::ifstream script(windowsPath(argv[1]).c_str());
    if (!script) {
        std::fprintf(stderr, "ui_driver: cannot read %s\n", argv[1]);
        return 2;
    }
    std::string line;
    int number = 0;
    while (std::getline(script, line)) {
        ++number;
        std::vector<std::string> w;
        if (!words(line, w)) {
            std::printf("FAIL line %d: unterminated quote\n", number);
            return 1;
        }
        if (w.empty() || w[0][0] == '#') continue;
        std::printf("%3d %s\n", number, line.c_str());
        std::fflush(stdout);
        if (!step(w)) return 1;
    }
    std::printf("PASS\n");
    return 0;
}
