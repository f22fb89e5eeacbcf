// Load and Save of ADX files: the reader feeding the parser, and the writer's document layout.
#include <ctime>

#include "definition/adx_definition.h"
#include "definition/adx_parser.h"
#include "definition/adx_write_common.h"
#include "definition/xml/sax_reader.h"
#include "definition/xml/xml_writer.h"
#include "platform/file_io.h"

namespace korvit::definition {
namespace {

constexpr const char* kFormatVersion = "0.50";

template <typename Parse>
int LoadWith(ADXDefinition& definition, std::string& error, IProgress* progress, Parse parse) {
    definition.Reset();
    error.clear();
    ADXParser parser(definition, progress);
    xml::SAXReader reader;
    reader.Attach(&parser);
    parse(reader);
    if (progress != nullptr) progress->SetPosition(0);
    error = parser.error();
    definition.load_warning = parser.warning();
    definition.load_error_location = parser.error_location();
    return parser.succeeded() ? 1 : 0;
}

std::string WrittenComment() {
    const std::time_t now = std::time(nullptr);
    const std::tm local = platform::LocalTime(now);
    char text[64];
    std::snprintf(text, sizeof text, "Written %.2i/%.2i/%.4i %.2i:%.2i:%.2i", local.tm_mon + 1,
                  local.tm_mday, local.tm_year + 1900, local.tm_hour, local.tm_min, local.tm_sec);
    return text;
}

std::string CommandID(const ADXObject* command) {
    char id[kMaxIDLength];
    const size_t n = command->GetID(id, sizeof id);
    return adx::Escaped(std::string_view(id, n));
}

}  // namespace

int ADXDefinition::Load(const std::string& path, std::string& error, IProgress* progress) {
    return LoadWith(*this, error, progress,
                    [&](xml::SAXReader& reader) { reader.ParseFile(path); });
}

int ADXDefinition::LoadBuffer(const void* data, size_t size, std::string& error,
                              IProgress* progress, const std::string& name) {
    return LoadWith(*this, error, progress,
                    [&](xml::SAXReader& reader) { reader.ParseBuffer(data, size, name); });
}

int ADXDefinition::Save(const std::string& path, IProgress* progress) const {
    xml::XMLWriter w;
    if (path.empty() || w.OpenFile(path) == 0) {
        if (progress != nullptr) progress->SetPosition(0);
        return 0;
    }
    if (progress != nullptr) progress->SetRange(static_cast<uint32_t>(objects_.size()));
    w.SetIndent(4);
    w.BeginElement("ADXFORMAT");
    w.Attribute("version", kFormatVersion);
    w.EndElement();
    w.Comment(WrittenComment());

    w.BeginElement("ADXHEADER");
    w.Element("flags", adx::H2(flags));
    w.Element("objectcount", static_cast<int32_t>(objects_.size()));
    adx::WriteTextIfAny(w, "userversion", userversion_);
    adx::WriteTextIfAny(w, "author", author_);
    adx::WriteTextIfAny(w, "desc", desc_);
    w.Element("baud", static_cast<int32_t>(baud));
    if (connect_command != nullptr) w.Element("connectcmd", CommandID(connect_command));
    if (monitor_command != nullptr) w.Element("monitorcmd", CommandID(monitor_command));
    if (disconnect_command != nullptr) w.Element("disconnectcmd", CommandID(disconnect_command));
    w.EndElement();

    for (const auto& object : objects_) {
        // A line feed of its own leaves an empty line before each object.
        w.Text("\n");
        object->WriteXML(&w);
        if (progress != nullptr) progress->Step();
    }
    const int closed = w.Close();
    if (progress != nullptr) progress->SetPosition(0);
    return closed;
}

}  // namespace korvit::definition
