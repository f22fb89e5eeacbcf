#pragma once

#include <QWidget>

#include "pages/display_page.h"

class QComboBox;
class QTreeView;

namespace korvit::definition {
class ADXDefinition;
class ADXListView;
}  // namespace korvit::definition
namespace korvit::evaluation {
class LastPacket;
}

namespace korvit::pages {

class ItemListModel;

/// The Item Lists page: a drop-down of the definition's item lists over a report table of the
/// chosen one. Each refresh after replies recomputes only the visible rows from `LastPacket`.
class ItemListPage : public QWidget, public DisplayPage {
    Q_OBJECT
  public:
    ItemListPage(definition::ADXDefinition& definition, const evaluation::LastPacket& last_packet,
                 QWidget* parent = nullptr);

    /// Refills the drop-down with every item list in definition order and shows the first.
    void FillItemListChoices();
    /// Rebuilds the rows of the current item list.
    void FillItemList();
    /// Every visible row asks again for its value text and is redrawn.
    void RefreshItemList();
    definition::ADXListView* currentList() const { return current_; }

    QComboBox* listChoices() const { return choices_; }
    QTreeView* table() const { return table_; }
    ItemListModel* model() const { return model_; }

    QWidget* widget() override { return this; }
    void Rebuild() override { FillItemListChoices(); }
    void Refresh(uint32_t changes) override;

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    definition::ADXDefinition& definition_;
    QComboBox* choices_;
    QTreeView* table_;
    ItemListModel* model_;
    definition::ADXListView* current_ = nullptr;
};

}  // namespace korvit::pages
