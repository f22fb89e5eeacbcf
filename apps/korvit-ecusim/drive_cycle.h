#pragma once

#include <array>
#include <deque>
#include <optional>
#include <string_view>

namespace korvit::ecusim {

/// What the engine does at one moment, in engineering units.
struct EngineState {
    double seconds = 0.0;  // since key-on
    double rpm = 0.0;
    double tps = 0.0;        // throttle, %
    double map = 0.0;        // manifold pressure, kPa
    double baro = 0.0;       // kPa
    double vss = 0.0;        // vehicle speed, km/h
    int gear = 0;            // 0 park/neutral, 1..4
    double cts = 0.0;        // coolant, degC
    double iat = 0.0;        // intake air, degC
    double oil = 0.0;        // degC
    double trans = 0.0;      // degC
    double fuel_temp = 0.0;  // degC
    double spark = 0.0;      // degrees before top dead centre, after knock retard
    double spark_base = 0.0;
    double knock_retard = 0.0;
    int knock_count = 0;
    double injector_ms = 0.0;
    double o2_mv = 0.0;
    int o2_crossings = 0;     // in the last 10 s
    double short_trim = 0.0;  // integrator, %
    double long_trim = 0.0;   // block learn of the current cell, %
    int trim_cell = 0;
    double iac_steps = 0.0;
    double desired_idle = 0.0;
    double afr = 0.0;      // commanded air/fuel ratio
    double airflow = 0.0;  // g/s
    double load = 0.0;     // %
    double battery = 0.0;  // V
    double egr_duty = 0.0;
    double purge_duty = 0.0;
    double tcc_duty = 0.0;
    bool park_neutral = false;
    bool closed_loop = false;
    bool rich = false;
    bool dfco = false;
    bool power_enrichment = false;
    bool trim_learn = false;
    bool knock = false;
    bool fan = false;
    bool tcc_locked = false;
};

/// A warm restart followed by a repeating 60-second drive: idle, a launch through the four gears
/// of an automatic with a burst of full power, a steady cruise with the converter locked, a
/// closed-throttle deceleration with fuel cut-off, and idle again. The engine quantities are
/// integrated in small steps so that they move together as a real engine's do: the closed-loop
/// fuel control switches the oxygen sensor through its integrator, the block learn picks up the
/// engine's fuelling error cell by cell, and the temperatures warm slowly.
class DriveCycle {
  public:
    static constexpr double kCycleSeconds = 60.0;

    DriveCycle();

    /// Integrates up to `seconds` since key-on; an earlier time restarts from key-on.
    const EngineState& AdvanceTo(double seconds);
    const EngineState& state() const { return state_; }

    /// The quantity that the demo definition's value `id` shows, in its units; none for ids the
    /// model does not know.
    std::optional<double> Quantity(std::string_view id) const;
    /// The state of the demo definition's bitmask `id`; none for ids the model does not know.
    std::optional<bool> Flag(std::string_view id) const;

  private:
    void Reset();
    void Step(double dt);
    static double FuellingError(double rpm, double map);
    static int TrimCell(double rpm, double map, bool idle);

    EngineState state_;
    // Integration state that the readings do not show directly.
    double engine_rpm_ = 0.0;
    double o2_filtered_ = 450.0;
    double knock_timer_ = 0.0;
    double tcc_timer_ = 0.0;
    double fan_timer_ = 0.0;
    bool knocked_this_cycle_ = false;
    int last_cycle_ = -1;
    std::array<double, 17> block_learn_{};
    std::deque<double> mixture_delay_;  // exhaust transport delay of the mixture error, %
    std::deque<double> crossings_;      // times of O2 switches
};

}  // namespace korvit::ecusim
