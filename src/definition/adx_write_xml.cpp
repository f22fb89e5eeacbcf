// Element writers of the decoded items: values, bitmasks and lookup tables.
#include "definition/adx_bitmask.h"
#include "definition/adx_lookup_table.h"
#include "definition/adx_value.h"
#include "definition/adx_write_common.h"

namespace korvit::definition {

using namespace adx;

int ADXValue::WriteXML(xml::XMLWriter* writer) const {
    if (writer == nullptr) return 0;
    xml::XMLWriter& w = *writer;
    BeginObjectElement(w, *this, "ADXVALUE");
    WriteDesc(w, *this);
    WriteHex8IfSet(w, "flags", flags);
    WriteHex8IfSet(w, "parentcmdidhash", parentcmdidhash);
    WriteTextIfAny(w, "units", units_);
    w.Element("packetoffset", H2(packetoffset));
    if (sizeinbits != 8) w.Element("sizeinbits", static_cast<int32_t>(sizeinbits));
    w.BeginElement("range");
    w.Attribute("low", range_low);
    w.Attribute("high", range_high);
    w.EndElement();
    w.BeginElement("alarms");
    w.Attribute("low", alarm_low);
    w.Attribute("high", alarm_high);
    w.EndElement();
    w.Element("digcount", static_cast<int32_t>(digcount));
    w.Element("outputtype", static_cast<int32_t>(outputtype));
    w.BeginElement("MATH");
    w.Attribute("equation", Escaped(expression_.text()));
    if (lookup != nullptr) w.Attribute("lookupidhash", H8(lookup->idhash()));
    for (const ADXValueVar& var : vars_) {
        w.BeginElement("VAR");
        w.Attribute("varID", Escaped(std::string_view(&var.varID, 1)));
        if (var.type == ADXValueVar::kNative) w.Attribute("type", "native");
        if (var.type == ADXValueVar::kLink) {
            w.Attribute("type", "link");
            w.Attribute("linkIDHash", HX(var.linkIDHash));
        }
        w.EndElement();
    }
    w.EndElement();
    w.EndElement();
    return 1;
}

int ADXBitmask::WriteXML(xml::XMLWriter* writer) const {
    if (writer == nullptr) return 0;
    xml::XMLWriter& w = *writer;
    BeginObjectElement(w, *this, "ADXBITMASK");
    WriteDesc(w, *this);
    WriteHex8IfSet(w, "flags", flags);
    w.Element("parentcmdidhash", H8(parentcmdidhash));
    WriteTextIfAny(w, "truestring", truestring_);
    WriteTextIfAny(w, "falsestring", falsestring_);
    w.Element("packetoffset", H2(packetoffset));
    if (sizeinbits != 8) w.Element("sizeinbits", static_cast<int32_t>(sizeinbits));
    WriteHex8IfSet(w, "operand", operand);
    if (bitop == kAnd) w.Element("bitop", "AND");
    if (bitop == kXor) w.Element("bitop", "XOR");
    WriteHex8IfSet(w, "result", result);
    w.EndElement();
    return 1;
}

int ADXLookupTable::WriteXML(xml::XMLWriter* writer) const {
    if (writer == nullptr) return 0;
    xml::XMLWriter& w = *writer;
    BeginObjectElement(w, *this, "ADXLOOKUPTABLE");
    WriteDesc(w, *this);
    WriteHex8IfSet(w, "flags", flags);
    w.Element("inputtype", static_cast<int32_t>(inputtype));
    w.Element("outputtype", static_cast<int32_t>(outputtype_));
    w.Element("lookupmode", static_cast<int32_t>(lookupmode_));
    w.Element("entrycount", static_cast<int32_t>(entries_.size()));
    for (const ADXLookupEntry& entry : entries_) {
        w.BeginElement("tableentry");
        w.Attribute("input", entry.input);
        if (outputtype_ == kTextOutput) {
            w.Attribute("output", Escaped(entry.text.view()));
        } else {
            w.Attribute("output", entry.output);
        }
        w.EndElement();
    }
    w.EndElement();
    return 1;
}

}  // namespace korvit::definition
