#include "problems.h"

#include <cstdio>
#include <string_view>
#include <unordered_map>

#include "field_table.h"

namespace korvit::editor {

using namespace definition;

namespace {

std::string Quote(std::string_view id) {
    // Appended piece by piece: GCC 12 warns falsely (-Wrestrict) on a literal put in front.
    std::string quoted;
    quoted.reserve(id.size() + 2);
    quoted += '"';
    quoted += id;
    quoted += '"';
    return quoted;
}

std::string Hex(uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08X", v);
    return buf;
}

class Checker {
  public:
    explicit Checker(const ADXDefinition& def) : def_(def) {
        by_hash_.reserve(def.size() * 2);
        for (const auto& o : def.objects()) by_hash_.emplace(o->idhash(), o.get());
    }

    std::vector<Problem> Run() {
        CheckHeader();
        CheckIds();
        for (const auto& o : def_.objects()) CheckObject(*o);
        return std::move(out_);
    }

  private:
    void Add(Problem::Kind kind, const ADXObject* o, const char* field, std::string text) {
        out_.push_back(Problem{kind, o, field, std::move(text)});
    }

    const ADXObject* Find(uint32_t hash) const {
        if (hash == 0) return nullptr;
        const auto it = by_hash_.find(hash);
        return it == by_hash_.end() ? nullptr : it->second;
    }

    /// A hash reference: 0 is "none" (allowed when `optional`); otherwise it must name an object
    /// of one of the classes in `mask`.
    void CheckHashRef(const ADXObject& o, const char* field, const char* what, uint32_t hash,
                      uint32_t mask, bool optional) {
        if (hash == 0) {
            if (!optional)
                Add(Problem::kUnresolvedReference, &o, field, std::string(what) + " is not set");
            return;
        }
        const ADXObject* target = Find(hash);
        if (target == nullptr) {
            Add(Problem::kUnresolvedReference, &o, field,
                std::string(what) + " " + Hex(hash) + " names no object");
        } else if ((target->type() & mask) == 0) {
            Add(Problem::kUnresolvedReference, &o, field,
                std::string(what) + " names " + Quote(target->id()) + ", a " +
                    ClassLabel(target->type()));
        }
    }

    void CheckHeader() {
        if (def_.monitor_command == nullptr) {
            Add(Problem::kUnresolvedReference, nullptr, "monitor",
                "No monitor command: a scan sends nothing");
        }
        if (def_.baud == 0) Add(Problem::kOther, nullptr, "baud", "Baud rate is 0");
    }

    void CheckIds() {
        std::unordered_map<std::string_view, const ADXObject*> by_id;
        std::unordered_map<uint32_t, const ADXObject*> first_of_hash;
        for (const auto& p : def_.objects()) {
            const ADXObject* o = p.get();
            if (o->id().empty()) {
                Add(Problem::kDuplicateId, o, "id", "Empty id: nothing can refer to this object");
                continue;
            }
            const auto [it, fresh] = by_id.emplace(o->id(), o);
            if (!fresh) {
                Add(Problem::kDuplicateId, o, "id",
                    "Duplicate id " + Quote(o->id()) + ": references find the first one");
                continue;
            }
            const auto [hit, hash_fresh] = first_of_hash.emplace(o->idhash(), o);
            if (!hash_fresh) {
                Add(Problem::kHashCollision, o, "id",
                    "Id " + Quote(o->id()) + " has the same hash " + Hex(o->idhash()) + " as " +
                        Quote(hit->second->id()) + ": references by hash find the first one");
            }
        }
    }

    /// Size of the packet of the command `hash`, when it names one that holds a packet.
    bool PacketSize(uint32_t hash, uint32_t& size) const {
        const ADXObject* cmd = Find(hash);
        if (const auto* send = As<ADXCSendCommand>(cmd)) {
            size = send->packetsize;
            return true;
        }
        if (const auto* listen = As<ADXC160BaudListen>(cmd)) {
            size = listen->packetsize;
            return true;
        }
        return false;
    }

    void CheckPlacement(const ADXObject& o, uint32_t parent, uint32_t offset, uint32_t bits) {
        if (bits != 8 && bits != 16 && bits != 24 && bits != 32) {
            Add(Problem::kOutsidePacket, &o, "sizeinbits",
                "Size of " + std::to_string(bits) + " bits: only 8, 16, 24 and 32 decode");
        }
        uint32_t size = 0;
        if (!PacketSize(parent, size)) return;
        const uint64_t end = uint64_t{offset} + bits / 8;
        if (end > size) {
            Add(Problem::kOutsidePacket, &o, "packetoffset",
                "Bytes " + std::to_string(offset) + " to " + std::to_string(end - 1) +
                    " lie outside the " + std::to_string(size) + "-byte packet of " +
                    Quote(Find(parent)->id()));
        }
    }

