#pragma once

#include <string>

#include "acquisition/acquisition_engine.h"
#include "app/app_settings.h"
#include "app/output_log.h"
#include "app/safety_prefs.h"
#include "datalog/data_log.h"
#include "datalog/log_session.h"
#include "definition/adx_definition.h"
#include "shell/editor_library.h"

namespace korvit::shell {

/// The records that live for the whole run of the program: settings, Output log, the
/// definition, the engine with its port, the datalog and the editor library.
struct Application {
    Application();

    app::AppSettings settings;
    /// Opt-in checksum verification and reconnect, from "korvit.ini" beside the settings.
    app::SafetyPrefs prefs;
    /// Where the settings are read from and written to; empty writes nothing.
    std::string settings_path;
    app::OutputLog log;
    definition::ADXDefinition definition;
    acquisition::AcquisitionEngine engine{definition, log};
    datalog::DataLog datalog;
    /// Recording, saving and playback, as the command-line program drives them too; also the
    /// reply path's link to the datalog.
    datalog::LogSession session{definition, engine.state(), log, datalog};
    EditorLibrary editor;

    /// Points the scan at `port` for this run only (the demo's simulator, --port): the settings
    /// keep the user's own port.
    void UsePortForThisRun(const std::string& port);
    /// The settings as written at exit: the user's own port unless it was changed since.
    app::AppSettings SettingsToSave() const;

  private:
    std::string run_port_;
    std::string user_port_;
    bool run_port_set_ = false;
};

}  // namespace korvit::shell
