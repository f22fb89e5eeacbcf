#include "field_table.h"

#include <cstdio>
#include <cstdlib>
#include <map>
#include <type_traits>

namespace korvit::editor {

using namespace definition;

namespace {

constexpr double kU32 = 4294967295.0;
constexpr double kFloatMax = 3.4e38;

using Getter = std::function<QVariant(const ADXDefinition&, const ADXObject*)>;
using Setter = std::function<void(ADXDefinition&, ADXObject*, const QVariant&)>;

QVariant TextOf(const OwnedText& text) {
    if (!text.present()) return QVariant();
    return QByteArray(text.view().data(), static_cast<qsizetype>(text.size()));
}

/// Calls `set(data, length)` with the text, or with null for none.
template <typename F>
void WithText(const QVariant& v, F set) {
    if (v.isNull()) {
        set(nullptr, 0);
    } else {
        const QByteArray bytes = v.toByteArray();
        set(bytes.constData(), static_cast<size_t>(bytes.size()));
    }
}

FieldDesc Make(const char* name, const char* label, FieldKind kind, Getter get, Setter set) {
    FieldDesc f;
    f.name = name;
    f.label = label;
    f.kind = kind;
    f.get = std::move(get);
    f.set = std::move(set);
    if (kind == FieldKind::kFlags || kind == FieldKind::kHex) f.max = kU32;
    if (kind == FieldKind::kColor) f.max = 0xFFFFFF;
    return f;
}

/// A public number member of class T.
template <typename T, typename M>
FieldDesc Member(const char* name, const char* label, FieldKind kind, M T::*member, double lo = 0,
                 double hi = kU32) {
    FieldDesc f = Make(
        name, label, kind,
        [member](const ADXDefinition&, const ADXObject* o) -> QVariant {
            const M& m = static_cast<const T*>(o)->*member;
            if constexpr (std::is_floating_point_v<M>) {
                return QVariant(static_cast<double>(m));
            } else {
                return QVariant(static_cast<qlonglong>(m));
            }
        },
        [member](ADXDefinition&, ADXObject* o, const QVariant& v) {
            M& m = static_cast<T*>(o)->*member;
            if constexpr (std::is_floating_point_v<M>) {
                m = static_cast<M>(v.toDouble());
            } else {
                m = static_cast<M>(v.toLongLong());
            }
        });
    if (kind != FieldKind::kFlags && kind != FieldKind::kHex && kind != FieldKind::kColor) {
        f.min = lo;
        f.max = hi;
    }
    return f;
}

FieldDesc WithChoices(FieldDesc f, std::vector<Choice> choices, const char* help = "") {
    f.choices = std::move(choices);
    f.help = help;
    return f;
}

FieldDesc Limited(FieldDesc f, size_t max_length) {
    f.max_length = max_length;
    return f;
}

/// A reference kept only as a hash (parentcmdidhash and the like).
template <typename T>
FieldDesc HashRef(const char* name, const char* label, uint32_t T::*member, uint32_t mask) {
    FieldDesc f = Make(
        name, label, FieldKind::kReference,
        [member](const ADXDefinition& d, const ADXObject* o) -> QVariant {
            (void)d;
            return QVariant::fromValue(RefValue{static_cast<const T*>(o)->*member, nullptr});
        },
        [member](ADXDefinition&, ADXObject* o, const QVariant& v) {
            static_cast<T*>(o)->*member = v.value<RefValue>().hash;
        });
    f.ref_mask = mask;
    return f;
}

std::vector<FieldDesc> Common() {
    std::vector<FieldDesc> f;
    f.push_back(Limited(
        Make(
            "id", "Id", FieldKind::kId,
            [](const ADXDefinition&, const ADXObject* o) -> QVariant {
                return QByteArray(o->id().data(), static_cast<qsizetype>(o->id().size()));
            },
            [](ADXDefinition&, ADXObject* o, const QVariant& v) {
                const QByteArray bytes = v.toByteArray();
                o->SetID(std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())));
            }),
        kMaxIDLength));
    f.push_back(
        Limited(Make(
                    "title", "Title", FieldKind::kText,
                    [](const ADXDefinition&, const ADXObject* o) { return TextOf(o->title()); },
                    [](ADXDefinition&, ADXObject* o, const QVariant& v) {
                        WithText(v, [o](const char* t, size_t n) { o->SetTitle(t, n); });
                    }),
                255));
    f.push_back(
        Limited(Make(
                    "desc", "Description", FieldKind::kText,
                    [](const ADXDefinition&, const ADXObject* o) { return TextOf(o->desc()); },
                    [](ADXDefinition&, ADXObject* o, const QVariant& v) {
                        WithText(v, [o](const char* t, size_t n) { o->SetDesc(t, n); });
                    }),
                1023));
    f.push_back(Member("baseflags", "Base flags", FieldKind::kFlags, &ADXObject::baseflags));
    return f;
}

std::vector<Choice> SizeChoices() {
    return {{8, "8 bits"}, {16, "16 bits"}, {24, "24 bits"}, {32, "32 bits"}};
}

QVariantList Row(std::initializer_list<QVariant> cells) {
    return QVariantList(cells);
}

