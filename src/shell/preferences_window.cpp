#include "shell/preferences_window.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QKeySequenceEdit>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>
#include <algorithm>
#include <filesystem>

#include "app/app_settings.h"
#include "platform/com_ports.h"

namespace korvit::shell {

std::vector<std::string> ListSerialDevices(const std::string& dev_root) {
#ifdef _WIN32
    (void)dev_root;
    return platform::ListComPorts();
#else
    namespace fs = std::filesystem;
    std::vector<std::string> by_id, ports;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(dev_root + "/serial/by-id", ec)) {
        by_id.push_back(entry.path().string());
    }
    for (const auto& entry : fs::directory_iterator(dev_root, ec)) {
        const std::string name = entry.path().filename().string();
        for (const char* prefix : {"ttyUSB", "ttyACM", "ttyS", "rfcomm"}) {
            if (name.rfind(prefix, 0) == 0) {
                ports.push_back(entry.path().string());
                break;
            }
        }
    }
    std::sort(by_id.begin(), by_id.end());
    // Natural order, so that ttyS2 comes before ttyS10.
    std::sort(ports.begin(), ports.end(), [](const std::string& a, const std::string& b) {
        auto split = [](const std::string& s) {
            size_t digits = s.find_last_not_of("0123456789") + 1;
            return std::pair{s.substr(0, digits),
                             digits < s.size() ? std::stol(s.substr(digits)) : -1L};
        };
        return split(a) < split(b);
    });
    by_id.insert(by_id.end(), ports.begin(), ports.end());
    return by_id;
#endif
}

MMPropTreeContainer::MMPropTreeContainer(QWidget* owner, std::function<int(int)> notify)
    : QWidget(owner, Qt::Window), notify_(std::move(notify)) {
    setWindowTitle("Preferences");
    setAttribute(Qt::WA_DeleteOnClose);
    QFont font("MS Shell Dlg");
    font.setPixelSize(12);
    setFont(font);
    resize(150, 100);
    tree_ = new QTreeWidget(this);
    tree_->setHeaderHidden(true);
    tree_->setRootIsDecorated(true);
    tree_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    tree_->setGeometry(0, 0, 150, 100);
    tree_width_ = tree_->width();
    ok_ = new QPushButton("OK", this);
    ok_->setFixedSize(65, 22);
    ok_->setDefault(true);
    cancel_ = new QPushButton("Cancel", this);
    cancel_->setFixedSize(65, 22);
    connect(tree_, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* item) { Show(item); });
    connect(ok_, &QPushButton::clicked, this, [this] { Answer(kOk); });
    connect(cancel_, &QPushButton::clicked, this, [this] { Answer(kCancel); });
    if (notify_) notify_(kCreated);
}

MMPropTreeContainer::~MMPropTreeContainer() {
    if (notify_) notify_(kDestroyed);
}

void MMPropTreeContainer::AddPage(const QString& name, QWidget* page) {
    page->setParent(this);
    page->hide();
    auto* item = new QTreeWidgetItem(tree_, QStringList{name});
    item->setData(0, Qt::UserRole, QVariant::fromValue(static_cast<QObject*>(page)));
    QSize size = page->sizeHint().expandedTo(page->minimumSizeHint());
    page->resize(size);
    largest_ = largest_.expandedTo(size);
    const int width = tree_width_ + largest_.width() + 2;
    resize(std::max(this->width(), width), std::max(height(), largest_.height()));
    setMinimumSize(tree_width_ + largest_.width(), largest_.height());
}

bool MMPropTreeContainer::SelectPage(const QString& name) {
    for (QTreeWidgetItemIterator it(tree_); *it; ++it) {
        if ((*it)->text(0) == name) {
            tree_->setCurrentItem(*it);
            return true;
        }
    }
    return false;
}

void MMPropTreeContainer::Show(QTreeWidgetItem* item) {
    QWidget* page =
        item ? qobject_cast<QWidget*>(item->data(0, Qt::UserRole).value<QObject*>()) : nullptr;
    if (page == shown_) return;
    if (shown_) shown_->hide();
    shown_ = page;
    if (shown_) {
        shown_->move(width() - largest_.width() + 2, 0);
        shown_->show();
    }
}

void MMPropTreeContainer::resizeEvent(QResizeEvent*) {
    const int w = width(), h = height();
    tree_->setGeometry(0, 0, std::max(0, w - largest_.width()), h);
    const QRect t = tree_->geometry();
    ok_->move(t.right() + 1 - 5 - ok_->width(), t.bottom() + 1 - 5 - ok_->height());
    cancel_->move(ok_->x() - 8 - cancel_->width(), ok_->y());
    ok_->raise();
    cancel_->raise();
    if (shown_) shown_->move(w - largest_.width() + 2, 0);
}

void MMPropTreeContainer::closeEvent(QCloseEvent* event) {
    if (!answered_ && notify_) notify_(kClosed);
    event->accept();
}

void MMPropTreeContainer::Answer(int code) {
    if (notify_ && notify_(code) != 0) {
        answered_ = true;
        close();
    }
}

