#include <windows.h>

#include "platform/file_move.h"
#include "platform/win32_text.h"

namespace korvit::platform {

int MoveFileNoReplace(const std::string& from, const std::string& to) {
    // Without MOVEFILE_REPLACE_EXISTING an existing target fails the move; across drives the
    // system copies and deletes the source only once the copy is complete.
    if (::MoveFileExW(WideFromUtf8(from).c_str(), WideFromUtf8(to).c_str(),
                      MOVEFILE_COPY_ALLOWED | MOVEFILE_WRITE_THROUGH)) {
        return 0;
    }
    return ErrnoFromWin32(::GetLastError());
}

int MoveFileReplacing(const std::string& from, const std::string& to) {
    if (::MoveFileExW(WideFromUtf8(from).c_str(), WideFromUtf8(to).c_str(),
                      MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return 0;
    }
    return ErrnoFromWin32(::GetLastError());
}

}  // namespace korvit::platform
