#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "acquisition/data_acq_engine.h"
#include "app/output_log.h"
#include "definition/adx_commands.h"
#include "definition/adx_macro.h"
#include "pty_peer.h"

namespace korvit::acquisition {
namespace {

using definition::ADXC160BaudListen;
using definition::ADXCListenChatter;
using definition::ADXCListenSilence;
using definition::ADXCSendCommand;
using definition::ADXCTrigger;
using definition::ADXMacro;
using definition::ADXMacroNode;
using definition::ADXObject;
using testing::Bytes;
using testing::Consume;
using testing::ScriptedPeer;

/// Records every notification as a short text, and lets a test refuse or abort at a start.
class Recorder : public IDataAcqCallback {
  public:
    std::vector<std::string> calls;
    Bytes last_bytes;
    bool last_bytes_null = false;
    int32_t begin_status = 0;
    DataAcqEngine* abort_on_begin = nullptr;
    std::string abort_kind;  // empty: every start notification asks to stop

    int32_t OnRawData(const DataAcqEvent&, const uint8_t*, uint32_t) override { return 0; }
    int32_t OnBytesRead(const DataAcqEvent&, const uint8_t*, uint32_t) override { return 0; }
    int32_t OnListenSilenceBegin(const DataAcqEvent& e) override { return Begin("silence", e); }
    int32_t OnListenSilenceEnd(const DataAcqEvent& e) override { return End("silence", e); }
    int32_t OnListenChatterBegin(const DataAcqEvent& e) override { return Begin("chatter", e); }
    int32_t OnListenChatterEnd(const DataAcqEvent& e) override { return End("chatter", e); }
    int32_t OnSendCommandBegin(const DataAcqEvent& e) override { return Begin("send", e); }
    int32_t OnSendCommandEnd(const DataAcqEvent& e, const uint8_t* b, uint32_t n) override {
        Keep(b, n);
        return End("send", e, n);
    }
    int32_t OnMacroBegin(const DataAcqEvent& e) override { return Begin("macro", e); }
    int32_t OnMacroEnd(const DataAcqEvent& e) override { return End("macro", e); }
    int32_t On160BaudListenBegin(const DataAcqEvent& e) override { return Begin("160", e); }
    int32_t On160BaudListenEnd(const DataAcqEvent& e, const uint8_t* b, uint32_t n) override {
        Keep(b, n);
        return End("160", e, n);
    }
    int32_t OnTrigger(const DataAcqEvent& e) override { return End("trigger", e); }

  private:
    int32_t Begin(const char* what, const DataAcqEvent&) {
        calls.push_back(std::string(what) + " begin");
        if (abort_on_begin != nullptr && (abort_kind.empty() || abort_kind == what)) {
            abort_on_begin->RequestAbort();
        }
        return begin_status;
    }
    int32_t End(const char* what, const DataAcqEvent& e, int64_t n = -1) {
        std::string text = std::string(what) + " end " + std::to_string(static_cast<int>(e.result));
        if (n >= 0) text += " n=" + std::to_string(n);
        calls.push_back(text);
        return 0;
    }
    void Keep(const uint8_t* b, uint32_t n) {
        last_bytes_null = b == nullptr;
        last_bytes = b != nullptr ? Bytes(b, b + n) : Bytes{};
    }
};

template <typename T>
std::unique_ptr<T> Command(const char* id) {
    auto command = std::make_unique<T>();
    command->SetID(id);
    return command;
}

std::unique_ptr<ADXCSendCommand> Send(const Bytes& bytes, uint32_t replysize, uint32_t flags = 1) {
    auto command = Command<ADXCSendCommand>("send");
    command->SetBytes(bytes.data(), bytes.size());
    command->replysize = replysize;
    command->replytimeout = 300;
    command->flags = flags;
    return command;
}

/// One 160-baud data byte as the interface delivers it: a start element, then 8 bits MSB first,
/// each 1 bit a byte of 0 and each 0 bit a non-zero byte.
Bytes BitFrame(uint8_t value) {
    Bytes frame{0xFF};
    for (int bit = 7; bit >= 0; --bit) frame.push_back((value >> bit) & 1 ? 0x00 : 0xFF);
    return frame;
}

class ExecuteTest : public ::testing::Test {
  protected:
    void Connect(ScriptedPeer::Responder responder = nullptr) {
        peer = std::make_unique<ScriptedPeer>(std::move(responder));
        ASSERT_EQ(engine.port.Open(peer->path(), 8192), 1);
        engine.port.SetTimeouts(300, 0, 2000, 0, 110);
        engine.callback = &recorder;
        engine.log = &log;
        log.AddSink(&output);
    }

