#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "definition/adx_definition.h"
#include "definition/progress.h"
#include "definition/xml/sax_callback.h"

namespace korvit::definition {

/// Builds an ADXDefinition from the events of a SAXReader reading an ADX file.
///
/// The parser keeps one pending element (name, attributes, last text run) and handles it only
/// when the next tag arrives, so a text run interrupted by a comment keeps its last part.
/// Element and attribute names are compared without regard to letter case. Characters above
/// 255 (from UTF-16 files) are stored as '?', since every definition text holds one byte per
/// character. Texts are cut at their limits: element text 1023 characters, attribute values
/// 255, attribute names 99, element names 127.
class ADXParser : public xml::ISAXCallback {
  public:
    /// The format version below which a file is refused.
    static constexpr float kMinimumVersion = 0.5f;
    static constexpr uint32_t kVersionErrorCode = 0x80004005u;
    /// Element texts are stored up to 1023 characters; a byte string may use up to 2560
    /// (512 bytes of five-character tokens), so the run itself is kept that long.
    static constexpr size_t kTextLimit = 1023;
    static constexpr size_t kRawTextLimit = 2560;

    explicit ADXParser(ADXDefinition& definition, IProgress* progress = nullptr);
    ~ADXParser() override;

    int32_t StartDocument() override;
    int32_t EndDocument() override;
    int32_t StartElement(const char16_t* name, uint32_t name_length,
                         const xml::SAXAttribute* attributes, uint32_t attribute_count) override;
    int32_t Characters(const char16_t* text, uint32_t length, bool continued) override;
    int32_t EndElement(const char16_t* name, uint32_t name_length) override;
    int32_t StartCDATA() override { return 0; }
    int32_t CDATAText(const char16_t*, uint32_t, bool) override { return 0; }
    int32_t EndCDATA() override { return 0; }
    int32_t Error(uint32_t code, const char* message) override;

    /// The first fault's message, or the version message; empty when none was reported.
    const std::string& error() const { return error_; }
    /// True once a format element with a version of at least 0.5 has been read.
    bool version_accepted() const { return version_accepted_; }
    /// No reported error and an accepted version: the load succeeded.
    bool succeeded() const { return error_.empty() && version_accepted_; }
    /// Set when the document ended inside an element: what was read loads, but the file is
    /// probably cut short. Names the innermost open element and the line it began on.
    const std::string& warning() const { return warning_; }
    /// "line L, column C" of a lexical fault; empty for other failures.
    const std::string& error_location() const { return error_location_; }

    /// An element as the parser hands it to the field readers: lower-case name, attributes
    /// (first occurrence of a name wins), and its last text run.
    struct Element {
        struct Attribute {
            std::string name;
            std::string value;
        };
        std::string name;
        std::vector<Attribute> attributes;
        size_t attribute_count = 0;
        /// The last text run, kept up to kRawTextLimit characters for byte strings.
        std::string text;

        /// The text as a definition text stores it: at most kTextLimit characters.
        std::string_view StoredText() const { return std::string_view(text).substr(0, kTextLimit); }

        /// The value of the first attribute with this lower-case name, or null.
        const std::string* Find(std::string_view attribute) const;
    };

  private:
    // The state is the format element's, the header's, or an object class's type code.
    static constexpr uint32_t kFormatState = 0;
    static constexpr uint32_t kHeaderState = 1;

    void Handle(std::string_view name, bool is_end);
    void HandleFormat(std::string_view name, bool is_end);
    void HandleHeader(std::string_view name, bool is_end);
    /// `own_element`: the name is the element of the object class whose state this is.
    void HandleObject(bool own_element, bool is_end);
    void BeginObject();

    ADXDefinition& definition_;
    IProgress* progress_;
    uint32_t state_ = kFormatState;
    std::unique_ptr<ADXObject> object_;
    Element pending_;
    bool has_pending_ = false;
    bool text_continues_ = false;
    std::string end_name_;
    // Items indexed per list view: the next slot an ADXLVENTRY fills.
    size_t list_entry_index_ = 0;
    HeaderCommandIDs header_commands_;
    uint32_t objectcount_ = 0;
    uint32_t commandcount_ = 0;
    std::string error_;
    std::string warning_;
    std::string error_location_;
    /// Elements begun and not yet ended, with the line each began on.
    std::vector<std::pair<std::string, uint32_t>> open_elements_;
    bool version_accepted_ = false;
};

}  // namespace korvit::definition
