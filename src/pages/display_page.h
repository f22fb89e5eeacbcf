#pragma once

#include <cstdint>

class QWidget;

namespace korvit::pages {

/// What moved in the core's stores since a page last drew.
enum DisplayChanges : uint32_t {
    kRepliesChanged = 1,     // LastPacket, raw numbers and gauge readings
    kHistogramsChanged = 2,  // cells of some histogram
    kChartsChanged = 4,      // chart points or the time cursor
    kPositionChanged = 8,    // a seek, a pause or a new run: draw the state at the position
    kEverythingChanged = 0xFFFFFFFFu,
};

/// A page of the main window that shows the core's state. The window registers each page once,
/// rebuilds every page after a definition is loaded, and on its frame timer refreshes the page
/// that is shown; a page that becomes visible is refreshed with everything changed.
/// Every call comes on the GUI thread.
class DisplayPage {
  public:
    virtual ~DisplayPage() = default;
    virtual QWidget* widget() = 0;
    /// Builds the page anew from the definition just loaded.
    virtual void Rebuild() = 0;
    /// Draws the current state; `changes` (DisplayChanges bits) says what moved.
    virtual void Refresh(uint32_t changes) = 0;
};

}  // namespace korvit::pages
