// The real Linux seam's sleep inhibitor: logind's Inhibit, asked over the system bus with
// libsystemd's sd-bus, held as the descriptor logind hands back.
#include <fcntl.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/linux/linux_system.h"

namespace dw {

namespace {

// logind answers at once; a bus that does not must not hold the upgrade for long.
constexpr uint64_t kInhibitTimeoutUs = 5'000'000;

std::string errorText(int negativeErrno, const sd_bus_error& error) {
    if (sd_bus_error_is_set(&error)) {
        return std::string(error.name) + (error.message != nullptr ? ": " : "") +
               (error.message != nullptr ? error.message : "");
    }
    return std::strerror(-negativeErrno);
}

}  // namespace

LinuxApi::InhibitResult LinuxSystem::inhibitSleep(const std::string& who, const std::string& why) {
    InhibitResult result;
    sd_bus* bus = nullptr;
    sd_bus_message* call = nullptr;
    sd_bus_message* reply = nullptr;
    sd_bus_error error = SD_BUS_ERROR_NULL;
    int r = sd_bus_open_system(&bus);
    if (r >= 0) {
        r = sd_bus_message_new_method_call(bus, &call, "org.freedesktop.login1",
                                           "/org/freedesktop/login1",
                                           "org.freedesktop.login1.Manager", "Inhibit");
    }
    if (r >= 0) r = sd_bus_message_append(call, "ssss", "sleep", who.c_str(), why.c_str(), "block");
    if (r >= 0) r = sd_bus_call(bus, call, kInhibitTimeoutUs, &error, &reply);
    int fd = -1;
    if (r >= 0) r = sd_bus_message_read(reply, "h", &fd);
    if (r >= 0) {
        // The reply owns the descriptor it carries: keep a copy, never on 0 to 2.
        result.fd = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
        if (result.fd < 0) r = -errno;
    }
    if (r < 0) result.error = errorText(r, error);
    sd_bus_error_free(&error);
    sd_bus_message_unref(reply);
    sd_bus_message_unref(call);
    sd_bus_flush_close_unref(bus);
    return result;
}

void LinuxSystem::allowSleep(int fd) {
    if (fd >= 0) ::close(fd);
}

}  // namespace dw
