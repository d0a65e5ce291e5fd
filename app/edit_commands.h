#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include <QUndoCommand>

#include "container/document.h"

namespace Brimwork {

// What the edit commands change besides the document: the window's list
// and view, told what happened after every step, done or undone.
class EditTarget {
public:
    virtual ~EditTarget() = default;

    virtual Document& EditedDocument() = 0;
    virtual void EntryInserted(size_t position) = 0;
    virtual void EntryRemoved(size_t position) = 0;
    virtual void EntryMoved(size_t from, size_t to) = 0;
    // The entry's name, images or hotspots changed.
    virtual void EntryChanged(size_t entry) = 0;
    // Selects the entry and shows the image (clamped to its images).
    virtual void ShowEdited(size_t entry, int32_t image) = 0;
};

// Every command is pushed after the window made its edit through the
// document's checked operations, so that a refused edit never reaches the
// stack: a command's first redo only brings the view up to date. Undo and
// the later redos move whole entries, unchecked, between the document and
// the command, so that each step costs one entry, never the container.

// An edit within one entry (its images, its name, its hotspots): the
// command holds the entry's other state and swaps it with the document's.
class EntryEditCommand : public QUndoCommand {
public:
    EntryEditCommand(EditTarget& target, const QString& text, size_t entry, DocumentEntry before,
                     int32_t imageBefore, int32_t imageAfter);
    void undo() override;
    void redo() override;

private:
    void Swap(int32_t image);

    EditTarget& target_;
    size_t entry_;
    DocumentEntry other_;
    int32_t imageBefore_;
    int32_t imageAfter_;
    bool applied_ = true;
};

// An entry added (New Entry) or taken away (Delete Entry).
class EntryPresenceCommand : public QUndoCommand {
public:
    // `held` is the entry while it is out of the document: the deleted one,
    // or nothing for an entry just added.
    EntryPresenceCommand(EditTarget& target, const QString& text, size_t position, std::optional<DocumentEntry> held);
    void undo() override;
    void redo() override;

private:
    void Toggle();
    void Inserted();
    void Removed();

    EditTarget& target_;
    size_t position_;
    std::optional<DocumentEntry> held_;
    bool applied_ = true;
};

// An entry moved from one position to another.
class MoveEntryCommand : public QUndoCommand {
public:
    MoveEntryCommand(EditTarget& target, const QString& text, size_t from, size_t to);
    void undo() override;
    void redo() override;

private:
    void Move(size_t from, size_t to);

    EditTarget& target_;
    size_t from_;
    size_t to_;
    bool applied_ = true;
};

}  // namespace Brimwork
