#include "pages/item_list_model.h"

#include "controls/gauge_paint.h"
#include "definition/adx_bitmask.h"
#include "definition/adx_definition.h"
#include "definition/adx_list_view.h"
#include "definition/adx_value.h"
#include "evaluation/item_readout.h"

namespace korvit::pages {

using definition::ADXBitmask;
using definition::ADXListViewEntry;
using definition::ADXValue;
using definition::As;

namespace {

QString Text(const definition::OwnedText& text) {
    return QString::fromLatin1(text.view().data(), static_cast<qsizetype>(text.view().size()));
}

}  // namespace

ItemListModel::ItemListModel(definition::ADXDefinition& definition,
                             const evaluation::LastPacket& last_packet, QObject* parent)
    : QAbstractTableModel(parent),
      definition_(definition),
      last_packet_(last_packet),
      bold_(controls::ArialFont(14, 600)) {}

void ItemListModel::SetList(definition::ADXListView* list) {
    beginResetModel();
    rows_.clear();
    if (list != nullptr) {
        for (ADXListViewEntry& e : list->entries()) {
            if (e.entrytype == ADXListViewEntry::kItem && e.item == nullptr) continue;
            rows_.push_back(&e);
        }
    }
    cells_.assign(rows_.size(), Cell{});
    ++generation_;
    last_packet_.LoadInto(snapshot_);
    endResetModel();
}

void ItemListModel::Refresh() {
    if (rows_.empty()) return;
    ++generation_;
    last_packet_.LoadInto(snapshot_);
    emit dataChanged(index(0, kValue), index(static_cast<int>(rows_.size()) - 1, kValue),
                     {Qt::DisplayRole, Qt::ForegroundRole, Qt::FontRole});
}

const ADXListViewEntry* ItemListModel::entry(int row) const {
    return row >= 0 && row < static_cast<int>(rows_.size()) ? rows_[static_cast<size_t>(row)]
                                                            : nullptr;
}

const ItemListModel::Cell& ItemListModel::Compute(int row) const {
    Cell& cell = cells_[static_cast<size_t>(row)];
    if (cell.generation == generation_) return cell;
    ++computed_;
    cell.generation = generation_;
    const ADXListViewEntry& e = *rows_[static_cast<size_t>(row)];
    cell.color = controls::FromColorRef(e.color);
    cell.alarm = false;
    cell.text.clear();
    if (e.entrytype != ADXListViewEntry::kItem) return cell;
    if (auto* value = As<ADXValue>(e.item)) {
        const evaluation::ValueReadout r = evaluation::ReadValue(*value, definition_, snapshot_);
        cell.text = QString::fromLatin1(r.text.data());
        if (r.alarm == evaluation::Alarm::kHigh) {
            cell.alarm = true;
            cell.color = controls::FromColorRef(0x0000FF);
        } else if (r.alarm == evaluation::Alarm::kLow) {
            cell.alarm = true;
            cell.color = controls::FromColorRef(0x4080FF);
        }
    } else if (auto* bitmask = As<ADXBitmask>(e.item)) {
        const evaluation::BitmaskReadout r =
            evaluation::ReadBitmask(*bitmask, definition_, snapshot_);
        cell.text = QString::fromLatin1(r.text.data());
        if (((bitmask->flags & ADXBitmask::kAlarmWhenFalse) && !r.state) ||
            ((bitmask->flags & ADXBitmask::kAlarmWhenTrue) && r.state)) {
            cell.alarm = true;
            cell.color = controls::FromColorRef(0x0000FF);
        }
    }
    return cell;
}

int ItemListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int ItemListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 3;
}

QVariant ItemListModel::data(const QModelIndex& index, int role) const {
    const ADXListViewEntry* e = entry(index.row());
    if (e == nullptr) return {};
    const bool heading = e->entrytype != ADXListViewEntry::kItem;
    const bool bold_heading = heading && (e->flags & 1u) != 0;
    switch (index.column()) {
        case kValue:
            switch (role) {
                case Qt::DisplayRole:
                    return Compute(index.row()).text;
                case Qt::ForegroundRole:
                    return Compute(index.row()).color;
                case Qt::FontRole:
                    if (bold_heading || Compute(index.row()).alarm) return bold_;
                    return {};
                case Qt::TextAlignmentRole:
                    return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
                default:
                    return {};
            }
        case kTitle:
            switch (role) {
                case Qt::DisplayRole:
                    return heading ? Text(e->title)
                                   : (e->item != nullptr ? Text(e->item->title()) : QString());
                case Qt::ForegroundRole:
                    return controls::FromColorRef(e->color);
                case Qt::FontRole:
                    return bold_heading ? QVariant(bold_) : QVariant();
                default:
                    return {};
            }
        default:
            return {};
    }
}

QVariant ItemListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal) return {};
    if (role == Qt::DisplayRole) {
        if (section == kValue) return QStringLiteral("Value");
        if (section == kTitle) return QStringLiteral("Title");
        return QString();
    }
    if (role == Qt::TextAlignmentRole && section == kValue) {
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    }
    return {};
}

}  // namespace korvit::pages
