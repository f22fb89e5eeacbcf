#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <memory>

#include "acquisition/dae_callback.h"
#include "app/output_log.h"
#include "app/views.h"
#include "datalog/log_session.h"
#include "definition/definition.h"
#include "xdl_test_support.h"

using namespace korvit;
using namespace korvit::datalog;
using namespace korvit::datalog::testing;
using acquisition::ConnectionStatus;
using acquisition::DataAcqEvent;

namespace {

class FakeUI : public ILogSessionUI {
  public:
    std::optional<std::string> AskSavePath() override {
        ++asked;
        return answer;
    }
    void ShowError(const std::string& title, const std::string& text) override {
        box_title = title;
        box_text = text;
    }
    std::optional<std::string> answer;
    int asked = 0;
    std::string box_title, box_text;
};

class EndWatcher : public app::IViews {
  public:
    void PlaybackEnded() override { ended = true; }
    void SetLogPosition(uint32_t sample) override { position = sample; }
    std::atomic<bool> ended{false};
    std::atomic<uint32_t> position{99};
};

// A definition with one processed send command and one value decoded from its first byte.
class Session : public ::testing::Test {
  protected:
    void SetUp() override {
        command = AddSendCommand(def, "Data", 4);
        log.AddSink(&out);
        session.set_ui(&ui);
        session.set_views(&views);
        session.set_recording_path(dir.File("temp.xdl"));
        callback.set_datalog(&session);
        callback.set_views(&views);
    }
    void Reply(uint8_t first) {
        DataAcqEvent event;
        event.object = command;
        event.objectidhash = command->idhash();
        const uint8_t reply[4] = {first, 1, 2, 3};
        callback.OnSendCommandEnd(event, reply, 4);
    }
    void PlayToEnd() {
        ASSERT_EQ(session.Play(&callback), 0u);
        ASSERT_TRUE(Eventually([&] { return views.ended.load(); }));
        views.ended = false;
        session.StopCommand();
    }
    bool Contains(const std::string& text) { return out.Text().find(text) != std::string::npos; }

