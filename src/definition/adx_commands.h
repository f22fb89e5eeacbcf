#pragma once

#include <cstdint>
#include <vector>

#include "definition/adx_object.h"

namespace korvit::definition {

/// Sends a byte string and reads a reply of replysize bytes; the packet is packetsize bytes
/// from packetoffset of the reply.
class ADXCSendCommand : public ADXObject {
  public:
    static constexpr uint32_t kType = ADXTYPE_SENDCOMMAND;

    ADXCSendCommand() : ADXObject(kType) {}
    int WriteXML(xml::XMLWriter* writer) const override;

    /// Replaces the bytes; a null source or a size of 0 leaves none.
    void SetBytes(const uint8_t* data, size_t size);
    const std::vector<uint8_t>& bytes() const { return bytes_; }

    uint32_t replysize = 0;
    uint32_t replytimeout = 200;
    uint32_t packetoffset = 0;
    uint32_t packetsize = 0;
    uint32_t flags = 0;

  private:
    std::vector<uint8_t> bytes_;
};

/// Waits until the line has been quiet for silencelen ms, at most totaltimeout ms.
class ADXCListenSilence : public ADXObject {
  public:
    static constexpr uint32_t kType = ADXTYPE_LISTENSILENCE;

    ADXCListenSilence() : ADXObject(kType) {}
    int WriteXML(xml::XMLWriter* writer) const override;

    uint32_t silencelen = 0;
    uint32_t totaltimeout = 400;
};

/// Listens for a byte string in the unit's chatter.
class ADXCListenChatter : public ADXObject {
  public:
    static constexpr uint32_t kType = ADXTYPE_LISTENCHATTER;

    ADXCListenChatter() : ADXObject(kType) {}
    int WriteXML(xml::XMLWriter* writer) const override;

    /// Replaces the bytes; a null source or a size of 0 leaves none.
    void SetBytes(const uint8_t* data, size_t size);
    const std::vector<uint8_t>& bytes() const { return bytes_; }

    uint32_t listentimeout = 400;
    uint32_t flags = 0;

  private:
    std::vector<uint8_t> bytes_;
};

/// Reads one packet of the 160-baud bit stream.
class ADXC160BaudListen : public ADXObject {
  public:
    static constexpr uint32_t kType = ADXTYPE_160BAUDLISTEN;

    ADXC160BaudListen() : ADXObject(kType) {}
    int WriteXML(xml::XMLWriter* writer) const override;

    uint32_t flags = 0;
    uint32_t packetsize = 0;
};

/// Fires the trigger path for histograms and charts.
class ADXCTrigger : public ADXObject {
  public:
    static constexpr uint32_t kType = ADXTYPE_TRIGGER;

    ADXCTrigger() : ADXObject(kType) {}
    int WriteXML(xml::XMLWriter* writer) const override;

    uint32_t triggertype = 0xFFFFFFFFu;
    uint32_t flags = 0;
};

}  // namespace korvit::definition
