#pragma once

#include <QObject>
#include <QString>
#include <QUndoStack>
#include <QVariant>
#include <string>
#include <vector>

#include "definition/definition.h"
#include "field_table.h"

namespace korvit::editor {

/// A place that refers to an object: the referring object (null: the header) and its field.
struct Referrer {
    ADXObject* object = nullptr;
    int field = -1;
};

/// The definition being edited, with every change made through the undo stack. The windows
/// call the operations here and listen to the signals; tests drive it directly.
class EditorDocument : public QObject {
    Q_OBJECT
  public:
    /// Longest path the program's path buffer holds.
    static constexpr int kMaxPath = 259;

    EditorDocument();
    ~EditorDocument() override;

    ADXDefinition& definition() { return definition_; }
    const ADXDefinition& definition() const { return definition_; }
    QUndoStack& undo_stack() { return undo_; }

    /// Replaces the definition by the file; false with the loader's message. The undo history
    /// is cleared either way.
    bool Load(const QString& path, QString& error);
    /// Replaces the definition by the small template of a new definition.
    void NewFromTemplate();
    /// Writes the definition; false with a message (path too long, file not writable). On
    /// success the path becomes the document's path and the state counts as saved.
    bool Save(const QString& path, QString& error);
    QString path() const { return path_; }
    bool dirty() const { return !undo_.isClean(); }

    /// Sets one field through the undo stack. Renaming an object also moves every reference to
    /// it onto the new id, in the same undo step. Consecutive edits of one text field merge.
    void SetField(ADXObject* object, int field, const QVariant& value);
    /// Adds a new object of the class after the last one of its group; returns it.
    ADXObject* AddObject(uint32_t type);
    /// Adds a copy of the object (with a fresh id) right after it; returns the copy.
    ADXObject* Duplicate(ADXObject* object);
    /// Every field that refers to the object.
    std::vector<Referrer> Referrers(const ADXObject* object) const;
    /// Removes the object, clearing the references to it, in one undo step.
    void Delete(ADXObject* object);
    /// Moves the object before the previous (-1) or after the next (+1) object of its own
    /// group; false when it is already first or last.
    bool Move(ADXObject* object, int direction);

    /// An id not yet used, made from the stem.
    std::string FreshId(const std::string& stem) const;

  signals:
    /// A field of the object (null: the header) changed.
    void ObjectChanged(korvit::definition::ADXObject* object);
    /// Objects were added, removed or moved, or the whole definition was replaced.
    void StructureChanged();

  private:
    friend class StateCommand;
    friend class ListCommand;
    void NotifyChanged(ADXObject* object) { emit ObjectChanged(object); }
    void NotifyStructure() { emit StructureChanged(); }
    size_t GroupEnd(uint32_t type) const;

    ADXDefinition definition_;
    QUndoStack undo_;
    QString path_;
};

/// The group an object is listed in: commands share one group, every other class has its own.
uint32_t GroupOf(uint32_t type);

}  // namespace korvit::editor
