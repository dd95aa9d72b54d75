#pragma once

#include <QAbstractListModel>
#include <cstdint>
#include <string>
#include <vector>

namespace nimbra {

// The newsgroup list box's content: the entries of the full group list that pass the filter,
// kept sorted the way a sorted list box of the original platform sorts, case-insensitively
// (ASCII letters), ties broken by the bytes. Duplicates stay. The model holds its own copy of
// the full list, so the list may change afterwards without touching the box; the copy is
// sorted once, and a refill from the same list only filters it.
class GroupListModel : public QAbstractListModel {
    Q_OBJECT
public:
    explicit GroupListModel(QObject* parent = nullptr);

    // Replaces the entries with those of fullList that contain filter (case-sensitive, at any
    // position; an empty filter keeps all). Views lose their selection.
    void fill(const std::vector<std::string>& fullList, const std::string& filter);
    void clear();

    int count() const { return static_cast<int>(rows_.size()); }
    // The entry's bytes; row must be in 0..count()-1.
    const std::string& entry(int row) const { return source_[rows_[static_cast<std::size_t>(row)]]; }
    std::vector<std::string> entries() const;

    // The box's order: true when a sorts before b.
    static bool lessThan(const std::string& a, const std::string& b);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

private:
    void takeSource(const std::vector<std::string>& fullList);

    std::vector<std::string> source_;   // the full list last filled from, in its own order
    std::vector<std::uint32_t> sorted_; // indices into source_, in box order
    std::vector<std::uint32_t> rows_;   // the shown entries: indices into source_, in box order
};

} // namespace nimbra
