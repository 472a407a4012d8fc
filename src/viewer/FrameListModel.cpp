#include "viewer/FrameListModel.h"

#include "platform/DateTimeText.h"

namespace zv {

FrameListModel::FrameListModel(QObject *parent) : QAbstractTableModel(parent) {}

void FrameListModel::setSource(const TZVFFormat *source) {
    source_ = source;
    dropBlocks();
    if (frames_ > 0)
        emit dataChanged(index(0, 1), index(frames_ - 1, 1));
}

void FrameListModel::setFrameRows(int32_t count) {
    beginResetModel();
    frames_ = count > 0 ? count : 0;
    errorRow_ = false;
    dropBlocks();
    endResetModel();
}

void FrameListModel::updateFrameRows(int32_t count) {
    count = count > 0 ? count : 0;
    if (errorRow_ || count == frames_)
        return;
    // A block read before may end short of the new rows, or hold entries of a file that was cut.
    dropBlocks();
    if (count > frames_) {
        beginInsertRows({}, frames_, count - 1);
        frames_ = count;
        endInsertRows();
    } else {
        beginRemoveRows({}, count, frames_ - 1);
        frames_ = count;
        endRemoveRows();
    }
}

void FrameListModel::clear() {
    setFrameRows(0);
}

void FrameListModel::appendErrorRow() {
    if (errorRow_)
        return;
    beginInsertRows({}, frames_, frames_);
    errorRow_ = true;
    endInsertRows();
}

QString FrameListModel::rowCaption(int32_t index) {
    return QStringLiteral("%1").arg(index, 5, 10, QLatin1Char('0'));
}

QString FrameListModel::errorCaption() {
    return QStringLiteral("      Ошибка!");
}

int FrameListModel::rowCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : frames_ + (errorRow_ ? 1 : 0);
}

int FrameListModel::columnCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : 2;
}

QVariant FrameListModel::data(const QModelIndex &index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid())
        return {};
    const int row = index.row();
    if (!isFrameRow(row)) {
        if (errorRow_ && row == frames_ && index.column() == 0)
            return errorCaption();
        return {};
    }
    if (index.column() == 0)
        return rowCaption(row);
    const TZVFFrameEntry *e = entry(row);
    return e ? dateTimeText(e->DateTime) : QString();
}

QVariant FrameListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal)
        return {};
    if (section == 0)
        return QStringLiteral("кадр");
    if (section == 1)
        return QStringLiteral("Время");
    return {};
}

Qt::ItemFlags FrameListModel::flags(const QModelIndex &index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

const TZVFFrameEntry *FrameListModel::entry(int32_t row) const {
    if (!source_)
        return nullptr;
    const int32_t first = row - row % kBlockRows;
    Block &block = blocks_[static_cast<size_t>(first / kBlockRows) % blocks_.size()];
    if (block.first != first) {
        // Entries of written frames never change, so a block stays valid while the rows stand.
        const int32_t wanted = std::min(kBlockRows, frames_ - first);
        block.entries = source_->ReadFrameEntries(first, wanted);
        block.first = first;
    }
    const size_t at = static_cast<size_t>(row - first);
    return at < block.entries.size() ? &block.entries[at] : nullptr;
}

void FrameListModel::dropBlocks() {
    for (Block &block : blocks_) {
        block.first = -1;
        block.entries.clear();
    }
}

}  // namespace zv
