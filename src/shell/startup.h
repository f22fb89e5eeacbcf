#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <cstdio>
#include <optional>

#include "app/output_log.h"

namespace korvit::shell {

class MainWindow;
struct Application;

/// What the command line asks the window to do once it is up.
struct StartupRequest {
    QString definition;  // .adx to load; empty: none
    QString datalog;     // .xdl to select (and play with `play`); empty: none
    bool scan = false;
    bool play = false;
    std::optional<float> speed;  // playback speed factor (1.0 is 100 %)
    /// No modal box may wait for a user: messages go to the Output page and stderr.
    bool unattended = false;
};

/// Sorts the file arguments by extension (.adx definition, .xdl datalog, either case) and reads
/// the speed in percent. False with a one-line message for anything else.
bool ParseStartupFiles(const QStringList& files, StartupRequest& request, QString& problem);
/// Reads a playback speed in percent (0: as fast as the log can be read).
bool ParseSpeedPercent(const QString& text, float& speed, QString& problem);

/// Copies every Output line to stderr while it lives: unattended runs keep it for the whole
/// run, so that start-up lines written before the window is up are seen too.
class OutputEcho {
  public:
    explicit OutputEcho(app::OutputLog& log);
    ~OutputEcho();
    OutputEcho(const OutputEcho&) = delete;
    OutputEcho& operator=(const OutputEcho&) = delete;

  private:
    app::OutputLog& log_;
    app::StreamSink sink_{stderr};
};

/// Carries the request out on a window that is up: loads the definition, selects the datalog
/// (reporting one that cannot be opened), sets the speed, then starts the scan or the playback.
/// A file that cannot be opened leaves its usual Output line and nothing is started from it.
/// Unattended, file choosers answer "cancelled".
void CarryOut(Application& app, MainWindow& window, const StartupRequest& request);

/// For unattended runs: while `owner` lives, every modal dialog that opens is closed at once
/// (rejected) and a message box's title and text go to the Output page and stderr instead.
void DismissModalBoxes(Application& app, QObject* owner);

}  // namespace korvit::shell