    TempDir dir;
    definition::ADXDefinition def;
    definition::ADXCSendCommand* command = nullptr;
    acquisition::AcquisitionState state;
    app::OutputLog log;
    app::TextBufferSink out;
    DataLog datalog;
    LogSession session{def, state, log, datalog};
    acquisition::DAECallback callback{def, state, log};
    FakeUI ui;
    EndWatcher views;
};

TEST_F(Session, RecordsOnlyWhileConnectedAndSavesUnderTheChosenName) {
    ASSERT_EQ(session.Record(), 0u);
    EXPECT_EQ(session.Buttons(), (LogBarButtons{false, false, true, false, false, false}));
    state.status = ConnectionStatus::Connecting;
    Reply(1);  // not recorded: the status is not Connected yet
    state.status = ConnectionStatus::Connected;
    Reply(2);
    Reply(3);
    ui.answer = dir.File("drive.xdl");
    session.StopCommand();
    EXPECT_TRUE(Contains("Recording stopped"));
    EXPECT_TRUE(Contains("Log saved to " + *ui.answer));
    EXPECT_EQ(session.last_xdl_path(), *ui.answer);
    EXPECT_FALSE(std::filesystem::exists(session.recording_path()));
    EXPECT_EQ(views.position, 0u);

    const auto file = ReadFile(*ui.answer);
    ASSERT_GE(file.size(), 40u);
    EXPECT_EQ(GetU32(&file[36]), 2u);

    // Played back through the same reply path: the last decoded packet is the last record.
    state.status = ConnectionStatus::NotConnected;
    datalog.SetSpeed(0);
    PlayToEnd();
    EXPECT_TRUE(Contains("Playing " + *ui.answer));
    EXPECT_TRUE(Contains("Playback stopped"));
    EXPECT_EQ(state.last_packet.Load().bytes[0], 3);
    EXPECT_EQ(datalog.state(), DataLogState::Closed);
}

TEST_F(Session, SavingOntoAnExistingFileKeepsBothFiles) {
    const std::string existing = dir.File("existing.xdl");
    WriteFile(existing, {1, 2, 3});
    state.status = ConnectionStatus::Connected;
    ASSERT_EQ(session.Record(), 0u);
    Reply(7);
    ui.answer = existing;
    session.StopCommand();
    EXPECT_EQ(ui.box_title, "Cannot overwrite");
    EXPECT_EQ(ui.box_text,
              "Log save failed. Log backup saved in install directory as \"temp.xdl\"");
    EXPECT_TRUE(Contains("Cannot overwrite existing log: " + existing + ", error 0x11"));
    EXPECT_EQ(ReadFile(existing), std::vector<uint8_t>({1, 2, 3}));
    const auto kept = ReadFile(session.recording_path());
    ASSERT_GE(kept.size(), 40u);
    EXPECT_EQ(GetU32(&kept[36]), 1u);
}

TEST_F(Session, CancelledSaveKeepsTheRecordingAndTheNextRecordReplacesIt) {
    state.status = ConnectionStatus::Connected;
    ASSERT_EQ(session.Record(), 0u);
    Reply(1);
    session.StopCommand();  // the fake dialog answers nothing: cancelled
    EXPECT_EQ(ui.asked, 1);
    EXPECT_EQ(GetU32(&ReadFile(session.recording_path())[36]), 1u);
    ASSERT_EQ(session.Record(), 0u);
    EXPECT_TRUE(ReadFile(session.recording_path()).empty());
    session.StopCommand();
}

TEST_F(Session, PauseResumeAndWrongDefinition) {
    // A log of a command this definition does not have.
    session.set_last_xdl_path(dir.File("other.xdl"));
    std::vector<BuiltRecord> records;
    for (uint32_t i = 0; i < 30; ++i) records.push_back({i * 20, 0, {uint8_t(i), 0, 0, 0}});
    WriteFile(session.last_xdl_path(),
              BuildXdl({{0xDEAD, "Gone", 0x20000, 4, 4, {0xFF}}}, records));
    datalog.SetSpeed(1.0f);
    ASSERT_EQ(session.Play(&callback), 0u);
    EXPECT_EQ(session.Buttons(), (LogBarButtons{false, false, true, true, false, true}));
    session.Pause();
    EXPECT_EQ(state.status.load(), ConnectionStatus::LogPaused);
    EXPECT_TRUE(Contains("Playback paused"));
    datalog.StopPlayer();
    EXPECT_EQ(session.Buttons(), (LogBarButtons{true, false, true, false, false, true}));
    const uint32_t read = datalog.recordsread();
    EXPECT_LT(read, 30u);

    // Jumps while paused: back to the first record when fewer than ten were read.
    EXPECT_EQ(session.JumpForward(), 0u);
    EXPECT_EQ(datalog.recordsread(), read + 10);
    EXPECT_EQ(session.JumpBackward(), 0u);
    EXPECT_EQ(datalog.recordsread(), read);
    EXPECT_EQ(session.SeekTo(4), 0u);
    EXPECT_EQ(session.JumpBackward(), 0u);
    EXPECT_EQ(datalog.recordsread(), 0u);
    EXPECT_EQ(datalog.file_position(), datalog.header().firstrecord);
    EXPECT_EQ(session.SeekTo(25), 0u);
    EXPECT_EQ(session.JumpForward(), 7u);  // stops at the end of the datalog

    datalog.SetSpeed(0);
    ASSERT_EQ(session.SeekTo(20), 0u);
    ASSERT_EQ(session.Play(&callback), 0u);
    EXPECT_TRUE(Contains("Playback unpaused"));
    ASSERT_TRUE(Eventually([&] { return views.ended.load(); }));
    session.StopCommand();
    EXPECT_EQ(state.status.load(), ConnectionStatus::NotConnected);
    EXPECT_TRUE(Contains("Log playback: Command not found in def. Wrong definition?"));
}

TEST_F(Session, UnopenableLogsAreReported) {
    session.set_last_xdl_path(dir.File("missing.xdl"));
    EXPECT_EQ(session.Play(&callback), 12u);
    EXPECT_TRUE(Contains("Could not open " + dir.File("missing.xdl") + ", error 0xC"));
    EXPECT_EQ(datalog.state(), DataLogState::Closed);
    WriteFile(dir.File("v2.xdl"), BuildXdl({}, {}, 2));
    session.set_last_xdl_path(dir.File("v2.xdl"));
    EXPECT_EQ(session.Play(&callback), 13u);
    EXPECT_TRUE(Contains("error 0xD"));
}

TEST(LogBar, ButtonsFollowTheStateTable) {
    using S = DataLogState;
    const LogBarButtons none{};
    EXPECT_EQ(LogBarButtonStates(S::Closed, false, false),
              (LogBarButtons{true, false, false, false, true, false}));
    EXPECT_EQ(LogBarButtonStates(S::Closed, true, false),
              (LogBarButtons{true, true, false, false, true, false}));
    EXPECT_EQ(LogBarButtonStates(S::Open, false, true),
              (LogBarButtons{true, false, true, false, false, true}));
    EXPECT_EQ(LogBarButtonStates(S::Open, true, false),
              (LogBarButtons{true, true, false, false, true, false}));
    EXPECT_EQ(LogBarButtonStates(S::Created, true, false), none);
    EXPECT_EQ(LogBarButtonStates(S::Playing, false, false),
              (LogBarButtons{false, false, true, true, false, true}));
    EXPECT_EQ(LogBarButtonStates(S::Recording, true, false),
              (LogBarButtons{false, false, true, false, false, false}));
    EXPECT_EQ(LogBarButtonStates(S::Stopping, false, true),
              (LogBarButtons{true, false, false, false, true, false}));
}

}  // namespace
