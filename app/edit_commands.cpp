#include "app/edit_commands.h"

#include <algorithm>
#include <utility>

namespace Brimwork {

EntryEditCommand::EntryEditCommand(EditTarget& target, const QString& text, size_t entry, DocumentEntry before,
                                   int32_t imageBefore, int32_t imageAfter)
    : QUndoCommand(text)
    , target_(target)
    , entry_(entry)
    , other_(std::move(before))
    , imageBefore_(imageBefore)
    , imageAfter_(imageAfter)
{
}

void EntryEditCommand::undo() { Swap(imageBefore_); }

void EntryEditCommand::redo()
{
    if (std::exchange(applied_, false)) {
        target_.EntryChanged(entry_);
        target_.ShowEdited(entry_, imageAfter_);
        return;
    }
    Swap(imageAfter_);
}

void EntryEditCommand::Swap(int32_t image)
{
    other_ = target_.EditedDocument().ExchangeEntry(entry_, std::move(other_));
    target_.EntryChanged(entry_);
    target_.ShowEdited(entry_, image);
}

EntryPresenceCommand::EntryPresenceCommand(EditTarget& target, const QString& text, size_t position,
                                           std::optional<DocumentEntry> held)
    : QUndoCommand(text), target_(target), position_(position), held_(std::move(held))
{
}

void EntryPresenceCommand::undo() { Toggle(); }

void EntryPresenceCommand::redo()
{
    if (!std::exchange(applied_, false))
        Toggle();
    else if (held_)
        Removed();
    else
        Inserted();
}

void EntryPresenceCommand::Toggle()
{
    Document& document = target_.EditedDocument();
    if (held_) {
        document.PutEntry(position_, std::move(*held_));
        held_.reset();
        Inserted();
    } else {
        held_ = document.TakeEntry(position_);
        Removed();
    }
}

void EntryPresenceCommand::Inserted()
{
    target_.EntryInserted(position_);
    target_.ShowEdited(position_, 0);
}

void EntryPresenceCommand::Removed()
{
    target_.EntryRemoved(position_);
    const size_t count = target_.EditedDocument().Entries().size();
    if (count > 0)
        target_.ShowEdited(std::min(position_, count - 1), 0);
}

MoveEntryCommand::MoveEntryCommand(EditTarget& target, const QString& text, size_t from, size_t to)
    : QUndoCommand(text), target_(target), from_(from), to_(to)
{
}

void MoveEntryCommand::undo() { Move(to_, from_); }

void MoveEntryCommand::redo()
{
    if (std::exchange(applied_, false)) {
        target_.EntryMoved(from_, to_);
        target_.ShowEdited(to_, 0);
        return;
    }
    Move(from_, to_);
}

void MoveEntryCommand::Move(size_t from, size_t to)
{
    target_.EditedDocument().MoveEntry(from, to);
    target_.EntryMoved(from, to);
    target_.ShowEdited(to, 0);
}

}  // namespace Brimwork