std::vector<FieldDesc> ValueFields() {
    auto f = Common();
    f.push_back(WithChoices(Member("flags", "Flags", FieldKind::kFlags, &ADXValue::flags),
                            {{ADXValue::kSigned, "Signed"},
                             {ADXValue::kPacketOrder, "Bytes in packet order (no swap)"},
                             {ADXValue::kHighAlarm, "High alarm enabled"},
                             {ADXValue::kLowAlarm, "Low alarm enabled"}}));
    f.push_back(HashRef("parentcmdidhash", "Command", &ADXValue::parentcmdidhash, kPacketCommands));
    f.push_back(Member("packetoffset", "Packet offset", FieldKind::kUnsigned,
                       &ADXValue::packetoffset, 0, 299));
    f.push_back(WithChoices(Member("sizeinbits", "Size", FieldKind::kEnum, &ADXValue::sizeinbits),
                            SizeChoices()));
    f.push_back(WithChoices(
        Member("outputtype", "Output type", FieldKind::kEnum, &ADXValue::outputtype),
        {{0, "Hexadecimal"}, {1, "Signed integer"}, {2, "Unsigned integer"}, {3, "Decimal"}}));
    f.push_back(Member("digcount", "Digits", FieldKind::kUnsigned, &ADXValue::digcount, 0, 255));
    f.push_back(Limited(Make(
                            "units", "Units", FieldKind::kText,
                            [](const ADXDefinition&, const ADXObject* o) {
                                return TextOf(static_cast<const ADXValue*>(o)->units());
                            },
                            [](ADXDefinition&, ADXObject* o, const QVariant& v) {
                                WithText(v, [o](const char* t, size_t n) {
                                    static_cast<ADXValue*>(o)->SetUnits(t, n);
                                });
                            }),
                        1023));
    FieldDesc eq = Make(
        "equation", "Equation", FieldKind::kEquation,
        [](const ADXDefinition&, const ADXObject* o) -> QVariant {
            const auto* value = static_cast<const ADXValue*>(o);
            QVariantList vars;
            for (const ADXValueVar& var : value->vars()) {
                vars.push_back(Row({QVariant(qlonglong(var.varID)), QVariant(qlonglong(var.type)),
                                    QVariant::fromValue(RefValue{var.linkIDHash, nullptr})}));
            }
            const std::string_view text = value->expression().text();
            return QVariantList{QByteArray(text.data(), static_cast<qsizetype>(text.size())), vars};
        },
        [](ADXDefinition&, ADXObject* o, const QVariant& v) {
            auto* value = static_cast<ADXValue*>(o);
            const QVariantList parts = v.toList();
            const QByteArray text = parts.value(0).toByteArray();
            value->SetValueEquation(
                std::string_view(text.constData(), static_cast<size_t>(text.size())));
            for (const QVariant& row : parts.value(1).toList()) {
                const QVariantList cells = row.toList();
                ADXValueVar var;
                var.varID = static_cast<char>(cells.value(0).toLongLong());
                var.type = static_cast<uint32_t>(cells.value(1).toLongLong());
                var.linkIDHash = cells.value(2).value<RefValue>().hash;
                value->SetVar(var);
            }
        });
    eq.max_length = 99;
    eq.ref_mask = ADXTYPE_VALUE;
    eq.columns = {{"letter", FieldKind::kText, 0, 0, 1, 0, {}, true},
                  {"type", FieldKind::kEnum, 0, 1, 0, 0, {{0, "native"}, {1, "link"}}},
                  {"link", FieldKind::kReference, 0, 0, 0, ADXTYPE_VALUE}};
    f.push_back(eq);
    f.push_back(Member("alarm_low", "Alarm low", FieldKind::kFloat, &ADXValue::alarm_low,
                       -kFloatMax, kFloatMax));
    f.push_back(Member("alarm_high", "Alarm high", FieldKind::kFloat, &ADXValue::alarm_high,
                       -kFloatMax, kFloatMax));
    f.push_back(Member("range_low", "Range low", FieldKind::kFloat, &ADXValue::range_low,
                       -kFloatMax, kFloatMax));
    f.push_back(Member("range_high", "Range high", FieldKind::kFloat, &ADXValue::range_high,
                       -kFloatMax, kFloatMax));
    FieldDesc lookup = Make(
        "lookup", "Lookup table", FieldKind::kReference,
        [](const ADXDefinition&, const ADXObject* o) -> QVariant {
            const auto* value = static_cast<const ADXValue*>(o);
            return QVariant::fromValue(RefValue{value->lookupidhash, value->lookup});
        },
        [](ADXDefinition&, ADXObject* o, const QVariant& v) {
            auto* value = static_cast<ADXValue*>(o);
            const auto ref = v.value<RefValue>();
            value->lookupidhash = ref.hash;
            value->lookup = As<ADXLookupTable>(ref.object);
        });
    lookup.ref_mask = ADXTYPE_LOOKUPTABLE;
    f.push_back(lookup);
    return f;
}

