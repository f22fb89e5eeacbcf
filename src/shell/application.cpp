#include "shell/application.h"

#include "platform/recording_location.h"

namespace korvit::shell {

Application::Application() {
    settings_path = app::SettingsFilePath(platform::ProgramDirectory());
    engine.set_datalog(&session);
    datalog.SetCallback(&engine.callback());
}

void Application::UsePortForThisRun(const std::string& port) {
    if (!run_port_set_) user_port_ = settings.comport;
    run_port_set_ = true;
    run_port_ = port;
    settings.comport = port;
}

app::AppSettings Application::SettingsToSave() const {
    app::AppSettings saved = settings;
    // A port chosen in Preferences during the run is the user's; the run's own is not.
    if (run_port_set_ && saved.comport == run_port_) saved.comport = user_port_;
    return saved;
}

}  // namespace korvit::shell
