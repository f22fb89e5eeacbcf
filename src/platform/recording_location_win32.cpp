#include <windows.h>

#include <shlobj.h>

#include <string>

#include "platform/recording_location.h"
#include "platform/win32_text.h"

namespace korvit::platform {

std::string ProgramDirectory() {
    std::wstring buffer(32768, L'\0');
    const DWORD n = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0 || n >= buffer.size()) return {};
    buffer.resize(n);
    const size_t slash = buffer.find_last_of(L"\\/");
    if (slash == std::wstring::npos) return {};
    return Utf8FromWide(buffer.substr(0, slash + 1));
}

bool DirectoryWritable(const std::string& dir) {
    // Folder attributes say little on Windows (Program Files is "writable" to _access but
    // refuses files): create and delete a probe file.
    if (dir.empty()) return false;
    const std::wstring probe = WideFromUtf8(dir) + L"korvit-write-probe.tmp";
    const HANDLE h = ::CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                   FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        // A probe left by a crash proves the folder writable.
        return ::GetLastError() == ERROR_FILE_EXISTS;
    }
    ::CloseHandle(h);
    return true;
}

std::string UserDirectory(UserFolder /*kind*/) {
    // Settings and recordings share %APPDATA%\Korvit\ on Windows.
    wchar_t* appdata = nullptr;
    std::string dir;
    if (::SHGetKnownFolderPath(FOLDERID_RoamingAppData, KF_FLAG_CREATE, nullptr, &appdata) ==
        S_OK) {
        dir = Utf8FromWide(appdata) + "\\Korvit\\";
    }
    ::CoTaskMemFree(appdata);
    if (dir.empty()) return {};
    ::CreateDirectoryW(WideFromUtf8(dir).c_str(), nullptr);
    return dir;
}

std::string RecordingDirectory() {
    const std::string program = ProgramDirectory();
    if (DirectoryWritable(program)) return program;
    return UserDirectory(UserFolder::kData);
}

std::string RecordingPath() {
    return RecordingDirectory() + "temp.xdl";
}

}  // namespace korvit::platform
