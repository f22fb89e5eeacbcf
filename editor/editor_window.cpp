#include "editor_window.h"

#include <QAction>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollArea>
#include <QSplitter>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QUndoStack>
#include <QVBoxLayout>

#include "app/output_log.h"
#include "cell_text.h"
#include "field_editor.h"
#include "value_tester.h"

namespace korvit::editor {

using namespace definition;

namespace {

constexpr int kObjectRole = Qt::UserRole;
constexpr int kHeaderRole = Qt::UserRole + 1;

struct Group {
    uint32_t key;
    const char* name;
};
const Group kGroups[] = {
    {ADXTYPE_SENDCOMMAND, "Commands"},
    {ADXTYPE_MACRO, "Macros"},
    {ADXTYPE_VALUE, "Values"},
    {ADXTYPE_BITMASK, "Bitmasks"},
    {ADXTYPE_LOOKUPTABLE, "Lookup tables"},
    {ADXTYPE_LISTVIEW, "Item lists"},
    {ADXTYPE_DASHBOARD, "Dashboards"},
    {ADXTYPE_MONITOR, "Monitors"},
    {ADXTYPE_HISTOGRAM, "Histograms"},
};

ADXObject* ObjectOf(const QTreeWidgetItem* item) {
    return item != nullptr
               ? reinterpret_cast<ADXObject*>(item->data(0, kObjectRole).value<quintptr>())
               : nullptr;
}

QString ItemText(const ADXObject* o) {
    QString text = ObjectLabel(o);
    if (GroupOf(o->type()) == ADXTYPE_SENDCOMMAND)
        text += QStringLiteral("  [%1]").arg(ClassLabel(o->type()));
    return text;
}

}  // namespace

EditorWindow::EditorWindow(app::OutputLog* log, QWidget* owner) : QDialog(owner), log_(log) {
    setObjectName("DefcrafterWindow");
    setWindowFlag(Qt::WindowMaximizeButtonHint);
    resize(1100, 760);
    BuildUi();
    problem_timer_.setSingleShot(true);
    problem_timer_.setInterval(300);
    connect(&problem_timer_, &QTimer::timeout, this, &EditorWindow::CheckProblemsNow);
    connect(&doc_, &EditorDocument::StructureChanged, this, [this] {
        RebuildTree();
        problem_timer_.start();
    });
    connect(&doc_, &EditorDocument::ObjectChanged, this, &EditorWindow::OnObjectChanged);
    connect(&doc_.undo_stack(), &QUndoStack::cleanChanged, this, [this] { RefreshTitle(); });
    RefreshTitle();
}

EditorWindow::~EditorWindow() = default;

void EditorWindow::BuildUi() {
    auto* layout = new QVBoxLayout(this);
    auto* bar = new QToolBar(this);
    bar->setToolButtonStyle(Qt::ToolButtonTextOnly);
    layout->addWidget(bar);
    const auto action = [&](const QString& text, const QKeySequence& key, auto slot) {
        QAction* a = bar->addAction(text);
        a->setShortcut(key);
        a->setToolTip(key.isEmpty() ? text
                                    : QStringLiteral("%1 (%2)").arg(
                                          text, key.toString(QKeySequence::NativeText)));
        connect(a, &QAction::triggered, this, slot);
        return a;
    };
    action(QStringLiteral("New"), QKeySequence(), [this] {
        if (doc_.dirty() &&
            QMessageBox::question(
                this, windowTitle(),
                QStringLiteral("Discard the changes and start a new definition?")) !=
                QMessageBox::Yes) {
            return;
        }
        StartNew();
    });
    action(QStringLiteral("Save"), QKeySequence::Save, [this] { Save(); });
    action(QStringLiteral("Save As..."), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S),
           [this] { SaveAs(); });
    bar->addSeparator();
    // The buttons keep their short texts so that the tool bar never moves under the pointer;
    // what they would undo or redo is in their tool tips.
    QUndoStack& stack = doc_.undo_stack();
    const auto history = [&](const QString& text, void (QUndoStack::*run)(),
                             void (QUndoStack::*can)(bool),
                             void (QUndoStack::*says)(const QString&), bool now) {
        QAction* a = bar->addAction(text);
        a->setObjectName(text);
        a->setEnabled(now);
        connect(a, &QAction::triggered, &stack, run);
        connect(&stack, can, a, &QAction::setEnabled);
        connect(&stack, says, a, [a, text](const QString& what) {
            a->setToolTip(what.isEmpty() ? text : text + QLatin1Char(' ') + what);
        });
        return a;
    };
    history(QStringLiteral("Undo"), &QUndoStack::undo, &QUndoStack::canUndoChanged,
            &QUndoStack::undoTextChanged, stack.canUndo())
        ->setShortcut(QKeySequence::Undo);
    history(QStringLiteral("Redo"), &QUndoStack::redo, &QUndoStack::canRedoChanged,
            &QUndoStack::redoTextChanged, stack.canRedo())
        ->setShortcuts({QKeySequence::Redo, QKeySequence(Qt::CTRL | Qt::Key_Y)});
    bar->addSeparator();
    auto* add = new QToolButton(bar);
    add->setText(QStringLiteral("Add"));
    add->setPopupMode(QToolButton::InstantPopup);
    auto* menu = new QMenu(add);
    for (uint32_t type : AllClasses()) {
        connect(menu->addAction(QString::fromLatin1(ClassLabel(type))), &QAction::triggered, this,
                [this, type] { AddObject(type); });
    }
    add->setMenu(menu);
    bar->addWidget(add);
    action(QStringLiteral("Duplicate"), QKeySequence(Qt::CTRL | Qt::Key_D), [this] {
        if (selected_ != nullptr) Select(doc_.Duplicate(selected_));
    });
    action(QStringLiteral("Delete"), QKeySequence(), [this] { DeleteSelected(); });
    action(QStringLiteral("Move Up"), QKeySequence(Qt::ALT | Qt::Key_Up), [this] {
        if (selected_ != nullptr) doc_.Move(selected_, -1);
    });
    action(QStringLiteral("Move Down"), QKeySequence(Qt::ALT | Qt::Key_Down), [this] {
        if (selected_ != nullptr) doc_.Move(selected_, +1);
    });

