#include "acquisition/mm_serial.h"

#include <cstdio>
#include <utility>

#include "acquisition/port_failure.h"

namespace korvit::acquisition {

MMSerial::MMSerial() : MMSerial(MakePlatformSerialBackend()) {}

MMSerial::MMSerial(std::unique_ptr<ISerialBackend> backend) : backend_(std::move(backend)) {}

MMSerial::~MMSerial() {
    if (IsOpen()) backend_->Close();
}

void MMSerial::Line(std::string_view text) {
    if (log_ != nullptr) log_->WriteLine(text);
}

bool MMSerial::IsOpen() const {
    return backend_ != nullptr && backend_->IsOpen();
}

void MMSerial::CloseQuietly() {
    if (IsOpen()) backend_->Close();
}

void MMSerial::Close() {
    CloseQuietly();
    Line("MMSerial: Port Closed");
}

int MMSerial::Open(const std::string& device, uint32_t baud) {
    if (backend_ == nullptr) return 0;
    if (IsOpen()) Close();
    if (!backend_->Open(device)) return 0;

    LineSettings settings;
    if (!backend_->GetLineSettings(settings)) {
        Line("MMSerial: GetCommState Failed");
        Close();
        return 0;
    }
    settings.baud = baud;
    settings.byte_size = 8;
    settings.parity = Parity::kNone;
    settings.out_cts_flow = false;
    settings.out_dsr_flow = false;
    settings.dtr_on = true;
    settings.dsr_sensitivity = false;
    settings.rts_on = true;
    if (!backend_->SetLineSettings(settings)) {
        Line("MMSerial: SetCommState Failed");
        Close();
        return 0;
    }
    char line[320];
    std::snprintf(line, sizeof line, "MMSerial: %s opened at %i baud", device.c_str(),
                  static_cast<int>(baud));
    Line(line);
    return 1;
}

int MMSerial::OpenByNumber(uint32_t number, uint32_t baud) {
    if (backend_ == nullptr) return 0;
    std::string name = backend_->DeviceNameForNumber(number);
    if (name.size() > 259) name.resize(259);
    return Open(name, baud);
}

int MMSerial::SetBaud(uint32_t baud) {
    if (!IsOpen()) return 0;
    LineSettings settings;
    if (!backend_->GetLineSettings(settings)) {
        Line("MMSerial: GetCommState Failed");
        return 0;
    }
    settings.baud = baud;
    if (!backend_->SetLineSettings(settings)) {
        Line("MMSerial: SetCommState Failed");
        return 0;
    }
    char line[64];
    std::snprintf(line, sizeof line, "MMSerial: Baud changed to %i", static_cast<int>(baud));
    Line(line);
    return 1;
}

uint32_t MMSerial::GetBaud() {
    LineSettings settings;
    if (!IsOpen() || !backend_->GetLineSettings(settings)) return 0;
    return settings.baud;
}

int MMSerial::SetBuffers(uint32_t input_size, uint32_t output_size) {
    return IsOpen() && backend_->SetBuffers(input_size, output_size) ? 1 : 0;
}

int MMSerial::SetTimeouts(uint32_t read_interval, uint32_t read_total_multiplier,
                          uint32_t read_total_constant, uint32_t write_total_multiplier,
                          uint32_t write_total_constant, uint32_t /*unused*/) {
    if (!IsOpen()) return 0;
    SerialTimeouts timeouts{read_interval, read_total_multiplier, read_total_constant,
                            write_total_multiplier, write_total_constant};
    return backend_->SetTimeouts(timeouts) ? 1 : 0;
}

int MMSerial::SetReadTimeout(uint32_t read_total_constant) {
    if (!IsOpen()) return 0;
    SerialTimeouts timeouts;
    if (!backend_->GetTimeouts(timeouts)) {
        Line("MMSerial: GetCommTimeouts Failed");
        return 0;
    }
    timeouts.read_total_constant = read_total_constant;
    if (!backend_->SetTimeouts(timeouts)) {
        Line("MMSerial: SetCommTimeouts Failed");
        return 0;
    }
    char line[64];
    std::snprintf(line, sizeof line, "MMSerial: Comm Read Timeout Set To %i ms",
                  static_cast<int>(read_total_constant));
    Line(line);
    return 1;
}

bool MMSerial::GetTimeouts(SerialTimeouts& timeouts) {
    return IsOpen() && backend_->GetTimeouts(timeouts);
}

int MMSerial::Purge(uint32_t transmit, uint32_t receive) {
    if (!IsOpen()) return 0;
    return backend_->Purge(transmit != 0, receive != 0) ? 1 : 0;
}

uint32_t MMSerial::Read(uint8_t* buffer, uint32_t count) {
    if (!IsOpen() || buffer == nullptr || count == 0) return 0;
    const uint32_t n = backend_->Read(buffer, count);
    if (n > 0 && log_ != nullptr) log_->WriteHexDump("MMSerial: Read", buffer, n);
    return n;
}

uint32_t MMSerial::Write(const uint8_t* buffer, uint32_t count) {
    if (!IsOpen() || buffer == nullptr || count == 0) return 0;
    const uint32_t n = backend_->Write(buffer, count);
    if (n > 0 && log_ != nullptr) log_->WriteHexDump("MMSerial: Write", buffer, n);
    return n;
}

bool MMSerial::HungUp() const {
    return IsOpen() && backend_->HungUp();
}

std::string MMSerial::OpenFailureReason(const std::string& device) const {
    return backend_ != nullptr ? DescribePortFailure(device, backend_->LastError()) : "";
}

}  // namespace korvit::acquisition
