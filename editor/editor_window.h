#pragma once

#include <QDialog>
#include <QHash>
#include <QString>
#include <QTimer>
#include <vector>

#include "editor_document.h"
#include "problems.h"

class QLabel;
class QLineEdit;
class QScrollArea;
class QTreeWidget;
class QTreeWidgetItem;
class QVBoxLayout;
class QWidget;

namespace korvit::app {
class OutputLog;
}

namespace korvit::editor {

class FieldEditor;
class ValueTester;

/// The definition editor: the objects by class on the left, a form for the selected one on the
/// right, the problems below. Modal over the program's window when run through the entry
/// point; tests construct it and drive it without a modal loop.
class EditorWindow : public QDialog {
    Q_OBJECT
  public:
    EditorWindow(app::OutputLog* log, QWidget* owner = nullptr);
    ~EditorWindow() override;

    /// Opens the file for editing; when it cannot be read the window says so and offers New.
    void OpenForEdit(const QString& path);
    /// Starts from the template of a new definition.
    void StartNew();

    /// Saves to the path without asking; false with the message shown and logged.
    bool SaveTo(const QString& path);
    /// The path of the last successful save, empty when nothing was saved.
    QString saved_path() const { return saved_path_; }
    /// Why the last SaveTo failed.
    QString last_error() const { return last_error_; }

    EditorDocument& document() { return doc_; }
    /// Selects the object (null: the header) in the tree and shows its form.
    void Select(ADXObject* object);
    ADXObject* selected() const { return selected_; }
    /// The editor of a field of the selected object, or null.
    FieldEditor* FieldEditorFor(const std::string& name) const;
    /// Runs the problem check now instead of after the pause in typing.
    void CheckProblemsNow();
    const std::vector<Problem>& problems() const { return problems_; }
    /// Selects the object and field of problem `index`, as a double-click does.
    void JumpToProblem(int index);
    QTreeWidget* tree() const { return tree_; }
    QLabel* banner() const { return banner_; }
    void SetFilter(const QString& text);

  public slots:
    void Save();
    void SaveAs();
    void reject() override;

  private:
    void BuildUi();
    void RebuildTree();
    void RebuildForm();
    void RefreshTitle();
    void OnObjectChanged(ADXObject* object);
    void AddObject(uint32_t type);
    void DeleteSelected();
    void ShowProblems();
    QString Message(const QString& text);

    EditorDocument doc_;
    app::OutputLog* log_;
    QString saved_path_;
    QString last_error_;
    ADXObject* selected_ = nullptr;

    QLabel* banner_ = nullptr;
    QWidget* banner_box_ = nullptr;
    QLineEdit* filter_ = nullptr;
    QTreeWidget* tree_ = nullptr;
    QScrollArea* form_scroll_ = nullptr;
    QWidget* form_ = nullptr;
    QLabel* form_title_ = nullptr;
    std::vector<FieldEditor*> editors_;
    ValueTester* tester_ = nullptr;
    QTreeWidget* problem_list_ = nullptr;
    QLabel* problem_count_ = nullptr;
    QHash<const ADXObject*, QTreeWidgetItem*> items_;
    QHash<uint32_t, QTreeWidgetItem*> groups_;
    std::vector<Problem> problems_;
    QTimer problem_timer_;
};

}  // namespace korvit::editor
