#include "drive_cycle.h"

#include <algorithm>
#include <cmath>

namespace korvit::ecusim {
namespace {

constexpr double kStep = 0.01;        // integration step, s
constexpr double kParkSeconds = 5.0;  // the first idle is in park; later ones wait in drive
constexpr double kLaunch = 8.0;       // cycle time of the launch
constexpr double kPowerFrom = 12.0;   // full-power burst in second gear
constexpr double kPowerTo = 16.0;
constexpr double kCruiseFrom = 28.0;
constexpr double kDecelFrom = 44.0;
constexpr double kStopAt = 54.0;
constexpr double kCruiseSpeed = 100.0;  // km/h
constexpr double kExhaustDelay = 0.2;   // s from the injector to the oxygen sensor
// Engine speed per km/h in each gear (0: no gear engaged).
constexpr double kRatio[] = {0.0, 95.0, 55.0, 35.0, 22.0};
constexpr double kUpshift[] = {0.0, 32.0, 58.0, 85.0};         // from gear i at this speed
constexpr double kDownshift[] = {0.0, 0.0, 12.0, 30.0, 55.0};  // to gear i - 1 below this speed

double Clamp(double v, double lo, double hi) {
    return std::min(hi, std::max(lo, v));
}

/// First-order lag of `value` toward `target` with time constant `tau`.
double Follow(double value, double target, double tau, double dt) {
    return value + (target - value) * std::min(1.0, dt / tau);
}

/// The driver's throttle over the cycle, %.
double Throttle(double tau) {
    auto ramp = [](double from, double to, double x) {
        return from + (to - from) * Clamp(x, 0, 1);
    };
    if (tau < kLaunch) return 0.0;
    if (tau < kPowerFrom) return ramp(0.0, 35.0, (tau - kLaunch) / 0.8);
    if (tau < kPowerTo) return ramp(35.0, 72.0, (tau - kPowerFrom) / 0.6);
    if (tau < 26.0) return ramp(72.0, 30.0, (tau - kPowerTo) / 0.8);
    if (tau < kCruiseFrom) return ramp(30.0, 14.0, (tau - 26.0) / 2.0);
    if (tau < kDecelFrom) return 14.0 + 1.5 * std::sin(tau * 0.9);
    return 0.0;
}

/// The road speed that throttle and brakes give over the cycle, km/h.
double RoadSpeed(double tau) {
    if (tau < kLaunch + 0.4) return 0.0;
    if (tau < kCruiseFrom) {
        const double x = (tau - kLaunch - 0.4) / (kCruiseFrom - kLaunch - 0.4);
        return kCruiseSpeed * (1.0 - std::pow(1.0 - x, 1.8));
    }
    if (tau < kDecelFrom) return kCruiseSpeed + 0.8 * std::sin(tau * 0.5);
    if (tau < kStopAt) return kCruiseSpeed * std::pow(1.0 - (tau - kDecelFrom) / 10.0, 1.3);
    return 0.0;
}

/// A coolant or intake thermistor's voltage on a 5 V divider (the sensor's curve).
double ThermistorVolts(double celsius) {
    return 5.0 / (1.0 + std::exp((celsius - 40.0) / 28.0));
}

}  // namespace

DriveCycle::DriveCycle() {
    Reset();
}

void DriveCycle::Reset() {
    state_ = EngineState{};
    state_.baro = 98.6;
    state_.cts = 48.0;  // a warm restart: the engine ran not long ago
    state_.iat = 22.0;
    state_.oil = 40.0;
    state_.trans = 35.0;
    state_.fuel_temp = 20.0;
    state_.map = state_.baro;
    state_.o2_mv = 450.0;
    state_.battery = 12.6;
    state_.afr = 14.7;
    state_.park_neutral = true;
    engine_rpm_ = 900.0;
    o2_filtered_ = 450.0;
    knock_timer_ = tcc_timer_ = fan_timer_ = 0.0;
    knocked_this_cycle_ = false;
    last_cycle_ = -1;
    mixture_delay_.assign(static_cast<size_t>(kExhaustDelay / kStep), 0.0);
    crossings_.clear();
    // What earlier drives taught the block learn: about half of each cell's error.
    for (int cell = 0; cell < 16; ++cell) {
        const double rpm = 800.0 + 900.0 * (cell / 4);
        const double map = 25.0 + 20.0 * (cell % 4);
        block_learn_[static_cast<size_t>(cell)] = 0.5 * FuellingError(rpm, map);
    }
    block_learn_[16] = 0.5 * FuellingError(800.0, 35.0);
}

/// How much leaner than commanded the engine runs before any trim, %: the difference between
/// the calibration's and the engine's volumetric efficiency, which the block learn picks up.
double DriveCycle::FuellingError(double rpm, double map) {
    return 4.0 * std::sin(rpm / 700.0) + 3.0 * (map - 50.0) / 40.0;
}

int DriveCycle::TrimCell(double rpm, double map, bool idle) {
    if (idle) return 16;
    const int r = static_cast<int>(Clamp((rpm - 350.0) / 900.0, 0, 3));
    const int m = static_cast<int>(Clamp((map - 15.0) / 20.0, 0, 3));
    return r * 4 + m;
}

const EngineState& DriveCycle::AdvanceTo(double seconds) {
    if (seconds < state_.seconds) Reset();
    while (state_.seconds + kStep <= seconds) Step(kStep);
    return state_;
}

void DriveCycle::Step(double dt) {
    EngineState& s = state_;
    s.seconds += dt;
    const double t = s.seconds;
    const int cycle = static_cast<int>(t / kCycleSeconds);
    const double tau = t - cycle * kCycleSeconds;
    if (cycle != last_cycle_) {
        last_cycle_ = cycle;
        knocked_this_cycle_ = false;
    }

    // Driver and road.
    s.tps = Follow(s.tps, Throttle(tau), 0.08, dt);
    const double previous_speed = s.vss;
    s.vss = RoadSpeed(tau);
    const bool slowing = s.vss < previous_speed - 1e-9;
    s.park_neutral = t < kParkSeconds;

    // Automatic transmission: shift by road speed with hysteresis.
    if (s.park_neutral) {
        s.gear = 0;
    } else if (s.gear == 0) {
        s.gear = 1;
    } else if (s.gear < 4 && !slowing && s.vss >= kUpshift[s.gear]) {
        ++s.gear;
    } else if (s.gear > 1 && slowing && s.vss < kDownshift[s.gear]) {
        --s.gear;
    }

    // Temperatures warm toward their running levels, faster under load.
    const double heat = 0.6 + 0.8 * s.load / 100.0;
    s.cts += (91.5 - s.cts) * dt / 150.0 * heat;
    s.iat += (38.0 - s.iat) * dt / 300.0;
    s.oil += (98.0 - s.oil) * dt / 400.0 * heat;
    s.trans += (82.0 - s.trans) * dt / 500.0 * heat;
    s.fuel_temp += (31.0 - s.fuel_temp) * dt / 600.0;

    // Idle speed control.
    const bool idle = s.tps < 1.5 && s.vss < 3.0;
    s.desired_idle = (s.park_neutral ? 850.0 : 750.0) + std::max(0.0, 70.0 - s.cts) * 5.0;
    const double iac_target =
        idle ? 22.0 + std::max(0.0, 70.0 - s.cts) * 0.8 + (s.fan ? 4.0 : 0.0) : 48.0;
    s.iac_steps = Follow(s.iac_steps, iac_target, 0.8, dt);

    // Converter clutch: locks in top gear at a steady light throttle, opens off the throttle.
    const bool may_lock = s.gear == 4 && s.vss > 70.0 && s.tps > 3.0 && s.tps < 30.0;
    tcc_timer_ = may_lock ? tcc_timer_ + dt : 0.0;
    s.tcc_locked = tcc_timer_ > 1.5;
    s.tcc_duty = Follow(s.tcc_duty, s.tcc_locked ? 100.0 : 0.0, 0.3, dt);

    // Engine speed: the wheels through the gear, plus the converter's slip, never below idle.
    const double wheel_rpm = s.vss * kRatio[s.gear];
    double slip = (150.0 + 25.0 * s.tps) * std::max(0.15, 1.0 - s.vss / 25.0);
    if (s.tps < 1.5) slip = s.vss > 5.0 ? -40.0 : 0.0;
    if (s.tcc_locked) slip = 0.0;
    const double hunt = idle ? 12.0 * std::sin(t * 2.3) : 0.0;
    const double target_rpm = std::max(s.desired_idle + hunt, wheel_rpm + slip);
    engine_rpm_ = Follow(engine_rpm_, target_rpm, 0.25, dt);
    s.rpm = engine_rpm_;

    // Manifold pressure: throttle opening against the pumping of the engine.
    const double opening = 0.018 + 0.0004 * (s.iac_steps - 22.0) + 2.0 * std::pow(s.tps / 100.0, 2);
    const double pumping = 0.25 * s.rpm / 6000.0;
    const double map_target = std::max(20.0, s.baro * opening / (opening + pumping));
    s.map = Follow(s.map, map_target, 0.1, dt);
    s.load = s.map / s.baro * 100.0;
    s.airflow = s.rpm / 120.0 * 3.0 * (s.map / s.baro) * (1.0 + (25.0 - s.iat) * 0.002);

    // Fuelling modes.
    const bool warm = s.cts >= 50.0 && t >= 10.0;
    s.power_enrichment = s.tps > 60.0;
    s.dfco =
        s.tps < 1.5 && s.rpm > 1300.0 && s.vss > 25.0 && s.gear >= 2 && slowing && s.cts >= 45.0;
    s.closed_loop = warm && !s.power_enrichment && !s.dfco;
    s.trim_learn = s.closed_loop && s.cts >= 65.0;
    s.afr = s.dfco ? 20.0 : s.power_enrichment ? 12.5 : s.closed_loop ? 14.7 : 13.8;
    s.trim_cell = TrimCell(s.rpm, s.map, idle);
    double& learn = block_learn_[static_cast<size_t>(s.trim_cell)];

    // The mixture the oxygen sensor will see: positive is rich, in %.
    const double error = FuellingError(s.rpm, s.map);
    double mixture = -100.0;  // no fuel at all during the cut-off
    if (!s.dfco) {
        mixture = (14.7 / s.afr - 1.0) * 100.0 + s.short_trim + learn - error;
        // Small disturbances of a real intake, for the loop to correct.
        mixture += 0.3 * std::sin(t * 7.1) + 0.2 * std::sin(t * 3.3);
    }
    mixture_delay_.push_back(mixture);
    const double seen = mixture_delay_.front();
    mixture_delay_.pop_front();
    const bool sensor_hot = t >= 8.0;
    const double o2_target = sensor_hot ? 450.0 + 420.0 * std::tanh(seen * 1.5) : 450.0;
    o2_filtered_ = Follow(o2_filtered_, o2_target, 0.06, dt);
    s.o2_mv = o2_filtered_;
    const bool rich = s.o2_mv > 450.0;
    if (rich != s.rich) crossings_.push_back(t);
    s.rich = rich;
    while (!crossings_.empty() && crossings_.front() < t - 10.0) crossings_.pop_front();
    s.o2_crossings = static_cast<int>(crossings_.size());

    // Closed loop: the integrator ramps against the sensor, with a kick at every switch; the
    // block learn slowly takes over what the integrator holds. Otherwise the integrator rests.
    if (s.closed_loop) {
        const double ramp = (s.rich ? -3.5 : 3.5) * dt;
        const double kick =
            !crossings_.empty() && crossings_.back() == t ? (s.rich ? -1.0 : 1.0) : 0.0;
        s.short_trim = Clamp(s.short_trim + ramp + kick, -20.0, 20.0);
        if (s.trim_learn) learn = Clamp(learn + s.short_trim * 0.15 * dt, -15.0, 15.0);
    } else {
        s.short_trim = Follow(s.short_trim, 0.0, 0.3, dt);
    }
    s.long_trim = learn;

    // Injector pulse: air per cylinder over the commanded ratio, corrected by the trims.
    if (s.dfco) {
        s.injector_ms = 0.0;
    } else {
        const double air_mg = s.airflow * 120.0 / std::max(s.rpm, 300.0) / 6.0 * 1000.0;
        const double trims = s.closed_loop ? 1.0 + (s.short_trim + learn) / 100.0 : 1.0;
        s.injector_ms = 0.8 + air_mg / s.afr * trims / 4.0;
    }

    // Knock: a few degrees of retard during the full-power burst on a warm engine, once a cycle.
    if (s.power_enrichment && !knocked_this_cycle_ && s.rpm > 2600.0 && s.cts > 55.0) {
        knocked_this_cycle_ = true;
        knock_timer_ = 0.4;
        s.knock_retard = 4.0;
        s.knock_count = (s.knock_count + 3) % 256;
    }
    knock_timer_ = std::max(0.0, knock_timer_ - dt);
    s.knock = knock_timer_ > 0.0;
    if (!s.knock) s.knock_retard = std::max(0.0, s.knock_retard - 1.2 * dt);

    // Spark: more advance at speed and at light load; a little extra while cold.
    const double r = std::min(s.rpm / 3000.0, 1.0);
    s.spark_base = 8.0 + 12.0 * r + (100.0 - s.map) * 0.45 * r;
    const double idle_trim = idle ? 1.5 * std::sin(t * 2.3 + 1.0) : 0.0;
    const double cold = s.cts < 60.0 ? 2.0 : 0.0;
    s.spark = s.spark_base + idle_trim + cold - s.knock_retard - (s.dfco ? 12.0 : 0.0);

    // Emissions devices and electrics.
    s.egr_duty = s.closed_loop && s.cts > 70.0 && s.tps > 5.0 && s.tps < 40.0 && s.rpm > 1200.0
                     ? 25.0 + 5.0 * std::sin(t * 0.7)
                     : 0.0;
    s.purge_duty = s.closed_loop && s.cts > 60.0 ? (idle ? 5.0 : 30.0) : 0.0;
    // The fan runs at low road speed once the engine is warm; it keeps running a while.
    fan_timer_ = s.cts >= 89.0 && s.vss < 30.0 ? 8.0 : std::max(0.0, fan_timer_ - dt);
    s.fan = fan_timer_ > 0.0;
    s.battery = 14.3 - (s.fan ? 0.3 : 0.0) - (s.rpm < 900.0 ? 0.1 : 0.0) + 0.03 * std::sin(t * 1.7);
}

std::optional<double> DriveCycle::Quantity(std::string_view id) const {
    const EngineState& s = state_;
    const double tps_volts = 0.54 + 3.96 * s.tps / 100.0;
    const std::pair<std::string_view, double> table[] = {
        {"promid", 4721.0},
        {"cts", s.cts},
        {"ctsvolts", ThermistorVolts(s.cts)},
        {"tpsvolts", tps_volts},
        {"tps", s.tps},
        {"rpm", s.rpm},
        {"refperiod", 15000.0 / std::max(s.rpm, 1.0)},  // four reference pulses per turn
        {"vss", s.vss},
        {"o2", s.o2_mv},
        {"o2cross", s.o2_crossings},
        {"blm", s.long_trim},
        {"integrator", s.short_trim},
        {"blmcell", s.trim_cell},
        {"iac", s.iac_steps},
        {"desidle", s.desired_idle},
        {"map", s.map},
        {"mapvolts", (s.map - 10.35) / 18.9},
        {"baro", s.baro},
        {"iat", s.iat},
        {"iatvolts", ThermistorVolts(s.iat)},
        {"spark", s.spark},
        {"knockret", s.knock_retard},
        {"knockcount", s.knock_count},
        {"injpw", s.injector_ms},
        {"battery", s.battery},
        {"afr", s.afr},
        {"runtime", std::floor(s.seconds)},
        {"egrduty", s.egr_duty},
        {"purge", s.purge_duty},
        {"fuelpumpv", s.battery - 0.4},
        {"tccduty", s.tcc_duty},
        {"load", s.load},
        {"airflow", s.airflow},
        {"gear", s.gear},
        {"fueltemp", s.fuel_temp},
        {"oiltemp", s.oil},
        {"trans", s.trans},
        {"sparkbase", s.spark_base},
    };
    for (const auto& [name, v] : table) {
        if (name == id) return v;
    }
    return std::nullopt;
}

std::optional<bool> DriveCycle::Flag(std::string_view id) const {
    const EngineState& s = state_;
    const std::pair<std::string_view, bool> table[] = {
        {"closedloop", s.closed_loop},
        {"rich", s.rich},
        {"dfco", s.dfco},
        {"powerenrich", s.power_enrichment},
        {"blmlearn", s.trim_learn},
        {"acrequest", false},
        {"parkneutral", s.park_neutral},
        {"knockdet", s.knock},
        {"fan", s.fan},
        {"acclutch", false},
        {"tcclock", s.tcc_locked},
        {"celamp", false},
        {"code14", false},
        {"code42", false},
    };
    for (const auto& [name, v] : table) {
        if (name == id) return v;
    }
    return std::nullopt;
}

}  // namespace korvit::ecusim