    banner_box_ = new QWidget(this);
    banner_box_->setStyleSheet(QStringLiteral("background: #fff3c4"));
    auto* banner_layout = new QHBoxLayout(banner_box_);
    banner_ = new QLabel(banner_box_);
    banner_->setWordWrap(true);
    auto* banner_new = new QPushButton(QStringLiteral("New Definition"), banner_box_);
    banner_new->setAutoDefault(false);
    banner_layout->addWidget(banner_, 1);
    banner_layout->addWidget(banner_new);
    connect(banner_new, &QPushButton::clicked, this, [this] { StartNew(); });
    banner_box_->hide();
    layout->addWidget(banner_box_);

    auto* vertical = new QSplitter(Qt::Vertical, this);
    auto* horizontal = new QSplitter(Qt::Horizontal, vertical);
    auto* left = new QWidget(horizontal);
    auto* left_layout = new QVBoxLayout(left);
    left_layout->setContentsMargins(0, 0, 0, 0);
    filter_ = new QLineEdit(left);
    filter_->setObjectName("filter");
    filter_->setPlaceholderText(QStringLiteral("Filter by id or title"));
    filter_->setClearButtonEnabled(true);
    connect(filter_, &QLineEdit::textChanged, this, &EditorWindow::SetFilter);
    left_layout->addWidget(filter_);
    tree_ = new QTreeWidget(left);
    tree_->setHeaderHidden(true);
    tree_->setUniformRowHeights(true);
    left_layout->addWidget(tree_);
    auto* del = new QAction(tree_);
    del->setShortcut(QKeySequence::Delete);
    del->setShortcutContext(Qt::WidgetShortcut);
    tree_->addAction(del);
    connect(del, &QAction::triggered, this, &EditorWindow::DeleteSelected);
    connect(tree_, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
        if (item == nullptr) return;
        if (!item->data(0, kHeaderRole).toBool() && ObjectOf(item) == nullptr) return;  // a group
        ADXObject* o = ObjectOf(item);
        if (o == selected_ && !editors_.empty()) return;
        selected_ = o;
        RebuildForm();
    });

    form_scroll_ = new QScrollArea(horizontal);
    form_scroll_->setWidgetResizable(true);
    horizontal->addWidget(left);
    horizontal->addWidget(form_scroll_);
    horizontal->setStretchFactor(1, 1);
    horizontal->setSizes({330, 770});

    auto* bottom = new QWidget(vertical);
    auto* bottom_layout = new QVBoxLayout(bottom);
    bottom_layout->setContentsMargins(0, 0, 0, 0);
    problem_count_ = new QLabel(bottom);
    bottom_layout->addWidget(problem_count_);
    problem_list_ = new QTreeWidget(bottom);
    problem_list_->setObjectName("problems");
    problem_list_->setColumnCount(3);
    problem_list_->setHeaderLabels(
        {QStringLiteral("Kind"), QStringLiteral("Object"), QStringLiteral("Problem")});
    problem_list_->setRootIsDecorated(false);
    problem_list_->setUniformRowHeights(true);
    problem_list_->header()->resizeSection(0, 90);
    problem_list_->header()->resizeSection(1, 200);
    connect(problem_list_, &QTreeWidget::itemDoubleClicked, this,
            [this](QTreeWidgetItem* item) { JumpToProblem(item->data(0, Qt::UserRole).toInt()); });
    bottom_layout->addWidget(problem_list_);
    vertical->addWidget(horizontal);
    vertical->addWidget(bottom);
    vertical->setStretchFactor(0, 1);
    vertical->setSizes({600, 110});
    layout->addWidget(vertical, 1);
}

