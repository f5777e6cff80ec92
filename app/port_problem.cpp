#include "app/port_problem.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>

#include <cstdio>

#include "lang/catalog.h"
#include "lang/format_text.h"
#include "lang/text_names.h"

namespace tarmix {

namespace {

constexpr unsigned kGroupReadWrite = 0060;

std::string nameOrNumber(const char* name, unsigned number) {
    return name ? std::string(name) : std::to_string(number);
}

}  // namespace

std::optional<DeviceAccess> ReadDeviceAccess(const std::string& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) return std::nullopt;
    const passwd* user = getpwuid(status.st_uid);
    const group* owners = getgrgid(status.st_gid);
    return DeviceAccess{unsigned(status.st_mode & 07777),
                        nameOrNumber(user ? user->pw_name : nullptr, status.st_uid),
                        nameOrNumber(owners ? owners->gr_name : nullptr, status.st_gid),
                        status.st_gid == 0};
}

std::string DescribeNoPermission(const std::string& device,
                                 const std::optional<DeviceAccess>& access) {
    if (!access) return FormatText(text::kPortPermissionDenied, device);
    const bool groupHelps =
        (access->mode & kGroupReadWrite) == kGroupReadWrite && !access->rootGroup;
    if (!groupHelps) {
        char mode[8];
        std::snprintf(mode, sizeof mode, "%04o", access->mode);
        return FormatText(text::kPermissionDeniedOwnerOnly, device, access->owner, mode);
    }
    if (access->group == "dialout") return FormatText(text::kPortPermissionDenied, device);
    return FormatText(text::kPermissionDeniedJoinGroup, device, access->group, access->group);
}

std::string DescribeOpenFailure(OpenFailure failure, const std::string& device) {
    switch (failure) {
        case OpenFailure::NoPermission:
            return DescribeNoPermission(device, ReadDeviceAccess(device));
        case OpenFailure::Missing:
            return FormatText(text::kNoSuchDevice, device);
        case OpenFailure::InUse:
            return FormatText(text::kPortInUse, device);
        case OpenFailure::NotATerminal:
            return FormatText(text::kNotSerial, device);
        case OpenFailure::NotListed:
            return FormatText(text::kNoDeviceBehindPort, device);
        case OpenFailure::Other:
            return FormatText(text::kPortCannotOpen, device);
        case OpenFailure::None:
            break;
    }
    return {};
}

std::string OpenErrorText(const std::string& port, const std::string& device, OpenFailure failure) {
    std::string text = LoadText(text::kErrorWhileOpen) + "\n " + port;
    const std::string reason = DescribeOpenFailure(failure, device.empty() ? port : device);
    if (!reason.empty()) text += "\n" + reason;
    return text;
}

}  // namespace tarmix
