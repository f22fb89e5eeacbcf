#pragma once

#include <QAbstractTableModel>
#include <QColor>
#include <QFont>
#include <QString>
#include <vector>

#include "evaluation/last_packet.h"

namespace korvit::definition {
class ADXDefinition;
class ADXListView;
struct ADXListViewEntry;
}  // namespace korvit::definition

namespace korvit::pages {

/// The rows of one item list: a hidden column, the value text and the title. Value texts,
/// colours and fonts are computed when the view asks for them, so only visible rows cost
/// anything; each refresh computes a row at most once.
class ItemListModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    enum Column { kHidden = 0, kValue = 1, kTitle = 2 };

    ItemListModel(definition::ADXDefinition& definition, const evaluation::LastPacket& last_packet,
                  QObject* parent = nullptr);

    /// Rebuilds the rows from the list (none: no rows).
    void SetList(definition::ADXListView* list);
    /// Every row asks again for its value text: takes a fresh copy of the last packet.
    void Refresh();
    const definition::ADXListViewEntry* entry(int row) const;
    /// How many rows have computed their value since the model was made (for measurements).
    uint64_t computedRows() const { return computed_; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  private:
    struct Cell {
        uint64_t generation = 0;
        QString text;
        QColor color;
        bool alarm = false;
    };
    const Cell& Compute(int row) const;

    definition::ADXDefinition& definition_;
    const evaluation::LastPacket& last_packet_;
    std::vector<definition::ADXListViewEntry*> rows_;
    mutable std::vector<Cell> cells_;
    uint64_t generation_ = 1;
    mutable uint64_t computed_ = 0;
    evaluation::PacketSnapshot snapshot_;
    QFont bold_;
};

}  // namespace korvit::pages
