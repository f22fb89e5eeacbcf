#include "field_editor.h"

#include "cell_text.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableWidget>
#include <QVBoxLayout>

namespace korvit::editor {

using namespace definition;

FieldEditor::FieldEditor(EditorDocument& doc, ADXObject* object, int field, QWidget* parent)
    : QWidget(parent), doc_(doc), object_(object), field_(field) {
    setObjectName(QString::fromStdString("field:" + desc().name));
    switch (desc().kind) {
        case FieldKind::kFlags:
            BuildFlags();
            break;
        case FieldKind::kReference:
            BuildReference();
            break;
        case FieldKind::kEnum:
            BuildEnum();
            break;
        case FieldKind::kColor:
            BuildColor();
            break;
        case FieldKind::kEquation:
            BuildEquation();
            break;
        case FieldKind::kTable:
            BuildTable();
            break;
        default:
            BuildLine();
            break;
    }
    if (desc().help[0] != '\0') setToolTip(QString::fromLatin1(desc().help));
    Refresh();
}

const FieldDesc& FieldEditor::desc() const {
    return FieldsOf(object_ != nullptr ? object_->type() : 0)[static_cast<size_t>(field_)];
}

void FieldEditor::Commit(const QVariant& value) {
    shown_ = value;
    doc_.SetField(object_, field_, value);
}

void FieldEditor::CommitAndShow(const QVariant& value) {
    Commit(value);
    // What was committed came from buttons, not from typing into this field: show it all again.
    shown_ = QVariant();
    Refresh();
}

void FieldEditor::MarkInvalid(QLineEdit* edit, const QString& why) {
    edit->setStyleSheet(why.isEmpty() ? QString() : QStringLiteral("background: #ffd0d0"));
    edit->setToolTip(why);
    if (note_ != nullptr && desc().kind != FieldKind::kId) note_->setText(why);
}

void FieldEditor::BuildLine() {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    line_ = new QLineEdit(this);
    line_->setObjectName("edit");
    focus_ = line_;
    layout->addWidget(line_, 1);
    note_ = new QLabel(this);
    note_->setObjectName("note");
    layout->addWidget(note_);
    const FieldDesc& f = desc();
    if (f.kind == FieldKind::kId) {
        line_->setMaxLength(static_cast<int>(f.max_length));
        note_->setTextInteractionFlags(Qt::TextSelectableByMouse);
        // The hash follows every keystroke; the rename (and the references with it) lands when
        // editing ends, so that half-typed ids never become references.
        connect(line_, &QLineEdit::textEdited, this, [this](const QString& text) {
            const QByteArray b = text.toLatin1();
            note_->setText(QStringLiteral("idhash %1")
                               .arg(Hex8(IDHashOf(std::string_view(
                                   b.constData(), static_cast<size_t>(b.size()))))));
        });
        connect(line_, &QLineEdit::editingFinished, this, [this] {
            const QVariant v = QVariant(line_->text().toLatin1());
            if (v != desc().get(doc_.definition(), object_)) Commit(v);
        });
        return;
    }
    if ((f.kind == FieldKind::kText || f.kind == FieldKind::kBytes) && f.max_length != 0) {
        line_->setPlaceholderText(f.kind == FieldKind::kBytes
                                      ? QStringLiteral("hex bytes, e.g. F4 57 01 00 B4")
                                      : QStringLiteral("up to %1 characters").arg(f.max_length));
    }
    if (f.kind == FieldKind::kText && f.max_length != 0)
        line_->setMaxLength(static_cast<int>(f.max_length));
    if (f.kind == FieldKind::kUnsigned || f.kind == FieldKind::kFloat) {
        line_->setToolTip(
            f.kind == FieldKind::kUnsigned
                ? QStringLiteral("%1 to %2").arg(qlonglong(f.min)).arg(qlonglong(f.max))
                : QStringLiteral("A decimal number"));
        note_->setText(f.kind == FieldKind::kUnsigned
                           ? QStringLiteral("%1..%2").arg(qlonglong(f.min)).arg(qlonglong(f.max))
                           : QString());
    }
    connect(line_, &QLineEdit::textEdited, this, [this](const QString& text) {
        const FieldDesc& d = desc();
        QString why;
        const auto v = ParseCell(doc_.definition(), d.kind, text, d.min, d.max, d.max_length,
                                 d.ref_mask, d.choices, why);
        if (!v) {
            MarkInvalid(line_, why);
            return;
        }
        MarkInvalid(line_, QString());
        if (d.kind == FieldKind::kUnsigned)
            note_->setText(QStringLiteral("%1..%2").arg(qlonglong(d.min)).arg(qlonglong(d.max)));
        if (d.kind == FieldKind::kBytes)
            note_->setText(QStringLiteral("%1 bytes").arg(v->toByteArray().size()));
        Commit(*v);
    });
}

void FieldEditor::BuildFlags() {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    line_ = new QLineEdit(this);
    line_->setObjectName("edit");
    focus_ = line_;
    layout->addWidget(line_);
    for (const Choice& c : desc().choices) {
        auto* box = new QCheckBox(QStringLiteral("%1 (bit %2)")
                                      .arg(QString::fromLatin1(c.name))
                                      .arg(__builtin_ctz(c.value)),
                                  this);
        layout->addWidget(box);
        bits_.push_back(box);
        connect(box, &QCheckBox::toggled, this, [this, c](bool on) {
            if (filling_) return;
            qlonglong v = desc().get(doc_.definition(), object_).toLongLong();
            v = on ? (v | c.value) : (v & ~static_cast<qlonglong>(c.value));
            CommitAndShow(QVariant(v));
        });
    }
    connect(line_, &QLineEdit::textEdited, this, [this](const QString& text) {
        const auto v = ParseHex(text);
        if (!v || *v > desc().max) {
            MarkInvalid(line_, QStringLiteral("Up to eight hexadecimal digits"));
            return;
        }
        MarkInvalid(line_, QString());
        Commit(QVariant(static_cast<qlonglong>(*v)));
        filling_ = true;
        for (size_t i = 0; i < bits_.size(); ++i)
            bits_[i]->setChecked((*v & desc().choices[i].value) != 0);
        filling_ = false;
    });
}

void FieldEditor::PopulateRefs(QComboBox* box, uint32_t mask, const RefValue& current) {
    box->clear();
    box->addItem(QStringLiteral("(none)"), QVariant::fromValue(RefValue{}));
    const ADXObject* target = Target(doc_.definition(), current);
    int selected = 0;
    for (const auto& o : doc_.definition().objects()) {
        if ((o->type() & mask) == 0) continue;
        if (o.get() == target) selected = box->count();
        box->addItem(ObjectLabel(o.get()), QVariant::fromValue(RefTo(o.get())));
    }
    if (target == nullptr && current.hash != 0) {
        box->addItem(QStringLiteral("(missing %1)").arg(Hex8(current.hash)),
                     QVariant::fromValue(current));
        selected = box->count() - 1;
    } else if (target != nullptr && (target->type() & mask) == 0) {
        box->addItem(QStringLiteral("%1 (a %2: does not fit)")
                         .arg(ObjectLabel(target), ClassLabel(target->type())),
                     QVariant::fromValue(current));
        selected = box->count() - 1;
    }
    box->setCurrentIndex(selected);
}

void FieldEditor::BuildReference() {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    combo_ = new QComboBox(this);
    combo_->setObjectName("edit");
    combo_->setMaxVisibleItems(20);
    focus_ = combo_;
    layout->addWidget(combo_, 1);
    connect(combo_, &QComboBox::activated, this, [this](int index) {
        const QVariant v = combo_->itemData(index);
        const auto chosen = v.value<RefValue>();
        const auto now = desc().get(doc_.definition(), object_).value<RefValue>();
        if (chosen.object == Target(doc_.definition(), now) && chosen.hash == now.hash) return;
        Commit(v);
    });
}

void FieldEditor::BuildEnum() {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    combo_ = new QComboBox(this);
    combo_->setObjectName("edit");
    focus_ = combo_;
    layout->addWidget(combo_, 1);
    connect(combo_, &QComboBox::activated, this,
            [this](int index) { Commit(combo_->itemData(index)); });
}

void FieldEditor::BuildColor() {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    swatch_ = new QPushButton(this);
    swatch_->setAutoDefault(false);  // Enter in a field must not press it
    swatch_->setFixedWidth(48);
    swatch_->setToolTip(QStringLiteral("Choose a colour"));
    line_ = new QLineEdit(this);
    line_->setObjectName("edit");
    focus_ = line_;
    layout->addWidget(swatch_);
    layout->addWidget(line_, 1);
    connect(swatch_, &QPushButton::clicked, this, [this] {
        const QColor chosen =
            QColorDialog::getColor(ToQColor(static_cast<uint32_t>(shown_.toLongLong())), this);
        if (chosen.isValid()) {
            CommitAndShow(QVariant(static_cast<qlonglong>(FromQColor(chosen))));
        }
    });
    connect(line_, &QLineEdit::textEdited, this, [this](const QString& text) {
        const auto v = ParseHex(text);
        if (!v || *v > 0xFFFFFF) {
            MarkInvalid(line_, QStringLiteral("Six hexadecimal digits, 0xBBGGRR"));
            return;
        }
        MarkInvalid(line_, QString());
        Commit(QVariant(static_cast<qlonglong>(*v)));
        swatch_->setStyleSheet(
            QStringLiteral("background: %1").arg(ToQColor(static_cast<uint32_t>(*v)).name()));
    });
}

void FieldEditor::BuildEquation() {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    line_ = new QLineEdit(this);
    line_->setObjectName("edit");
    line_->setMaxLength(static_cast<int>(desc().max_length));
    line_->setPlaceholderText(QStringLiteral("e.g. X*0.75-40; letters are variables"));
    focus_ = line_;
    layout->addWidget(line_);
    table_ = new QTableWidget(0, 3, this);
    table_->setObjectName("vars");
    table_->setHorizontalHeaderLabels(
        {QStringLiteral("Letter"), QStringLiteral("Type"), QStringLiteral("Linked value")});
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->verticalHeader()->hide();
    layout->addWidget(table_);
    connect(line_, &QLineEdit::textEdited, this, [this](const QString& text) {
        const QByteArray b = text.toLatin1();
        // Letters that stay in the equation keep their links.
        const QVariantList old = desc().get(doc_.definition(), object_).toList();
        Commit(QVariantList{b, old.value(1)});
    });
}

void FieldEditor::FillVars(const QVariantList& vars) {
    filling_ = true;
    table_->setRowCount(static_cast<int>(vars.size()));
    for (int r = 0; r < vars.size(); ++r) {
        const QVariantList cells = vars[r].toList();
        auto* letter =
            new QTableWidgetItem(QString(QChar(static_cast<char>(cells.value(0).toLongLong()))));
        letter->setFlags(Qt::ItemIsEnabled);
        letter->setData(Qt::UserRole, cells.value(0));
        table_->setItem(r, 0, letter);
        auto* type = new QComboBox(table_);
        type->addItem(QStringLiteral("native"), 0);
        type->addItem(QStringLiteral("link"), 1);
        type->setCurrentIndex(cells.value(1).toLongLong() == 1 ? 1 : 0);
        table_->setCellWidget(r, 1, type);
        auto* link = new QComboBox(table_);
        PopulateRefs(link, ADXTYPE_VALUE, cells.value(2).value<RefValue>());
        link->setEnabled(type->currentIndex() == 1);
        table_->setCellWidget(r, 2, link);
        connect(type, &QComboBox::activated, this, [this] { CommitVars(); });
        connect(link, &QComboBox::activated, this, [this] { CommitVars(); });
    }
    // As tall as its rows, so that the form does not scroll inside itself.
    table_->resizeRowsToContents();
    int height = table_->horizontalHeader()->sizeHint().height() + 4;
    for (int r = 0; r < table_->rowCount(); ++r) height += table_->rowHeight(r);
    table_->setFixedHeight(std::min(height, 240));
    filling_ = false;
}

void FieldEditor::CommitVars() {
    if (filling_) return;
    QVariantList vars;
    for (int r = 0; r < table_->rowCount(); ++r) {
        auto* type = static_cast<QComboBox*>(table_->cellWidget(r, 1));
        auto* link = static_cast<QComboBox*>(table_->cellWidget(r, 2));
        const bool linked = type->currentIndex() == 1;
        link->setEnabled(linked);
        RefValue ref = linked ? link->currentData().value<RefValue>() : RefValue{};
        ref.object = nullptr;  // links are kept by hash
        vars.push_back(QVariantList{table_->item(r, 0)->data(Qt::UserRole),
                                    qlonglong(linked ? 1 : 0), QVariant::fromValue(ref)});
    }
    Commit(QVariantList{line_->text().toLatin1(), vars});
}

void FieldEditor::BuildTable() {
    const FieldDesc& f = desc();
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    table_ = new QTableWidget(0, static_cast<int>(f.columns.size()), this);
    table_->setObjectName("edit");
    focus_ = table_;
    QStringList headers;
    for (const Column& c : f.columns) headers << QString::fromLatin1(c.name);
    table_->setHorizontalHeaderLabels(headers);
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->setMinimumHeight(180);
    table_->setToolTip(
        QStringLiteral("Double-click a cell to edit it; references take an object id, lists take a "
                       "name or a number."));
    layout->addWidget(table_);
    auto* buttons = new QHBoxLayout();
    const auto button = [&](const QString& text, auto action) {
        auto* b = new QPushButton(text, this);
        b->setAutoDefault(false);  // Enter in a field must not press it
        buttons->addWidget(b);
        connect(b, &QPushButton::clicked, this, action);
    };
    button(QStringLiteral("Add row"), [this] {
        const FieldDesc& d = desc();
        QVariantList rows = desc().get(doc_.definition(), object_).toList();
        if (static_cast<size_t>(rows.size()) >= d.max_rows) return;
        QVariantList row;
        for (const Column& c : d.columns) {
            switch (c.kind) {
                case FieldKind::kReference:
                    row.push_back(QVariant::fromValue(RefValue{}));
                    break;
                case FieldKind::kText:
                    row.push_back(d.name == "entries" && c.name == std::string("output")
                                      ? QVariant(QByteArray("0"))
                                      : QVariant());
                    break;
                case FieldKind::kFloat:
                    row.push_back(rows.isEmpty() ? 0.0
                                                 : rows.back().toList().value(0).toDouble() + 1.0);
                    break;
                default:
                    row.push_back(qlonglong(
                        c.name == std::string("right") || c.name == std::string("bottom") ? 100
                        : (c.name == std::string("linewidth") ||
                           c.name == std::string("repeatcount"))
                            ? 1
                            : 0));
            }
        }
        rows.push_back(row);
        CommitAndShow(rows);
        table_->setCurrentCell(table_->rowCount() - 1, 0);
    });
    button(QStringLiteral("Remove row"), [this] {
        const int r = table_->currentRow();
        QVariantList rows = desc().get(doc_.definition(), object_).toList();
        if (r < 0 || r >= rows.size()) return;
        rows.removeAt(r);
        CommitAndShow(rows);
    });
    button(QStringLiteral("Row up"), [this] {
        const int r = table_->currentRow();
        QVariantList rows = desc().get(doc_.definition(), object_).toList();
        if (r <= 0 || r >= rows.size()) return;
        rows.swapItemsAt(r, r - 1);
        CommitAndShow(rows);
        table_->setCurrentCell(r - 1, table_->currentColumn());
    });
    button(QStringLiteral("Row down"), [this] {
        const int r = table_->currentRow();
        QVariantList rows = desc().get(doc_.definition(), object_).toList();
        if (r < 0 || r + 1 >= rows.size()) return;
        rows.swapItemsAt(r, r + 1);
        CommitAndShow(rows);
        table_->setCurrentCell(r + 1, table_->currentColumn());
    });
    note_ = new QLabel(this);
    buttons->addWidget(note_, 1);
    layout->addLayout(buttons);
    connect(table_, &QTableWidget::cellDoubleClicked, this, [this](int row, int col) {
        if (desc().columns[static_cast<size_t>(col)].kind != FieldKind::kColor) return;
        QTableWidgetItem* item = table_->item(row, col);
        const QColor chosen = QColorDialog::getColor(
            ToQColor(static_cast<uint32_t>(item->data(Qt::UserRole).toLongLong())), this);
        if (chosen.isValid())
            item->setText(Hex6(FromQColor(chosen)));  // commits through cellChanged
    });
    connect(table_, &QTableWidget::cellChanged, this, [this](int row, int col) {
        if (filling_) return;
        const Column& c = desc().columns[static_cast<size_t>(col)];
        QTableWidgetItem* item = table_->item(row, col);
        QString why;
        const auto v = ParseCell(doc_.definition(), c.kind, item->text(), c.min, c.max,
                                 c.max_length, c.ref_mask, c.choices, why);
        filling_ = true;
        if (!v) {
            item->setBackground(QColor(255, 208, 208));
            item->setToolTip(why);
            note_->setText(why);
            filling_ = false;
            return;
        }
        item->setBackground(QBrush());
        item->setToolTip(QString());
        note_->clear();
        item->setData(Qt::UserRole, *v);
        // The swatch follows a colour typed into the cell.
        if (c.kind == FieldKind::kColor)
            item->setData(Qt::DecorationRole, ToQColor(static_cast<uint32_t>(v->toLongLong())));
        filling_ = false;
        CommitTable();
    });
}

void FieldEditor::FillTable(const QVariant& v) {
    filling_ = true;
    const FieldDesc& f = desc();
    const QVariantList rows = v.toList();
    table_->setRowCount(static_cast<int>(rows.size()));
    for (int r = 0; r < rows.size(); ++r) {
        const QVariantList cells = rows[r].toList();
        for (size_t c = 0; c < f.columns.size(); ++c) {
            const Column& col = f.columns[c];
            const QVariant cell = cells.value(static_cast<qsizetype>(c));
            auto* item =
                new QTableWidgetItem(FormatCell(doc_.definition(), col.kind, cell, col.choices));
            item->setData(Qt::UserRole, cell);
            if (col.read_only) item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
            if (col.kind == FieldKind::kColor) {
                item->setData(Qt::DecorationRole,
                              ToQColor(static_cast<uint32_t>(cell.toLongLong())));
            }
            if (col.kind == FieldKind::kReference) {
                const auto ref = cell.value<RefValue>();
                const ADXObject* target = Target(doc_.definition(), ref);
                item->setToolTip(target != nullptr ? ObjectLabel(target) : QString());
            }
            table_->setItem(r, static_cast<int>(c), item);
        }
    }
    table_->resizeColumnsToContents();
    filling_ = false;
}

void FieldEditor::CommitTable() {
    QVariantList rows;
    for (int r = 0; r < table_->rowCount(); ++r) {
        QVariantList cells;
        for (int c = 0; c < table_->columnCount(); ++c)
            cells.push_back(table_->item(r, c)->data(Qt::UserRole));
        rows.push_back(cells);
    }
    Commit(rows);
    // Lookup rows sort themselves; show the order the table keeps.
    Refresh();
}

void FieldEditor::Refresh() {
    const FieldDesc& f = desc();
    const QVariant v = f.get(doc_.definition(), object_);
    if (v == shown_ && shown_.isValid() == v.isValid() && f.kind != FieldKind::kReference) return;
    const QVariant previous = shown_;
    shown_ = v;
    filling_ = true;
    switch (f.kind) {
        case FieldKind::kFlags:
            line_->setText(Hex8(v.toLongLong()));
            MarkInvalid(line_, QString());
            for (size_t i = 0; i < bits_.size(); ++i)
                bits_[i]->setChecked((v.toLongLong() & f.choices[i].value) != 0);
            break;
        case FieldKind::kReference:
            PopulateRefs(combo_, f.ref_mask, v.value<RefValue>());
            break;
        case FieldKind::kEnum: {
            combo_->clear();
            int selected = -1;
            for (const Choice& c : f.choices) {
                if (c.value == static_cast<uint32_t>(v.toLongLong())) selected = combo_->count();
                combo_->addItem(QString::fromLatin1(c.name), qlonglong(c.value));
            }
            if (selected < 0) {
                combo_->addItem(QStringLiteral("%1 (not a known choice)").arg(v.toLongLong()), v);
                selected = combo_->count() - 1;
            }
            combo_->setCurrentIndex(selected);
            break;
        }
        case FieldKind::kColor:
            line_->setText(Hex6(v.toLongLong()));
            MarkInvalid(line_, QString());
            swatch_->setStyleSheet(
                QStringLiteral("background: %1")
                    .arg(ToQColor(static_cast<uint32_t>(v.toLongLong())).name()));
            break;
        case FieldKind::kEquation: {
            const QVariantList parts = v.toList();
            const QString text = QString::fromLatin1(parts.value(0).toByteArray());
            if (line_->text() != text) line_->setText(text);
            // The link drop-downs list every value: rebuild them only when the letters change.
            const QVariantList vars = parts.value(1).toList();
            if (!previous.isValid() || previous.toList().value(1).toList() != vars ||
                table_->rowCount() != vars.size()) {
                FillVars(vars);
            }
            break;
        }
        case FieldKind::kTable:
            FillTable(v);
            break;
        default: {
            QString why;
            const auto showing = ParseCell(doc_.definition(), f.kind, line_->text(), f.min, f.max,
                                           f.max_length, f.ref_mask, f.choices, why);
            if (!showing || *showing != v)
                line_->setText(FormatCell(doc_.definition(), f.kind, v, f.choices));
            MarkInvalid(line_, QString());
            if (f.kind == FieldKind::kId) {
                note_->setText(QStringLiteral("idhash %1")
                                   .arg(Hex8(object_ != nullptr ? object_->idhash() : 0)));
            }
            break;
        }
    }
    filling_ = false;
}

}  // namespace korvit::editor
