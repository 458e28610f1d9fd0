// A stand-in for logind on a private bus, for the end-to-end runs of the command line: it
// answers org.freedesktop.login1.Manager.Inhibit as logind does, with a descriptor whose closing
// ends the inhibitor, and appends to a log what it was asked and when each inhibitor ended.
//
//   fake_logind BUS_ADDRESS LOG
//
// It writes "logind: ready" once it owns its name, and ends when the bus goes away.
#include <fcntl.h>
#include <poll.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::string gLog;
std::vector<int> gHeld;  // this side of each inhibitor still held

void logLine(const std::string& line) {
    const int fd = open(gLog.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return;
    const std::string text = "logind: " + line + "\n";
    if (write(fd, text.data(), text.size()) < 0) std::perror("fake_logind: log");
    close(fd);
}

int inhibit(sd_bus_message* call, void*, sd_bus_error*) {
    const char *what = nullptr, *who = nullptr, *why = nullptr, *mode = nullptr;
    int r = sd_bus_message_read(call, "ssss", &what, &who, &why, &mode);
    if (r < 0) return r;
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) < 0) return -errno;
    logLine(std::string("inhibit what=") + what + " who=" + who + " why=" + why + " mode=" + mode);
    gHeld.push_back(ends[0]);
    r = sd_bus_reply_method_return(call, "h", ends[1]);
    close(ends[1]);
    return r;
}

const sd_bus_vtable kManager[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("Inhibit", "ssss", "h", inhibit, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_VTABLE_END,
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: fake_logind BUS_ADDRESS LOG\n");
        return 2;
    }
    gLog = argv[2];
    sd_bus* bus = nullptr;
    sd_bus_slot* slot = nullptr;
    int r = sd_bus_new(&bus);
    if (r >= 0) r = sd_bus_set_address(bus, argv[1]);
    if (r >= 0) r = sd_bus_set_bus_client(bus, 1);
    if (r >= 0) r = sd_bus_start(bus);
    if (r >= 0) {
        r = sd_bus_add_object_vtable(bus, &slot, "/org/freedesktop/login1",
                                     "org.freedesktop.login1.Manager", kManager, nullptr);
    }
    if (r >= 0) r = sd_bus_request_name(bus, "org.freedesktop.login1", 0);
    if (r < 0) {
        std::fprintf(stderr, "fake_logind: %s\n", std::strerror(-r));
        return 1;
    }
    logLine("ready");
    for (;;) {
        r = sd_bus_process(bus, nullptr);
        if (r < 0) break;
        if (r > 0) continue;
        std::vector<pollfd> fds = {
            {sd_bus_get_fd(bus), static_cast<short>(sd_bus_get_events(bus)), 0}};
        for (const int fd : gHeld) fds.push_back({fd, POLLIN, 0});
        if (poll(fds.data(), fds.size(), 1000) < 0 && errno != EINTR) break;
        for (size_t i = fds.size(); i-- > 1;) {
            if ((fds[i].revents & (POLLHUP | POLLERR)) != 0) {
                logLine("inhibitor released");
                close(gHeld[i - 1]);
                gHeld.erase(gHeld.begin() + static_cast<long>(i - 1));
            }
        }
    }
    sd_bus_slot_unref(slot);
    sd_bus_flush_close_unref(bus);
    return 0;
}
