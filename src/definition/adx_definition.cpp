#include "definition/adx_definition.h"

#include <cstring>
#include <string>
#include <unordered_map>

#include "definition/adx_dashboard.h"
#include "definition/adx_histogram.h"
#include "definition/adx_list_view.h"
#include "definition/adx_lookup_table.h"
#include "definition/adx_macro.h"
#include "definition/adx_monitor.h"
#include "definition/adx_value.h"

namespace korvit::definition {
namespace {

void SetHeaderText(OwnedText& field, const char* text, size_t length) {
    if (text == nullptr || length == 0 || text[0] == '\0') {
        field.Clear();
        return;
    }
    field.Set(text, length);
}

}  // namespace

void ADXDefinition::Reset() {
    load_warning.clear();
    load_error_location.clear();
    userversion_.Clear();
    author_.Clear();
    desc_.Clear();
    connect_command = nullptr;
    monitor_command = nullptr;
    disconnect_command = nullptr;
    objects_.clear();
    flags = 0;
    baud = kDefaultBaud;
}

int ADXDefinition::Insert(std::unique_ptr<ADXObject> object, size_t index) {
    if (!object) return 0;
    if (index >= objects_.size()) {
        objects_.push_back(std::move(object));
    } else {
        objects_.insert(objects_.begin() + static_cast<std::ptrdiff_t>(index), std::move(object));
    }
    return 1;
}

std::unique_ptr<ADXObject> ADXDefinition::Remove(size_t index) {
    if (index >= objects_.size()) return nullptr;
    std::unique_ptr<ADXObject> object = std::move(objects_[index]);
    objects_.erase(objects_.begin() + static_cast<std::ptrdiff_t>(index));
    if (connect_command == object.get()) connect_command = nullptr;
    if (monitor_command == object.get()) monitor_command = nullptr;
    if (disconnect_command == object.get()) disconnect_command = nullptr;
    return object;
}

size_t ADXDefinition::IndexOf(const ADXObject* object) const {
    for (size_t i = 0; i < objects_.size(); ++i) {
        if (objects_[i].get() == object) return i;
    }
    return SIZE_MAX;
}

ADXObject* ADXDefinition::NthOfType(uint32_t mask, size_t n) const {
    for (const auto& object : objects_) {
        if ((object->type() & mask) == 0) continue;
        if (n == 0) return object.get();
        --n;
    }
    return nullptr;
}

ADXObject* ADXDefinition::FindByID(const char* text) const {
    if (text == nullptr) return nullptr;
    return FindByID(std::string_view(text));
}

ADXObject* ADXDefinition::FindByID(std::string_view text) const {
    char buf[kMaxIDLength];
    for (const auto& object : objects_) {
        const size_t n = object->GetID(buf, sizeof buf);
        if (std::string_view(buf, n) == text) return object.get();
    }
    return nullptr;
}

ADXObject* ADXDefinition::FindByHash(uint32_t hash) const {
    if (hash == 0) return nullptr;
    for (const auto& object : objects_) {
        if (object->idhash() == hash) return object.get();
    }
    return nullptr;
}

void ADXDefinition::ResolveReferences(const HeaderCommandIDs& header_commands) {
    // Indexes that answer as FindByHash and FindByID would (the first object in list order
    // wins), so resolving stays linear in the number of references.
    std::unordered_map<uint32_t, ADXObject*> by_hash;
    std::unordered_map<std::string, ADXObject*> by_id;
    by_hash.reserve(objects_.size());
    by_id.reserve(objects_.size());
    for (const auto& object : objects_) {
        if (object->idhash() != 0) by_hash.emplace(object->idhash(), object.get());
        char id[kMaxIDLength];
        const size_t n = object->GetID(id, sizeof id);
        by_id.emplace(std::string(id, n), object.get());
    }
    auto hash = [&by_hash](uint32_t h) -> ADXObject* {
        const auto it = by_hash.find(h);
        return it != by_hash.end() ? it->second : nullptr;
    };
    auto text = [&by_id](std::string_view id) -> ADXObject* {
        const auto it = by_id.find(std::string(id));
        return it != by_id.end() ? it->second : nullptr;
    };

    for (const auto& object : objects_) {
        ADXObject* o = object.get();
        if (auto* list = As<ADXListView>(o)) {
            for (auto& entry : list->entries()) {
                if (entry.entrytype == ADXListViewEntry::kItem) entry.item = hash(entry.itemidhash);
            }
        } else if (auto* macro = As<ADXMacro>(o)) {
            for (auto& node : macro->nodes()) node.command = text(node.command_id());
        } else if (auto* histogram = As<ADXHistogram>(o)) {
            histogram->SetX(hash(histogram->xidhash));
            histogram->SetY(hash(histogram->yidhash));
            histogram->SetZ(hash(histogram->zidhash));
        } else if (auto* value = As<ADXValue>(o)) {
            value->lookup = As<ADXLookupTable>(hash(value->lookupidhash));
        } else if (auto* dash = As<ADXDashboard>(o)) {
            for (auto& entry : dash->entries()) entry.item = hash(entry.itemidhash);
        } else if (auto* monitor = As<ADXMonitor>(o)) {
            // A series whose item is missing is dropped; the next one takes its place.
            auto& series = monitor->series();
            for (size_t i = 0; i < series.size();) {
                series[i].item = hash(series[i].itemidhash);
                if (series[i].item == nullptr) {
                    monitor->Remove(i);
                } else {
                    ++i;
                }
            }
        }
    }
    auto command = [&text](const std::optional<std::string>& id) -> ADXObject* {
        return id ? text(std::string_view(*id).substr(0, kMaxIDRefLength)) : nullptr;
    };
    monitor_command = command(header_commands.monitor);
    connect_command = command(header_commands.connect);
    disconnect_command = command(header_commands.disconnect);
}

void ADXDefinition::SetUserVersion(const char* text, size_t length) {
    SetHeaderText(userversion_, text, length);
}
void ADXDefinition::SetAuthor(const char* text, size_t length) {
    SetHeaderText(author_, text, length);
}
void ADXDefinition::SetDesc(const char* text, size_t length) {
    SetHeaderText(desc_, text, length);
}

}  // namespace korvit::definition
