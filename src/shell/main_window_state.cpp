// The main window's own state between runs and between definitions: changes made on the pages
// that are not saved yet, and where the window was on the screen.
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <QWindow>
#include <memory>

#include "pages/dash_page.h"
#include "pages/monitor_page.h"
#include "shell/main_window.h"
#include "shell/window_placement.h"

namespace korvit::shell {

namespace {

// How long after showing the window a late window-manager frame is still corrected for.
constexpr int kFrameCheckMs = 50;
constexpr int kFrameChecks = 60;

}  // namespace

void MainWindow::WatchDefinitionChanges() {
    connect(dash_, &pages::DashPage::definitionModified, this,
            [this] { SetDefinitionModified(true); });
    if (auto* monitors = findChild<pages::MonitorPage*>()) {
        connect(monitors, &pages::MonitorPage::definitionModified, this,
                [this] { SetDefinitionModified(true); });
    }
}

void MainWindow::SetDefinitionModified(bool modified) {
    definition_modified_ = modified;
    RefreshTitle();
}

bool MainWindow::SaveChangesFirst() {
    if (!definition_modified_) return true;
    switch (Ask(DefinitionChangedPrompt(app_.settings.lastadxpath))) {
        case kPromptSave:
            return SaveDefinition();
        case kPromptDiscard:
            return true;
        default:
            return false;
    }
}

void MainWindow::RestorePlacement() {
    const app::AppSettings& s = app_.settings;
    resize(s.winsizex, s.winsizey);
    QList<QRect> screens;
    for (QScreen* screen : QGuiApplication::screens()) screens << screen->availableGeometry();
    frame_target_ = PlaceOnScreen(QRect(s.winposx, s.winposy, width(), height()), screens);
    // The saved point is the frame's. Before the window manager has framed the window its frame
    // is unknown and the point may be taken as the inside's, so it is checked again once the
    // frame is there.
    move(frame_target_);
    frame_pending_ = true;
}

void MainWindow::CorrectFramePosition() {
    if (!frame_pending_) return;
    const QPoint frame = frameGeometry().topLeft();
    if (frame == geometry().topLeft()) return;  // not framed (yet)
    frame_pending_ = false;
    if (frame != frame_target_) move(frame_target_);
}

void MainWindow::WatchFrameAfterShow() {
    if (!frame_pending_) return;
    auto* timer = new QTimer(this);
    auto checks = std::make_shared<int>(0);
    connect(timer, &QTimer::timeout, this, [this, timer, checks] {
        CorrectFramePosition();
        if (!frame_pending_ || ++*checks >= kFrameChecks) {
            frame_pending_ = false;
            timer->deleteLater();
        }
    });
    timer->start(kFrameCheckMs);
}

void MainWindow::RememberPlacement() {
    QPoint frame = frameGeometry().topLeft();
    QSize size = this->size();
    if (isMaximized() || isFullScreen()) {
        // Where the window goes back to when it is restored, not the screen it fills.
        const QRect normal = normalGeometry();
        if (normal.isValid()) {
            QMargins margins;
            if (QWindow* handle = windowHandle()) margins = handle->frameMargins();
            frame = normal.topLeft() - QPoint(margins.left(), margins.top());
            size = normal.size();
        }
    }
    app_.settings.winposx = frame.x();
    app_.settings.winposy = frame.y();
    app_.settings.winsizex = size.width();
    app_.settings.winsizey = size.height();
}

}  // namespace korvit::shell
