#include "pages/item_list_page.h"

#include <QComboBox>
#include <QHeaderView>
#include <QTreeView>

#include "definition/adx_definition.h"
#include "definition/adx_list_view.h"
#include "pages/item_list_model.h"

namespace korvit::pages {

using definition::ADXListView;

ItemListPage::ItemListPage(definition::ADXDefinition& definition,
                           const evaluation::LastPacket& last_packet, QWidget* parent)
    : QWidget(parent),
      definition_(definition),
      choices_(new QComboBox(this)),
      table_(new QTreeView(this)),
      model_(new ItemListModel(definition, last_packet, this)) {
    setObjectName("Item Lists");
    choices_->setObjectName("ItemListChoices");
    choices_->move(0, 0);
    choices_->resize(200, choices_->sizeHint().height());
    table_->setObjectName("ItemListTable");
    table_->setModel(model_);
    table_->setRootIsDecorated(false);
    table_->setUniformRowHeights(true);  // row heights never ask for data of hidden rows
    table_->setItemsExpandable(false);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    QHeaderView* header = table_->header();
    header->setStretchLastSection(false);
    header->setMinimumSectionSize(0);
    header->resizeSection(ItemListModel::kHidden, 0);
    header->resizeSection(ItemListModel::kValue, 100);
    header->resizeSection(ItemListModel::kTitle, 500);
    table_->setColumnHidden(ItemListModel::kHidden, true);
    table_->move(0, choices_->geometry().bottom() + 1 + 3);
    connect(choices_, &QComboBox::currentIndexChanged, this, [this](int index) {
        current_ = index < 0 ? nullptr
                             : static_cast<ADXListView*>(choices_->itemData(index).value<void*>());
        FillItemList();
    });
}

void ItemListPage::FillItemListChoices() {
    {
        const QSignalBlocker block(choices_);
        choices_->clear();
        for (size_t n = 0;; ++n) {
            auto* list = definition::As<ADXListView>(definition_.NthOfType(ADXListView::kType, n));
            if (list == nullptr) break;
            const auto title = list->title().view();
            choices_->addItem(
                QString::fromLatin1(title.data(), static_cast<qsizetype>(title.size())),
                QVariant::fromValue<void*>(list));
        }
        choices_->setCurrentIndex(choices_->count() > 0 ? 0 : -1);
    }
    current_ = choices_->count() > 0
                   ? static_cast<ADXListView*>(choices_->itemData(0).value<void*>())
                   : nullptr;
    FillItemList();
}

void ItemListPage::FillItemList() {
    model_->SetList(current_);
}

void ItemListPage::RefreshItemList() {
    model_->Refresh();
}

void ItemListPage::Refresh(uint32_t changes) {
    if (changes & (kRepliesChanged | kPositionChanged)) RefreshItemList();
}

void ItemListPage::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    // The table keeps its top-left corner and takes the full width and the remaining height.
    const QPoint at = table_->pos();
    table_->resize(std::max(0, width() - at.x()), std::max(0, height() - at.y()));
}

}  // namespace korvit::pages
