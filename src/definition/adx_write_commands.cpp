// Element writers of the commands and macros.
#include "definition/adx_commands.h"
#include "definition/adx_macro.h"
#include "definition/adx_write_common.h"

namespace korvit::definition {

using namespace adx;

namespace {

// Formatting room of a byte string: 409 whole bytes for a send command, 51 for chatter.
constexpr size_t kSendBytesCapacity = 2047;
constexpr size_t kChatterBytesCapacity = 255;

void FlagsAttribute(xml::XMLWriter& w, uint32_t flags) {
    if (flags != 0) w.Attribute("flags", H8n(flags));
}

}  // namespace

int ADXCSendCommand::WriteXML(xml::XMLWriter* writer) const {
    if (writer == nullptr) return 0;
    xml::XMLWriter& w = *writer;
    BeginObjectElement(w, *this, "ADXCSENDCOMMAND");
    FlagsAttribute(w, flags);
    WriteDesc(w, *this);
    WriteByteString(w, bytes_.data(), bytes_.size(), kSendBytesCapacity);
    w.Element("replysize", static_cast<int32_t>(replysize));
    w.Element("replytimeout", static_cast<int32_t>(replytimeout));
    w.Element("packetoffset", static_cast<int32_t>(packetoffset));
    w.Element("packetsize", static_cast<int32_t>(packetsize));
    w.EndElement();
    return 1;
}

int ADXCListenSilence::WriteXML(xml::XMLWriter* writer) const {
    if (writer == nullptr) return 0;
    xml::XMLWriter& w = *writer;
    BeginObjectElement(w, *this, "ADXCLISTENSILENCE");
    WriteDesc(w, *this);
    w.Element("silencelen", static_cast<int32_t>(silencelen));
    w.Element("totaltimeout", static_cast<int32_t>(totaltimeout));
    w.EndElement();
    return 1;
}

int ADXCListenChatter::WriteXML(xml::XMLWriter* writer) const {
    if (writer == nullptr) return 0;
    xml::XMLWriter& w = *writer;
    BeginObjectElement(w, *this, "ADXCLISTENCHATTER");
    FlagsAttribute(w, flags);
    WriteDesc(w, *this);
    w.Element("listentimeout", static_cast<int32_t>(listentimeout));
    WriteByteString(w, bytes_.data(), bytes_.size(), kChatterBytesCapacity);
    w.EndElement();
    return 1;
}

int ADXC160BaudListen::WriteXML(xml::XMLWriter* writer) const {
    if (writer == nullptr) return 0;
    xml::XMLWriter& w = *writer;
    BeginObjectElement(w, *this, "ADXCLISTEN160BAUD");
    FlagsAttribute(w, flags);
    WriteDesc(w, *this);
    w.Element("packetsize", static_cast<int32_t>(packetsize));
    w.EndElement();
    return 1;
}

int ADXCTrigger::WriteXML(xml::XMLWriter* writer) const {
    if (writer == nullptr) return 0;
    xml::XMLWriter& w = *writer;
    BeginObjectElement(w, *this, "ADXCTRIGGER");
    if (flags != 0) w.Attribute("flags", H8(flags));
    WriteDesc(w, *this);
    w.Element("triggertype", H8(triggertype));
    w.EndElement();
    return 1;
}

int ADXMacro::WriteXML(xml::XMLWriter* writer) const {
    if (writer == nullptr) return 0;
    xml::XMLWriter& w = *writer;
    BeginObjectElement(w, *this, "ADXMACRO");
    w.Attribute("repeatcount", static_cast<int32_t>(repeatcount));
    if (flags != 0) w.Attribute("flags", H8(flags));
    WriteDesc(w, *this);
    // A step whose command is not resolved has nothing to name and is left out.
    for (const ADXMacroNode& node : nodes_) {
        if (node.command == nullptr) continue;
        char id[kMaxIDLength];
        const size_t n = node.command->GetID(id, sizeof id);
        w.BeginElement("NODE");
        if (node.flags != 0) w.Attribute("flags", H8(node.flags));
        w.Attribute("commandID", Escaped(std::string_view(id, n)));
        w.Attribute("repeatcount", static_cast<int32_t>(node.repeatcount));
        w.EndElement();
    }
    w.EndElement();
    return 1;
}

}  // namespace korvit::definition
