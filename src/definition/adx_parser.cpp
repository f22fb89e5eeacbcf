#include "definition/adx_parser.h"

#include "definition/adx_read_fields.h"
#include "definition/adx_read_rules.h"

namespace korvit::definition {
namespace {

constexpr size_t kElementNameLimit = 127;
constexpr size_t kAttributeNameLimit = 99;
constexpr size_t kAttributeValueLimit = 255;
constexpr size_t kErrorLimit = ADXDefinition::kErrorCapacity - 1;

char NarrowChar(char16_t c) {
    return c <= 0xFF ? static_cast<char>(c) : '?';
}

// Appends up to `limit` characters in total, one byte per character.
void AppendNarrow(std::string& out, const char16_t* text, uint32_t length, size_t limit) {
    const size_t old_size = out.size();
    const size_t room = old_size < limit ? limit - old_size : 0;
    const size_t n = length < room ? length : room;
    out.resize(old_size + n);
    char* dest = out.data() + old_size;
    for (size_t i = 0; i < n; ++i) dest[i] = NarrowChar(text[i]);
}

// Names are compared without regard to letter case: they are kept in lower case.
void AssignLowerName(std::string& out, const char16_t* name, uint32_t length, size_t limit) {
    out.clear();
    AppendNarrow(out, name, length, limit);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
}

std::string KeepCommandID(std::string_view text) {
    return std::string(text.substr(0, kMaxIDRefLength));
}

}  // namespace

const std::string* ADXParser::Element::Find(std::string_view attribute) const {
    for (size_t i = 0; i < attribute_count; ++i) {
        if (attributes[i].name == attribute) return &attributes[i].value;
    }
    return nullptr;
}

ADXParser::ADXParser(ADXDefinition& definition, IProgress* progress)
    : definition_(definition), progress_(progress) {}

ADXParser::~ADXParser() = default;

int32_t ADXParser::StartDocument() {
    return 0;
}

int32_t ADXParser::EndDocument() {
    // An object whose end tag never came is not added.
    object_.reset();
    if (succeeded()) definition_.ResolveReferences(header_commands_);
    if (!open_elements_.empty()) {
        const auto& [name, began] = open_elements_.back();
        warning_ = (file_name.empty() ? std::string("The definition") : file_name) +
                   " ends inside the element <" + name + "> begun on line " +
                   std::to_string(began) + ": it may be incomplete";
    }
    return 0;
}

int32_t ADXParser::StartElement(const char16_t* name, uint32_t name_length,
                                const xml::SAXAttribute* attributes, uint32_t attribute_count) {
    if (has_pending_) Handle(pending_.name, false);
    std::string open_name;
    AppendNarrow(open_name, name, name_length, kElementNameLimit);
    open_elements_.emplace_back(std::move(open_name), line);
    AssignLowerName(pending_.name, name, name_length, kElementNameLimit);
    if (pending_.attributes.size() < attribute_count) pending_.attributes.resize(attribute_count);
    for (uint32_t i = 0; i < attribute_count; ++i) {
        auto& a = pending_.attributes[i];
        AssignLowerName(a.name, attributes[i].name, attributes[i].name_length, kAttributeNameLimit);
        a.value.clear();
        AppendNarrow(a.value, attributes[i].value, attributes[i].value_length,
                     kAttributeValueLimit);
    }
    pending_.attribute_count = attribute_count;
    pending_.text.clear();
    text_continues_ = false;
    has_pending_ = true;
    return 0;
}

int32_t ADXParser::Characters(const char16_t* text, uint32_t length, bool continued) {
    // A run the reader split only for its size goes on; any other run replaces the last one.
    if (!text_continues_) pending_.text.clear();
    AppendNarrow(pending_.text, text, length, kRawTextLimit);
    text_continues_ = continued;
    return 0;
}

int32_t ADXParser::EndElement(const char16_t* name, uint32_t name_length) {
    if (has_pending_) Handle(pending_.name, false);
    AssignLowerName(end_name_, name, name_length, kElementNameLimit);
    if (!open_elements_.empty()) open_elements_.pop_back();
    Handle(end_name_, true);
    has_pending_ = false;
    return 0;
}

int32_t ADXParser::Error(uint32_t code, const char* message) {
    if (code == static_cast<uint32_t>(xml::kSAXSyntaxError)) {
        error_location_ = "line " + std::to_string(line) + ", column " + std::to_string(column);
    }
    error_.assign(message != nullptr ? message : "");
    if (error_.size() > kErrorLimit) error_.resize(kErrorLimit);
    return 0;
}

void ADXParser::Handle(std::string_view name, bool is_end) {
    const uint32_t object_type = adx::ObjectTypeOfElement(name);
    if (name == "adxheader") {
        state_ = kHeaderState;
    } else if (object_type != 0) {
        state_ = object_type;
    }
    if (state_ == kFormatState) {
        HandleFormat(name, is_end);
    } else if (state_ == kHeaderState) {
        HandleHeader(name, is_end);
    } else {
        HandleObject(object_type == state_, is_end);
    }
}

void ADXParser::HandleFormat(std::string_view name, bool is_end) {
    if (is_end || name != "adxformat") return;
    const std::string* version = pending_.Find("version");
    if (version == nullptr) return;
    // Written so that a version that is not a number is refused too.
    if (!(adx::ReadFloat(*version) >= kMinimumVersion)) {
        Error(kVersionErrorCode, "File version is out of date.");
        return;
    }
    version_accepted_ = true;
}

void ADXParser::HandleHeader(std::string_view name, bool is_end) {
    if (name == "adxheader") {
        if (is_end && progress_ != nullptr) progress_->SetRange(objectcount_ + commandcount_);
        return;
    }
    if (is_end) return;
    const std::string_view text = pending_.StoredText();
    if (name == "flags") {
        definition_.flags = adx::ReadHex(text);
    } else if (name == "objectcount") {
        objectcount_ = static_cast<uint32_t>(adx::ReadDecimal(text));
    } else if (name == "commandcount") {
        commandcount_ = static_cast<uint32_t>(adx::ReadDecimal(text));
    } else if (name == "userversion") {
        definition_.SetUserVersion(text.data(), text.size());
    } else if (name == "author") {
        definition_.SetAuthor(text.data(), text.size());
    } else if (name == "desc") {
        definition_.SetDesc(text.data(), text.size());
    } else if (name == "baud") {
        definition_.baud = static_cast<uint32_t>(adx::ReadDecimal(text));
    } else if (name == "connectcmd") {
        header_commands_.connect = KeepCommandID(text);
    } else if (name == "monitorcmd") {
        header_commands_.monitor = KeepCommandID(text);
    } else if (name == "disconnectcmd") {
        header_commands_.disconnect = KeepCommandID(text);
    }
}

void ADXParser::HandleObject(bool own_element, bool is_end) {
    if (own_element) {
        if (!is_end) {
            BeginObject();
        } else if (object_) {
            definition_.Insert(std::move(object_));
            if (progress_ != nullptr) progress_->Step();
        }
        return;
    }
    if (!is_end && object_) adx::ReadObjectField(*object_, pending_, list_entry_index_);
}

void ADXParser::BeginObject() {
    object_ = adx::CreateObject(state_);
    list_entry_index_ = 0;
    if (object_) adx::ReadObjectAttributes(*object_, pending_);
}

}  // namespace korvit::definition
