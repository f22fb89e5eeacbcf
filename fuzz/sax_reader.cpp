#include <cstddef>
#include <cstdint>

#include "definition/xml/sax_reader.h"

using namespace korvit::definition::xml;

namespace {

// Reads every character the reader hands over, so that AddressSanitizer sees any pointer that
// reaches outside the reader's buffers, and checks the order rules of the event stream.
class TouchingCallback : public ISAXCallback {
  public:
    int32_t StartDocument() override { return Step(); }
    int32_t EndDocument() override { return Step(); }
    int32_t StartElement(const char16_t* name, uint32_t length, const SAXAttribute* attributes,
                         uint32_t count) override {
        if (length == 0 || count > 32) __builtin_trap();
        Touch(name, length);
        for (uint32_t i = 0; i < count; ++i) {
            if (attributes[i].name_length == 0) __builtin_trap();
            Touch(attributes[i].name, attributes[i].name_length);
            Touch(attributes[i].value, attributes[i].value_length);
        }
        return Step();
    }
    int32_t Characters(const char16_t* text, uint32_t length, bool) override {
        if (length == 0 || length > 2048) __builtin_trap();
        Touch(text, length);
        return Step();
    }
    int32_t EndElement(const char16_t* name, uint32_t length) override {
        if (length == 0) __builtin_trap();
        Touch(name, length);
        return Step();
    }
    int32_t StartCDATA() override { return Step(); }
    int32_t CDATAText(const char16_t* text, uint32_t length, bool) override {
        if (length > 2048) __builtin_trap();
        Touch(text, length);
        return Step();
    }
    int32_t EndCDATA() override { return Step(); }
    int32_t Error(uint32_t, const char* message) override {
        if (errors_++ != 0) __builtin_trap();  // one fault, and nothing after it
        for (const char* c = message; *c != 0; ++c) sum_ += static_cast<uint8_t>(*c);
        return 0;
    }

    uint32_t refuse_at = 0;  // 0: never refuse
    uint32_t sum() const { return sum_; }

  private:
    void Touch(const char16_t* text, uint32_t length) {
        for (uint32_t i = 0; i < length; ++i) sum_ += text[i];
    }
    int32_t Step() {
        if (errors_ != 0) __builtin_trap();
        return ++events_ == refuse_at ? -1 : 0;
    }

    uint32_t events_ = 0;
    uint32_t errors_ = 0;
    uint32_t sum_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TouchingCallback callback;
    // The first byte, when it is not part of the document's start, picks an event to refuse.
    if (size > 0 && data[0] > 0 && data[0] < 0x20) {
        callback.refuse_at = data[0];
        ++data;
        --size;
    }
    SAXReader reader;
    reader.Attach(&callback);
    const int32_t result = reader.ParseBuffer(data, size, "fuzz");
    if (result != kSAXOk && result != kSAXSyntaxError && result != kSAXRefused) __builtin_trap();
    volatile uint32_t sink = callback.sum();
    (void)sink;
    return 0;
}
