#include "shell/output_page.h"

#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMetaObject>
#include <QScrollBar>
#include <QTextCursor>

namespace korvit::shell {
namespace {

// The shortest distance between two updates of the page: a frame's while it is shown, longer
// while it is hidden (it catches up the moment it is shown).
constexpr qint64 kFrameMs = 16;
constexpr qint64 kHiddenMs = 250;

}  // namespace

OutputPage::OutputPage(QWidget* parent) : QPlainTextEdit(parent) {
    setObjectName("Output");
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // Courier, thin; the requested height is below its smallest size, which is what shows.
    QFont font("Courier");
    font.setStyleHint(QFont::TypeWriter);
    font.setPixelSize(13);
    font.setWeight(QFont::Thin);
    setFont(font);
    setMaximumBlockCount(0);
    setReadOnly(true);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);

    copy_all_ = new QAction("Copy all", this);
    connect(copy_all_, &QAction::triggered, this,
            [this] { QGuiApplication::clipboard()->setText(toPlainText()); });
    save_as_text_ = new QAction("Save as text...", this);
    connect(save_as_text_, &QAction::triggered, this, &OutputPage::saveAsTextRequested);
}

void OutputPage::AppendText(const QString& text) {
    QScrollBar* bar = verticalScrollBar();
    const bool following = bar->value() >= bar->maximum();
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(text);
    if (following) bar->setValue(bar->maximum());
}

void OutputPage::contextMenuEvent(QContextMenuEvent* event) {
    QMenu* menu = createStandardContextMenu(event->pos());
    menu->addSeparator();
    menu->addAction(copy_all_);
    menu->addAction(save_as_text_);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
}

bool OutputPage::event(QEvent* event) {
    if (event->type() == QEvent::ShortcutOverride) {
        auto* key = static_cast<QKeyEvent*>(event);
        switch (key->key()) {
            case Qt::Key_Space:
            case Qt::Key_QuoteLeft:
            case Qt::Key_BracketLeft:
            case Qt::Key_BracketRight:
                if (key->modifiers() == Qt::NoModifier) return false;  // let the shortcut run
                break;
            default:
                break;
        }
    }
    return QPlainTextEdit::event(event);
}

OutputPageSink::OutputPageSink(OutputPage* page) : QObject(page), page_(page), timer_(this) {
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, &OutputPageSink::Flush);
    page_->installEventFilter(this);
}

bool OutputPageSink::eventFilter(QObject* watched, QEvent* event) {
    if (watched == page_ && event->type() == QEvent::Show) Flush();
    return false;
}

void OutputPageSink::AppendLine(std::string_view line) {
    std::lock_guard lock(mutex_);
    if (pending_lines_++ != 0) pending_ += '\n';
    pending_ += line;
    PostLocked();
}

void OutputPageSink::Clear() {
    std::lock_guard lock(mutex_);
    // What was queued before would be wiped anyway.
    pending_.clear();
    pending_lines_ = 0;
    pending_clear_ = true;
    PostLocked();
}

void OutputPageSink::PostLocked() {
    if (posted_) return;
    posted_ = true;
    QMetaObject::invokeMethod(this, &OutputPageSink::ScheduleFlush, Qt::QueuedConnection);
}

void OutputPageSink::ScheduleFlush() {
    if (timer_.isActive()) return;
    const qint64 gap = page_->isVisible() ? kFrameMs : kHiddenMs;
    const qint64 since = last_flush_.isValid() ? last_flush_.elapsed() : gap;
    if (since >= gap) {
        Flush();
    } else {
        timer_.start(static_cast<int>(gap - since));
    }
}

void OutputPageSink::Flush() {
    timer_.stop();
    last_flush_.start();
    bool clear = false;
    size_t lines = 0;
    {
        std::lock_guard lock(mutex_);
        batch_.swap(pending_);
        pending_.clear();
        std::swap(clear, pending_clear_);
        std::swap(lines, pending_lines_);
        posted_ = false;
    }
    if (clear) page_->clear();
    if (lines == 0) return;
    // Every line but the first on the page starts on a new line; none ends with one.
    QString text;
    if (!page_->document()->isEmpty()) text += '\n';
    text += QString::fromUtf8(batch_.data(), static_cast<qsizetype>(batch_.size()));
    page_->AppendText(text);
}

}  // namespace korvit::shell
