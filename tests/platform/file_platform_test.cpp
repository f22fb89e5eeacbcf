// Files as the recorder, the loaders and recovery use them: the same behaviour on POSIX and on
// Windows (run there under Wine).
#include <fcntl.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/file_io.h"
#include "platform/file_move.h"
#include "platform/move_failure.h"
#include "platform/recording_location.h"

#ifdef _WIN32
#include <io.h>
#define close _close
#else
#include <unistd.h>
#endif

namespace korvit::platform {
namespace {

namespace fs = std::filesystem;

class Scratch {
  public:
    Scratch() {
        static int made = 0;
        dir_ =
            fs::temp_directory_path() / ("korvit-platform-" + std::to_string(std::time(nullptr)) +
                                         "-" + std::to_string(++made));
        fs::create_directories(dir_);
    }
    ~Scratch() {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    /// A UTF-8 path inside the scratch folder.
    std::string Path(const std::string& name) const {
        const auto u8 = dir_.u8string();
        return std::string(u8.begin(), u8.end()) + "/" + name;
    }

  private:
    fs::path dir_;
};

std::string Contents(const std::string& path) {
    std::ifstream in(NativePath(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void Put(const std::string& path, const std::string& text) {
    std::ofstream(NativePath(path), std::ios::binary) << text;
}

TEST(FileMove, MovesButNeverReplacesAndNamesWhyItFailed) {
    Scratch scratch;
    const std::string from = scratch.Path("temp.xdl");
    const std::string to = scratch.Path("drive.xdl");
    Put(from, "recording");
    Put(to, "older log");

    EXPECT_EQ(MoveFileNoReplace(from, to), EEXIST);
    EXPECT_EQ(Contents(to), "older log") << "an existing log is never replaced";
    EXPECT_EQ(Contents(from), "recording") << "the source stays where it was";
    EXPECT_EQ(MoveFailureReason(EEXIST, from, to),
              "a file named " + to + " already exists and is never replaced");

    const std::string fresh = scratch.Path("drive-2.xdl");
    EXPECT_EQ(MoveFileNoReplace(from, fresh), 0);
    EXPECT_EQ(Contents(fresh), "recording");
    EXPECT_FALSE(fs::exists(NativePath(from)));

    EXPECT_EQ(MoveFileNoReplace(from, scratch.Path("again.xdl")), ENOENT);
    const std::string nowhere = scratch.Path("no-folder/drive.xdl");
    EXPECT_EQ(MoveFileNoReplace(fresh, nowhere), ENOENT);
    EXPECT_EQ(MoveFailureReason(ENOENT, fresh, nowhere),
              "the folder " + scratch.Path("no-folder") + " does not exist");
}

TEST(FileMove, UnicodeNamesArriveIntact) {
    Scratch scratch;
    const std::string from =
        scratch.Path("Fahrt \xC3\xBC\x62\x65r Berge.xdl");                // "Fahrt über Berge"
    const std::string to = scratch.Path("\xE6\x97\xA5\xE6\x9C\xAC.xdl");  // "日本"
    Put(from, "bytes");
    ASSERT_EQ(Contents(from), "bytes");
    EXPECT_EQ(MoveFileNoReplace(from, to), 0);
    EXPECT_EQ(Contents(to), "bytes");
    EXPECT_TRUE(fs::exists(NativePath(to)));
}

TEST(FileIo, PositionedTransfersAreBinaryAndSizesTruncationAndCreationBehave) {
    Scratch scratch;
    const std::string path = scratch.Path("log.bin");
    const int fd = OpenFile(path, O_RDWR | O_CREAT | O_TRUNC);
    ASSERT_GE(fd, 0);
    // Line ends and a Ctrl+Z pass untranslated.
    const std::string bytes = std::string(
        "A\nB\r\n\x1A"
        "C",
        7);
    ASSERT_EQ(WriteAt(fd, bytes.data(), bytes.size(), 0), 7);
    ASSERT_EQ(WriteAt(fd, "zz", 2, 10), 2);
    bool regular = false;
    EXPECT_EQ(FileSize(fd, &regular), 12);
    EXPECT_TRUE(regular);

    char back[16] = {};
    EXPECT_EQ(ReadAt(fd, back, 7, 0), 7);
    EXPECT_EQ(std::string(back, 7), bytes);
    EXPECT_EQ(ReadAt(fd, back, sizeof back, 10), 2);
    EXPECT_EQ(ReadAt(fd, back, sizeof back, 40), 0) << "past the end reads nothing";

    ASSERT_TRUE(TruncateFile(fd, 3));
    EXPECT_EQ(FileSize(fd), 3);
    close(fd);
    EXPECT_EQ(Contents(path), "A\nB");

    errno = 0;
    EXPECT_EQ(OpenFile(path, O_WRONLY | O_CREAT | O_EXCL), -1);
    EXPECT_EQ(errno, EEXIST);
    EXPECT_EQ(OpenFile(scratch.Path("missing.bin"), O_RDONLY), -1);
    EXPECT_EQ(errno, ENOENT);

    // A folder opens but is not a file (loaders report it instead of reading it).
    const int dir = OpenFile(scratch.Path(""), O_RDONLY);
    if (dir >= 0) {
        regular = true;
        FileSize(dir, &regular);
        EXPECT_FALSE(regular);
        close(dir);
    }
}

TEST(FileIo, TheRecordingLockKeepsOthersFromTheLockButNotFromTheBytes) {
    Scratch scratch;
    const std::string path = scratch.Path("temp.xdl");
    const int writer = OpenFile(path, O_WRONLY | O_CREAT | O_TRUNC);
    ASSERT_GE(writer, 0);
    ASSERT_TRUE(TryLockExclusive(writer));
    ASSERT_EQ(WriteAt(writer, "record", 6, 0), 6);

    const int probe = OpenFile(path, O_RDONLY);
    ASSERT_GE(probe, 0);
    EXPECT_FALSE(TryLockExclusive(probe)) << "a second opener sees the recording in use";
    char back[8] = {};
    EXPECT_EQ(ReadAt(probe, back, sizeof back, 0), 6) << "the lock must not block readers";
    EXPECT_EQ(std::string(back, 6), "record");
    close(probe);

    close(writer);
    const int later = OpenFile(path, O_RDONLY);
    ASSERT_GE(later, 0);
    EXPECT_TRUE(TryLockExclusive(later)) << "closing the writer releases the lock";
    close(later);
}

TEST(LocalTime, BreaksDownTheSameInstantMktimeBuildsBackAgain) {
    const std::time_t t = 1'700'000'000;  // mid-November 2023
    std::tm local = LocalTime(t);
    EXPECT_EQ(local.tm_year, 123);
    EXPECT_EQ(local.tm_mon, 10);
    EXPECT_EQ(std::mktime(&local), t);
}

TEST(ProgramFolders, FilesGoBesideTheProgramWhenItsFolderIsWritable) {
    Scratch scratch;
    EXPECT_TRUE(DirectoryWritable(scratch.Path("")));
    EXPECT_FALSE(DirectoryWritable(scratch.Path("no-such-folder/")));
    EXPECT_FALSE(DirectoryWritable(""));

    const std::string program = ProgramDirectory();
    ASSERT_FALSE(program.empty());
    EXPECT_TRUE(fs::exists(NativePath(program)));
    const std::string recording = RecordingPath();
    EXPECT_EQ(recording, RecordingDirectory() + "temp.xdl");
    if (DirectoryWritable(program)) {
        EXPECT_EQ(RecordingDirectory(), program);
    }
    EXPECT_FALSE(UserDirectory(UserFolder::kConfig).empty());
}

}  // namespace
}  // namespace korvit::platform