std::vector<FieldDesc> BitmaskFields() {
    auto f = Common();
    f.push_back(WithChoices(Member("flags", "Flags", FieldKind::kFlags, &ADXBitmask::flags),
                            {{ADXBitmask::kPacketOrder, "Bytes in packet order (no swap)"},
                             {ADXBitmask::kAlarmWhenTrue, "Alarm when true"},
                             {ADXBitmask::kAlarmWhenFalse, "Alarm when false"}}));
    f.push_back(
        HashRef("parentcmdidhash", "Command", &ADXBitmask::parentcmdidhash, kPacketCommands));
    f.push_back(Member("packetoffset", "Packet offset", FieldKind::kUnsigned,
                       &ADXBitmask::packetoffset, 0, 299));
    f.push_back(WithChoices(Member("sizeinbits", "Size", FieldKind::kEnum, &ADXBitmask::sizeinbits),
                            SizeChoices()));
    f.push_back(Member("operand", "Operand", FieldKind::kHex, &ADXBitmask::operand));
    f.push_back(Member("result", "Result", FieldKind::kHex, &ADXBitmask::result));
    f.push_back(WithChoices(Member("bitop", "Operation", FieldKind::kEnum, &ADXBitmask::bitop),
                            {{ADXBitmask::kAnd, "AND"}, {ADXBitmask::kXor, "XOR"}}));
    f.push_back(Limited(Make(
                            "truestring", "Text when true", FieldKind::kText,
                            [](const ADXDefinition&, const ADXObject* o) {
                                return TextOf(static_cast<const ADXBitmask*>(o)->truestring());
                            },
                            [](ADXDefinition&, ADXObject* o, const QVariant& v) {
                                WithText(v, [o](const char* t, size_t n) {
                                    static_cast<ADXBitmask*>(o)->SetTrueString(t, n);
                                });
                            }),
                        1023));
    f.push_back(Limited(Make(
                            "falsestring", "Text when false", FieldKind::kText,
                            [](const ADXDefinition&, const ADXObject* o) {
                                return TextOf(static_cast<const ADXBitmask*>(o)->falsestring());
                            },
                            [](ADXDefinition&, ADXObject* o, const QVariant& v) {
                                WithText(v, [o](const char* t, size_t n) {
                                    static_cast<ADXBitmask*>(o)->SetFalseString(t, n);
                                });
                            }),
                        1023));
    return f;
}

std::vector<FieldDesc> LookupFields() {
    auto f = Common();
    f.push_back(Member("flags", "Flags", FieldKind::kFlags, &ADXLookupTable::flags));
    f.push_back(
        Member("inputtype", "Input type", FieldKind::kUnsigned, &ADXLookupTable::inputtype));
    f.push_back(WithChoices(Make(
                                "outputtype", "Output type", FieldKind::kEnum,
                                [](const ADXDefinition&, const ADXObject* o) -> QVariant {
                                    return qlonglong(
                                        static_cast<const ADXLookupTable*>(o)->outputtype());
                                },
                                [](ADXDefinition&, ADXObject* o, const QVariant& v) {
                                    static_cast<ADXLookupTable*>(o)->SetOutputType(
                                        static_cast<uint32_t>(v.toLongLong()));
                                }),
                            {{3, "Numeric"}, {5, "Text"}},
                            "A text table cannot interpolate: its mode becomes Nearest."));
    f.push_back(WithChoices(Make(
                                "lookupmode", "Lookup mode", FieldKind::kEnum,
                                [](const ADXDefinition&, const ADXObject* o) -> QVariant {
                                    return qlonglong(
                                        static_cast<const ADXLookupTable*>(o)->lookupmode());
                                },
                                [](ADXDefinition&, ADXObject* o, const QVariant& v) {
                                    static_cast<ADXLookupTable*>(o)->SetLookupMode(
                                        static_cast<uint32_t>(v.toLongLong()));
                                }),
                            {{0, "Interpolate"}, {1, "Nearest"}, {2, "Below"}, {3, "Above"}}));
    FieldDesc entries = Make(
        "entries", "Entries", FieldKind::kTable,
        [](const ADXDefinition&, const ADXObject* o) -> QVariant {
            const auto* table = static_cast<const ADXLookupTable*>(o);
            QVariantList rows;
            for (const ADXLookupEntry& e : table->entries()) {
                QByteArray out;
                if (table->outputtype() == ADXLookupTable::kTextOutput) {
                    out = QByteArray(e.text.view().data(), static_cast<qsizetype>(e.text.size()));
                } else {
                    char buf[32];
                    std::snprintf(buf, sizeof buf, "%.9g", static_cast<double>(e.output));
                    out = buf;
                }
                rows.push_back(Row({QVariant(static_cast<double>(e.input)), out}));
            }
            return rows;
        },
        [](ADXDefinition&, ADXObject* o, const QVariant& v) {
            auto* table = static_cast<ADXLookupTable*>(o);
            table->ClearEntries();
            for (const QVariant& row : v.toList()) {
                const QVariantList cells = row.toList();
                const float input = static_cast<float>(cells.value(0).toDouble());
                const QByteArray out = cells.value(1).toByteArray();
                if (table->outputtype() == ADXLookupTable::kTextOutput) {
                    table->AddEntry(input, out.constData(), static_cast<size_t>(out.size()));
                } else {
                    table->AddEntry(input, std::strtof(out.constData(), nullptr));
                }
            }
        });
    entries.columns = {{"input", FieldKind::kFloat, -kFloatMax, kFloatMax},
                       {"output", FieldKind::kText, 0, 0, 255}};
    entries.max_rows = 100000;
    entries.help =
        "Rows are kept in ascending order of input; an input given twice keeps the last row.";
    f.push_back(entries);
    return f;
}

