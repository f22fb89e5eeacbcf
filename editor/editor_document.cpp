#include "editor_document.h"

#include <QUndoCommand>
#include <unordered_set>

namespace korvit::editor {

using namespace definition;

uint32_t GroupOf(uint32_t type) {
    constexpr uint32_t kCommands = ADXTYPE_SENDCOMMAND | ADXTYPE_LISTENSILENCE |
                                   ADXTYPE_LISTENCHATTER | ADXTYPE_160BAUDLISTEN | ADXTYPE_TRIGGER;
    return (type & kCommands) != 0 ? ADXTYPE_SENDCOMMAND : type;
}

/// Field values of some objects before and after one user action. Redo writes the after
/// state, undo the before state, field by field through the field table.
class StateCommand : public QUndoCommand {
  public:
    StateCommand(EditorDocument* doc, std::vector<ADXObject*> targets,
                 std::vector<std::vector<QVariant>> before, int field, bool mergeable,
                 const QString& text)
        : QUndoCommand(text),
          doc_(doc),
          targets_(std::move(targets)),
          before_(std::move(before)),
          field_(field),
          mergeable_(mergeable) {
        for (ADXObject* t : targets_) after_.push_back(Snapshot(doc_->definition(), t));
    }

    void undo() override { Apply(before_); }
    void redo() override {
        if (first_) {
            first_ = false;  // the change is already made; just tell the views
            for (ADXObject* t : targets_) doc_->NotifyChanged(t);
            return;
        }
        Apply(after_);
    }
    int id() const override { return mergeable_ ? 1 : -1; }
    bool mergeWith(const QUndoCommand* other) override {
        const auto* o = static_cast<const StateCommand*>(other);
        if (!o->mergeable_ || o->field_ != field_ || o->targets_ != targets_) return false;
        after_ = o->after_;
        return true;
    }

  private:
    void Apply(const std::vector<std::vector<QVariant>>& state) {
        for (size_t i = 0; i < targets_.size(); ++i)
            Restore(doc_->definition(), targets_[i], state[i]);
        for (ADXObject* t : targets_) doc_->NotifyChanged(t);
    }

    EditorDocument* doc_;
    std::vector<ADXObject*> targets_;
    std::vector<std::vector<QVariant>> before_;
    std::vector<std::vector<QVariant>> after_;
    int field_;
    bool mergeable_;
    bool first_ = true;
};

/// Inserting, removing or moving one object. The command owns the object while it is out of the
/// definition.
class ListCommand : public QUndoCommand {
  public:
    enum Op { kInsert, kRemove, kMove };
    ListCommand(EditorDocument* doc, Op op, size_t from, size_t to,
                std::unique_ptr<ADXObject> object, const QString& text)
        : QUndoCommand(text), doc_(doc), op_(op), from_(from), to_(to), held_(std::move(object)) {}

    void redo() override {
        ADXDefinition& d = doc_->definition();
        if (op_ == kInsert) d.Insert(std::move(held_), to_);
        if (op_ == kRemove) held_ = d.Remove(from_);
        if (op_ == kMove) d.Insert(d.Remove(from_), to_);
        doc_->NotifyStructure();
    }
    void undo() override {
        ADXDefinition& d = doc_->definition();
        if (op_ == kInsert) held_ = d.Remove(to_);
        if (op_ == kRemove) d.Insert(std::move(held_), from_);
        if (op_ == kMove) d.Insert(d.Remove(to_), from_);
        doc_->NotifyStructure();
    }

