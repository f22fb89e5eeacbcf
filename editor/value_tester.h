#pragma once

#include <QGroupBox>

#include "definition/definition.h"

class QLabel;
class QLineEdit;

namespace korvit::editor {

/// Tries an item's decoding as it stands in the editor: a raw number, or a reply of its command
/// in hex, gives a value's scaled number, item-list text and alarm state (or a bitmask's state,
/// text and alarm), live as the user types here or changes the item's fields.
class ValueTester : public QGroupBox {
  public:
    /// `item` is an ADXValue or an ADXBitmask.
    ValueTester(definition::ADXDefinition& def, definition::ADXObject* item,
                QWidget* parent = nullptr);
    /// Computes again from what the inputs hold.
    void Update();
    QLineEdit* raw_input() const { return raw_; }
    QLineEdit* reply_input() const { return reply_; }
    /// "value | text | alarm" as shown, for tests.
    QString result_text() const;

  private:
    definition::ADXDefinition& def_;
    definition::ADXValue* value_;
    definition::ADXBitmask* mask_;
    QLineEdit* raw_;
    QLineEdit* reply_;
    QLabel* reply_label_;
    QLabel* computed_;
    QLabel* text_;
    QLabel* alarm_;
    QLabel* note_;
};

}  // namespace korvit::editor
