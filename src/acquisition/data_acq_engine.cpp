#include "acquisition/data_acq_engine.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "acquisition/rate_meter.h"
#include "app/output_log.h"
#include "definition/adx_commands.h"
#include "definition/adx_macro.h"
#include "platform/clock.h"
#include "platform/precise_wait.h"

namespace korvit::acquisition {

using definition::ADXObject;

namespace {

/// A zeroed buffer of n bytes, or null when it cannot be had (or is beyond any sane reply).
std::unique_ptr<uint8_t[]> MakeBuffer(uint64_t n) {
    if (n > DataAcqEngine::kMaxBuffer) return nullptr;
    return std::unique_ptr<uint8_t[]>(new (std::nothrow) uint8_t[n == 0 ? 1 : n]());
}

double ElapsedMs(const RateMeter& stopwatch) {
    return stopwatch.Elapsed() * 1000.0;
}

}  // namespace

int32_t DataAcqEngine::Execute(ADXObject* object) {
    if (object == nullptr || port_ref == nullptr || !port_ref->IsOpen() || callback == nullptr) {
        return kStatusFail;
    }
    abort.store(0, std::memory_order_release);
    switch (object->type()) {
        case definition::ADXTYPE_MACRO:
            return RunMacro(static_cast<definition::ADXMacro&>(*object));
        case definition::ADXTYPE_SENDCOMMAND:
            return SendCommand(static_cast<definition::ADXCSendCommand&>(*object));
        case definition::ADXTYPE_LISTENSILENCE:
            return ListenSilence(static_cast<definition::ADXCListenSilence&>(*object));
        case definition::ADXTYPE_LISTENCHATTER:
            return ListenChatter(static_cast<definition::ADXCListenChatter&>(*object));
        case definition::ADXTYPE_160BAUDLISTEN:
            return Listen160Baud(static_cast<definition::ADXC160BaudListen&>(*object));
        case definition::ADXTYPE_TRIGGER:
            return Trigger(static_cast<definition::ADXCTrigger&>(*object));
        default:
            return kStatusFail;
    }
}

int32_t DataAcqEngine::SendCommand(definition::ADXCSendCommand& command) {
    MMSerial& port = *port_ref;
    event.result = ResultCode::Success;
    event.object = &command;
    event.objectidhash = command.idhash();

    const auto& bytes = command.bytes();
    const auto size = static_cast<uint32_t>(bytes.size());
    // The reply buffer is never smaller than the count handed to the end notification, which may
    // be the written count when no reply is read.
    auto reply = MakeBuffer(std::max(command.replysize, size));
    auto echo = MakeBuffer(size);
    if (!reply || !echo) return kStatusOutOfMemory;

    const int32_t begin = callback->OnSendCommandBegin(event);
    if (begin < 0) return begin;

    // Bytes that came after the last reply was complete mean that the unit said more than that
    // reply held, and more may follow: wait them out like the rest of a failed reply.
    if (settle_limit_ms_ == 0 && (command.flags & 1) != 0 && InputWaiting()) {
        settle_limit_ms_ = std::max<uint32_t>(command.replytimeout, 1);
    }
    if (settle_limit_ms_ != 0) SettleLine();
    port.SetTimeouts(30, 0, command.replytimeout, 0, 300);
    port.Purge(1, 1);
    const platform::TimePoint written = platform::Clock::now();
    uint32_t n = port.Write(bytes.data(), size);

    bool learnt = false;
    if (n != size) {
        event.result = ResultCode::ShortWrite;
    } else if (TakeAbort()) {
        event.result = ResultCode::Aborted;
    } else if (command.flags & 1) {
        bool echo_ok = true;
        if (flags & kEcho) {
            n = port.Read(echo.get(), size);
            if (n != size) {
                event.result = ResultCode::ShortRead;
                echo_ok = false;
            }
        }
        if (echo_ok) {
            n = port.Read(reply.get(), command.replysize);
            if (n != command.replysize) {
                event.result = ResultCode::ShortRead;
            } else {
                switch (checks.Check(&command, reply.get(), n)) {
                    case ReplyChecks::Outcome::kFail:
                        event.result = ResultCode::ChecksumError;
                        break;
                    case ReplyChecks::Outcome::kNowVerifying:
                        learnt = true;
                        break;
                    case ReplyChecks::Outcome::kPass:
                        break;
                }
            }
        }
    } else if (baud != 0) {
        // Ten bits per byte: the write only queued them, and the next command's purge would
        // otherwise discard what has not gone out yet.
        platform::WaitUntil(written + std::chrono::microseconds(uint64_t{n} * 10'000'000 / baud));
    }
    // Whatever is left of a reply that failed, or that a stop cut off, may still be on its way.
    const bool reply_pending =
        (command.flags & 1) != 0 &&
        (event.result == ResultCode::ShortRead || event.result == ResultCode::ChecksumError ||
         event.result == ResultCode::Aborted);
    if (reply_pending) settle_limit_ms_ = std::max<uint32_t>(command.replytimeout, 1);
    const int32_t s = callback->OnSendCommandEnd(event, reply.get(), n);
    if (learnt && log != nullptr) {
        log->Print("Verifying the reply checksums of %.*s from now on",
                   static_cast<int>(command.id().size()), command.id().data());
    }
    return s;
}

bool DataAcqEngine::InputWaiting() {
    MMSerial& port = *port_ref;
    port.SetTimeouts(SerialTimeouts::kNoWait, 0, 0, 0, 300);
    uint8_t scrap[64];
    return port.Read(scrap, sizeof scrap) != 0;
}

void DataAcqEngine::SettleLine() {
    MMSerial& port = *port_ref;
    const uint32_t limit = settle_limit_ms_;
    settle_limit_ms_ = 0;
    const uint32_t span = std::min(kSettleSpanMs, limit);
    port.SetTimeouts(span, 0, span, 0, 300);
    port.Purge(1, 1);
    RateMeter stopwatch;
    uint8_t scrap[64];
    // A read that finds nothing within the span means the line has been quiet that long.
    while (port.Read(scrap, sizeof scrap) != 0) {
        if (AbortSet() || ElapsedMs(stopwatch) >= limit) break;
    }
}

int32_t DataAcqEngine::ListenSilence(definition::ADXCListenSilence& command) {
    const platform::TimePoint began = platform::Clock::now();
    MMSerial& port = *port_ref;
    event.result = ResultCode::Success;
    event.object = &command;
    if (command.silencelen == 0) {
        // A plain pause: no notification, no port access, no abort check.
        platform::WaitUntil(began + std::chrono::milliseconds(command.totaltimeout));
        return kStatusOk;
    }
    port.SetTimeouts(command.silencelen, 0, command.silencelen, 0, 300);

    const int32_t begin = callback->OnListenSilenceBegin(event);
    if (begin < 0) return begin;

    RateMeter stopwatch;
    port.Purge(1, 1);
    uint8_t byte = 0;
    if (port.Read(&byte, 1) != 0) {
        for (;;) {
            if (TakeAbort()) {
                event.result = ResultCode::Aborted;
                break;
            }
            if (ElapsedMs(stopwatch) >= command.totaltimeout) {
                event.result = ResultCode::TimedOut;
                break;
            }
            if (port.Read(&byte, 1) == 0) break;
        }
    }
    return callback->OnListenSilenceEnd(event);
}

int32_t DataAcqEngine::ListenChatter(definition::ADXCListenChatter& command) {
    MMSerial& port = *port_ref;
    const auto& chatter = command.bytes();
    const auto size = static_cast<uint32_t>(chatter.size());
    if (size == 0) return kStatusFail;
    event.result = ResultCode::Success;
    event.object = &command;
    auto window = MakeBuffer(size);
    if (!window) return kStatusOutOfMemory;
    port.SetTimeouts(50, 0, command.listentimeout, 0, 300);

    const int32_t begin = callback->OnListenChatterBegin(event);
    if (begin < 0) return begin;

    RateMeter stopwatch;
    auto matches = [&] { return std::memcmp(window.get(), chatter.data(), size) == 0; };
    if (port.Read(window.get(), size) < size) {
        event.result = ResultCode::TimedOut;
    } else if (!matches()) {
        for (;;) {
            if (ElapsedMs(stopwatch) > command.listentimeout) {
                event.result = ResultCode::TimedOut;
                break;
            }
            std::memmove(window.get(), window.get() + 1, size - 1);
            const bool found = port.Read(window.get() + size - 1, 1) == 1 && matches();
            // A stop request ends the listen but stays set, so an enclosing macro sees it too.
            if (AbortSet()) {
                event.result = ResultCode::Aborted;
                break;
            }
            if (found) break;
        }
    }
    return callback->OnListenChatterEnd(event);
}

int32_t DataAcqEngine::Listen160Baud(definition::ADXC160BaudListen& command) {
    MMSerial& port = *port_ref;
    const uint32_t n = command.packetsize;
    event.object = &command;
    event.objectidhash = command.idhash();
    event.result = ResultCode::Success;
    if (n == 0) {
        if (AbortSet()) event.result = ResultCode::Aborted;
        return callback->On160BaudListenEnd(event, nullptr, 0);
    }

    std::unique_ptr<uint8_t[]> packet;
    auto finish = [&] {
        if (AbortSet()) event.result = ResultCode::Aborted;
        return callback->On160BaudListenEnd(event, packet.get(), n);
    };

    if (callback->On160BaudListenBegin(event) < 0) {
        event.result = ResultCode::StartRefused;
        return finish();
    }
    packet = MakeBuffer(n);
    if (!packet) return kStatusOutOfMemory;

    // Synchronisation: nine bytes of 0 in a row are nine 1 bits, a run no data frame contains.
    bool synced = false;
    uint32_t ones = 0;
    const uint64_t budget = 18ull * n;
    for (uint64_t i = 0; i < budget && !synced; ++i) {
        uint8_t element = 0;
        if (AbortSet() || port.Read(&element, 1) == 0) break;
        ones = element == 0 ? ones + 1 : 0;
        synced = ones == 9;
    }
    if (!synced) {
        event.result = ResultCode::NoSync;
        return finish();
    }

    // Each data byte: a start element (a 0 bit: non-zero byte), then eight bits, MSB first.
    for (uint32_t i = 0; i < n; ++i) {
        if (AbortSet()) {
            event.result = ResultCode::Aborted;
            return finish();
        }
        uint8_t frame[9] = {};
        if (port.Read(frame, 9) < 9 || frame[0] == 0) {
            event.result = ResultCode::MalformedByte;
            continue;
        }
        uint8_t value = 0;
        for (int k = 1; k <= 8; ++k) {
            if (frame[k] == 0) value |= static_cast<uint8_t>(1u << (8 - k));
        }
        packet[i] = value;
    }
    return finish();
}

int32_t DataAcqEngine::RunMacro(definition::ADXMacro& macro) {
    if (macro.count() == 0) return callback->OnMacroEnd(event);

    if (macro_depth_ >= kMaxMacroDepth) {
        // A macro that calls itself, directly or through others: give up on the whole chain.
        if (!macro_overflow_ && log != nullptr) {
            log->Print("Macro %.*s nested more than %d deep: stopped",
                       static_cast<int>(macro.id().size()), macro.id().data(), kMaxMacroDepth);
        }
        macro_overflow_ = true;
        return kStatusFail;
    }

    event.result = ResultCode::Success;
    event.object = &macro;
    ++macro_depth_;
    if (callback->OnMacroBegin(event) >= 0) RunMacroSteps(macro);
    --macro_depth_;
    const int32_t s = callback->OnMacroEnd(event);
    if (macro_overflow_) {
        if (macro_depth_ == 0) macro_overflow_ = false;
        return kStatusFail;
    }
    return s;
}

void DataAcqEngine::RunMacroSteps(definition::ADXMacro& macro) {
    for (uint32_t round = 0; round < macro.repeatcount; ++round) {
        // The node count is read again before every node.
        for (size_t i = 0; i < macro.count(); ++i) {
            definition::ADXMacroNode node;
            macro.GetNode(i, node);
            if (node.command == nullptr) continue;
            for (uint32_t r = 0; r < node.repeatcount; ++r) {
                if (AbortSet()) {
                    event.result = ResultCode::Aborted;
                    return;
                }
                const int32_t s = Execute(node.command);
                if (macro_overflow_) return;
                if ((node.flags & 1) && s < 0) {
                    event.result = ResultCode::StoppedOnFailure;
                    return;
                }
                if ((node.flags & 2) && s >= 0) {
                    event.result = ResultCode::StoppedOnSuccess;
                    return;
                }
            }
        }
    }
}

int32_t DataAcqEngine::Trigger(definition::ADXCTrigger& trigger) {
    event.result = ResultCode::Success;
    event.object = &trigger;
    return callback->OnTrigger(event);
}

}  // namespace korvit::acquisition
