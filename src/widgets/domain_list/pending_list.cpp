#include "widgets/domain_list/pending_list.h"

#include "core/domain_list/name_rules.h"

#include <QAbstractListModel>
#include <QBrush>
#include <QEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QUrl>

#include <utility>

class PendingModel final : public QAbstractListModel {
public:
    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex& parent = {}) const override
    {
        return parent.isValid() ? 0 : static_cast<int>(m_names.size());
    }

    QVariant data(const QModelIndex& index, int role) const override
    {
        if (!index.isValid())
            return {};
        if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
            return m_names.at(index.row());
        // A name the lookup will skip is greyed: the user sees before a batch that it
        // will get no row.
        if (role == Qt::ForegroundRole && !IsPlausibleName(m_names.at(index.row())))
            return m_skippedText;
        return {};
    }

    void setSkippedText(const QBrush& brush) { m_skippedText = brush; }

    const QStringList& names() const { return m_names; }

    void append(const QStringList& names)
    {
        if (names.isEmpty())
            return;
        beginInsertRows({}, rowCount(), rowCount() + static_cast<int>(names.size()) - 1);
        m_names.append(names);
        endInsertRows();
    }

    void replaceAll(QStringList names)
    {
        beginResetModel();
        m_names = std::move(names);
        endResetModel();
    }

    void removeAt(qsizetype index)
    {
        beginRemoveRows({}, static_cast<int>(index), static_cast<int>(index));
        m_names.removeAt(index);
        endRemoveRows();
    }

private:
    QStringList m_names;
    QBrush m_skippedText;
};

namespace {

// The first local file that a drag carries; empty when it carries none.
QString DroppedFile(const QMimeData* data)
{
    if (!data || !data->hasUrls())
        return {};
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile())
            return url.toLocalFile();
    }
    return {};
}

class QuietScope final {
public:
    explicit QuietScope(bool& flag)
        : m_flag(flag)
        , m_previous(std::exchange(flag, true))
    {
    }
    ~QuietScope() { m_flag = m_previous; }
    QuietScope(const QuietScope&) = delete;
    QuietScope& operator=(const QuietScope&) = delete;

private:
    bool& m_flag;
    bool m_previous;
};

} // namespace

PendingList::PendingList(QWidget* parent)
    : QListView(parent)
    , m_model(new PendingModel(this))
{
    setModel(m_model);
    setUniformItemSizes(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    // Items never move by dragging; a file dropped from outside is imported.
    setDragEnabled(false);
    setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DropOnly);
    m_model->setSkippedText(palette().brush(QPalette::Disabled, QPalette::Text));
    // A user's selection, by mouse or keyboard, raises the handler like the program's.
    connect(selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) {
        if (!m_quiet && current.isValid())
            emit selectionSet(current.row());
    });
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { emit selectedIndexChanged(selectedIndex()); });
}

qsizetype PendingList::count() const
{
    return m_model->names().size();
}

QString PendingList::itemText(qsizetype index) const
{
    const QStringList& names = m_model->names();
    return (index >= 0 && index < names.size()) ? names.at(index) : QString();
}

QStringList PendingList::items() const
{
    return m_model->names();
}

void PendingList::append(const QString& name)
{
    append(QStringList{name});
}

void PendingList::append(const QStringList& names)
{
    QuietScope quiet(m_quiet);
    m_model->append(names);
}

void PendingList::replaceAll(QStringList names)
{
    QuietScope quiet(m_quiet);
    m_model->replaceAll(std::move(names));
    clearSelectionQuietly();
}

void PendingList::removeAt(qsizetype index)
{
    if (index < 0 || index >= count())
        return;
    QuietScope quiet(m_quiet);
    m_model->removeAt(index);
    // After a removal nothing in the pending list is selected any more.
    clearSelectionQuietly();
}

void PendingList::clear()
{
    replaceAll({});
}

qsizetype PendingList::selectedIndex() const
{
    const QModelIndexList selected = selectionModel()->selectedRows();
    return selected.isEmpty() ? -1 : selected.first().row();
}

void PendingList::select(qsizetype index)
{
    if (index < 0 || index >= count())
        return;
    moveSelection(index);
    emit selectionSet(index);
}

void PendingList::selectQuietly(qsizetype index)
{
    if (index < 0 || index >= count())
        return;
    moveSelection(index);
}

void PendingList::moveSelection(qsizetype index)
{
    QuietScope quiet(m_quiet);
    const QModelIndex item = m_model->index(static_cast<int>(index));
    selectionModel()->setCurrentIndex(item, QItemSelectionModel::ClearAndSelect);
    scrollTo(item);
    emit selectedIndexChanged(index);
}

void PendingList::clearSelectionQuietly()
{
    QuietScope quiet(m_quiet);
    selectionModel()->clear();
    // A model reset clears the selection without a word: say it here.
    emit selectedIndexChanged(-1);
}

void PendingList::changeEvent(QEvent* event)
{
    QListView::changeEvent(event);
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::StyleChange)
        m_model->setSkippedText(palette().brush(QPalette::Disabled, QPalette::Text));
}

void PendingList::mousePressEvent(QMouseEvent* event)
{
    if (count() == 0) {
        // Nothing to select: the press only starts the import.
        event->accept();
        emit pressedWhileEmpty();
        return;
    }
    QListView::mousePressEvent(event);
}

void PendingList::mouseDoubleClickEvent(QMouseEvent* event)
{
    QListView::mouseDoubleClickEvent(event);
    emit listDoubleClicked();
}

bool PendingList::takeDrop(QDropEvent* event) const
{
    // Only ever a copy: accepting a move would let the source delete the file.
    if (DroppedFile(event->mimeData()).isEmpty() || !(event->possibleActions() & Qt::CopyAction)) {
        event->ignore();
        return false;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
    return true;
}

void PendingList::dragEnterEvent(QDragEnterEvent* event)
{
    takeDrop(event);
}

void PendingList::dragMoveEvent(QDragMoveEvent* event)
{
    takeDrop(event);
}

void PendingList::dropEvent(QDropEvent* event)
{
    if (takeDrop(event))
        emit fileDropped(DroppedFile(event->mimeData()));
}
