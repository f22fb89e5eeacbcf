#pragma once

// Builds datalog bytes independently of the writer, and fakes for the player's callback.

#include <gtest/gtest.h>

#include <unistd.h>
#ifdef _WIN32
#include <process.h>
#endif

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "acquisition/data_acq_callback.h"
#include "definition/adx_commands.h"
#include "definition/adx_definition.h"

namespace korvit::datalog::testing {

inline void Put32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

struct BuiltCommand {
    uint32_t idhash;
    std::string id;
    uint32_t type;
    uint32_t storedsize;
    uint32_t replysize;
    std::vector<uint8_t> mask;
};

struct BuiltRecord {
    uint32_t time;
    uint8_t command;
    std::vector<uint8_t> data;
    int32_t next_delta = 0;  // added to the correct next offset, to build damaged files
};

/// Lays out header, table and records the way the file format describes them.
inline std::vector<uint8_t> BuildXdl(const std::vector<BuiltCommand>& commands,
                                     const std::vector<BuiltRecord>& records,
                                     uint32_t version = 3) {
    std::vector<uint8_t> table;
    Put32(table, static_cast<uint32_t>(commands.size()));
    for (const auto& c : commands) {
        Put32(table, c.idhash);
        for (size_t i = 0; i < 16; ++i) table.push_back(i < c.id.size() ? c.id[i] : 0);
        Put32(table, c.type);
        Put32(table, c.storedsize);
        Put32(table, c.replysize);
        table.push_back(static_cast<uint8_t>(c.mask.size()));
        table.insert(table.end(), c.mask.begin(), c.mask.end());
    }
    const uint32_t first = 40 + static_cast<uint32_t>(table.size());
    std::vector<uint8_t> body;
    for (const auto& r : records) {
        const uint32_t at = first + static_cast<uint32_t>(body.size());
        Put32(body, at + 12 + static_cast<uint32_t>(r.data.size()) + r.next_delta);
        Put32(body, r.time);
        body.push_back(r.command);
        body.insert(body.end(), {0, 0, 0});
        body.insert(body.end(), r.data.begin(), r.data.end());
    }
    std::vector<uint8_t> out;
    Put32(out, version);
    Put32(out, first);
    Put32(out, first + static_cast<uint32_t>(body.size()) + 1);
    const uint16_t start[8] = {2026, 12, 0, 6, 3, 30, 15, 250};
    for (uint16_t v : start) out.insert(out.end(), {uint8_t(v), uint8_t(v >> 8)});
    out.insert(out.end(), 8, 0);
    Put32(out, static_cast<uint32_t>(records.size()));
    out.insert(out.end(), table.begin(), table.end());
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

/// Adds a send command; flags bit 0 marks its reply as processed, which is what gets recorded.
inline definition::ADXCSendCommand* AddSendCommand(definition::ADXDefinition& def, const char* id,
                                                   uint32_t replysize, uint32_t flags = 1) {
    auto command = std::make_unique<definition::ADXCSendCommand>();
    command->SetID(id);
    command->replysize = replysize;
    command->packetsize = replysize;
    command->flags = flags;
    auto* raw = command.get();
    def.Insert(std::move(command));
    return raw;
}

/// Waits until the condition holds or a generous limit passes; says whether it held.
template <typename Condition>
bool Eventually(Condition condition) {
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > limit) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

/// A scratch directory removed at the end of the test.
class TempDir {
  public:
    TempDir() {
#ifdef _WIN32
        static int made = 0;
        const auto dir =
            std::filesystem::temp_directory_path() /
            ("korvit-datalog-" + std::to_string(::_getpid()) + "-" + std::to_string(++made));
        std::filesystem::create_directories(dir);
        path_ = dir.generic_string();
#else
        char tmpl[] = "/tmp/korvit-datalog-XXXXXX";
        path_ = ::mkdtemp(tmpl);
#endif
    }
    ~TempDir() {
        std::filesystem::remove_all(path_);
    }
    std::string File(const std::string& name) const {
        return path_ + "/" + name;
    }
    const std::string& path() const {
        return path_;
    }

  private:
    std::string path_;
};

inline void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

inline std::vector<uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

/// Records what the player raises.
class RecordingCallback : public acquisition::IDataLogCallback {
  public:
    struct Played {
        uint32_t idhash;
        uint32_t sample;
        uint32_t proxy_type;
        uint32_t proxy_flags;
        uint32_t proxy_replysize;
        std::vector<uint8_t> reply;
    };

    int32_t OnRawData(const acquisition::DataAcqEvent&, const uint8_t*, uint32_t) override {
        return 0;
    }
    int32_t OnBytesRead(const acquisition::DataAcqEvent&, const uint8_t*, uint32_t) override {
        return 0;
    }
    int32_t OnListenSilenceBegin(const acquisition::DataAcqEvent&) override { return 0; }
    int32_t OnListenSilenceEnd(const acquisition::DataAcqEvent&) override { return 0; }
    int32_t OnListenChatterBegin(const acquisition::DataAcqEvent&) override { return 0; }
    int32_t OnListenChatterEnd(const acquisition::DataAcqEvent&) override { return 0; }
    int32_t OnSendCommandBegin(const acquisition::DataAcqEvent&) override { return 0; }
    int32_t OnSendCommandEnd(const acquisition::DataAcqEvent& event, const uint8_t* reply,
                             uint32_t count) override;
    int32_t OnMacroBegin(const acquisition::DataAcqEvent&) override { return 0; }
    int32_t OnMacroEnd(const acquisition::DataAcqEvent&) override { return 0; }
    int32_t On160BaudListenBegin(const acquisition::DataAcqEvent&) override { return 0; }
    int32_t On160BaudListenEnd(const acquisition::DataAcqEvent&, const uint8_t*,
                               uint32_t) override {
        return 0;
    }
    int32_t OnTrigger(const acquisition::DataAcqEvent&) override { return 0; }
    int32_t OnLogEnd() override {
        ++ends;
        return 0;
    }
    int32_t OnLogSeekBegin(uint32_t, uint32_t) override {
        ++seek_begins;
        return refuse_seek ? -1 : 0;
    }
    void OnLogSeekRecord(const acquisition::DataAcqEvent& event, const uint8_t* reply,
                         uint32_t count) override {
        std::lock_guard guard(mutex);
        seek_records.push_back({event.objectidhash, event.sampleindex, 0, 0, count,
                                std::vector<uint8_t>(reply, reply + count)});
    }
    int32_t OnLogSeekEnd() override {
        ++seek_ends;
        return 0;
    }
    int32_t OnLogPosition(uint32_t time_ms, uint32_t sample) override;

    std::mutex mutex;
    std::vector<Played> played;
    /// The records a seek raised for its position, oldest first.
    std::vector<Played> seek_records;
    std::vector<std::pair<uint32_t, uint32_t>> positions;  // (time, sample)
    std::atomic<int> ends{0};
    std::atomic<int> seek_begins{0};
    std::atomic<int> seek_ends{0};
    bool refuse_seek = false;
    /// Called from OnLogPosition on the player thread, for pausing at an exact sample.
    std::function<void(uint32_t sample)> on_position;
};

inline int32_t RecordingCallback::OnSendCommandEnd(const acquisition::DataAcqEvent& event,
                                                   const uint8_t* reply, uint32_t count) {
    std::lock_guard guard(mutex);
    const auto* proxy = event.object;
    uint32_t flags = 0, replysize = 0;
    if (const auto* send = dynamic_cast<const definition::ADXCSendCommand*>(proxy)) {
        flags = send->flags;
        replysize = send->replysize;
    }
    played.push_back({event.objectidhash, event.sampleindex, proxy ? proxy->type() : 0u, flags,
                      replysize, std::vector<uint8_t>(reply, reply + count)});
    EXPECT_EQ(event.source, acquisition::EventSource::Player);
    return 0;
}

inline int32_t RecordingCallback::OnLogPosition(uint32_t time_ms, uint32_t sample) {
    {
        std::lock_guard guard(mutex);
        positions.emplace_back(time_ms, sample);
    }
    if (on_position) on_position(sample);
    return 0;
}

}  // namespace korvit::datalog::testing
