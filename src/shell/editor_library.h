#pragma once

#include <QLibrary>
#include <QString>
#include <string>

namespace korvit::app {
class OutputLog;
}

namespace korvit::shell {

/// The definition editor, a library loaded at run time: first beside the program, then in
/// ../lib/korvit/ (the installed layout), then through the system's library search. Without it,
/// Edit and New stay disabled.
class EditorLibrary {
  public:
    using Entry = int (*)(void* owner, char* path, app::OutputLog* log, int reserved);
    static constexpr size_t kPathBuffer = 260;

    EditorLibrary() = default;
    /// Gives the library back, so that a later search does not find this one still loaded.
    ~EditorLibrary();
    EditorLibrary(const EditorLibrary&) = delete;
    EditorLibrary& operator=(const EditorLibrary&) = delete;

    /// Loads the library; `directory` is searched first. False with a message when it is missing
    /// or lacks its entry point.
    bool Load(const QString& directory);
    bool loaded() const { return entry_ != nullptr; }
    /// What went wrong, for the start-up message box.
    QString failure() const { return failure_; }

    /// Runs the editor on `path` (260 characters with the terminator, read and written by the
    /// editor). True when the editor saved a definition whose path is now in `path`.
    bool Run(void* owner, std::string& path, app::OutputLog* log) const;

  private:
    QLibrary library_;
    Entry entry_ = nullptr;
    QString failure_;
};

}  // namespace korvit::shell
