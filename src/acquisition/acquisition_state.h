#pragma once

#include <atomic>
#include <cstdint>

#include "acquisition/connection_status.h"
#include "acquisition/rate_meter.h"
#include "app/chart_feed.h"
#include "app/fed_cells.h"
#include "app/gauge_readings.h"
#include "evaluation/last_packet.h"

namespace korvit::acquisition {

/// The words that the engine, the player and the displays share across threads.
struct AcquisitionState {
    /// 1 while acquisition is switched on; the monitor loop runs while it is 1.
    std::atomic<uint32_t> running{0};
    std::atomic<ConnectionStatus> status{ConnectionStatus::NotConnected};
    /// Failed replies while connected, and malformed 160-baud bytes.
    std::atomic<uint32_t> errors{0};
    /// Origin of every time the callbacks print; counts reply notifications for the rate.
    RateMeter rate;
    evaluation::LastPacket last_packet;
    /// Readings of the gauges on the shown dashboard, fed by every reply.
    app::GaugeReadings gauges;
    /// Histogram cells fed since the Histograms page last drew.
    app::FedCells fed_cells;
    /// Chart points of every reply, until the Monitors page takes them.
    app::ChartFeed charts;
};

}  // namespace korvit::acquisition
