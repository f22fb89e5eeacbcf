// Element writers of the displays: item lists, dashboards, monitors and histograms.
#include "definition/adx_dashboard.h"
#include "definition/adx_histogram.h"
#include "definition/adx_list_view.h"
#include "definition/adx_monitor.h"
#include "definition/adx_value.h"
#include "definition/adx_write_common.h"

namespace korvit::definition {

using namespace adx;

int ADXListView::WriteXML(xml::XMLWriter* writer) const {
    if (writer == nullptr) return 0;
    xml::XMLWriter& w = *writer;
    BeginObjectElement(w, *this, "ADXLISTVIEW");
    WriteDesc(w, *this);
    WriteHex8IfSet(w, "flags", flags);
    w.Element("entrycount", static_cast<int32_t>(entries_.size()));
    for (const ADXListViewEntry& entry : entries_) {
        w.BeginElement("ADXLVENTRY");
        w.Attribute("entrytype", static_cast<int32_t>(entry.entrytype));
        if (entry.flags != 0) w.Attribute("flags", H8(entry.flags));
        if (entry.itemidhash != 0) w.Attribute("itemidhash", H8(entry.itemidhash));
        if (!entry.title.empty()) w.Attribute("title", Escaped(entry.title.view()));
        if (entry.color != 0) w.Attribute("color", H8n(entry.color));
        w.EndElement();
    }
    w.EndElement();
    return 1;
}

int ADXDashboard::WriteXML(xml::XMLWriter* writer) const {
    if (writer == nullptr) return 0;
    xml::XMLWriter& w = *writer;
    BeginObjectElement(w, *this, "ADXDASHBOARD");
    WriteDesc(w, *this);
    WriteHex8IfSet(w, "flags", flags);
    w.Element("entrycount", static_cast<int32_t>(entries_.size()));
    for (const ADXDashboardEntry& entry : entries_) {
        w.BeginElement("ADXDGENTRY");
        w.Attribute("gaugetype", static_cast<int32_t>(entry.gaugetype));
        if (entry.flags != 0) w.Attribute("flags", H8(entry.flags));
        if (entry.item != nullptr) w.Attribute("itemidhash", H8(entry.item->idhash()));
        w.Attribute("left", static_cast<int32_t>(entry.left));
        w.Attribute("top", static_cast<int32_t>(entry.top));
        w.Attribute("right", static_cast<int32_t>(entry.right));
        w.Attribute("bottom", static_cast<int32_t>(entry.bottom));
        w.EndElement();
    }
    w.EndElement();
    return 1;
}

int ADXMonitor::WriteXML(xml::XMLWriter* writer) const {
    if (writer == nullptr) return 0;
    xml::XMLWriter& w = *writer;
    BeginObjectElement(w, *this, "ADXMONITOR");
    WriteDesc(w, *this);
    WriteHex8IfSet(w, "flags", flags);
    w.Element("entrycount", static_cast<int32_t>(series_.size()));
    for (const ADXMonitorSeries& s : series_) {
        w.BeginElement("ADXMONSERIES");
        if (s.flags != 0) w.Attribute("flags", H4(s.flags));
        if (s.linewidth != 1) w.Attribute("linewidth", static_cast<int32_t>(s.linewidth));
        if (s.linetype != 0) w.Attribute("linetype", static_cast<int32_t>(s.linetype));
        w.Attribute("linecolor", H6(s.linecolor));
        w.Attribute("axiscolor", H6(s.axiscolor));
        if (s.item != nullptr) w.Attribute("itemidhash", H8(s.item->idhash()));
        w.EndElement();
    }
    w.EndElement();
    return 1;
}

int ADXHistogram::WriteXML(xml::XMLWriter* writer) const {
    if (writer == nullptr) return 0;
    xml::XMLWriter& w = *writer;
    BeginObjectElement(w, *this, "ADXHISTOGRAM");
    WriteDesc(w, *this);
    WriteHex8IfSet(w, "flags", flags);
    WriteHex8IfSet(w, "parentcmdidhash", parentcmdidhash);
    w.Element("rows", static_cast<int32_t>(rows_));
    w.Element("cols", static_cast<int32_t>(cols_));
    w.Element("xmin", xmin_);
    w.Element("xmax", xmax_);
    w.Element("ymin", ymin_);
    w.Element("ymax", ymax_);
    w.Element("historysize", static_cast<int32_t>(GetHistorySize()));
    if (x_ != nullptr) w.Element("xidhash", H8(x_->idhash()));
    if (y_ != nullptr) w.Element("yidhash", H8(y_->idhash()));
    if (z_ != nullptr) w.Element("zidhash", H8(z_->idhash()));
    w.EndElement();
    return 1;
}

}  // namespace korvit::definition
