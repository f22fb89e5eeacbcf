#include "shell/application.h"

#include "platform/recording_location.h"

namespace korvit::shell {

Application::Application() {
    settings_path = app::SettingsFilePath(platform::ProgramDirectory());
    engine.set_datalog(&session);
    datalog.SetCallback(&engine.callback());
}

}  // namespace korvit::shell