    void CheckEquation(const ADXValue& v) {
        const std::string_view text = v.expression().text();
        if (text.empty()) {
            Add(Problem::kEquation, &v, "equation", "Empty equation: the value always reads 0");
            return;
        }
        char postfix[evaluation::ADXEquation::kTextCapacity];
        const int code = evaluation::ADXEquation::ToPostfix(text, postfix, sizeof postfix);
        if (code != evaluation::ADXEquation::kOk) {
            Add(Problem::kEquation, &v, "equation",
                code == evaluation::ADXEquation::kUnbalanced
                    ? "Equation has unbalanced parentheses"
                    : "Equation has an operand that is not a number or a letter");
            return;
        }
        evaluation::ADXEquation eq;
        if (eq.SetEquation(text) == 0) {
            Add(Problem::kEquation, &v, "equation", "Equation has more than 32 letters");
            return;
        }
        evaluation::ADXEquation::Frame frame;
        frame.values.fill(0.7311);
        std::array<char, evaluation::ADXEquation::kTextCapacity> substituted{};
        if (!eq.Substitute(frame, substituted)) {
            Add(Problem::kEquation, &v, "equation", "Equation is too long once numbers are put in");
            return;
        }
        double result = 0.0;
        const int eval = evaluation::ADXEquation::EvaluatePostfix(substituted.data(), result);
        if (eval == evaluation::ADXEquation::kMissingOperand) {
            Add(Problem::kEquation, &v, "equation",
                "Equation does not evaluate: an operator lacks an operand");
        } else if (eval == evaluation::ADXEquation::kBadOperand) {
            Add(Problem::kEquation, &v, "equation",
                "Equation does not evaluate: a term is not a number");
        } else if (eval == evaluation::ADXEquation::kLeftOver) {
            Add(Problem::kEquation, &v, "equation",
                "Equation does not evaluate: terms without an operator between them");
        }
        for (const ADXValueVar& var : v.vars()) {
            if (var.type == ADXValueVar::kLink) {
                CheckHashRef(v, "equation", (std::string("Link of ") + var.varID).c_str(),
                             var.linkIDHash, ADXTYPE_VALUE, false);
                if (var.linkIDHash == v.idhash()) {
                    Add(Problem::kEquation, &v, "equation",
                        std::string("Letter ") + var.varID + " links to the value itself");
                }
            }
        }
    }

    void CheckItem(const ADXObject& o, const char* field, const char* what, const ADXObject* item,
                   uint32_t hash, uint32_t mask) {
        if (item == nullptr) {
            Add(Problem::kMissingItem, &o, field,
                hash != 0
                    ? std::string(what) + " names " + Hex(hash) + ", which is not in the definition"
                    : std::string(what) + " has no item");
        } else if ((item->type() & mask) == 0) {
            Add(Problem::kUnresolvedReference, &o, field,
                std::string(what) + " shows " + Quote(item->id()) + ", a " +
                    ClassLabel(item->type()));
        }
    }

