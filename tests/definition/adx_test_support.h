#pragma once

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "definition/adx_definition.h"

namespace korvit::definition::testing {

/// A file name in the temporary directory, removed when the object goes.
class TempFile {
  public:
    explicit TempFile(const std::string& stem)
        : path_((std::filesystem::temp_directory_path() /
                 (stem + "-" + std::to_string(::getpid()) + ".tmp"))
                    .string()) {}
    ~TempFile() { std::remove(path_.c_str()); }
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

inline std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteAll(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

/// Loads a document given as text, as Load would read it from a file.
inline int LoadText(ADXDefinition& def, const std::string& xml, std::string* error = nullptr) {
    std::string message;
    const int ok = def.LoadBuffer(xml.data(), xml.size(), message);
    if (error != nullptr) *error = message;
    return ok;
}

/// The format element every loadable test document starts with.
inline constexpr const char* kFormat = "<ADXFORMAT version=\"0.50\" />\r\n";

}  // namespace korvit::definition::testing
