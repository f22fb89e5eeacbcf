// The definition editor on a large definition: 10,000 objects of mixed classes (the same block
// as the load benchmark). Prints the time until the window is usable, the cost of one keystroke
// in a field, and the time of a full problem check.
#include <unistd.h>
#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTest>
#include <QTreeWidget>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "definition/definition.h"
#include "editor_window.h"
#include "field_editor.h"

namespace {

using namespace korvit::definition;

std::string Id(const char* stem, int block, int i) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%s%d_%d", stem, block, i);
    return buf;
}

template <typename T>
T& Add(ADXDefinition& def, const std::string& id, const char* title) {
    auto object = std::make_unique<T>();
    object->SetID(id);
    object->SetTitle(title, std::strlen(title));
    T& ref = *object;
    def.Insert(std::move(object));
    return ref;
}

// 50 objects: a send command, 2 lookup tables, 30 values, 12 bitmasks, 2 lists, a dashboard, a
// monitor and a histogram.
void AddBlock(ADXDefinition& def, int b) {
    auto& send = Add<ADXCSendCommand>(def, Id("cmd", b, 0), "Mode 1 data request");
    const uint8_t bytes[] = {0xF4, 0x57, 0x01, 0x00, 0xB4};
    send.SetBytes(bytes, sizeof bytes);
    send.flags = 1;
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
        mask.operand = mask.result = 1u << (m % 8);
        masks[m] = &mask;
    }
    for (int l = 0; l < 2; ++l) {
        auto& list = Add<ADXListView>(def, Id("lst", b, l), "Engine");
        for (size_t e = 0; e < 20; ++e) {
            ADXListViewEntry entry;
            entry.SetItem(e < 15 ? static_cast<ADXObject*>(values[e + l * 15]) : masks[e - 15]);
            list.Append(entry);
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
        monitor.Append(series);
    }
    auto& histogram = Add<ADXHistogram>(def, Id("hst", b, 0), "Fuel trim map");
    histogram.parentcmdidhash = send.idhash();
    histogram.SetRows(10);
    histogram.SetCols(13);
    histogram.SetAxes(values[1], values[2], values[4]);
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const std::string path = (std::filesystem::temp_directory_path() /
                              ("korvit-editor-bench-" + std::to_string(::getpid()) + ".adx"))
                                 .string();
    {
        ADXDefinition def;
        for (int b = 0; b < 200; ++b) AddBlock(def, b);
        def.Save(path);
        std::printf("definition: %zu objects, %ju bytes\n", def.size(),
                    static_cast<uintmax_t>(std::filesystem::file_size(path)));
    }

    std::vector<double> open_ms;
    for (int run = 0; run < 5; ++run) {
        QElapsedTimer t;
        t.start();
        korvit::editor::EditorWindow w(nullptr);
        w.OpenForEdit(QString::fromStdString(path));
        w.show();
        QApplication::processEvents();
        open_ms.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
    }
    std::printf(
        "open to usable window (load, tree, form, problem check, first paint): median %.1f ms (5 "
        "runs)\n",
        Median(open_ms));

    korvit::editor::EditorWindow w(nullptr);
    w.OpenForEdit(QString::fromStdString(path));
    w.show();
    QApplication::processEvents();
    QElapsedTimer check;
    check.start();
    w.CheckProblemsNow();
    std::printf("full problem check: %.1f ms (%zu problems)\n",
                static_cast<double>(check.nsecsElapsed()) / 1e6, w.problems().size());

    w.Select(w.document().definition().FindByID("val100_7"));
    auto* title = w.FieldEditorFor("title")->findChild<QLineEdit*>("edit");
    title->setFocus();
    std::vector<double> key_ms;
    for (int i = 0; i < 200; ++i) {
        QElapsedTimer t;
        t.start();
        QTest::keyClick(title, static_cast<char>('a' + i % 26));
        QApplication::processEvents();
        key_ms.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
    }
    std::printf(
        "keystroke in a title field: median %.3f ms, max %.3f ms (200 keys; the problem check runs "
        "300 ms after typing stops)\n",
        Median(key_ms), *std::max_element(key_ms.begin(), key_ms.end()));

    auto* equation = w.FieldEditorFor("equation")->findChild<QLineEdit*>("edit");
    equation->setFocus();
    equation->end(false);
    key_ms.clear();
    for (int i = 0; i < 40; ++i) {
        QElapsedTimer t;
        t.start();
        QTest::keyClick(equation, i % 2 == 0 ? '+' : '1');
        QApplication::processEvents();
        key_ms.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
    }
    std::printf(
        "keystroke in an equation (tester recomputed): median %.3f ms, max %.3f "
        "ms\n",
        Median(key_ms), *std::max_element(key_ms.begin(), key_ms.end()));
    std::filesystem::remove(path);
    return 0;
}