  private:
    EditorDocument* doc_;
    Op op_;
    size_t from_;
    size_t to_;
    std::unique_ptr<ADXObject> held_;
};

namespace {

/// Replaces, anywhere inside `value`, the references to `target` by `replacement`. A reference
/// kept only as a hash matches when it carries the target's old hash and the target is the
/// object that hash finds. Returns whether anything matched.
bool ReplaceRefs(QVariant& value, const ADXObject* target, uint32_t old_hash, bool target_first,
                 const RefValue& replacement) {
    if (value.metaType() == QMetaType::fromType<RefValue>()) {
        const auto ref = value.value<RefValue>();
        const bool match = ref.object == target || (ref.object == nullptr && old_hash != 0 &&
                                                    ref.hash == old_hash && target_first);
        if (match) value = QVariant::fromValue(replacement);
        return match;
    }
    if (value.metaType() == QMetaType::fromType<QVariantList>()) {
        QVariantList list = value.toList();
        bool any = false;
        for (QVariant& item : list)
            any = ReplaceRefs(item, target, old_hash, target_first, replacement) || any;
        if (any) value = list;
        return any;
    }
    return false;
}

bool MayRefer(const FieldDesc& f, uint32_t target_type) {
    if (f.kind == FieldKind::kReference || f.kind == FieldKind::kEquation)
        return (f.ref_mask & target_type) != 0;
    if (f.kind != FieldKind::kTable) return false;
    for (const Column& c : f.columns) {
        if (c.kind == FieldKind::kReference && (c.ref_mask & target_type) != 0) return true;
    }
    return false;
}

const char* IdStem(uint32_t type) {
    switch (type) {
        case ADXTYPE_VALUE:
            return "value";
        case ADXTYPE_BITMASK:
            return "bit";
        case ADXTYPE_DASHBOARD:
            return "dash";
        case ADXTYPE_MONITOR:
            return "monitor";
        case ADXTYPE_HISTOGRAM:
            return "histogram";
        case ADXTYPE_LISTVIEW:
            return "list";
        case ADXTYPE_LOOKUPTABLE:
            return "table";
        case ADXTYPE_MACRO:
            return "macro";
        case ADXTYPE_SENDCOMMAND:
            return "send";
        case ADXTYPE_LISTENSILENCE:
            return "silence";
        case ADXTYPE_LISTENCHATTER:
            return "chatter";
        case ADXTYPE_160BAUDLISTEN:
            return "listen160_";
        case ADXTYPE_TRIGGER:
            return "trigger";
        default:
            return "object";
    }
}

}  // namespace

EditorDocument::EditorDocument() = default;

EditorDocument::~EditorDocument() {
    // Commands may own removed objects that the definition's references no longer name.
    undo_.clear();
}

bool EditorDocument::Load(const QString& path, QString& error) {
    undo_.clear();
    std::string message;
    const bool ok = definition_.Load(path.toStdString(), message) != 0;
    if (!ok) {
        definition_.Reset();
        error = message.empty() ? QStringLiteral("not a definition file")
                                : QString::fromStdString(message);
        path_.clear();
    } else {
        path_ = path;
    }
    emit StructureChanged();
    return ok;
}

void EditorDocument::NewFromTemplate() {
    undo_.clear();
    path_.clear();
    definition_.Reset();
    definition_.baud = ADXDefinition::kDefaultBaud;
    definition_.SetDesc("New definition", 14);

    auto silence = std::make_unique<ADXCListenSilence>();
    silence->SetID("quiet");
    silence->SetTitle("Wait for a quiet line", 21);
    silence->silencelen = 20;
    silence->totaltimeout = 1000;
    definition_.connect_command = silence.get();
    definition_.Insert(std::move(silence));

    auto send = std::make_unique<ADXCSendCommand>();
    send->SetID("mode1");
    send->SetTitle("Mode 1 data request", 19);
    const uint8_t bytes[] = {0xF4, 0x57, 0x01, 0x00, 0xB4};
    send->SetBytes(bytes, sizeof bytes);
    send->flags = 1;
    send->replysize = 67;
    send->packetoffset = 3;
    send->packetsize = 63;
    const uint32_t send_hash = send->idhash();
    definition_.monitor_command = send.get();
    definition_.Insert(std::move(send));

    auto value = std::make_unique<ADXValue>();
    value->SetID("value1");
    value->SetTitle("First value", 11);
    value->parentcmdidhash = send_hash;
    value->SetValueEquation("X");
    ADXValue* value_ptr = value.get();
    definition_.Insert(std::move(value));

    auto list = std::make_unique<ADXListView>();
    list->SetID("list1");
    list->SetTitle("Engine", 6);
    ADXListViewEntry row;
    row.SetItem(value_ptr);
    list->Append(row);
    definition_.Insert(std::move(list));
    emit StructureChanged();
}

bool EditorDocument::Save(const QString& path, QString& error) {
    const QByteArray native = path.toLocal8Bit();
    if (native.isEmpty()) {
        error = QStringLiteral("No file name given");
        return false;
    }
    if (native.size() > kMaxPath) {
        error = QStringLiteral(
                    "The path has %1 characters; Korvit takes at most %2. Choose a shorter path.")
                    .arg(native.size())
                    .arg(kMaxPath);
        return false;
    }
    if (definition_.Save(native.toStdString()) == 0) {
        error = QStringLiteral("Cannot write %1").arg(path);
        return false;
    }
    path_ = path;
    undo_.setClean();
    return true;
}

std::vector<Referrer> EditorDocument::Referrers(const ADXObject* object) const {
    std::vector<Referrer> out;
    if (object == nullptr) return out;
    const uint32_t hash = object->idhash();
    const bool first = definition_.FindByHash(hash) == object;
    const auto scan = [&](ADXObject* holder) {
        const auto& fields = FieldsOf(holder != nullptr ? holder->type() : 0);
        for (size_t i = 0; i < fields.size(); ++i) {
            if (!MayRefer(fields[i], object->type())) continue;
            QVariant v = fields[i].get(definition_, holder);
            if (ReplaceRefs(v, object, hash, first, RefValue{}))
                out.push_back({holder, static_cast<int>(i)});
        }
    };
    scan(nullptr);
    for (const auto& o : definition_.objects()) scan(o.get());
    return out;
}

void EditorDocument::SetField(ADXObject* object, int field, const QVariant& value) {
    const auto& fields = FieldsOf(object != nullptr ? object->type() : 0);
    if (field < 0 || static_cast<size_t>(field) >= fields.size()) return;
    const FieldDesc& f = fields[static_cast<size_t>(field)];
    const QString text = QStringLiteral("Edit %1").arg(QString::fromStdString(f.label));
    if (f.kind == FieldKind::kId && object != nullptr) {
        // A rename: every reference to the object follows it to the new id.
        const uint32_t old_hash = object->idhash();
        const bool first = definition_.FindByHash(old_hash) == object;
        const std::vector<Referrer> refs = Referrers(object);
        std::vector<ADXObject*> targets{object};
        for (const Referrer& r : refs) {
            if (std::find(targets.begin(), targets.end(), r.object) == targets.end())
                targets.push_back(r.object);
        }
        std::vector<std::vector<QVariant>> before;
        for (ADXObject* t : targets) before.push_back(Snapshot(definition_, t));
        f.set(definition_, object, value);
        for (const Referrer& r : refs) {
            const FieldDesc& rf =
                FieldsOf(r.object != nullptr ? r.object->type() : 0)[static_cast<size_t>(r.field)];
            QVariant v = rf.get(definition_, r.object);
            ReplaceRefs(v, object, old_hash, first, RefTo(object));
            rf.set(definition_, r.object, v);
        }
        undo_.push(new StateCommand(this, targets, std::move(before), field, false,
                                    QStringLiteral("Rename")));
        return;
    }
    std::vector<std::vector<QVariant>> before{Snapshot(definition_, object)};
    if (before[0][static_cast<size_t>(field)] == value) return;
    f.set(definition_, object, value);
    const bool mergeable = f.kind == FieldKind::kText || f.kind == FieldKind::kUnsigned ||
                           f.kind == FieldKind::kFloat || f.kind == FieldKind::kHex ||
                           f.kind == FieldKind::kFlags || f.kind == FieldKind::kBytes ||
                           f.kind == FieldKind::kEquation;
    undo_.push(new StateCommand(this, {object}, std::move(before), field, mergeable, text));
}

std::string EditorDocument::FreshId(const std::string& stem) const {
    std::unordered_set<std::string_view> used;
    for (const auto& o : definition_.objects()) used.insert(o->id());
    const std::string base = stem.substr(0, kMaxIDLength - 3);
    for (int n = 1;; ++n) {
        const std::string id = base + std::to_string(n);
        if (id.size() <= kMaxIDLength && used.count(id) == 0) return id;
    }
}

size_t EditorDocument::GroupEnd(uint32_t type) const {
    size_t end = SIZE_MAX;
    const auto& objects = definition_.objects();
    for (size_t i = 0; i < objects.size(); ++i) {
        if (GroupOf(objects[i]->type()) == GroupOf(type)) end = i + 1;
    }
    return end;
}

ADXObject* EditorDocument::AddObject(uint32_t type) {
    std::unique_ptr<ADXObject> object = CreateObject(type);
    if (!object) return nullptr;
    object->SetID(FreshId(IdStem(type)));
    const char* label = ClassLabel(type);
    object->SetTitle(label, std::strlen(label));
    // New items decode the monitor command's packet, or the first send command's.
    uint32_t command = 0;
    if (As<ADXCSendCommand>(definition_.monitor_command) != nullptr) {
        command = definition_.monitor_command->idhash();
    } else if (ADXObject* send = definition_.NthOfType(kPacketCommands, 0)) {
        command = send->idhash();
    }
    if (auto* v = As<ADXValue>(object.get())) {
        v->parentcmdidhash = command;
        v->SetValueEquation("X");
    }
    if (auto* b = As<ADXBitmask>(object.get())) {
        b->parentcmdidhash = command;
        b->operand = b->result = 1;
    }
    ADXObject* raw = object.get();
    const size_t at = std::min(GroupEnd(type), definition_.size());
    undo_.push(new ListCommand(this, ListCommand::kInsert, 0, at, std::move(object),
                               QStringLiteral("Add %1").arg(label)));
    return raw;
}

ADXObject* EditorDocument::Duplicate(ADXObject* object) {
    const size_t index = definition_.IndexOf(object);
    if (index == SIZE_MAX) return nullptr;
    std::unique_ptr<ADXObject> copy = CreateObject(object->type());
    if (!copy) return nullptr;
    Restore(definition_, copy.get(), Snapshot(definition_, object));
    copy->SetID(FreshId(std::string(object->id().substr(0, 10)) + "_"));
    ADXObject* raw = copy.get();
    undo_.push(new ListCommand(
        this, ListCommand::kInsert, 0, index + 1, std::move(copy),
        QStringLiteral("Duplicate %1")
            .arg(QString::fromLatin1(object->id().data(),
                                     static_cast<qsizetype>(object->id().size())))));
    return raw;
}

void EditorDocument::Delete(ADXObject* object) {
    const size_t index = definition_.IndexOf(object);
    if (index == SIZE_MAX) return;
    const uint32_t hash = object->idhash();
    const bool first = definition_.FindByHash(hash) == object;
    const std::vector<Referrer> refs = Referrers(object);
    undo_.beginMacro(QStringLiteral("Delete %1")
                         .arg(QString::fromLatin1(object->id().data(),
                                                  static_cast<qsizetype>(object->id().size()))));
    if (!refs.empty()) {
        std::vector<ADXObject*> targets;
        for (const Referrer& r : refs) {
            if (std::find(targets.begin(), targets.end(), r.object) == targets.end())
                targets.push_back(r.object);
        }
        std::vector<std::vector<QVariant>> before;
        for (ADXObject* t : targets) before.push_back(Snapshot(definition_, t));
        for (const Referrer& r : refs) {
            const FieldDesc& rf =
                FieldsOf(r.object != nullptr ? r.object->type() : 0)[static_cast<size_t>(r.field)];
            QVariant v = rf.get(definition_, r.object);
            ReplaceRefs(v, object, hash, first, RefValue{});
            rf.set(definition_, r.object, v);
        }
        undo_.push(new StateCommand(this, targets, std::move(before), -1, false,
                                    QStringLiteral("Clear references")));
    }
    undo_.push(
        new ListCommand(this, ListCommand::kRemove, index, 0, nullptr, QStringLiteral("Remove")));
    undo_.endMacro();
}

bool EditorDocument::Move(ADXObject* object, int direction) {
    const size_t index = definition_.IndexOf(object);
    if (index == SIZE_MAX) return false;
    const auto& objects = definition_.objects();
    const uint32_t group = GroupOf(object->type());
    size_t other = SIZE_MAX;
    if (direction < 0) {
        for (size_t i = index; i-- > 0;) {
            if (GroupOf(objects[i]->type()) == group) {
                other = i;
                break;
            }
        }
    } else {
        for (size_t i = index + 1; i < objects.size(); ++i) {
            if (GroupOf(objects[i]->type()) == group) {
                other = i;
                break;
            }
        }
    }
    if (other == SIZE_MAX) return false;
    undo_.push(
        new ListCommand(this, ListCommand::kMove, index, other, nullptr,
                        direction < 0 ? QStringLiteral("Move up") : QStringLiteral("Move down")));
    return true;
}

}  // namespace korvit::editor