    void CheckObject(const ADXObject& o) {
        if (const auto* v = As<ADXValue>(&o)) {
            CheckHashRef(o, "parentcmdidhash", "Command", v->parentcmdidhash, kPacketCommands,
                         true);
            CheckPlacement(o, v->parentcmdidhash, v->packetoffset, v->sizeinbits);
            CheckEquation(*v);
            if (v->lookupidhash != 0 && v->lookup == nullptr) {
                CheckHashRef(o, "lookup", "Lookup table", v->lookupidhash, ADXTYPE_LOOKUPTABLE,
                             true);
            }
            if (v->lookup != nullptr && v->lookup->entries().empty()) {
                Add(Problem::kLookupOrder, &o, "lookup",
                    "Lookup table " + Quote(v->lookup->id()) +
                        " has no entries: the value reads 0");
            }
            if (v->outputtype > 3)
                Add(Problem::kOther, &o, "outputtype", "Output type above 3 shows no text");
        } else if (const auto* b = As<ADXBitmask>(&o)) {
            CheckHashRef(o, "parentcmdidhash", "Command", b->parentcmdidhash, kPacketCommands,
                         true);
            CheckPlacement(o, b->parentcmdidhash, b->packetoffset, b->sizeinbits);
            if (b->bitop > 1)
                Add(Problem::kOther, &o, "bitop",
                    "Operation is neither AND nor XOR and is not saved");
        } else if (const auto* t = As<ADXLookupTable>(&o)) {
            const auto& e = t->entries();
            for (size_t i = 1; i < e.size(); ++i) {
                if (!(e[i - 1].input < e[i].input)) {
                    Add(Problem::kLookupOrder, &o, "entries",
                        "Row " + std::to_string(i + 1) +
                            " is not above the row before it: look-ups need ascending inputs");
                    break;
                }
            }
        } else if (const auto* l = As<ADXListView>(&o)) {
            for (size_t i = 0; i < l->entries().size(); ++i) {
                const ADXListViewEntry& e = l->entries()[i];
                if (e.entrytype != ADXListViewEntry::kItem) continue;
                const std::string what = "Row " + std::to_string(i + 1);
                CheckItem(o, "entries", what.c_str(), e.item, e.itemidhash, kItems);
            }
        } else if (const auto* d = As<ADXDashboard>(&o)) {
            for (size_t i = 0; i < d->entries().size(); ++i) {
                const ADXDashboardEntry& e = d->entries()[i];
                const std::string what = "Gauge " + std::to_string(i + 1);
                const uint32_t mask = e.gaugetype == 2 ? ADXTYPE_BITMASK : ADXTYPE_VALUE;
                CheckItem(o, "entries", what.c_str(), e.item, e.itemidhash, mask);
                if (e.left >= e.right || e.top >= e.bottom) {
                    Add(Problem::kOther, &o, "entries", what + " has an empty rectangle");
                }
            }
        } else if (const auto* m = As<ADXMonitor>(&o)) {
            for (size_t i = 0; i < m->series().size(); ++i) {
                const ADXMonitorSeries& s = m->series()[i];
                const std::string what = "Series " + std::to_string(i + 1);
                CheckItem(o, "series", what.c_str(), s.item, s.itemidhash, ADXTYPE_VALUE);
            }
        } else if (const auto* h = As<ADXHistogram>(&o)) {
            CheckHashRef(o, "parentcmdidhash", "Command", h->parentcmdidhash, kPacketCommands,
                         true);
            if (h->x() == nullptr) Add(Problem::kMissingItem, &o, "x", "No X axis value");
            if (h->y() == nullptr) Add(Problem::kMissingItem, &o, "y", "No Y axis value");
            if (h->z() == nullptr) Add(Problem::kMissingItem, &o, "z", "No cell value");
            if (h->rows() == 0 || h->cols() == 0)
                Add(Problem::kOther, &o, "rows", "Histogram has no cells");
        } else if (const auto* mac = As<ADXMacro>(&o)) {
            for (size_t i = 0; i < mac->nodes().size(); ++i) {
                const ADXMacroNode& n = mac->nodes()[i];
                if (n.command == nullptr) {
                    Add(Problem::kUnresolvedReference, &o, "nodes",
                        "Step " + std::to_string(i + 1) + " has no command and is not saved");
                } else if (n.command == &o) {
                    Add(Problem::kOther, &o, "nodes",
                        "Step " + std::to_string(i + 1) + " runs the macro itself");
                }
            }
        } else if (const auto* s = As<ADXCSendCommand>(&o)) {
            if (s->bytes().empty()) Add(Problem::kOther, &o, "bytes", "Sends no bytes");
            if ((s->flags & 1) != 0 && uint64_t{s->packetoffset} + s->packetsize > s->replysize) {
                Add(Problem::kOutsidePacket, &o, "packetsize",
                    "Packet runs past the end of the reply");
            }
        }
    }

    const ADXDefinition& def_;
    std::unordered_map<uint32_t, const ADXObject*> by_hash_;
    std::vector<Problem> out_;
};

}  // namespace

std::vector<Problem> FindProblems(const ADXDefinition& definition) {
    return Checker(definition).Run();
}

const char* ProblemKindName(Problem::Kind kind) {
    switch (kind) {
        case Problem::kDuplicateId:
            return "Id";
        case Problem::kHashCollision:
            return "Id hash";
        case Problem::kUnresolvedReference:
            return "Reference";
        case Problem::kOutsidePacket:
            return "Packet";
        case Problem::kLookupOrder:
            return "Lookup";
        case Problem::kEquation:
            return "Equation";
        case Problem::kMissingItem:
            return "Item";
        case Problem::kOther:
            return "Other";
    }
    return "Other";
}

}  // namespace korvit::editor
