// Placeholder element writers; the ADX writer replaces these.
#include "definition/adx_commands.h"
#include "definition/adx_bitmask.h"
#include "definition/adx_dashboard.h"
#include "definition/adx_histogram.h"
#include "definition/adx_list_view.h"
#include "definition/adx_lookup_table.h"
#include "definition/adx_macro.h"
#include "definition/adx_monitor.h"
#include "definition/adx_value.h"

namespace korvit::definition {

int ADXValue::WriteXML(xml::XMLWriter* w) const { return w ? 1 : 0; }
int ADXBitmask::WriteXML(xml::XMLWriter* w) const { return w ? 1 : 0; }
int ADXLookupTable::WriteXML(xml::XMLWriter* w) const { return w ? 1 : 0; }
int ADXListView::WriteXML(xml::XMLWriter* w) const { return w ? 1 : 0; }
int ADXHistogram::WriteXML(xml::XMLWriter* w) const { return w ? 1 : 0; }
int ADXDashboard::WriteXML(xml::XMLWriter* w) const { return w ? 1 : 0; }
int ADXMonitor::WriteXML(xml::XMLWriter* w) const { return w ? 1 : 0; }
int ADXMacro::WriteXML(xml::XMLWriter* w) const { return w ? 1 : 0; }
int ADXCSendCommand::WriteXML(xml::XMLWriter* w) const { return w ? 1 : 0; }
int ADXCListenSilence::WriteXML(xml::XMLWriter* w) const { return w ? 1 : 0; }
int ADXCListenChatter::WriteXML(xml::XMLWriter* w) const { return w ? 1 : 0; }
int ADXC160BaudListen::WriteXML(xml::XMLWriter* w) const { return w ? 1 : 0; }
int ADXCTrigger::WriteXML(xml::XMLWriter* w) const { return w ? 1 : 0; }

}  // namespace korvit::definition