std::vector<FieldDesc> ListViewFields() {
    auto f = Common();
    f.push_back(Member("flags", "Flags", FieldKind::kFlags, &ADXListView::flags));
    FieldDesc entries = Make(
        "entries", "Rows", FieldKind::kTable,
        [](const ADXDefinition&, const ADXObject* o) -> QVariant {
            QVariantList rows;
            for (const ADXListViewEntry& e : static_cast<const ADXListView*>(o)->entries()) {
                rows.push_back(Row({qlonglong(e.entrytype),
                                    QVariant::fromValue(RefValue{e.itemidhash, e.item}),
                                    TextOf(e.title), qlonglong(e.color), qlonglong(e.flags)}));
            }
            return rows;
        },
        [](ADXDefinition&, ADXObject* o, const QVariant& v) {
            auto& entries = static_cast<ADXListView*>(o)->entries();
            const QVariantList rows = v.toList();
            entries.assign(
                static_cast<size_t>(std::min<qsizetype>(rows.size(), ADXListView::kMaxEntries)),
                {});
            for (size_t i = 0; i < entries.size(); ++i) {
                const QVariantList cells = rows[static_cast<qsizetype>(i)].toList();
                ADXListViewEntry& e = entries[i];
                e.entrytype = static_cast<uint32_t>(cells.value(0).toLongLong());
                const auto ref = cells.value(1).value<RefValue>();
                e.itemidhash = ref.hash;
                e.item = ref.object;
                WithText(cells.value(2), [&e](const char* t, size_t n) { e.title.Set(t, n); });
                e.color = static_cast<uint32_t>(cells.value(3).toLongLong());
                e.flags = static_cast<uint32_t>(cells.value(4).toLongLong());
            }
        });
    entries.columns = {{"entrytype", FieldKind::kEnum, 0, 0, 0, 0, {{0, "Item"}, {1, "Heading"}}},
                       {"item", FieldKind::kReference, 0, 0, 0, kItems},
                       {"title", FieldKind::kText, 0, 0, 127},
                       {"color", FieldKind::kColor, 0, 0xFFFFFF},
                       {"flags", FieldKind::kFlags, 0, kU32, 0, 0, {{1, "Bold heading"}}}};
    entries.max_rows = ADXListView::kMaxEntries;
    f.push_back(entries);
    return f;
}

std::vector<FieldDesc> DashboardFields() {
    auto f = Common();
    f.push_back(Member("flags", "Flags", FieldKind::kFlags, &ADXDashboard::flags));
    FieldDesc entries = Make(
        "entries", "Gauges", FieldKind::kTable,
        [](const ADXDefinition&, const ADXObject* o) -> QVariant {
            QVariantList rows;
            for (const ADXDashboardEntry& e : static_cast<const ADXDashboard*>(o)->entries()) {
                rows.push_back(Row({qlonglong(e.gaugetype),
                                    QVariant::fromValue(RefValue{e.itemidhash, e.item}),
                                    qlonglong(e.left), qlonglong(e.top), qlonglong(e.right),
                                    qlonglong(e.bottom), qlonglong(e.flags)}));
            }
            return rows;
        },
        [](ADXDefinition&, ADXObject* o, const QVariant& v) {
            auto& entries = static_cast<ADXDashboard*>(o)->entries();
            const QVariantList rows = v.toList();
            entries.assign(
                static_cast<size_t>(std::min<qsizetype>(rows.size(), ADXDashboard::kMaxEntries)),
                {});
            for (size_t i = 0; i < entries.size(); ++i) {
                const QVariantList c = rows[static_cast<qsizetype>(i)].toList();
                ADXDashboardEntry& e = entries[i];
                e.gaugetype = static_cast<uint32_t>(c.value(0).toLongLong());
                const auto ref = c.value(1).value<RefValue>();
                e.itemidhash = ref.hash;
                e.item = ref.object;
                e.left = static_cast<uint16_t>(c.value(2).toLongLong());
                e.top = static_cast<uint16_t>(c.value(3).toLongLong());
                e.right = static_cast<uint16_t>(c.value(4).toLongLong());
                e.bottom = static_cast<uint16_t>(c.value(5).toLongLong());
                e.flags = static_cast<uint32_t>(c.value(6).toLongLong());
            }
        });
    entries.columns = {
        {"gaugetype", FieldKind::kEnum, 0, 0, 0, 0, {{0, "Analog"}, {1, "Digital"}, {2, "Status"}}},
        {"item", FieldKind::kReference, 0, 0, 0, kItems},
        {"left", FieldKind::kUnsigned, 0, 100},
        {"top", FieldKind::kUnsigned, 0, 100},
        {"right", FieldKind::kUnsigned, 0, 100},
        {"bottom", FieldKind::kUnsigned, 0, 100},
        {"flags", FieldKind::kFlags, 0, kU32}};
    entries.max_rows = ADXDashboard::kMaxEntries;
    entries.help = "Positions are percentages of the gauge area.";
    f.push_back(entries);
    return f;
}

