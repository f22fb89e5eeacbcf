#include "definition_json.h"

#include <charconv>
#include <cstdio>

#include "definition/definition.h"

namespace korvit::cli {
namespace {

using json = nlohmann::ordered_json;
using namespace definition;

json Hex32(uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08X", v);
    return buf;
}

// The shortest decimal that reads back as the same float, so 0.1f prints as 0.1.
json Number(float v) {
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    double d = 0.0;
    std::from_chars(buf, r.ptr, d);
    return d;
}

json Text(const OwnedText& text) {
    return text.present() ? json(Latin1ToUtf8(text.view())) : json(nullptr);
}

json Ref(const ADXObject* object) {
    return object != nullptr ? json(Latin1ToUtf8(object->id())) : json(nullptr);
}

json Bytes(const std::vector<uint8_t>& bytes) {
    if (bytes.empty()) return nullptr;
    std::string out;
    for (uint8_t b : bytes) {
        char buf[4];
        std::snprintf(buf, sizeof buf, out.empty() ? "%02X" : " %02X", b);
        out += buf;
    }
    return out;
}

void AddValue(json& o, const ADXValue& v) {
    o["flags"] = Hex32(v.flags);
    o["parentcmdidhash"] = Hex32(v.parentcmdidhash);
    o["packetoffset"] = v.packetoffset;
    o["sizeinbits"] = v.sizeinbits;
    o["outputtype"] = v.outputtype;
    o["digcount"] = v.digcount;
    o["equation"] = Latin1ToUtf8(v.expression().text());
    json vars = json::array();
    for (const auto& var : v.vars()) {
        vars.push_back({{"varID", Latin1ToUtf8(std::string_view(&var.varID, 1))},
                        {"type", var.type},
                        {"linkIDHash", Hex32(var.linkIDHash)}});
    }
    o["vars"] = std::move(vars);
    o["units"] = Text(v.units());
    o["alarmlow"] = Number(v.alarm_low);
    o["alarmhigh"] = Number(v.alarm_high);
    o["rangelow"] = Number(v.range_low);
    o["rangehigh"] = Number(v.range_high);
    o["lastraw"] = v.last_raw.load();
    o["lookupidhash"] = Hex32(v.lookupidhash);
    o["lookup"] = Ref(v.lookup);
}

void AddBitmask(json& o, const ADXBitmask& b) {
    o["flags"] = Hex32(b.flags);
    o["parentcmdidhash"] = Hex32(b.parentcmdidhash);
    o["packetoffset"] = b.packetoffset;
    o["sizeinbits"] = b.sizeinbits;
    o["operand"] = Hex32(b.operand);
    o["result"] = Hex32(b.result);
    o["bitop"] = b.bitop;
    o["truestring"] = Text(b.truestring());
    o["falsestring"] = Text(b.falsestring());
    o["lastraw"] = b.last_raw.load();
}

void AddLookupTable(json& o, const ADXLookupTable& t) {
    o["flags"] = Hex32(t.flags);
    o["inputtype"] = t.inputtype;
    o["outputtype"] = t.outputtype();
    o["lookupmode"] = t.lookupmode();
    json entries = json::array();
    for (const auto& e : t.entries()) {
        const bool text = t.outputtype() == ADXLookupTable::kTextOutput;
        entries.push_back(
            {{"input", Number(e.input)}, {"output", text ? Text(e.text) : Number(e.output)}});
    }
    o["entries"] = std::move(entries);
}

void AddListView(json& o, const ADXListView& l) {
    o["flags"] = Hex32(l.flags);
    o["entrycount"] = l.count();
    json entries = json::array();
    for (const auto& e : l.entries()) {
        entries.push_back({{"flags", Hex32(e.flags)},
                           {"entrytype", e.entrytype},
                           {"itemidhash", Hex32(e.itemidhash)},
                           {"title", Text(e.title)},
                           {"item", Ref(e.item)},
                           {"color", Hex32(e.color)}});
    }
    o["entries"] = std::move(entries);
}

void AddHistogram(json& o, const ADXHistogram& h) {
    o["xidhash"] = Hex32(h.xidhash);
    o["yidhash"] = Hex32(h.yidhash);
    o["zidhash"] = Hex32(h.zidhash);
    o["flags"] = Hex32(h.flags);
    o["rows"] = h.rows();
    o["cols"] = h.cols();
    o["xmin"] = Number(h.xmin());
    o["xmax"] = Number(h.xmax());
    o["ymin"] = Number(h.ymin());
    o["ymax"] = Number(h.ymax());
    o["historysize"] = h.GetHistorySize();
    o["parentcmdidhash"] = Hex32(h.parentcmdidhash);
    o["x"] = Ref(h.x());
    o["y"] = Ref(h.y());
    o["z"] = Ref(h.z());
}

void AddDashboard(json& o, const ADXDashboard& d) {
    o["flags"] = Hex32(d.flags);
    json entries = json::array();
    for (const auto& e : d.entries()) {
        entries.push_back({{"flags", Hex32(e.flags)},
                           {"gaugetype", e.gaugetype},
                           {"top", e.top},
                           {"left", e.left},
                           {"bottom", e.bottom},
                           {"right", e.right},
                           {"item", Ref(e.item)},
                           {"itemidhash", Hex32(e.itemidhash)}});
    }
    o["entries"] = std::move(entries);
    o["entrycount"] = d.count();
}

void AddMonitor(json& o, const ADXMonitor& m) {
    o["flags"] = Hex32(m.flags);
    json series = json::array();
    for (const auto& s : m.series()) {
        series.push_back({{"flags", Hex32(s.flags)},
                          {"linecolor", Hex32(s.linecolor)},
                          {"axiscolor", Hex32(s.axiscolor)},
                          {"linewidth", s.linewidth},
                          {"linetype", s.linetype},
                          {"item", Ref(s.item)},
                          {"itemidhash", Hex32(s.itemidhash)}});
    }
    o["series"] = std::move(series);
    o["seriescount"] = m.count();
}

void AddMacro(json& o, const ADXMacro& m) {
    o["flags"] = Hex32(m.flags);
    o["repeatcount"] = m.repeatcount;
    json nodes = json::array();
    for (const auto& n : m.nodes()) {
        nodes.push_back({{"command", Ref(n.command)},
                         {"commandID", Latin1ToUtf8(n.command_id())},
                         {"flags", Hex32(n.flags)},
                         {"repeatcount", n.repeatcount}});
    }
    o["nodes"] = std::move(nodes);
}

void AddCommand(json& o, const ADXObject& object) {
    if (auto* s = As<ADXCSendCommand>(&object)) {
        o["bytes"] = Bytes(s->bytes());
        o["size"] = s->bytes().size();
        o["replysize"] = s->replysize;
        o["replytimeout"] = s->replytimeout;
        o["packetoffset"] = s->packetoffset;
        o["packetsize"] = s->packetsize;
        o["flags"] = Hex32(s->flags);
    } else if (auto* l = As<ADXCListenSilence>(&object)) {
        o["silencelen"] = l->silencelen;
        o["totaltimeout"] = l->totaltimeout;
    } else if (auto* c = As<ADXCListenChatter>(&object)) {
        o["listentimeout"] = c->listentimeout;
        o["bytes"] = Bytes(c->bytes());
        o["size"] = c->bytes().size();
        o["flags"] = Hex32(c->flags);
    } else if (auto* b = As<ADXC160BaudListen>(&object)) {
        o["flags"] = Hex32(b->flags);
        o["packetsize"] = b->packetsize;
    } else if (auto* t = As<ADXCTrigger>(&object)) {
        o["triggertype"] = Hex32(t->triggertype);
        o["flags"] = Hex32(t->flags);
    } else if (auto* m = As<ADXMacro>(&object)) {
        AddMacro(o, *m);
    }
}

const char* ClassName(uint32_t type) {
    switch (type) {
        case ADXTYPE_VALUE:
            return "ADXValue";
        case ADXTYPE_BITMASK:
            return "ADXBitmask";
        case ADXTYPE_DASHBOARD:
            return "ADXDashboard";
        case ADXTYPE_MONITOR:
            return "ADXMonitor";
        case ADXTYPE_HISTOGRAM:
            return "ADXHistogram";
        case ADXTYPE_LISTVIEW:
            return "ADXListView";
        case ADXTYPE_LOOKUPTABLE:
            return "ADXLookupTable";
        case ADXTYPE_MACRO:
            return "ADXMacro";
        case ADXTYPE_SENDCOMMAND:
            return "ADXCSendCommand";
        case ADXTYPE_LISTENSILENCE:
            return "ADXCListenSilence";
        case ADXTYPE_LISTENCHATTER:
            return "ADXCListenChatter";
        case ADXTYPE_160BAUDLISTEN:
            return "ADXC160BaudListen";
        case ADXTYPE_TRIGGER:
            return "ADXCTrigger";
        default:
            return "ADXObject";
    }
}

json ObjectToJson(const ADXObject& object) {
    json o;
    o["class"] = ClassName(object.type());
    o["type"] = object.type();
    o["id"] = Latin1ToUtf8(object.id());
    o["idhash"] = Hex32(object.idhash());
    o["title"] = Text(object.title());
    o["desc"] = Text(object.desc());
    o["baseflags"] = Hex32(object.baseflags);
    if (auto* v = As<ADXValue>(&object)) {
        AddValue(o, *v);
    } else if (auto* b = As<ADXBitmask>(&object)) {
        AddBitmask(o, *b);
    } else if (auto* t = As<ADXLookupTable>(&object)) {
        AddLookupTable(o, *t);
    } else if (auto* l = As<ADXListView>(&object)) {
        AddListView(o, *l);
    } else if (auto* h = As<ADXHistogram>(&object)) {
        AddHistogram(o, *h);
    } else if (auto* d = As<ADXDashboard>(&object)) {
        AddDashboard(o, *d);
    } else if (auto* m = As<ADXMonitor>(&object)) {
        AddMonitor(o, *m);
    } else {
        AddCommand(o, object);
    }
    return o;
}

}  // namespace

std::string LoadFailureMessage(const std::string& path, const std::string& error,
                               const ADXDefinition& definition) {
    if (error.empty())
        return path + ": not an ADX definition (no ADXFORMAT element with a version)";
    std::string message = path + ": " + Latin1ToUtf8(error);
    if (!definition.load_error_location.empty()) {
        message += " (" + definition.load_error_location + ")";
    }
    return message;
}

void WarnAboutLoad(const ADXDefinition& definition) {
    if (definition.load_warning.empty()) return;
    std::fprintf(stderr, "korvit-cli: warning: %s\n",
                 Latin1ToUtf8(definition.load_warning).c_str());
}

nlohmann::ordered_json DefinitionToJson(const ADXDefinition& definition) {
    json header;
    header["flags"] = Hex32(definition.flags);
    header["userversion"] = Text(definition.userversion());
    header["author"] = Text(definition.author());
    header["desc"] = Text(definition.desc());
    header["baud"] = definition.baud;
    header["connect"] = Ref(definition.connect_command);
    header["monitor"] = Ref(definition.monitor_command);
    header["disconnect"] = Ref(definition.disconnect_command);
    json objects = json::array();
    for (const auto& object : definition.objects()) objects.push_back(ObjectToJson(*object));
    json root;
    root["header"] = std::move(header);
    root["objects"] = std::move(objects);
    return root;
}

}  // namespace korvit::cli