ComSetupPage::ComSetupPage(const std::string& port, QWidget* parent) : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel("Serial Port:", this));
    box_ = new QComboBox(this);
    box_->setObjectName("ComPort");
    box_->setEditable(true);
    box_->setInsertPolicy(QComboBox::NoInsert);
    box_->setMinimumWidth(240);
    for (const auto& device : ListSerialDevices()) box_->addItem(QString::fromStdString(device));
    box_->setCurrentText(QString::fromStdString(port));
    box_->lineEdit()->setMaxLength(static_cast<int>(app::AppSettings::kMaxPath));
    layout->addWidget(box_);
    layout->addStretch();
}

std::string ComSetupPage::Port(const std::string& fallback) const {
    const std::string text = box_->currentText().trimmed().toStdString();
    if (text.empty()) return fallback;
    return text.substr(0, app::AppSettings::kMaxPath);
}

GeneralPage::GeneralPage(const app::SafetyPrefs& prefs, QWidget* parent) : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel("General Prefs", this));
    auto* verify_row = new QHBoxLayout;
    verify_row->addWidget(new QLabel("Verify reply checksums:", this));
    verify_ = new QComboBox(this);
    verify_->setObjectName("VerifyChecksums");
    verify_->addItems({"Off", "Automatic", "Always"});
    verify_->setCurrentIndex(static_cast<int>(prefs.verify_checksum));
    verify_->setToolTip(
        "Automatic checks a command's replies once its first three replies all carried a "
        "checksum; Always fails every reply whose bytes do not add up to 0 modulo 256.");
    verify_row->addWidget(verify_);
    verify_row->addStretch();
    layout->addLayout(verify_row);
    reconnect_ = new QCheckBox("Reconnect when the port is lost", this);
    reconnect_->setObjectName("Reconnect");
    reconnect_->setChecked(prefs.reconnect);
    layout->addWidget(reconnect_);
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel("Give up after (seconds):", this));
    give_up_ = new QSpinBox(this);
    give_up_->setObjectName("ReconnectSeconds");
    give_up_->setRange(1, 86400);
    give_up_->setValue(static_cast<int>(prefs.reconnect_seconds));
    give_up_->setEnabled(prefs.reconnect);
    row->addWidget(give_up_);
    row->addStretch();
    layout->addLayout(row);
    layout->addStretch();
    connect(reconnect_, &QCheckBox::toggled, give_up_, &QWidget::setEnabled);
}

app::SafetyPrefs GeneralPage::Prefs() const {
    app::SafetyPrefs prefs;
    prefs.verify_checksum = static_cast<acquisition::ChecksumMode>(verify_->currentIndex());
    prefs.reconnect = reconnect_->isChecked();
    prefs.reconnect_seconds = static_cast<uint32_t>(give_up_->value());
    return prefs;
}

MMPropTreeContainer* OpenPreferences(QWidget* owner, std::string& port,
                                     std::function<void()> on_gone, app::SafetyPrefs* prefs,
                                     const std::string& prefs_path) {
    // The notify function outlives this call; it reaches the pages through shared slots.
    auto com = std::make_shared<ComSetupPage*>(nullptr);
    auto general_page = std::make_shared<GeneralPage*>(nullptr);
    auto* window = new MMPropTreeContainer(
        owner, [com, general_page, &port, on_gone, prefs, prefs_path](int code) {
            switch (code) {
                case MMPropTreeContainer::kOk:
                    if (*com) port = (*com)->Port(port);
                    if (prefs != nullptr && *general_page) {
                        *prefs = (*general_page)->Prefs();
                        app::WriteSafetyPrefs(*prefs, prefs_path);
                    }
                    return 1;
                case MMPropTreeContainer::kCancel:
                    return 1;
                case MMPropTreeContainer::kDestroyed:
                    if (on_gone) on_gone();
                    return 0;
                default:
                    return 0;
            }
        });

    if (prefs != nullptr) {
        *general_page = new GeneralPage(*prefs);
        window->AddPage("General", *general_page);
    } else {
        auto* general = new QWidget;
        (new QVBoxLayout(general))->addWidget(new QLabel("General Prefs", general));
        window->AddPage("General", general);
    }

    *com = new ComSetupPage(port);
    window->AddPage("COM Setup", *com);

    auto* keys = new QWidget;
    auto* keys_layout = new QVBoxLayout(keys);
    auto* note = new QLabel(
        "Keyboard Accelerator Configuration n' Junk (Non-functional at the moment)", keys);
    note->setWordWrap(true);
    keys_layout->addWidget(note);
    keys_layout->addWidget(new QKeySequenceEdit(keys));
    keys_layout->addStretch();
    window->AddPage("Keyboard Accelerators", keys);

    window->SelectPage("COM Setup");
    // Modal to its owner: the window behind waits, and the box stays above it.
    window->setWindowModality(Qt::WindowModal);
    window->show();
    return window;
}

}  // namespace korvit::shell