std::vector<FieldDesc> MonitorFields() {
    auto f = Common();
    f.push_back(Member("flags", "Flags", FieldKind::kFlags, &ADXMonitor::flags));
    FieldDesc series = Make(
        "series", "Series", FieldKind::kTable,
        [](const ADXDefinition&, const ADXObject* o) -> QVariant {
            QVariantList rows;
            for (const ADXMonitorSeries& s : static_cast<const ADXMonitor*>(o)->series()) {
                rows.push_back(
                    Row({QVariant::fromValue(RefValue{s.itemidhash, s.item}),
                         qlonglong(s.linecolor), qlonglong(s.axiscolor), qlonglong(s.linewidth),
                         qlonglong(s.linetype), qlonglong(s.flags)}));
            }
            return rows;
        },
        [](ADXDefinition&, ADXObject* o, const QVariant& v) {
            auto& series = static_cast<ADXMonitor*>(o)->series();
            const QVariantList rows = v.toList();
            series.assign(
                static_cast<size_t>(std::min<qsizetype>(rows.size(), ADXMonitor::kMaxSeries)), {});
            for (size_t i = 0; i < series.size(); ++i) {
                const QVariantList c = rows[static_cast<qsizetype>(i)].toList();
                ADXMonitorSeries& s = series[i];
                const auto ref = c.value(0).value<RefValue>();
                s.itemidhash = ref.hash;
                s.item = ref.object;
                s.linecolor = static_cast<uint32_t>(c.value(1).toLongLong());
                s.axiscolor = static_cast<uint32_t>(c.value(2).toLongLong());
                s.linewidth = static_cast<uint8_t>(c.value(3).toLongLong());
                s.linetype = static_cast<uint8_t>(c.value(4).toLongLong());
                s.flags = static_cast<uint32_t>(c.value(5).toLongLong());
            }
        });
    series.columns = {
        {"item", FieldKind::kReference, 0, 0, 0, ADXTYPE_VALUE},
        {"linecolor", FieldKind::kColor, 0, 0xFFFFFF},
        {"axiscolor", FieldKind::kColor, 0, 0xFFFFFF},
        {"linewidth", FieldKind::kUnsigned, 0, 255},
        {"linetype",
         FieldKind::kEnum,
         0,
         255,
         0,
         0,
         {{0, "Solid"}, {1, "Dash"}, {2, "Dot"}, {3, "Dash dot"}, {4, "Dash dot dot"}}},
        {"flags", FieldKind::kFlags, 0, 0xFFFF}};
    series.max_rows = ADXMonitor::kMaxSeries;
    series.help =
        "A series whose item is not a value draws nothing; one without an item is dropped when the "
        "file is loaded.";
    f.push_back(series);
    return f;
}

std::vector<FieldDesc> HistogramFields() {
    auto f = Common();
    f.push_back(Member("flags", "Flags", FieldKind::kFlags, &ADXHistogram::flags));
    f.push_back(
        HashRef("parentcmdidhash", "Command", &ADXHistogram::parentcmdidhash, kPacketCommands));
    const auto axis = [](const char* name, const char* label, int which) {
        FieldDesc a = Make(
            name, label, FieldKind::kReference,
            [which](const ADXDefinition&, const ADXObject* o) -> QVariant {
                const auto* h = static_cast<const ADXHistogram*>(o);
                ADXValue* v = which == 0 ? h->x() : which == 1 ? h->y() : h->z();
                const uint32_t hash = which == 0   ? h->xidhash
                                      : which == 1 ? h->yidhash
                                                   : h->zidhash;
                return QVariant::fromValue(RefValue{hash, v});
            },
            [which](ADXDefinition&, ADXObject* o, const QVariant& value) {
                auto* h = static_cast<ADXHistogram*>(o);
                const auto ref = value.value<RefValue>();
                ADXValue* v = As<ADXValue>(ref.object);
                (which == 0 ? h->xidhash : which == 1 ? h->yidhash : h->zidhash) = ref.hash;
                h->SetAxes(which == 0 ? v : h->x(), which == 1 ? v : h->y(),
                           which == 2 ? v : h->z());
            });
        a.ref_mask = ADXTYPE_VALUE;
        return a;
    };
    f.push_back(axis("x", "X axis value", 0));
    f.push_back(axis("y", "Y axis value", 1));
    f.push_back(axis("z", "Cell value (z)", 2));
    const auto number = [](const char* name, const char* label, FieldKind kind, double lo,
                           double hi, auto get, auto set) {
        FieldDesc d = Make(
            name, label, kind,
            [get](const ADXDefinition&, const ADXObject* o) -> QVariant {
                return get(*static_cast<const ADXHistogram*>(o));
            },
            [set](ADXDefinition&, ADXObject* o, const QVariant& v) {
                set(*static_cast<ADXHistogram*>(o), v);
            });
        d.min = lo;
        d.max = hi;
        return d;
    };
    f.push_back(number(
        "rows", "Rows", FieldKind::kUnsigned, 0, 1024,
        [](const ADXHistogram& h) { return QVariant(qlonglong(h.rows())); },
        [](ADXHistogram& h, const QVariant& v) {
            h.SetRows(static_cast<uint32_t>(v.toLongLong()));
        }));
    f.push_back(number(
        "cols", "Columns", FieldKind::kUnsigned, 0, 1024,
        [](const ADXHistogram& h) { return QVariant(qlonglong(h.cols())); },
        [](ADXHistogram& h, const QVariant& v) {
            h.SetCols(static_cast<uint32_t>(v.toLongLong()));
        }));
    f.push_back(number(
        "xmin", "X minimum", FieldKind::kFloat, -kFloatMax, kFloatMax,
        [](const ADXHistogram& h) { return QVariant(double(h.xmin())); },
        [](ADXHistogram& h, const QVariant& v) { h.SetXMin(static_cast<float>(v.toDouble())); }));
    f.push_back(number(
        "xmax", "X maximum", FieldKind::kFloat, -kFloatMax, kFloatMax,
        [](const ADXHistogram& h) { return QVariant(double(h.xmax())); },
        [](ADXHistogram& h, const QVariant& v) { h.SetXMax(static_cast<float>(v.toDouble())); }));
    f.push_back(number(
        "ymin", "Y minimum", FieldKind::kFloat, -kFloatMax, kFloatMax,
        [](const ADXHistogram& h) { return QVariant(double(h.ymin())); },
        [](ADXHistogram& h, const QVariant& v) { h.SetYMin(static_cast<float>(v.toDouble())); }));
    f.push_back(number(
        "ymax", "Y maximum", FieldKind::kFloat, -kFloatMax, kFloatMax,
        [](const ADXHistogram& h) { return QVariant(double(h.ymax())); },
        [](ADXHistogram& h, const QVariant& v) { h.SetYMax(static_cast<float>(v.toDouble())); }));
    f.push_back(number(
        "historysize", "History size", FieldKind::kUnsigned, 1, ADXHistogram::kMaxHistory,
        [](const ADXHistogram& h) { return QVariant(qlonglong(h.GetHistorySize())); },
        [](ADXHistogram& h, const QVariant& v) {
            h.SetHistorySize(static_cast<uint32_t>(v.toLongLong()));
        }));
    return f;
}

