#pragma once

#include <QAbstractListModel>
#include <string>
#include <vector>

namespace nimbra {

// The newsgroup list box's content: the entries of the full group list that pass the filter,
// kept sorted the way a sorted list box of the original platform sorts, case-insensitively
// (ASCII letters), ties broken by the bytes. Duplicates stay. The model holds its own copy of
// the entries, so the full list may change afterwards without touching the box.
class GroupListModel : public QAbstractListModel {
    Q_OBJECT
public:
    explicit GroupListModel(QObject* parent = nullptr);

    // Replaces the entries with those of fullList that contain filter (case-sensitive, at any
    // position; an empty filter keeps all). Views lose their selection.
    void fill(const std::vector<std::string>& fullList, const std::string& filter);
    void clear();

    int count() const { return static_cast<int>(entries_.size()); }
    // The entry's bytes; row must be in 0..count()-1.
    const std::string& entry(int row) const { return entries_[static_cast<std::size_t>(row)]; }
    const std::vector<std::string>& entries() const { return entries_; }

    // The box's order: true when a sorts before b.
    static bool lessThan(const std::string& a, const std::string& b);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

private:
    std::vector<std::string> entries_;
};

} // namespace nimbra
