#pragma once

#include <QString>
#include <QVariant>
#include <QWidget>
#include <optional>
#include <vector>

#include "editor_document.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QTableWidget;
class QPushButton;

namespace korvit::editor {

/// The editor of one field of one object: picks its widgets from the field's kind, writes every
/// valid change through the document (so it lands on the undo stack) and marks invalid input.
class FieldEditor : public QWidget {
  public:
    FieldEditor(EditorDocument& doc, ADXObject* object, int field, QWidget* parent = nullptr);

    /// Shows the field's current value, unless the widgets already show it (so typing keeps its
    /// cursor while undo still shows the restored value).
    void Refresh();
    /// The widget that takes the keyboard when a problem points at this field.
    QWidget* focus_target() const { return focus_; }
    const FieldDesc& desc() const;

  private:
    void Commit(const QVariant& value);
    /// Commits a value made by the field's buttons and shows the field from the object again.
    void CommitAndShow(const QVariant& value);
    void BuildLine();
    void BuildFlags();
    void BuildReference();
    void BuildEnum();
    void BuildColor();
    void BuildEquation();
    void BuildTable();
    void FillTable(const QVariant& v);
    void CommitTable();
    void FillVars(const QVariantList& vars);
    void CommitVars();
    void MarkInvalid(QLineEdit* edit, const QString& why);
    void PopulateRefs(QComboBox* box, uint32_t mask, const RefValue& current);

    EditorDocument& doc_;
    ADXObject* object_;
    int field_;
    QWidget* focus_ = nullptr;
    QLineEdit* line_ = nullptr;
    QLabel* note_ = nullptr;
    QComboBox* combo_ = nullptr;
    QPushButton* swatch_ = nullptr;
    std::vector<QCheckBox*> bits_;
    QTableWidget* table_ = nullptr;
    QVariant shown_;
    bool filling_ = false;
};

}  // namespace korvit::editor
