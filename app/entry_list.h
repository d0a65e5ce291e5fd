#pragma once

#include <QListWidget>
#include <QString>

namespace Brimwork {

// List1: the container's entries, one row per entry, the row being the
// entry's number whatever the filter hides. Rows are renamed in place (F2)
// and dragged to another place; both are only asked for through signals,
// so that the window makes them edits of the document (and steps of its
// undo) and then changes the rows itself.
class EntryList : public QListWidget {
    Q_OBJECT
public:
    explicit EntryList(QWidget* parent = nullptr);

    // Replaces every row.
    void SetNames(const QStringList& names);
    void InsertName(int row, const QString& name);
    void RemoveName(int row);
    void MoveName(int from, int to);
    void Rename(int row, const QString& name);

    // Hides the rows whose names do not hold `text`, letter case ignored;
    // the empty text shows every row.
    void SetFilter(const QString& text);
    const QString& Filter() const { return filter_; }

    // Where row `from` stands once dropped at `at` (in the viewport): before
    // the row whose upper half is there, after the one whose lower half is,
    // last below every row.
    int DropPosition(int from, QPoint at) const;

Q_SIGNALS:
    // A row dragged to stand at `to` (its position once moved).
    void NameDropped(int from, int to);
    // An edit in place confirmed with `name`.
    void NameEdited(int row, const QString& name);

protected:
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;
    void commitData(QWidget* editor) override;
    void dropEvent(QDropEvent* event) override;
    bool viewportEvent(QEvent* event) override;

private:
    QListWidgetItem* MakeItem(const QString& name) const;
    bool Passes(const QString& name) const;

    QString filter_;
    int editedRow_ = -1;
};

}  // namespace Brimwork