void EditorWindow::OpenForEdit(const QString& path) {
    QString error;
    if (path.isEmpty()) {
        doc_.definition().Reset();
        doc_.undo_stack().clear();
        banner_->setText(QStringLiteral(
            "No definition is loaded, so there is nothing to edit. Start a new one?"));
        banner_box_->show();
        RebuildTree();
    } else if (!doc_.Load(path, error)) {
        banner_->setText(
            QStringLiteral("Cannot open %1: %2. Start a new definition instead?").arg(path, error));
        banner_box_->show();
    } else {
        banner_box_->hide();
    }
    RefreshTitle();
    CheckProblemsNow();
}

void EditorWindow::StartNew() {
    banner_box_->hide();
    doc_.NewFromTemplate();
    RefreshTitle();
    CheckProblemsNow();
}

QString EditorWindow::Message(const QString& text) {
    if (log_ != nullptr) log_->PrintLine(text.toStdString());
    return text;
}

bool EditorWindow::SaveTo(const QString& path) {
    QString error;
    if (!doc_.Save(path, error)) {
        last_error_ = error;
        Message(QStringLiteral("FAILED to save %1: %2").arg(path, error));
        return false;
    }
    saved_path_ = path;
    banner_box_->hide();
    Message(QStringLiteral("Saved %1").arg(path));
    CheckProblemsNow();
    if (!problems_.empty()) {
        Message(QStringLiteral("%1 problem(s) in the saved definition:").arg(problems_.size()));
        size_t shown = 0;
        for (const Problem& p : problems_) {
            if (++shown > 50) {
                Message(QStringLiteral("  ... and %1 more").arg(problems_.size() - 50));
                break;
            }
            const QString where =
                p.object != nullptr
                    ? QString::fromLatin1(p.object->id().data(),
                                          static_cast<qsizetype>(p.object->id().size()))
                    : QStringLiteral("header");
            Message(QStringLiteral("  %1: %2").arg(where, QString::fromStdString(p.text)));
        }
    }
    RefreshTitle();
    return true;
}

void EditorWindow::Save() {
    if (doc_.path().isEmpty()) {
        SaveAs();
        return;
    }
    if (!SaveTo(doc_.path())) {
        QMessageBox::warning(this, windowTitle(),
                             QStringLiteral("The definition was not saved.\n%1").arg(last_error_));
    }
}

void EditorWindow::SaveAs() {
    QString path = QFileDialog::getSaveFileName(
        this, QStringLiteral("Choose file to save to..."),
        doc_.path().isEmpty() ? QString() : QFileInfo(doc_.path()).absolutePath(),
        QStringLiteral("ADX Files (*.adx);;All Files (*.*)"));
    if (path.isEmpty()) return;
    if (QFileInfo(path).suffix().isEmpty()) path += QStringLiteral(".adx");
    if (path.toLocal8Bit().size() > EditorDocument::kMaxPath) {
        QMessageBox::warning(
            this, windowTitle(),
            QStringLiteral(
                "The path has %1 characters; Korvit takes at most %2. Choose a shorter path.")
                .arg(path.toLocal8Bit().size())
                .arg(EditorDocument::kMaxPath));
        Message(QStringLiteral("FAILED to save %1: the path is longer than %2 characters")
                    .arg(path)
                    .arg(EditorDocument::kMaxPath));
        return;
    }
    if (!SaveTo(path))
        QMessageBox::warning(this, windowTitle(),
                             QStringLiteral("The definition was not saved.\n%1").arg(last_error_));
}

