#include "acquisition/port_failure.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

namespace korvit::acquisition {
namespace {

std::string GroupName(gid_t gid) {
    std::vector<char> buffer(16384);
    group entry{};
    group* found = nullptr;
    if (::getgrgid_r(gid, &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr) {
        return found->gr_name;
    }
    return std::to_string(gid);
}

bool ProcessHasGroup(gid_t gid) {
    if (::getegid() == gid) return true;
    const int count = ::getgroups(0, nullptr);
    if (count <= 0) return false;
    std::vector<gid_t> groups(static_cast<size_t>(count));
    const int got = ::getgroups(count, groups.data());
    return got > 0 && std::find(groups.begin(), groups.begin() + got, gid) != groups.begin() + got;
}

// The group database may already list the user when this login session predates the change.
bool AccountHasGroup(gid_t gid) {
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* me = nullptr;
    if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &me) != 0 ||
        me == nullptr) {
        return false;
    }
    int count = 64;
    std::vector<gid_t> groups(static_cast<size_t>(count));
    if (::getgrouplist(me->pw_name, me->pw_gid, groups.data(), &count) < 0) {
        groups.resize(static_cast<size_t>(count));
        if (::getgrouplist(me->pw_name, me->pw_gid, groups.data(), &count) < 0) return false;
    }
    return std::find(groups.begin(), groups.begin() + count, gid) != groups.begin() + count;
}

std::string PermissionAdvice(const std::string& device) {
    struct stat st {};
    if (::stat(device.c_str(), &st) != 0) return "";
    const std::string group = GroupName(st.st_gid);
    if (!ProcessHasGroup(st.st_gid)) {
        if (AccountHasGroup(st.st_gid)) {
            return "; you were added to group " + group +
                   " after logging in: log out and back in (or run \"newgrp " + group + "\")";
        }
        return "; it belongs to group " + group + ", which you are not in. Join it with \"sudo " +
               "usermod -aG " + group + " $USER\", then log out and back in";
    }
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
    return "; its permissions (" + std::string(mode) + ", group " + group +
           ") do not let you read and write it";
}

}  // namespace

std::string DescribePortFailure(const std::string& device, int error) {
    if (error == 0) return "";
    std::string text = std::strerror(error);
    switch (error) {
        case EACCES:
        case EPERM:
            text += ": " + device + PermissionAdvice(device) + ".";
            break;
        case EBUSY:
            text += ": another program holds " + device + "; close it and scan again.";
            break;
        case ENOTTY:
            text += ": " + device +
                    " is not a serial device; choose the adapter's port, such as "
                    "/dev/ttyUSB0.";
            break;
        case ENOENT:
            text += ": " + device +
                    " does not exist; is the adapter plugged in? USB serial "
                    "adapters appear as /dev/ttyUSB0 or /dev/ttyACM0.";
            break;
        case ENXIO:
        case ENODEV:
            text += ": " + device + " has no device behind it; was the adapter unplugged?";
            break;
        default:
            text += ": " + device + ".";
            break;
    }
    return text;
}

}  // namespace korvit::acquisition
