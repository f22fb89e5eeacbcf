// korvit-ecusim: serves a definition's commands on a pseudo-terminal like an engine-control unit.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cstdio>
#include <string>
#include <vector>

#include "definition/adx_definition.h"
#include "ecu_simulator.h"
#include "fault.h"

namespace {

korvit::ecusim::EcuSimulator* g_simulator = nullptr;

void OnSignal(int) {
    if (g_simulator != nullptr) g_simulator->Stop();
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "korvit-ecusim: %s\n", message.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace korvit;
    CLI::App app{"Engine-control-unit simulator on a pseudo-terminal"};
    app.set_version_flag("--version", std::string("korvit-ecusim ") + KORVIT_VERSION);
    std::string definition_path;
    std::string link_path;
    std::vector<std::string> fault_texts;
    ecusim::SimOptions options;
    uint32_t baud = 0;
    int late_ms = static_cast<int>(options.late_delay.count());
    int stall_ms = static_cast<int>(options.stall_time.count());
    app.add_option("DEF", definition_path, "Datastream definition (.adx)")->required();
    app.add_option("--link", link_path, "Also make PATH a symbolic link to the line");
    app.add_flag("--echo", options.echo, "Echo every received byte, as a one-wire interface does");
    auto* baud_option = app.add_option(
        "--baud", baud, "Pace output at N baud (default: the definition's; 0: unpaced)");
    app.add_option("--fault", fault_texts,
                   "Inject KIND[:RATE]: drop, corrupt (per byte), late, noreply, stall, hangup "
                   "(per reply); RATE from 0 to 1");
    app.add_option("--late-ms", late_ms, "Delay of a late reply (default 250)")
        ->check(CLI::NonNegativeNumber);
    app.add_option("--late-every", options.late_every,
                   "Make every Nth reply late by --late-ms, as a unit that is regularly slow "
                   "(e.g. --late-every 4 --late-ms 190 against a 200 ms reply time-out)")
        ->check(CLI::PositiveNumber);
    app.add_option("--stall-ms", stall_ms, "Length of a stalled line")
        ->check(CLI::NonNegativeNumber);
    app.add_option("--seed", options.seed, "Seed of the fault dice");
    CLI11_PARSE(app, argc, argv);

    if (*baud_option) options.baud = baud;
    options.late_delay = std::chrono::milliseconds(late_ms);
    options.stall_time = std::chrono::milliseconds(stall_ms);
    for (const std::string& text : fault_texts) {
        ecusim::Fault fault;
        std::string error;
        if (!ecusim::ParseFault(text, fault, error)) return Fail(error);
        options.faults.push_back(fault);
    }

    definition::ADXDefinition definition;
    std::string error;
    if (!definition.Load(definition_path, error)) {
        return Fail("cannot load " + definition_path + (error.empty() ? "" : ": " + error));
    }

    ecusim::EcuSimulator simulator(definition, options);
    if (!simulator.Open(error)) return Fail(error);
    if (!link_path.empty()) {
        // Replace an old link, but never a file that is not one.
        struct stat st {};
        if (::lstat(link_path.c_str(), &st) == 0) {
            if (!S_ISLNK(st.st_mode)) return Fail(link_path + " exists and is not a link");
            ::unlink(link_path.c_str());
        }
        if (::symlink(simulator.path().c_str(), link_path.c_str()) != 0) {
            return Fail("cannot link " + link_path + " to " + simulator.path());
        }
    }

    g_simulator = &simulator;
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);

    std::printf("%s\n", simulator.path().c_str());
    std::fflush(stdout);
    simulator.Run();
    g_simulator = nullptr;
    if (!link_path.empty()) ::unlink(link_path.c_str());
    return 0;
}