void EditorWindow::reject() {
    if (doc_.dirty()) {
        const auto answer = QMessageBox::question(
            this, windowTitle(),
            QStringLiteral("Save the changes to the definition before closing?"),
            QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, QMessageBox::Save);
        if (answer == QMessageBox::Cancel) return;
        if (answer == QMessageBox::Save) {
            Save();
            if (doc_.dirty()) return;
        }
    }
    QDialog::reject();
}

void EditorWindow::RefreshTitle() {
    const QString name =
        doc_.path().isEmpty() ? QStringLiteral("Untitled") : QFileInfo(doc_.path()).fileName();
    setWindowTitle(QStringLiteral("Defcrafter - %1[*]").arg(name));
    setWindowModified(doc_.dirty());
}

void EditorWindow::RebuildTree() {
    tree_->setUpdatesEnabled(false);
    tree_->clear();
    items_.clear();
    groups_.clear();
    auto* header = new QTreeWidgetItem(tree_, {QStringLiteral("Header")});
    header->setData(0, kHeaderRole, true);
    header->setData(0, kObjectRole, quintptr{0});
    QHash<uint32_t, QList<QTreeWidgetItem*>> children;
    for (const auto& o : doc_.definition().objects()) {
        auto* item = new QTreeWidgetItem({ItemText(o.get())});
        item->setData(0, kObjectRole, reinterpret_cast<quintptr>(o.get()));
        items_.insert(o.get(), item);
        children[GroupOf(o->type())].push_back(item);
    }
    for (const Group& g : kGroups) {
        auto* group = new QTreeWidgetItem(tree_);
        const auto& list = children[g.key];
        group->setText(0,
                       QStringLiteral("%1 (%2)").arg(QString::fromLatin1(g.name)).arg(list.size()));
        group->setFlags(Qt::ItemIsEnabled);
        QFont bold = group->font(0);
        bold.setBold(true);
        group->setFont(0, bold);
        group->addChildren(list);
        groups_.insert(g.key, group);
    }
    tree_->expandAll();
    tree_->setUpdatesEnabled(true);
    if (selected_ != nullptr && !items_.contains(selected_)) selected_ = nullptr;
    const QString filter = filter_->text();
    if (!filter.isEmpty()) SetFilter(filter);
    QTreeWidgetItem* current = selected_ != nullptr ? items_.value(selected_) : header;
    tree_->setCurrentItem(current);
    RebuildForm();
}

void EditorWindow::SetFilter(const QString& text) {
    if (filter_->text() != text) filter_->setText(text);
    for (auto it = items_.begin(); it != items_.end(); ++it) {
        it.value()->setHidden(!text.isEmpty() &&
                              !it.value()->text(0).contains(text, Qt::CaseInsensitive));
    }
}

void EditorWindow::Select(ADXObject* object) {
    QTreeWidgetItem* item = object != nullptr ? items_.value(object) : tree_->topLevelItem(0);
    if (item == nullptr) return;
    if (item->isHidden()) filter_->clear();
    tree_->setCurrentItem(item);
    if (selected_ != object || editors_.empty()) {
        selected_ = object;
        RebuildForm();
    }
}

FieldEditor* EditorWindow::FieldEditorFor(const std::string& name) const {
    for (FieldEditor* e : editors_) {
        if (e->desc().name == name) return e;
    }
    return nullptr;
}

void EditorWindow::RebuildForm() {
    editors_.clear();
    tester_ = nullptr;
    form_ = new QWidget();
    auto* outer = new QVBoxLayout(form_);
    form_title_ = new QLabel(form_);
    QFont big = form_title_->font();
    big.setPointSizeF(big.pointSizeF() * 1.3);
    big.setBold(true);
    form_title_->setFont(big);
    form_title_->setText(
        selected_ == nullptr
            ? QStringLiteral("Header")
            : QStringLiteral("%1 (%2)").arg(QString::fromLatin1(ClassLabel(selected_->type())),
                                            QString::fromLatin1(ClassName(selected_->type()))));
    outer->addWidget(form_title_);
    auto* row = new QHBoxLayout();
    auto* form = new QFormLayout();
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    const auto& fields = FieldsOf(selected_ != nullptr ? selected_->type() : 0);
    for (size_t i = 0; i < fields.size(); ++i) {
        auto* editor = new FieldEditor(doc_, selected_, static_cast<int>(i), form_);
        editors_.push_back(editor);
        auto* label = new QLabel(QString::fromStdString(fields[i].label), form_);
        label->setToolTip(QString::fromStdString(fields[i].name));
        form->addRow(label, editor);
    }
    row->addLayout(form, 1);
    // Values and bitmasks get the tester beside their form.
    if (As<ADXValue>(selected_) != nullptr || As<ADXBitmask>(selected_) != nullptr) {
        tester_ = new ValueTester(doc_.definition(), selected_, form_);
        tester_->setFixedWidth(300);
        auto* side = new QVBoxLayout();
        side->addWidget(tester_);
        side->addStretch(1);
        row->addLayout(side);
    }
    outer->addLayout(row);
    outer->addStretch(1);
    form_scroll_->setWidget(form_);  // deletes the previous form
}

