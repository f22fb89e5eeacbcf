#pragma once

#include <QGroupBox>

#include "definition/definition.h"

class QLabel;
class QLineEdit;

namespace korvit::editor {

/// Tries a value's decoding as it stands in the editor: a raw number, or a reply of its command
/// in hex, gives the scaled value, the item list's text and the alarm state, live as the user
/// types here or changes the value's fields.
class ValueTester : public QGroupBox {
  public:
    ValueTester(definition::ADXDefinition& def, definition::ADXValue* value,
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
    QLineEdit* raw_;
    QLineEdit* reply_;
    QLabel* reply_label_;
    QLabel* computed_;
    QLabel* text_;
    QLabel* alarm_;
    QLabel* note_;
};

}  // namespace korvit::editor