std::vector<FieldDesc> MacroFields() {
    auto f = Common();
    f.push_back(Member("flags", "Flags", FieldKind::kFlags, &ADXMacro::flags));
    f.push_back(
        Member("repeatcount", "Repeat count", FieldKind::kUnsigned, &ADXMacro::repeatcount));
    FieldDesc nodes = Make(
        "nodes", "Steps", FieldKind::kTable,
        [](const ADXDefinition&, const ADXObject* o) -> QVariant {
            QVariantList rows;
            for (const ADXMacroNode& n : static_cast<const ADXMacro*>(o)->nodes()) {
                const std::string_view id = n.command_id();
                const uint32_t hash = n.command != nullptr ? n.command->idhash() : 0;
                rows.push_back(Row({QVariant::fromValue(RefValue{hash, n.command}),
                                    qlonglong(n.repeatcount), qlonglong(n.flags),
                                    QByteArray(id.data(), static_cast<qsizetype>(id.size()))}));
            }
            return rows;
        },
        [](ADXDefinition&, ADXObject* o, const QVariant& v) {
            auto& nodes = static_cast<ADXMacro*>(o)->nodes();
            nodes.clear();
            for (const QVariant& row : v.toList()) {
                const QVariantList c = row.toList();
                ADXMacroNode n;
                const auto ref = c.value(0).value<RefValue>();
                n.command = ref.object;
                n.repeatcount = static_cast<uint32_t>(c.value(1).toLongLong());
                n.flags = static_cast<uint32_t>(c.value(2).toLongLong());
                const QByteArray id = c.value(3).toByteArray();
                n.SetCommandID(
                    n.command != nullptr
                        ? n.command->id()
                        : std::string_view(id.constData(), static_cast<size_t>(id.size())));
                nodes.push_back(n);
            }
        });
    nodes.columns = {{"command", FieldKind::kReference, 0, 0, 0, kRunnable},
                     {"repeatcount", FieldKind::kUnsigned, 0, kU32},
                     {"flags",
                      FieldKind::kFlags,
                      0,
                      kU32,
                      0,
                      0,
                      {{1, "Stop on failure"}, {2, "Stop on success"}}},
                     {"commandID", FieldKind::kText, 0, 0, 14, 0, {}, true}};
    nodes.max_rows = 100000;
    nodes.help = "Steps run in order; a step without a command is not saved.";
    f.push_back(nodes);
    return f;
}

std::vector<FieldDesc> SendFields() {
    auto f = Common();
    f.push_back(WithChoices(Member("flags", "Flags", FieldKind::kFlags, &ADXCSendCommand::flags),
                            {{1, "Read the reply and process it"}}));
    FieldDesc bytes = Make(
        "bytes", "Bytes to send", FieldKind::kBytes,
        [](const ADXDefinition&, const ADXObject* o) -> QVariant {
            const auto& b = static_cast<const ADXCSendCommand*>(o)->bytes();
            return QByteArray(reinterpret_cast<const char*>(b.data()),
                              static_cast<qsizetype>(b.size()));
        },
        [](ADXDefinition&, ADXObject* o, const QVariant& v) {
            const QByteArray b = v.toByteArray();
            static_cast<ADXCSendCommand*>(o)->SetBytes(
                reinterpret_cast<const uint8_t*>(b.constData()), static_cast<size_t>(b.size()));
        });
    bytes.max_length = 409;
    f.push_back(bytes);
    f.push_back(Member("replysize", "Reply size", FieldKind::kUnsigned, &ADXCSendCommand::replysize,
                       0, 300));
    f.push_back(Member("replytimeout", "Reply time-out (ms)", FieldKind::kUnsigned,
                       &ADXCSendCommand::replytimeout, 0, 60000));
    f.push_back(Member("packetoffset", "Packet offset", FieldKind::kUnsigned,
                       &ADXCSendCommand::packetoffset, 0, 300));
    f.push_back(Member("packetsize", "Packet size", FieldKind::kUnsigned,
                       &ADXCSendCommand::packetsize, 0, 300));
    return f;
}