void EditorWindow::OnObjectChanged(ADXObject* object) {
    if (object == selected_) {
        for (FieldEditor* e : editors_) e->Refresh();
        if (tester_ != nullptr) tester_->Update();
    } else if (tester_ != nullptr) {
        tester_->Update();  // a linked value or the command may have changed
    }
    if (object != nullptr) {
        if (QTreeWidgetItem* item = items_.value(object)) item->setText(0, ItemText(object));
    }
    RefreshTitle();
    problem_timer_.start();
}

void EditorWindow::AddObject(uint32_t type) {
    filter_->clear();
    Select(doc_.AddObject(type));
}

void EditorWindow::DeleteSelected() {
    if (selected_ == nullptr) return;
    const std::vector<Referrer> refs = doc_.Referrers(selected_);
    if (!refs.empty()) {
        QStringList lines;
        for (const Referrer& r : refs) {
            const FieldDesc& f =
                FieldsOf(r.object != nullptr ? r.object->type() : 0)[static_cast<size_t>(r.field)];
            lines << QStringLiteral("  %1: %2")
                         .arg(
                             r.object != nullptr ? ObjectLabel(r.object) : QStringLiteral("Header"),
                             QString::fromStdString(f.label));
            if (lines.size() >= 25) {
                lines << QStringLiteral("  ...");
                break;
            }
        }
        const auto answer = QMessageBox::question(
            this, windowTitle(),
            QStringLiteral(
                "%1 is referred to by %2 field(s):\n%3\n\nDelete it and clear those references?")
                .arg(ObjectLabel(selected_))
                .arg(refs.size())
                .arg(lines.join('\n')));
        if (answer != QMessageBox::Yes) return;
    }
    ADXObject* doomed = selected_;
    selected_ = nullptr;
    doc_.Delete(doomed);
}

void EditorWindow::CheckProblemsNow() {
    problem_timer_.stop();
    problems_ = FindProblems(doc_.definition());
    ShowProblems();
}

void EditorWindow::ShowProblems() {
    problem_list_->setUpdatesEnabled(false);
    problem_list_->clear();
    QList<QTreeWidgetItem*> rows;
    for (size_t i = 0; i < problems_.size(); ++i) {
        const Problem& p = problems_[i];
        auto* item = new QTreeWidgetItem(
            {QString::fromLatin1(ProblemKindName(p.kind)),
             p.object != nullptr ? ObjectLabel(p.object) : QStringLiteral("Header"),
             QString::fromStdString(p.text)});
        item->setData(0, Qt::UserRole, static_cast<int>(i));
        rows.push_back(item);
        if (rows.size() >= 2000) break;
    }
    problem_list_->addTopLevelItems(rows);
    problem_list_->setUpdatesEnabled(true);
    problem_count_->setText(
        problems_.empty()
            ? QStringLiteral("No problems found")
            : QStringLiteral("%1 problem(s) - double-click one to go to it").arg(problems_.size()));
}

void EditorWindow::JumpToProblem(int index) {
    if (index < 0 || static_cast<size_t>(index) >= problems_.size()) return;
    const Problem& p = problems_[static_cast<size_t>(index)];
    auto* object = const_cast<ADXObject*>(p.object);
    if (object != nullptr && doc_.definition().IndexOf(object) == SIZE_MAX)
        return;  // deleted since
    Select(object);
    if (FieldEditor* e = FieldEditorFor(p.field)) {
        form_scroll_->ensureWidgetVisible(e);
        if (e->focus_target() != nullptr) e->focus_target()->setFocus(Qt::OtherFocusReason);
    }
}

}  // namespace korvit::editor
