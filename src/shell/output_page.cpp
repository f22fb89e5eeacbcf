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
    Queue({false, std::string(line)});
}

void OutputPageSink::Clear() {
    Queue({true, {}});
}

void OutputPageSink::Queue(Entry entry) {
    std::lock_guard lock(mutex_);
    if (entry.clear) pending_.clear();  // what was queued before would be wiped anyway
    pending_.push_back(std::move(entry));
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
    std::vector<Entry> batch;
    {
        std::lock_guard lock(mutex_);
        batch.swap(pending_);
        posted_ = false;
    }
    if (batch.empty()) return;
    QString text;
    bool line_break = !page_->document()->isEmpty();
    bool any = false;
    for (auto& entry : batch) {
        if (entry.clear) {
            page_->clear();
            text.clear();
            line_break = false;
            any = false;
            continue;
        }
        // Every line but the first on the page starts on a new line; none ends with one.
        if (line_break) text += '\n';
        line_break = true;
        any = true;
        text += QString::fromUtf8(entry.line.data(), static_cast<qsizetype>(entry.line.size()));
    }
    if (!any) return;
    page_->AppendText(text);
}

}  // namespace korvit::shell