std::vector<FieldDesc> SilenceFields() {
    auto f = Common();
    f.push_back(Member("silencelen", "Silence (ms)", FieldKind::kUnsigned,
                       &ADXCListenSilence::silencelen, 0, 60000));
    f.push_back(Member("totaltimeout", "Total time-out (ms)", FieldKind::kUnsigned,
                       &ADXCListenSilence::totaltimeout, 0, 600000));
    return f;
}

std::vector<FieldDesc> ChatterFields() {
    auto f = Common();
    f.push_back(Member("flags", "Flags", FieldKind::kFlags, &ADXCListenChatter::flags));
    f.push_back(Member("listentimeout", "Listen time-out (ms)", FieldKind::kUnsigned,
                       &ADXCListenChatter::listentimeout, 0, 600000));
    FieldDesc bytes = Make(
        "bytes", "Bytes to listen for", FieldKind::kBytes,
        [](const ADXDefinition&, const ADXObject* o) -> QVariant {
            const auto& b = static_cast<const ADXCListenChatter*>(o)->bytes();
            return QByteArray(reinterpret_cast<const char*>(b.data()),
                              static_cast<qsizetype>(b.size()));
        },
        [](ADXDefinition&, ADXObject* o, const QVariant& v) {
            const QByteArray b = v.toByteArray();
            static_cast<ADXCListenChatter*>(o)->SetBytes(
                reinterpret_cast<const uint8_t*>(b.constData()), static_cast<size_t>(b.size()));
        });
    bytes.max_length = 51;
    f.push_back(bytes);
    return f;
}

std::vector<FieldDesc> Listen160Fields() {
    auto f = Common();
    f.push_back(Member("flags", "Flags", FieldKind::kFlags, &ADXC160BaudListen::flags));
    f.push_back(Member("packetsize", "Packet size", FieldKind::kUnsigned,
                       &ADXC160BaudListen::packetsize, 0, 300));
    return f;
}

std::vector<FieldDesc> TriggerFields() {
    auto f = Common();
    f.push_back(Member("triggertype", "Trigger type", FieldKind::kHex, &ADXCTrigger::triggertype));
    f.push_back(Member("flags", "Flags", FieldKind::kFlags, &ADXCTrigger::flags));
    return f;
}

std::vector<FieldDesc> HeaderFields() {
    std::vector<FieldDesc> f;
    FieldDesc flags = Make(
        "flags", "Flags", FieldKind::kFlags,
        [](const ADXDefinition& d, const ADXObject*) -> QVariant { return qlonglong(d.flags); },
        [](ADXDefinition& d, ADXObject*, const QVariant& v) {
            d.flags = static_cast<uint32_t>(v.toLongLong());
        });
    flags.choices = {{ADXDefinition::kEchoesSentBytes, "The interface echoes every byte sent"}};
    f.push_back(flags);
    const auto text = [](const char* name, const char* label, auto get, auto set) {
        FieldDesc t = Make(
            name, label, FieldKind::kText,
            [get](const ADXDefinition& d, const ADXObject*) -> QVariant { return TextOf(get(d)); },
            [set](ADXDefinition& d, ADXObject*, const QVariant& v) {
                WithText(v, [&d, set](const char* s, size_t n) { set(d, s, n); });
            });
        t.max_length = 1023;
        return t;
    };
    f.push_back(text(
        "userversion", "Version",
        [](const ADXDefinition& d) -> const OwnedText& { return d.userversion(); },
        [](ADXDefinition& d, const char* s, size_t n) { d.SetUserVersion(s, n); }));
    f.push_back(text(
        "author", "Author", [](const ADXDefinition& d) -> const OwnedText& { return d.author(); },
        [](ADXDefinition& d, const char* s, size_t n) { d.SetAuthor(s, n); }));
    f.push_back(text(
        "desc", "Description", [](const ADXDefinition& d) -> const OwnedText& { return d.desc(); },
        [](ADXDefinition& d, const char* s, size_t n) { d.SetDesc(s, n); }));
    FieldDesc baud = Make(
        "baud", "Baud rate", FieldKind::kUnsigned,
        [](const ADXDefinition& d, const ADXObject*) -> QVariant { return qlonglong(d.baud); },
        [](ADXDefinition& d, ADXObject*, const QVariant& v) {
            d.baud = static_cast<uint32_t>(v.toLongLong());
        });
    baud.min = 1;
    baud.max = 4000000;
    f.push_back(baud);
    const auto command = [](const char* name, const char* label,
                            ADXObject* ADXDefinition::*member) {
        FieldDesc c = Make(
            name, label, FieldKind::kReference,
            [member](const ADXDefinition& d, const ADXObject*) -> QVariant {
                return QVariant::fromValue(RefTo(d.*member));
            },
            [member](ADXDefinition& d, ADXObject*, const QVariant& v) {
                d.*member = v.value<RefValue>().object;
            });
        c.ref_mask = kRunnable;
        return c;
    };
    f.push_back(command("connect", "Connect command", &ADXDefinition::connect_command));
    f.push_back(command("monitor", "Monitor command", &ADXDefinition::monitor_command));
    f.push_back(command("disconnect", "Disconnect command", &ADXDefinition::disconnect_command));
    return f;
}

struct ClassInfo {
    uint32_t type;
    const char* name;
    const char* label;
    std::vector<FieldDesc> (*fields)();
};

