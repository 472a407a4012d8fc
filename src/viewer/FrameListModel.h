#pragma once

#include <QAbstractTableModel>
#include <array>
#include <cstdint>
#include <vector>

#include "container/ZVFformatUnit.h"

namespace zv {

// The rows of the viewer's frame list: one row per frame ("00000", its date-time), and after a
// failed fill one more row "      Ошибка!". Nothing is read when rows are set: the entries of the
// rows that the view asks for are read in blocks with ReadFrameEntries and a few blocks are kept,
// so a list of 499,900 frames costs a few kilobytes and the reads of the rows on screen.
//
// The source is not owned; the owner calls setSource(nullptr) before it releases the reader.
// Rows whose entry the file does not (or no longer) hold show an empty time.
class FrameListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // Entries per read and the number of blocks kept.
    static constexpr int32_t kBlockRows = 256;
    static constexpr int kCachedBlocks = 16;

    explicit FrameListModel(QObject *parent = nullptr);

    void setSource(const TZVFFormat *source);
    // Rows for frames 0 .. count - 1 (none for count <= 0); any error row goes.
    void setFrameRows(int32_t count);
    // Follows a recording whose count changed: rows are added at the end or taken from it, the
    // others (and the view's place among them) stay. Does nothing while the error row stands.
    void updateFrameRows(int32_t count);
    // No rows at all.
    void clear();
    // Adds the row that marks a failed fill after the frame rows.
    void appendErrorRow();

    int32_t frameRows() const { return frames_; }
    // True for a row that stands for a frame (not the error row, not out of range).
    bool isFrameRow(int row) const { return row >= 0 && row < frames_; }

    // "00000" .. "99999", then the plain number: the zero-based index with at least five digits.
    static QString rowCaption(int32_t index);
    static QString errorCaption();

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

private:
    struct Block {
        int32_t first = -1;  // -1: slot empty
        std::vector<TZVFFrameEntry> entries;
    };
    // The entry of a frame row through the block cache; null when the file does not hold it.
    const TZVFFrameEntry *entry(int32_t row) const;
    void dropBlocks();

    const TZVFFormat *source_ = nullptr;
    int32_t frames_ = 0;
    bool errorRow_ = false;
    mutable std::array<Block, kCachedBlocks> blocks_;
};

}  // namespace zv
