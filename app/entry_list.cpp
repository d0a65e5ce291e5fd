#include "app/entry_list.h"

#include <QDropEvent>
#include <QHelpEvent>
#include <QLineEdit>
#include <QToolTip>

namespace Brimwork {

EntryList::EntryList(QWidget* parent) : QListWidget(parent)
{
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSortingEnabled(false);
    // Every row has one line of one font: the view lays out 16,000 rows
    // without measuring each.
    setUniformItemSizes(true);
    setEditTriggers(QAbstractItemView::EditKeyPressed);
    setDragDropMode(QAbstractItemView::InternalMove);
    setDefaultDropAction(Qt::MoveAction);
    setDropIndicatorShown(true);
}

QListWidgetItem* EntryList::MakeItem(const QString& name) const
{
    auto* item = new QListWidgetItem(name);
    // Rows are dropped between others, never onto one.
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsEditable | Qt::ItemIsDragEnabled);
    return item;
}

bool EntryList::Passes(const QString& name) const
{
    return filter_.isEmpty() || name.contains(filter_, Qt::CaseInsensitive);
}

void EntryList::SetNames(const QStringList& names)
{
    clear();
    for (const QString& name : names)
        addItem(MakeItem(name));
    const QString filter = std::exchange(filter_, QString());
    SetFilter(filter);
}

void EntryList::InsertName(int row, const QString& name)
{
    insertItem(row, MakeItem(name));
    setRowHidden(row, !Passes(name));
}

void EntryList::RemoveName(int row) { delete takeItem(row); }

void EntryList::MoveName(int from, int to)
{
    QListWidgetItem* item = takeItem(from);
    if (item == nullptr)
        return;
    insertItem(to, item);
    setRowHidden(to, !Passes(item->text()));
}

void EntryList::Rename(int row, const QString& name)
{
    if (QListWidgetItem* named = item(row)) {
        named->setText(name);
        setRowHidden(row, !Passes(name));
    }
}

void EntryList::SetFilter(const QString& text)
{
    filter_ = text;
    setUpdatesEnabled(false);
    for (int row = 0; row < count(); ++row) {
        const bool hidden = !Passes(item(row)->text());
        if (isRowHidden(row) != hidden)
            setRowHidden(row, hidden);
    }
    setUpdatesEnabled(true);
    if (QListWidgetItem* current = currentItem(); current != nullptr && !current->isHidden())
        scrollToItem(current);
}

bool EntryList::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event)
{
    const bool editing = QListWidget::edit(index, trigger, event);
    if (editing)
        editedRow_ = index.row();
    return editing;
}

void EntryList::commitData(QWidget* editor)
{
    // The row keeps its text until the window has made the rename an edit
    // of the document.
    const auto* line = qobject_cast<QLineEdit*>(editor);
    const int row = std::exchange(editedRow_, -1);
    if (line != nullptr && row >= 0 && row < count() && line->text() != item(row)->text())
        Q_EMIT NameEdited(row, line->text());
}

void EntryList::dropEvent(QDropEvent* event)
{
    const int from = currentRow();
    if (from < 0 || (event->source() != nullptr && event->source() != this)) {
        event->ignore();
        return;
    }
    // The view must not move the row itself: a copy leaves the source alone.
    event->setDropAction(Qt::CopyAction);
    event->accept();
    const int to = DropPosition(from, event->position().toPoint());
    if (to != from)
        Q_EMIT NameDropped(from, to);
}

int EntryList::DropPosition(int from, QPoint at) const
{
    const QModelIndex index = indexAt(at);
    int before = count();
    if (index.isValid()) {
        const QRect row = visualRect(index);
        before = at.y() < row.center().y() ? index.row() : index.row() + 1;
    } else if (count() > 0 && at.y() < visualRect(model()->index(0, 0)).top()) {
        before = 0;
    }
    return before > from ? before - 1 : before;
}

bool EntryList::viewportEvent(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        // A name is its own tooltip where the list is too narrow for it.
        auto* help = static_cast<QHelpEvent*>(event);
        const QModelIndex index = indexAt(help->pos());
        const QString name = index.isValid() ? index.data().toString() : QString();
        if (!name.isEmpty() && visualRect(index).left() + fontMetrics().horizontalAdvance(name) >
                                   viewport()->width() - 2 * frameWidth())
            QToolTip::showText(help->globalPos(), name, viewport(), visualRect(index));
        else
            QToolTip::hideText();
        return true;
    }
    return QListWidget::viewportEvent(event);
}

}  // namespace Brimwork