const std::vector<ClassInfo>& Classes() {
    static const std::vector<ClassInfo> classes = {
        {ADXTYPE_SENDCOMMAND, "ADXCSendCommand", "Send command", SendFields},
        {ADXTYPE_LISTENSILENCE, "ADXCListenSilence", "Listen for silence", SilenceFields},
        {ADXTYPE_LISTENCHATTER, "ADXCListenChatter", "Listen for chatter", ChatterFields},
        {ADXTYPE_160BAUDLISTEN, "ADXC160BaudListen", "160-baud listen", Listen160Fields},
        {ADXTYPE_TRIGGER, "ADXCTrigger", "Trigger", TriggerFields},
        {ADXTYPE_MACRO, "ADXMacro", "Macro", MacroFields},
        {ADXTYPE_VALUE, "ADXValue", "Value", ValueFields},
        {ADXTYPE_BITMASK, "ADXBitmask", "Bitmask", BitmaskFields},
        {ADXTYPE_LOOKUPTABLE, "ADXLookupTable", "Lookup table", LookupFields},
        {ADXTYPE_LISTVIEW, "ADXListView", "Item list", ListViewFields},
        {ADXTYPE_DASHBOARD, "ADXDashboard", "Dashboard", DashboardFields},
        {ADXTYPE_MONITOR, "ADXMonitor", "Monitor", MonitorFields},
        {ADXTYPE_HISTOGRAM, "ADXHistogram", "Histogram", HistogramFields},
    };
    return classes;
}

const ClassInfo* InfoOf(uint32_t type) {
    for (const ClassInfo& c : Classes()) {
        if (c.type == type) return &c;
    }
    return nullptr;
}

}  // namespace

const std::vector<FieldDesc>& FieldsOf(uint32_t type) {
    static const std::map<uint32_t, std::vector<FieldDesc>> tables = [] {
        std::map<uint32_t, std::vector<FieldDesc>> t;
        t[0] = HeaderFields();
        for (const ClassInfo& c : Classes()) t[c.type] = c.fields();
        return t;
    }();
    static const std::vector<FieldDesc> none;
    const auto it = tables.find(type);
    return it == tables.end() ? none : it->second;
}

int FieldIndex(uint32_t type, const std::string& name) {
    const auto& fields = FieldsOf(type);
    for (size_t i = 0; i < fields.size(); ++i) {
        if (fields[i].name == name) return static_cast<int>(i);
    }
    return -1;
}

const char* ClassName(uint32_t type) {
    const ClassInfo* info = InfoOf(type);
    return info != nullptr ? info->name : "ADXObject";
}

const char* ClassLabel(uint32_t type) {
    const ClassInfo* info = InfoOf(type);
    return info != nullptr ? info->label : "Object";
}

const std::vector<uint32_t>& AllClasses() {
    static const std::vector<uint32_t> types = [] {
        std::vector<uint32_t> t;
        for (const ClassInfo& c : Classes()) t.push_back(c.type);
        return t;
    }();
    return types;
}

std::unique_ptr<ADXObject> CreateObject(uint32_t type) {
    switch (type) {
        case ADXTYPE_VALUE:
            return std::make_unique<ADXValue>();
        case ADXTYPE_BITMASK:
            return std::make_unique<ADXBitmask>();
        case ADXTYPE_DASHBOARD:
            return std::make_unique<ADXDashboard>();
        case ADXTYPE_MONITOR:
            return std::make_unique<ADXMonitor>();
        case ADXTYPE_HISTOGRAM:
            return std::make_unique<ADXHistogram>();
        case ADXTYPE_LISTVIEW:
            return std::make_unique<ADXListView>();
        case ADXTYPE_LOOKUPTABLE:
            return std::make_unique<ADXLookupTable>();
        case ADXTYPE_MACRO:
            return std::make_unique<ADXMacro>();
        case ADXTYPE_SENDCOMMAND:
            return std::make_unique<ADXCSendCommand>();
        case ADXTYPE_LISTENSILENCE:
            return std::make_unique<ADXCListenSilence>();
        case ADXTYPE_LISTENCHATTER:
            return std::make_unique<ADXCListenChatter>();
        case ADXTYPE_160BAUDLISTEN:
            return std::make_unique<ADXC160BaudListen>();
        case ADXTYPE_TRIGGER:
            return std::make_unique<ADXCTrigger>();
        default:
            return nullptr;
    }
}

std::vector<QVariant> Snapshot(const ADXDefinition& definition, const ADXObject* object) {
    const auto& fields = FieldsOf(object != nullptr ? object->type() : 0);
    std::vector<QVariant> state;
    state.reserve(fields.size());
    for (const FieldDesc& f : fields) state.push_back(f.get(definition, object));
    return state;
}

void Restore(ADXDefinition& definition, ADXObject* object, const std::vector<QVariant>& state) {
    const auto& fields = FieldsOf(object != nullptr ? object->type() : 0);
    for (size_t i = 0; i < fields.size() && i < state.size(); ++i)
        fields[i].set(definition, object, state[i]);
}

RefValue RefTo(ADXObject* object) {
    return object != nullptr ? RefValue{object->idhash(), object} : RefValue{};
}

RefValue RefFromHash(const ADXDefinition& definition, uint32_t hash) {
    return RefValue{hash, definition.FindByHash(hash)};
}

}  // namespace korvit::editor
