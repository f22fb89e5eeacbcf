#pragma once

#include <QObject>
#include <QProcess>
#include <QString>

namespace korvit::shell {

class MainWindow;
struct Application;

/// The demo: an engine-control-unit simulator on a pseudo-terminal answering the bundled demo
/// definition, with the window loaded, pointed at it and scanning.
class Demo : public QObject {
    Q_OBJECT
  public:
    Demo(Application& app, MainWindow& window, QObject* parent = nullptr);
    ~Demo() override;

    /// Starts the simulator; the scan starts once it has printed its line. False with a message
    /// on the Output page when the simulator or the definition cannot be found.
    bool Start(const QString& simulator, const QString& definition);

    /// Where the simulator and the demo definition are: beside the program, or in the tree it
    /// was built from.
    static QString FindSimulator();
    static QString FindDefinition();

  private:
    void OnLine();

    Application& app_;
    MainWindow& window_;
    QProcess process_;
    QString definition_;
    bool started_ = false;
};

}  // namespace korvit::shell
