#pragma once

#include <QListView>
#include <QStringList>

class PendingModel;

// The pending list of domain names. Setting the selection from code raises the
// selection handler synchronously, also when the index does not change, just as a
// user's selection does. Backed by a flat model so that huge imports stay fast.
// Names the lookup will skip (IsPlausibleName) are shown greyed.
class PendingList final : public QListView {
    Q_OBJECT
public:
    explicit PendingList(QWidget* parent = nullptr);

    qsizetype count() const;
    QString itemText(qsizetype index) const;
    QStringList items() const;

    void append(const QString& name);
    void append(const QStringList& names);
    void replaceAll(QStringList names);
    void removeAt(qsizetype index);
    void clear();

    // -1 when nothing is selected.
    qsizetype selectedIndex() const;
    // Selects the item and raises selectionSet before returning.
    void select(qsizetype index);
    // Moves the selection without raising selectionSet (for a handler that walks on).
    void selectQuietly(qsizetype index);

signals:
    // A user's or the program's selection of an item: the list's click event.
    void selectionSet(qsizetype index);
    // Any change of the selected index, quiet ones and clearing (-1) included.
    void selectedIndexChanged(qsizetype index);
    // A mouse press of any button on the list while it holds no items.
    void pressedWhileEmpty();
    // A double click on the list.
    void listDoubleClicked();
    // A local file dropped on the list (the first one when several are dropped).
    void fileDropped(const QString& path);

protected:
    void changeEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void moveSelection(qsizetype index);
    void clearSelectionQuietly();
    // Accepts a drag or drop that carries a local file, as a copy.
    bool takeDrop(QDropEvent* event) const;

    PendingModel* m_model;
    bool m_quiet = false;
};
