#pragma once

#include <string>

namespace korvit::platform {

/// Paths and texts are UTF-8 inside the program and UTF-16 at the Win32 calls.
std::wstring WideFromUtf8(const std::string& text);
std::string Utf8FromWide(const std::wstring& text);

/// The errno value closest to a Win32 error code, so that callers share one set of reasons.
int ErrnoFromWin32(unsigned long error);

}  // namespace korvit::platform
