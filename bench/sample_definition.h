#pragma once

// The large definition the load/save and editor benchmarks work on: blocks of 50 objects of mixed
// classes with resolved references, 200 blocks for 10,000 objects.

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "definition/definition.h"

namespace korvit::bench {

using namespace korvit::definition;

constexpr int kObjects = 10000;
// Objects per block: 30 values, 12 bitmasks, 2 lookup tables, 2 lists, a dashboard, a monitor,
// a histogram and the send command they all decode.
constexpr int kBlock = 50;

inline std::string Id(const char* stem, int block, int i) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%s%d_%d", stem, block, i);
    return buf;
}

template <typename T>
T& Add(ADXDefinition& def, const std::string& id, const std::string& title) {
    auto object = std::make_unique<T>();
    object->SetID(id);
    object->SetTitle(title.data(), title.size());
    T& ref = *object;
    def.Insert(std::move(object));
    return ref;
}

// `send_flags` go on the block's send command (1: the packet is checked against the reply).
inline void AddBlock(ADXDefinition& def, int b, uint32_t send_flags = 0) {
    auto& send = Add<ADXCSendCommand>(def, Id("cmd", b, 0), "Mode 1 data request");
    const uint8_t bytes[] = {0xF4, 0x57, 0x01, 0x00, 0xB4};
    send.SetBytes(bytes, sizeof bytes);
    send.flags = send_flags;
    send.replysize = 67;
    send.packetoffset = 3;
    send.packetsize = 63;
    ADXLookupTable* tables[2];
    for (int t = 0; t < 2; ++t) {
        auto& table = Add<ADXLookupTable>(def, Id("tab", b, t), "Thermistor");
        for (int e = 0; e < 16; ++e) table.AddEntry(e * 17.0f, 151.0f - e * 12.3f);
        tables[t] = &table;
    }
    ADXValue* values[30];
    for (int v = 0; v < 30; ++v) {
        auto& value = Add<ADXValue>(def, Id("val", b, v), "Coolant temperature");
        value.parentcmdidhash = send.idhash();
        value.packetoffset = static_cast<uint32_t>(v * 2);
        value.sizeinbits = v % 5 == 0 ? 16 : 8;
        value.SetUnits("degC", 4);
        value.range_low = -40.0f;
        value.range_high = 150.0f;
        value.alarm_high = 110.0f;
        value.SetDesc("Engine coolant temperature from the thermistor", 47);
        if (v % 3 == 0 && v > 0) {
            value.SetEquation("X*Y/1200");
            value.SetVar(ADXValueVar{ADXValueVar::kLink, 'Y', values[v - 1]->idhash()});
        } else {
            value.SetEquation("X*0.75-40");
        }
        if (v % 10 == 0) value.lookup = tables[v % 2];
        values[v] = &value;
    }
    ADXBitmask* masks[12];
    for (int m = 0; m < 12; ++m) {
        auto& mask = Add<ADXBitmask>(def, Id("bit", b, m), "Closed loop");
        mask.parentcmdidhash = send.idhash();
        mask.packetoffset = static_cast<uint32_t>(m);
        mask.operand = 1u << (m % 8);
        mask.result = mask.operand;
        mask.SetTrueString("Closed", 6);
        mask.SetFalseString("Open", 4);
        masks[m] = &mask;
    }
    for (int l = 0; l < 2; ++l) {
        auto& list = Add<ADXListView>(def, Id("lst", b, l), "Engine");
        list.Resize(20);
        for (size_t e = 0; e < 20; ++e) {
            ADXListViewEntry entry;
            entry.SetItem(e < 15 ? static_cast<ADXObject*>(values[e + l * 15])
                                 : static_cast<ADXObject*>(masks[e - 15]));
            list.SetEntry(e, entry);
        }
    }
    auto& dash = Add<ADXDashboard>(def, Id("dsh", b, 0), "Driving");
    for (int g = 0; g < 8; ++g) {
        ADXDashboardEntry entry;
        entry.gaugetype = g < 6 ? 0 : 2;
        entry.item = g < 6 ? static_cast<ADXObject*>(values[g]) : masks[g];
        entry.left = static_cast<uint16_t>((g % 4) * 25);
        entry.right = static_cast<uint16_t>(entry.left + 25);
        dash.Append(entry);
    }
    auto& monitor = Add<ADXMonitor>(def, Id("mon", b, 0), "Trace");
    for (int s = 0; s < 4; ++s) {
        ADXMonitorSeries series;
        series.item = values[s];
        series.linecolor = 0x0000FFu << (s * 4);
        monitor.Append(series);
    }
    auto& histogram = Add<ADXHistogram>(def, Id("hst", b, 0), "Fuel trim map");
    histogram.parentcmdidhash = send.idhash();
    histogram.SetRows(10);
    histogram.SetCols(13);
    histogram.SetXMax(6500.0f);
    histogram.SetYMax(100.0f);
    histogram.SetX(values[1]);
    histogram.SetY(values[2]);
    histogram.SetZ(values[4]);
}

/// Fills `def` with kObjects objects.
inline void AddSampleObjects(ADXDefinition& def, uint32_t send_flags = 0) {
    for (int b = 0; b < kObjects / kBlock; ++b) AddBlock(def, b, send_flags);
}

}  // namespace korvit::bench
