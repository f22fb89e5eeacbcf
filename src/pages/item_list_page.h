#pragma once

#include <QElapsedTimer>
#include <QWidget>
#include <atomic>

#include "app/views.h"

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
/// chosen one. Replies only mark the table for refreshing; the GUI refreshes it at most once a
/// frame, and then only the visible rows compute their values.
class ItemListPage : public QWidget, public app::IViews {
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

    /// Reply path (any thread): asks for a refresh when the list is visible.
    void RedrawItemList() override;

  protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    void Flush();

    definition::ADXDefinition& definition_;
    QComboBox* choices_;
    QTreeView* table_;
    ItemListModel* model_;
    definition::ADXListView* current_ = nullptr;
    std::atomic<bool> visible_{false};
    std::atomic<bool> pending_{false};
    QElapsedTimer frame_clock_;
};

}  // namespace korvit::pages
