#include "definition/adx_read_fields.h"

#include <array>

#include "definition/adx_read_rules.h"
#include "definition/definition.h"

namespace korvit::definition::adx {
namespace {

using Element = ADXParser::Element;

constexpr size_t kChatterByteLimit = 256;
constexpr size_t kSendByteLimit = 512;

struct ObjectElement {
    std::string_view name;
    uint32_t type;
};

constexpr std::array<ObjectElement, 13> kObjectElements{{
    {"adxvalue", ADXTYPE_VALUE},
    {"adxbitmask", ADXTYPE_BITMASK},
    {"adxlookuptable", ADXTYPE_LOOKUPTABLE},
    {"adxlistview", ADXTYPE_LISTVIEW},
    {"adxhistogram", ADXTYPE_HISTOGRAM},
    {"adxdashboard", ADXTYPE_DASHBOARD},
    {"adxmonitor", ADXTYPE_MONITOR},
    {"adxclistensilence", ADXTYPE_LISTENSILENCE},
    {"adxclistenchatter", ADXTYPE_LISTENCHATTER},
    {"adxcsendcommand", ADXTYPE_SENDCOMMAND},
    {"adxclisten160baud", ADXTYPE_160BAUDLISTEN},
    {"adxctrigger", ADXTYPE_TRIGGER},
    {"adxmacro", ADXTYPE_MACRO},
}};

// Optional attributes: each setter runs only when the attribute is present.
template <typename Set>
void IfAttribute(const Element& e, std::string_view name, Set set) {
    if (const std::string* value = e.Find(name)) set(*value);
}

uint32_t Hex(std::string_view s) {
    return ReadHex(s);
}
uint32_t Dec(std::string_view s) {
    return static_cast<uint32_t>(ReadDecimal(s));
}

// A byte string is read only with its size; the size never reaches past the bytes present.
template <typename Command>
void ReadByteString(Command& command, const Element& e, size_t limit) {
    const std::string* size = e.Find("size");
    if (size == nullptr) return;
    std::vector<uint8_t> bytes = ReadBytes(e.text, limit);
    const size_t n = std::min<size_t>(Hex(*size), bytes.size());
    command.SetBytes(bytes.data(), n);
}

void ReadValue(ADXValue& v, std::string_view name, const Element& e) {
    const std::string_view t = e.StoredText();
    if (name == "flags") {
        v.flags = Hex(t);
    } else if (name == "parentcmdidhash") {
        v.parentcmdidhash = Hex(t);
    } else if (name == "units") {
        v.SetUnits(t.data(), t.size());
    } else if (name == "packetoffset") {
        v.packetoffset = Hex(t);
    } else if (name == "sizeinbits") {
        v.sizeinbits = Dec(t);
    } else if (name == "range") {
        IfAttribute(e, "low", [&](const std::string& s) { v.range_low = ReadFloat(s); });
        IfAttribute(e, "high", [&](const std::string& s) { v.range_high = ReadFloat(s); });
    } else if (name == "alarms") {
        IfAttribute(e, "low", [&](const std::string& s) { v.alarm_low = ReadFloat(s); });
        IfAttribute(e, "high", [&](const std::string& s) { v.alarm_high = ReadFloat(s); });
    } else if (name == "digcount") {
        v.digcount = static_cast<uint8_t>(Dec(t));
    } else if (name == "outputtype") {
        v.outputtype = Dec(t);
    } else if (name == "math") {
        IfAttribute(e, "equation", [&](const std::string& s) { v.SetEquation(s); });
        IfAttribute(e, "lookupidhash", [&](const std::string& s) { v.lookupidhash = Hex(s); });
    } else if (name == "var") {
        ADXValueVar var;
        IfAttribute(e, "varid", [&](const std::string& s) { var.varID = s.empty() ? 0 : s[0]; });
        IfAttribute(e, "type", [&](const std::string& s) {
            var.type = s == "link" ? ADXValueVar::kLink : ADXValueVar::kNative;
        });
        IfAttribute(e, "linkidhash", [&](const std::string& s) { var.linkIDHash = Hex(s); });
        if (var.varID != 0) v.SetVar(var);
    }
}

void ReadBitmask(ADXBitmask& b, std::string_view name, const Element& e) {
    const std::string_view t = e.StoredText();
    if (name == "flags") {
        b.flags = Hex(t);
    } else if (name == "parentcmdidhash") {
        b.parentcmdidhash = Hex(t);
    } else if (name == "truestring") {
        b.SetTrueString(t.data(), t.size());
    } else if (name == "falsestring") {
        b.SetFalseString(t.data(), t.size());
    } else if (name == "packetoffset") {
        b.packetoffset = Hex(t);
    } else if (name == "sizeinbits") {
        b.sizeinbits = Dec(t);
    } else if (name == "operand") {
        b.operand = Hex(t);
    } else if (name == "bitop") {
        // Compared exactly: any other spelling leaves the operation as it was.
        if (t == "AND") b.bitop = ADXBitmask::kAnd;
        if (t == "XOR") b.bitop = ADXBitmask::kXor;
    } else if (name == "result") {
        b.result = Hex(t);
    }
}

void ReadLookupTable(ADXLookupTable& table, std::string_view name, const Element& e) {
    const std::string_view t = e.StoredText();
    if (name == "flags") {
        table.flags = Hex(t);
    } else if (name == "inputtype") {
        table.inputtype = Dec(t);
    } else if (name == "outputtype") {
        table.SetOutputType(Dec(t));
    } else if (name == "lookupmode") {
        table.SetLookupMode(Dec(t));
    } else if (name == "tableentry") {
        float input = 0.0f;
        IfAttribute(e, "input", [&](const std::string& s) { input = ReadFloat(s); });
        const std::string* output = e.Find("output");
        if (table.outputtype() == ADXLookupTable::kNumericOutput) {
            table.AddEntry(input, output != nullptr ? ReadFloat(*output) : 0.0f);
        } else if (table.outputtype() == ADXLookupTable::kTextOutput) {
            if (output != nullptr) table.AddEntry(input, output->data(), output->size());
        }
    }
}

void ReadListView(ADXListView& list, std::string_view name, const Element& e, size_t& entry_index) {
    if (name == "flags") {
        list.flags = Hex(e.StoredText());
    } else if (name == "entrycount") {
        list.Resize(Dec(e.StoredText()));  // 256 or more is refused and leaves the size
    } else if (name == "adxlventry") {
        ADXListViewEntry entry;
        IfAttribute(e, "entrytype", [&](const std::string& s) { entry.entrytype = Dec(s); });
        IfAttribute(e, "title", [&](const std::string& s) { entry.title.Set(s); });
        IfAttribute(e, "itemidhash", [&](const std::string& s) { entry.itemidhash = Hex(s); });
        IfAttribute(e, "flags", [&](const std::string& s) { entry.flags = Hex(s); });
        IfAttribute(e, "color", [&](const std::string& s) { entry.color = Hex(s); });
        // Entries beyond the declared count are dropped.
        list.SetEntry(entry_index++, entry);
    }
}

void ReadDashboard(ADXDashboard& dash, std::string_view name, const Element& e) {
    if (name == "flags") {
        dash.flags = Hex(e.StoredText());
    } else if (name == "adxdgentry") {
        ADXDashboardEntry entry;
        auto coordinate = [](const std::string& s) { return static_cast<uint16_t>(Dec(s)); };
        IfAttribute(e, "gaugetype", [&](const std::string& s) { entry.gaugetype = Dec(s); });
        IfAttribute(e, "flags", [&](const std::string& s) { entry.flags = Hex(s); });
        IfAttribute(e, "itemidhash", [&](const std::string& s) { entry.itemidhash = Hex(s); });
        IfAttribute(e, "left", [&](const std::string& s) { entry.left = coordinate(s); });
        IfAttribute(e, "top", [&](const std::string& s) { entry.top = coordinate(s); });
        IfAttribute(e, "right", [&](const std::string& s) { entry.right = coordinate(s); });
        IfAttribute(e, "bottom", [&](const std::string& s) { entry.bottom = coordinate(s); });
        dash.Append(entry);
    }
}

void ReadMonitor(ADXMonitor& monitor, std::string_view name, const Element& e) {
    if (name == "flags") {
        monitor.flags = Hex(e.StoredText());
    } else if (name == "adxmonseries") {
        ADXMonitorSeries series;
        auto byte = [](const std::string& s) { return static_cast<uint8_t>(Dec(s)); };
        IfAttribute(e, "flags", [&](const std::string& s) { series.flags = Hex(s); });
        IfAttribute(e, "linewidth", [&](const std::string& s) { series.linewidth = byte(s); });
        IfAttribute(e, "linetype", [&](const std::string& s) { series.linetype = byte(s); });
        IfAttribute(e, "linecolor", [&](const std::string& s) { series.linecolor = Hex(s); });
        IfAttribute(e, "axiscolor", [&](const std::string& s) { series.axiscolor = Hex(s); });
        IfAttribute(e, "itemidhash", [&](const std::string& s) { series.itemidhash = Hex(s); });
        monitor.Append(series);
    }
}

void ReadHistogram(ADXHistogram& h, std::string_view name, const Element& e) {
    const std::string_view t = e.StoredText();
    if (name == "flags") {
        h.flags = Hex(t);
    } else if (name == "parentcmdidhash") {
        h.parentcmdidhash = Hex(t);
    } else if (name == "rows") {
        h.SetRows(Dec(t));
    } else if (name == "cols") {
        h.SetCols(Dec(t));
    } else if (name == "xmin") {
        h.SetXMin(ReadFloat(t));
    } else if (name == "xmax") {
        h.SetXMax(ReadFloat(t));
    } else if (name == "ymin") {
        h.SetYMin(ReadFloat(t));
    } else if (name == "ymax") {
        h.SetYMax(ReadFloat(t));
    } else if (name == "historysize") {
        h.SetHistorySize(Dec(t));  // 0 is ignored
    } else if (name == "xidhash") {
        h.xidhash = Hex(t);
    } else if (name == "yidhash") {
        h.yidhash = Hex(t);
    } else if (name == "zidhash") {
        h.zidhash = Hex(t);
    }
}

void ReadMacro(ADXMacro& macro, std::string_view name, const Element& e) {
    if (name != "node") return;
    ADXMacroNode node;
    IfAttribute(e, "flags", [&](const std::string& s) { node.flags = Hex(s); });
    IfAttribute(e, "commandid", [&](const std::string& s) { node.SetCommandID(s); });
    IfAttribute(e, "repeatcount", [&](const std::string& s) { node.repeatcount = Dec(s); });
    macro.AppendNode(node);
}

void ReadCommand(ADXObject& object, std::string_view name, const Element& e) {
    const std::string_view t = e.StoredText();
    if (auto* send = As<ADXCSendCommand>(&object)) {
        if (name == "bytestring") ReadByteString(*send, e, kSendByteLimit);
        if (name == "replysize") send->replysize = Dec(t);
        if (name == "replytimeout") send->replytimeout = Dec(t);
        if (name == "packetoffset") send->packetoffset = Dec(t);  // decimal here
        if (name == "packetsize") send->packetsize = Dec(t);
    } else if (auto* silence = As<ADXCListenSilence>(&object)) {
        if (name == "silencelen") silence->silencelen = Dec(t);
        if (name == "totaltimeout") silence->totaltimeout = Dec(t);
    } else if (auto* chatter = As<ADXCListenChatter>(&object)) {
        if (name == "listentimeout") chatter->listentimeout = Dec(t);
        if (name == "bytestring") ReadByteString(*chatter, e, kChatterByteLimit);
    } else if (auto* listen = As<ADXC160BaudListen>(&object)) {
        if (name == "packetsize") listen->packetsize = Dec(t);
    } else if (auto* trigger = As<ADXCTrigger>(&object)) {
        if (name == "triggertype") trigger->triggertype = Hex(t);
    } else if (auto* macro = As<ADXMacro>(&object)) {
        ReadMacro(*macro, name, e);
    }
}

}  // namespace

uint32_t ObjectTypeOfElement(std::string_view name) {
    if (name.size() < 8 || name.substr(0, 3) != "adx") return 0;
    for (const auto& element : kObjectElements) {
        if (element.name == name) return element.type;
    }
    return 0;
}

std::unique_ptr<ADXObject> CreateObject(uint32_t type) {
    switch (type) {
        case ADXTYPE_VALUE:
            return std::make_unique<ADXValue>();
        case ADXTYPE_BITMASK:
            return std::make_unique<ADXBitmask>();
        case ADXTYPE_LOOKUPTABLE:
            return std::make_unique<ADXLookupTable>();
        case ADXTYPE_LISTVIEW:
            return std::make_unique<ADXListView>();
        case ADXTYPE_HISTOGRAM:
            return std::make_unique<ADXHistogram>();
        case ADXTYPE_DASHBOARD:
            return std::make_unique<ADXDashboard>();
        case ADXTYPE_MONITOR:
            return std::make_unique<ADXMonitor>();
        case ADXTYPE_LISTENSILENCE:
            return std::make_unique<ADXCListenSilence>();
        case ADXTYPE_LISTENCHATTER:
            return std::make_unique<ADXCListenChatter>();
        case ADXTYPE_SENDCOMMAND:
            return std::make_unique<ADXCSendCommand>();
        case ADXTYPE_160BAUDLISTEN:
            return std::make_unique<ADXC160BaudListen>();
        case ADXTYPE_TRIGGER:
            return std::make_unique<ADXCTrigger>();
        case ADXTYPE_MACRO:
            return std::make_unique<ADXMacro>();
        default:
            return nullptr;
    }
}

void ReadObjectAttributes(ADXObject& object, const Element& e) {
    IfAttribute(e, "id", [&](const std::string& s) { object.SetID(std::string_view(s)); });
    IfAttribute(e, "title", [&](const std::string& s) { object.SetTitle(s.data(), s.size()); });
    const uint32_t type = object.type();
    // Command and macro elements carry baseflags in the file but take their own flags instead.
    const bool is_command = type >= ADXTYPE_MACRO;
    if (!is_command) {
        IfAttribute(e, "baseflags", [&](const std::string& s) { object.baseflags = Hex(s); });
        return;
    }
    auto flags = [&](uint32_t& field) {
        IfAttribute(e, "flags", [&](const std::string& s) { field = Hex(s); });
    };
    if (auto* send = As<ADXCSendCommand>(&object)) flags(send->flags);
    if (auto* chatter = As<ADXCListenChatter>(&object)) flags(chatter->flags);
    if (auto* listen = As<ADXC160BaudListen>(&object)) flags(listen->flags);
    if (auto* trigger = As<ADXCTrigger>(&object)) flags(trigger->flags);
    if (auto* macro = As<ADXMacro>(&object)) {
        flags(macro->flags);
        IfAttribute(e, "repeatcount", [&](const std::string& s) { macro->repeatcount = Dec(s); });
    }
}

void ReadObjectField(ADXObject& object, const Element& e, size_t& list_entry_index) {
    const std::string_view name = e.name;
    if (name == "desc") {
        object.SetDesc(e.StoredText().data(), e.StoredText().size());
        return;
    }
    switch (object.type()) {
        case ADXTYPE_VALUE:
            ReadValue(static_cast<ADXValue&>(object), name, e);
            break;
        case ADXTYPE_BITMASK:
            ReadBitmask(static_cast<ADXBitmask&>(object), name, e);
            break;
        case ADXTYPE_LOOKUPTABLE:
            ReadLookupTable(static_cast<ADXLookupTable&>(object), name, e);
            break;
        case ADXTYPE_LISTVIEW:
            ReadListView(static_cast<ADXListView&>(object), name, e, list_entry_index);
            break;
        case ADXTYPE_HISTOGRAM:
            ReadHistogram(static_cast<ADXHistogram&>(object), name, e);
            break;
        case ADXTYPE_DASHBOARD:
            ReadDashboard(static_cast<ADXDashboard&>(object), name, e);
            break;
        case ADXTYPE_MONITOR:
            ReadMonitor(static_cast<ADXMonitor&>(object), name, e);
            break;
        default:
            ReadCommand(object, name, e);
            break;
    }
}

}  // namespace korvit::definition::adx