    std::unique_ptr<ScriptedPeer> peer;
    DataAcqEngine engine;
    Recorder recorder;
    app::OutputLog log;
    app::TextBufferSink output;
};

TEST_F(ExecuteTest, RefusesWhatItCannotRun) {
    auto send = Send({0x01}, 1);
    engine.callback = &recorder;
    EXPECT_EQ(engine.Execute(send.get()), kStatusFail);  // port closed
    Connect();
    EXPECT_EQ(engine.Execute(nullptr), kStatusFail);
    definition::ADXObject plain;
    EXPECT_EQ(engine.Execute(&plain), kStatusFail);
    auto chatter = Command<ADXCListenChatter>("empty");
    EXPECT_EQ(engine.Execute(chatter.get()), kStatusFail);
    EXPECT_TRUE(recorder.calls.empty());
}

TEST_F(ExecuteTest, SendCommandReadsTheReplyAfterTheEcho) {
    const Bytes request{0xF4, 0x57, 0x01, 0x00, 0xB4};
    const Bytes reply{0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 0x70, 0x80};
    auto echo = std::make_shared<std::atomic<bool>>(false);
    Connect([=](Bytes& pending) {
        if (!Consume(pending, request)) return Bytes{};
        Bytes out = *echo ? request : Bytes{};
        out.insert(out.end(), reply.begin(), reply.end());
        return out;
    });
    auto send = Send(request, 8);
    EXPECT_EQ(engine.Execute(send.get()), 0);
    EXPECT_EQ(recorder.last_bytes, reply);

    // The interface echoes: the echo is read apart and never reaches the reply.
    *echo = true;
    engine.flags = DataAcqEngine::kEcho;
    EXPECT_EQ(engine.Execute(send.get()), 0);
    EXPECT_EQ(recorder.last_bytes, reply);

    // Echo expected but the interface does not echo: the echo read eats the reply, which then
    // comes short.
    *echo = false;
    EXPECT_EQ(engine.Execute(send.get()), 0);
    EXPECT_EQ(recorder.calls,
              (std::vector<std::string>{"send begin", "send end 0 n=8", "send begin",
                                        "send end 0 n=8", "send begin", "send end 6 n=3"}));
    EXPECT_EQ(recorder.last_bytes, (Bytes{0x60, 0x70, 0x80}));
    EXPECT_EQ(engine.event.objectidhash, send->idhash());
}

TEST_F(ExecuteTest, SendCommandReportsShortAndMissingReplies) {
    auto reply_length = std::make_shared<std::atomic<size_t>>(2);
    Connect([=](Bytes& pending) {
        if (!Consume(pending, {0xAA})) return Bytes{};
        return Bytes(*reply_length, 0x55);
    });
    auto send = Send({0xAA}, 5);
    EXPECT_EQ(engine.Execute(send.get()), 0);
    EXPECT_EQ(recorder.calls.back(), "send end 6 n=2");
    EXPECT_EQ(recorder.last_bytes, Bytes(2, 0x55));
    *reply_length = 0;
    engine.Execute(send.get());
    EXPECT_EQ(recorder.calls.back(), "send end 6 n=0");

    // No reply wanted: nothing is read, even with echo on; the count is what was written.
    *reply_length = 9;
    engine.flags = DataAcqEngine::kEcho;
    auto blind = Send({0xAA, 0xAA, 0xAA}, 5, 0);
    EXPECT_EQ(engine.Execute(blind.get()), 0);
    EXPECT_EQ(recorder.calls.back(), "send end 0 n=3");
}

// A command that reads no reply returns only once its bytes have left at ten bits a byte (start,
// eight data bits, stop): the next command's purge must not cut them off.
TEST_F(ExecuteTest, SendCommandWithoutAReplyWaitsUntilItsBytesHaveGone) {
    Connect([](Bytes& pending) {
        pending.clear();
        return Bytes{};
    });
    engine.baud = 4000;
    auto blind = Send(Bytes(100, 0x22), 0, 0);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(engine.Execute(blind.get()), 0);
    // 100 bytes of 10 bits at 4000 baud: 250 ms at least (a loaded machine only adds to it).
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(249));
    EXPECT_EQ(recorder.calls.back(), "send end 0 n=100");
}

TEST_F(ExecuteTest, SendCommandStopsAtTheAbortCheckAndAtARefusedStart) {
    Connect([](Bytes& pending) {
        pending.clear();
        return Bytes{1, 2, 3};
    });
    auto send = Send({0x01}, 3);
    recorder.abort_on_begin = &engine;
    engine.Execute(send.get());
    EXPECT_EQ(recorder.calls.back(), "send end 2 n=1");
    EXPECT_EQ(engine.abort.load(), 0u) << "a send command uses the stop request up";

    recorder.abort_on_begin = nullptr;
    recorder.begin_status = kStatusRefused;
    EXPECT_EQ(engine.Execute(send.get()), kStatusRefused);
    EXPECT_EQ(recorder.calls.back(), "send begin");
}

TEST_F(ExecuteTest, SendCommandReportsAShortWrite) {
    Connect();
    // A line whose other end is gone takes no bytes; wait until the port has seen it go.
    peer->HangUp();
    engine.port.SetTimeouts(0, 0, 10, 0, 10);
    uint8_t byte = 0;
    for (int i = 0; i < 500 && !engine.port.HungUp(); ++i) engine.port.Read(&byte, 1);
    ASSERT_TRUE(engine.port.HungUp());
    auto send = Send(Bytes(4096, 0x11), 1);
    engine.Execute(send.get());
    EXPECT_EQ(recorder.calls.back().rfind("send end 5 n=", 0), 0u) << recorder.calls.back();
}

TEST_F(ExecuteTest, ListenForSilence) {
    std::atomic<bool> chatty{false};
    Connect();
    auto silence = Command<ADXCListenSilence>("quiet");
    silence->silencelen = 30;
    silence->totaltimeout = 150;
    EXPECT_EQ(engine.Execute(silence.get()), 0);
    EXPECT_EQ(recorder.calls.back(), "silence end 0");

    // A bus that never pauses: the listen ends with a time-out at the first byte past the limit.
    chatty = true;
    std::thread talker([&] {
        while (chatty) {
            peer->Send({0x00});
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    });
    engine.Execute(silence.get());
    EXPECT_EQ(recorder.calls.back(), "silence end 4");
    recorder.abort_on_begin = &engine;
    engine.Execute(silence.get());
    EXPECT_EQ(recorder.calls.back(), "silence end 2");
    EXPECT_EQ(engine.abort.load(), 0u);
    chatty = false;
    talker.join();

    // Without a silence length it is a plain pause: no notification at all.
    recorder.calls.clear();
    silence->silencelen = 0;
    silence->totaltimeout = 20;
    EXPECT_EQ(engine.Execute(silence.get()), 0);
    EXPECT_TRUE(recorder.calls.empty());
}

TEST_F(ExecuteTest, ListenForChatterSlidesItsWindow) {
    Connect();
    auto chatter = Command<ADXCListenChatter>("chat");
    const Bytes wanted{0xA5, 0x5A, 0x01};
    chatter->SetBytes(wanted.data(), wanted.size());
    chatter->listentimeout = 300;

    // The match straddles the first window read.
    peer->Send({0x00, 0xA5, 0x5A, 0x01, 0x77});
    EXPECT_EQ(engine.Execute(chatter.get()), 0);
    EXPECT_EQ(recorder.calls.back(), "chatter end 0");

    // Nothing at all: the first window read times out.
    engine.port.Purge(1, 1);
    engine.Execute(chatter.get());
    EXPECT_EQ(recorder.calls.back(), "chatter end 4");

    // Bytes, but never the chatter.
    peer->Send(Bytes(64, 0x33));
    engine.Execute(chatter.get());
    EXPECT_EQ(recorder.calls.back(), "chatter end 4");

    // A stop request ends the listen and stays set for the enclosing macro.
    peer->Send(Bytes(16, 0x33));
    recorder.abort_on_begin = &engine;
    engine.Execute(chatter.get());
    EXPECT_EQ(recorder.calls.back(), "chatter end 2");
    EXPECT_EQ(engine.abort.load(), 1u);
}

TEST_F(ExecuteTest, Listen160BaudSynchronisesAndDecodesBits) {
    Connect();
    auto listen = Command<ADXC160BaudListen>("slow");
    listen->packetsize = 3;
    auto stream = [](const Bytes& data, size_t leading_ones) {
        Bytes out{0xFF, 0xFF};
        out.insert(out.end(), leading_ones, 0x00);  // joining the middle of a sync run
        out.push_back(0xFF);
        out.insert(out.end(), 9, 0x00);
        for (uint8_t byte : data) {
            Bytes frame = BitFrame(byte);
            out.insert(out.end(), frame.begin(), frame.end());
        }
        return out;
    };
    peer->Send(stream({0x81, 0x3C, 0x00}, 5));
    EXPECT_EQ(engine.Execute(listen.get()), 0);
    EXPECT_EQ(recorder.calls.back(), "160 end 0 n=3");
    EXPECT_EQ(recorder.last_bytes, (Bytes{0x81, 0x3C, 0x00}));

    // A frame whose start element stands for a 1 bit is malformed; the others still decode.
    Bytes bad = stream({0x12, 0x34, 0x56}, 0);
    bad[2 + 1 + 9 + 9] = 0x00;
    peer->Send(bad);
    engine.Execute(listen.get());
    EXPECT_EQ(recorder.calls.back(), "160 end 7 n=3");
    EXPECT_EQ(recorder.last_bytes[0], 0x12);
    EXPECT_EQ(recorder.last_bytes[2], 0x56);

    // No run of nine within 18 elements per byte.
    peer->Send(Bytes(3 * 18 + 10, 0xFF));
    engine.Execute(listen.get());
    EXPECT_EQ(recorder.calls.back(), "160 end 8 n=3");
    engine.port.Purge(1, 1);

    recorder.begin_status = kStatusRefused;
    engine.Execute(listen.get());
    EXPECT_EQ(recorder.calls.back(), "160 end 1 n=3");
    EXPECT_TRUE(recorder.last_bytes_null);

    listen->packetsize = 0;
    recorder.calls.clear();
    engine.Execute(listen.get());
    EXPECT_EQ(recorder.calls, std::vector<std::string>{"160 end 0 n=0"});
}

class MacroTest : public ExecuteTest {
  protected:
    ADXMacro* AddMacro(const char* id, uint32_t repeatcount = 1) {
        auto macro = Command<ADXMacro>(id);
        macro->repeatcount = repeatcount;
        owned.push_back(std::move(macro));
        return static_cast<ADXMacro*>(owned.back().get());
    }
    static void Step(ADXMacro* macro, ADXObject* command, uint32_t flags = 0,
                     uint32_t repeatcount = 1) {
        ADXMacroNode node;
        node.command = command;
        node.flags = flags;
        node.repeatcount = repeatcount;
        macro->AppendNode(node);
    }

    std::vector<std::unique_ptr<ADXObject>> owned;
};

TEST_F(MacroTest, RunsStepsWithRepeatCountsAndNesting) {
    Connect();
    auto trigger = Command<ADXCTrigger>("t");
    ADXMacro* inner = AddMacro("inner");
    Step(inner, trigger.get());
    ADXMacro* outer = AddMacro("outer", 2);
    Step(outer, trigger.get(), 0, 2);
    Step(outer, nullptr);              // skipped
    Step(outer, trigger.get(), 0, 0);  // runs nothing
    Step(outer, inner);
    EXPECT_EQ(engine.Execute(outer), 0);
    const std::vector<std::string> round = {"trigger end 0", "trigger end 0", "macro begin",
                                            "trigger end 0", "macro end 0"};
    std::vector<std::string> expected{"macro begin"};
    for (int i = 0; i < 2; ++i) expected.insert(expected.end(), round.begin(), round.end());
    expected.push_back("macro end 0");
    EXPECT_EQ(recorder.calls, expected);

    recorder.calls.clear();
    outer->repeatcount = 0;
    engine.Execute(outer);
    EXPECT_EQ(recorder.calls, (std::vector<std::string>{"macro begin", "macro end 0"}));
    recorder.calls.clear();
    ADXMacro* empty = AddMacro("empty");
    engine.Execute(empty);
    EXPECT_EQ(recorder.calls, std::vector<std::string>{"macro end 0"});
}

TEST_F(MacroTest, NodeFlagsStopOnStatus) {
    Connect();
    auto trigger = Command<ADXCTrigger>("t");
    auto failing = Command<ADXCListenChatter>("nobytes");  // general failure, no notification
    ADXMacro* macro = AddMacro("m");
    Step(macro, failing.get(), 1);
    Step(macro, trigger.get());
    engine.Execute(macro);
    EXPECT_EQ(recorder.calls, (std::vector<std::string>{"macro begin", "macro end 11"}));

    recorder.calls.clear();
    macro->nodes()[0].flags = 0;  // failure ignored: the macro goes on
    macro->nodes()[1].flags = 2;  // stop after the first step that returns normally
    Step(macro, trigger.get());
    engine.Execute(macro);
    EXPECT_EQ(recorder.calls,
              (std::vector<std::string>{"macro begin", "trigger end 0", "macro end 10"}));

    recorder.calls.clear();
    recorder.begin_status = kStatusRefused;
    engine.Execute(macro);
    EXPECT_EQ(recorder.calls, (std::vector<std::string>{"macro begin", "macro end 0"}));
}

TEST_F(MacroTest, StopRequestsEndTheMacroAccordingToTheStepThatSawThem) {
    Connect([](Bytes& pending) {
        pending.clear();
        return Bytes{0x01};
    });
    auto send = Send({0x02}, 1);
    auto trigger = Command<ADXCTrigger>("t");
    auto chatter = Command<ADXCListenChatter>("c");
    const Bytes wanted{0x99};
    chatter->SetBytes(wanted.data(), wanted.size());
    chatter->listentimeout = 200;
    ADXMacro* macro = AddMacro("m");
    Step(macro, send.get());
    Step(macro, trigger.get());

    // The send command sees the request and uses it up: the macro runs on to its end.
    recorder.abort_on_begin = &engine;
    recorder.abort_kind = "send";
    engine.Execute(macro);
    EXPECT_EQ(recorder.calls,
              (std::vector<std::string>{"macro begin", "send begin", "send end 2 n=1",
                                        "trigger end 0", "macro end 0"}));

    // A listen for chatter leaves it set: the next step boundary ends the macro.
    recorder.calls.clear();
    macro->nodes()[0].command = chatter.get();
    recorder.abort_kind = "chatter";
    peer->Send({0x01, 0x01});
    engine.Execute(macro);
    EXPECT_EQ(recorder.calls, (std::vector<std::string>{"macro begin", "chatter begin",
                                                        "chatter end 2", "macro end 2"}));
}

TEST_F(MacroTest, AMacroThatCallsItselfIsStoppedWithALine) {
    Connect();
    auto trigger = Command<ADXCTrigger>("t");
    ADXMacro* a = AddMacro("loopA", 1000);
    ADXMacro* b = AddMacro("loopB", 1000);
    Step(a, trigger.get());
    Step(a, b);
    Step(b, a);
    Step(b, a);
    EXPECT_LT(engine.Execute(a), 0);
    EXPECT_NE(output.Text().find("nested more than"), std::string::npos) << output.Text();
    const auto begins = std::count(recorder.calls.begin(), recorder.calls.end(), "macro begin");
    EXPECT_EQ(begins, DataAcqEngine::kMaxMacroDepth);
    EXPECT_EQ(std::count(recorder.calls.begin(), recorder.calls.end(), "macro end 0"), begins);

    // The guard does not outlive the runaway chain.
    recorder.calls.clear();
    EXPECT_EQ(engine.Execute(trigger.get()), 0);
    ADXMacro* plain = AddMacro("plain");
    Step(plain, trigger.get());
    EXPECT_EQ(engine.Execute(plain), 0);
}

}  // namespace
}  // namespace korvit::acquisition
