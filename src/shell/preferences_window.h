#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTreeWidget>
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

#include "app/safety_prefs.h"

namespace korvit::shell {

/// The system's serial devices: stable names under /dev/serial/by-id first, then the USB, ACM
/// and on-board ports, each sorted. On Windows: the COM ports, COM1 first.
std::vector<std::string> ListSerialDevices(const std::string& dev_root = "/dev");

/// The preferences window: a tree of pages beside the shown page, with OK and Cancel. It tells
/// its owner what happens through the notify function; a nonzero answer to OK or Cancel lets it
/// close.
class MMPropTreeContainer : public QWidget {
    Q_OBJECT
  public:
    enum Notification { kCreated = 1, kDestroyed = 2, kClosed = 3, kOk = 4, kCancel = 5 };

    MMPropTreeContainer(QWidget* owner, std::function<int(int)> notify);
    ~MMPropTreeContainer() override;

    /// Adds a page as a root item after the others.
    void AddPage(const QString& name, QWidget* page);
    /// Shows the page of the first item (depth first) whose text is exactly `name`.
    bool SelectPage(const QString& name);
    QWidget* shownPage() const { return shown_; }
    QTreeWidget* tree() const { return tree_; }
    QPushButton* okButton() const { return ok_; }
    QPushButton* cancelButton() const { return cancel_; }

  protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void Show(QTreeWidgetItem* item);
    void Answer(int code);

    std::function<int(int)> notify_;
    QTreeWidget* tree_;
    QPushButton* ok_;
    QPushButton* cancel_;
    QWidget* shown_ = nullptr;
    bool answered_ = false;
    int tree_width_ = 0;
    QSize largest_;
};

/// The COM Setup page: the serial device, chosen from the list or typed.
class ComSetupPage : public QWidget {
    Q_OBJECT
  public:
    ComSetupPage(const std::string& port, QWidget* parent = nullptr);
    /// The device as the page shows it, cut to a path's length; empty text keeps `fallback`.
    std::string Port(const std::string& fallback) const;
    QComboBox* box() const { return box_; }

  private:
    QComboBox* box_;
};

/// The General page: reply checksum verification and the opt-in reconnect after a lost port.
class GeneralPage : public QWidget {
    Q_OBJECT
  public:
    GeneralPage(const app::SafetyPrefs& prefs, QWidget* parent = nullptr);
    /// The preferences as the page shows them.
    app::SafetyPrefs Prefs() const;
    /// Off, Automatic, Always, in ChecksumMode order.
    QComboBox* verifyBox() const { return verify_; }
    QCheckBox* reconnectBox() const { return reconnect_; }
    QSpinBox* giveUpBox() const { return give_up_; }

  private:
    QComboBox* verify_;
    QCheckBox* reconnect_;
    QSpinBox* give_up_;
};

/// Opens the preferences window on the COM Setup page; OK stores the chosen device in `port`,
/// and, when `prefs` is given, the General page's choices in it and in `prefs_path`.
MMPropTreeContainer* OpenPreferences(QWidget* owner, std::string& port,
                                     std::function<void()> on_gone,
                                     app::SafetyPrefs* prefs = nullptr,
                                     const std::string& prefs_path = {});

}  // namespace korvit::shell
