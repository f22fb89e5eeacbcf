#include "definition/adx_write_common.h"

#include <cstdio>
#include <memory>

namespace korvit::definition::adx {
namespace {

// Longest entity ("&quot;", "&apos;") per character.
constexpr size_t kEntityWidth = 6;

std::string Format(const char* format, uint32_t v) {
    char buf[16];
    const int n = std::snprintf(buf, sizeof buf, format, v);
    return std::string(buf, n > 0 ? static_cast<size_t>(n) : 0);
}

}  // namespace

std::string Escaped(std::string_view text) {
    if (text.empty()) return std::string();
    std::string out(text.size() * kEntityWidth + 1, '\0');
    const size_t n = xml::XMLEscape(text.data(), text.size(), out.data(), out.size() - 1);
    out.resize(n - 1);
    return out;
}

std::string H8(uint32_t v) {
    return Format("0x%.8X", v);
}
std::string H8n(uint32_t v) {
    return Format("%.8X", v);
}
std::string H6(uint32_t v) {
    return Format("0x%.6X", v);
}
std::string H4(uint32_t v) {
    return Format("0x%.4X", v);
}
std::string H2(uint32_t v) {
    return Format("0x%.2X", v);
}
std::string HX(uint32_t v) {
    return Format("0x%X", v);
}

void BeginObjectElement(xml::XMLWriter& w, const ADXObject& object, std::string_view element) {
    w.BeginElement(element);
    w.Attribute("id", Escaped(object.id()));
    w.Attribute("idhash", H8(object.idhash()));
    w.Attribute("title", Escaped(object.title().view()));
    if (object.baseflags != 0) w.Attribute("baseflags", H8(object.baseflags));
}

void WriteDesc(xml::XMLWriter& w, const ADXObject& object) {
    WriteTextIfAny(w, "desc", object.desc());
}

void WriteTextIfAny(xml::XMLWriter& w, std::string_view name, const OwnedText& text) {
    if (text.present() && !text.empty()) w.Element(name, Escaped(text.view()));
}

void WriteHex8IfSet(xml::XMLWriter& w, std::string_view name, uint32_t value) {
    if (value != 0) w.Element(name, H8(value));
}

void WriteByteString(xml::XMLWriter& w, const uint8_t* bytes, size_t size, size_t capacity) {
    constexpr size_t kTokenWidth = 5;  // "0xNN "
    const size_t written = std::min(size, capacity / kTokenWidth);
    std::string text;
    text.reserve(written * kTokenWidth);
    for (size_t i = 0; i < written; ++i) {
        char token[8];
        std::snprintf(token, sizeof token, "0x%.2X ", bytes[i]);
        text += token;
    }
    if (text.size() > capacity - 1) text.resize(capacity - 1);
    w.BeginElement("bytestring");
    w.Attribute("size", HX(static_cast<uint32_t>(size)));
    w.Text(text);
    w.EndElement();
}

}  // namespace korvit::definition::adx
