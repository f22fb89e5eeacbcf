#pragma once

#ifdef _WIN32
#include <process.h>
#else
#include <sys/wait.h>
#include <unistd.h>
#endif

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

/// The "Written" comment's text, or empty when the file has none.
inline std::string WrittenStamp(const std::string& text) {
    const size_t begin = text.find("<!-- Written ");
    const size_t end = text.find(" -->", begin);
    if (begin == std::string::npos || end == std::string::npos) return std::string();
    return text.substr(begin + 13, end - begin - 13);
}

/// A written document without its time stamp, for comparing two saves.
inline std::string WithoutWrittenStamp(std::string text) {
    const std::string stamp = WrittenStamp(text);
    if (!stamp.empty()) text.erase(text.find(stamp), stamp.size());
    return text;
}

#ifndef _WIN32
struct CliRun {
    int status;
    std::string out;  // standard output and error together
};

/// Runs korvit-cli with the given arguments.
inline CliRun RunCli(const std::string& args) {
    const std::string command = std::string(KORVIT_CLI_PATH) + " " + args + " 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    CliRun run{-1, {}};
    if (pipe == nullptr) return run;
    char buf[4096];
    size_t n = 0;
    while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) run.out.append(buf, n);
    const int status = ::pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}
#endif

/// The format element every loadable test document starts with.
inline constexpr const char* kFormat = "<ADXFORMAT version=\"0.50\" />\r\n";

}  // namespace korvit::definition::testing
