#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "definition/adx_object.h"
#include "definition/progress.h"

namespace korvit::evaluation {
struct Packet;
}

namespace korvit::definition {

/// The text ids that the header names its three commands by (first 14 characters each);
/// an absent one resolves to none.
struct HeaderCommandIDs {
    std::optional<std::string> connect;
    std::optional<std::string> monitor;
    std::optional<std::string> disconnect;
};

/// One datastream definition: a header and the ordered list of objects it owns. Every other
/// holder keeps non-owning pointers into the list, valid until the next Reset or Load.
class ADXDefinition {
  public:
    static constexpr uint32_t kDefaultBaud = 8192;
    static constexpr size_t kErrorCapacity = 256;
    enum Flags : uint32_t { kEchoesSentBytes = 1 };

    ADXDefinition() = default;
    ADXDefinition(const ADXDefinition&) = delete;
    ADXDefinition& operator=(const ADXDefinition&) = delete;

    /// After a load: a warning about a file that loaded but looks cut short (empty when none),
    /// and the line and column of a syntax error ("line L, column C"; empty when none).
    std::string load_warning;
    std::string load_error_location;

    /// Frees the header texts and every object; flags 0, baud 8192, no commands.
    void Reset();

    /// Resets, then reads an ADX file. 1 when read without a reported error and with an
    /// accepted format version; else 0 with the message (at most 255 characters, possibly empty).
    int Load(const std::string& path, std::string& error, IProgress* progress = nullptr);
    /// Load from a document held in memory (fuzzing, tests); `name` stands for the path.
    int LoadBuffer(const void* data, size_t size, std::string& error, IProgress* progress = nullptr,
                   const std::string& name = std::string());
    /// Writes the ADX file; 1 when the file could be created.
    int Save(const std::string& path, IProgress* progress = nullptr) const;

    /// Inserts before `index`; an index at or past the end appends. A null object is refused (0).
    int Insert(std::unique_ptr<ADXObject> object, size_t index = SIZE_MAX);
    /// Takes the object at `index` out of the list and hands it to the caller; null when the
    /// index is out of range. References to it elsewhere are the caller's to clear.
    std::unique_ptr<ADXObject> Remove(size_t index);
    /// Position of the object in the list, or SIZE_MAX when it is not there.
    size_t IndexOf(const ADXObject* object) const;

    /// The n-th object (from 0) whose type shares a bit with the mask, or null.
    ADXObject* NthOfType(uint32_t mask, size_t n) const;
    /// The first object whose id, cut to 14 characters, equals the text exactly.
    ADXObject* FindByID(std::string_view text) const;
    ADXObject* FindByID(const char* text) const;
    /// The first object with this idhash; null for 0.
    ADXObject* FindByHash(uint32_t hash) const;

    /// Stores the raw number of every value and bitmask of the command `command_hash` from the
    /// packet. This form reads a whole last-packet buffer: `packet` must hold 300 bytes.
    void ExtractCommandItems(const uint8_t* packet, uint32_t command_hash) const;
    /// The same for a packet of known size; bytes past its end read as 0.
    void ExtractCommandItems(evaluation::Packet packet, uint32_t command_hash) const;

    /// Resolves the references between objects and the header's commands after a load.
    void ResolveReferences(const HeaderCommandIDs& header_commands);

    /// Header texts: a copy only when present and non-empty, otherwise none.
    void SetUserVersion(const char* text, size_t length);
    void SetAuthor(const char* text, size_t length);
    void SetDesc(const char* text, size_t length);
    const OwnedText& userversion() const { return userversion_; }
    const OwnedText& author() const { return author_; }
    const OwnedText& desc() const { return desc_; }

    const std::vector<std::unique_ptr<ADXObject>>& objects() const { return objects_; }
    size_t size() const { return objects_.size(); }

    uint32_t flags = 0;
    uint32_t baud = kDefaultBaud;
    ADXObject* connect_command = nullptr;
    ADXObject* monitor_command = nullptr;
    ADXObject* disconnect_command = nullptr;

  private:
    OwnedText userversion_;
    OwnedText author_;
    OwnedText desc_;
    std::vector<std::unique_ptr<ADXObject>> objects_;
};

}  // namespace korvit::definition
