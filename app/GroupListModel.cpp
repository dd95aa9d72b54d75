#include "app/GroupListModel.h"

#include <algorithm>

namespace nimbra {
namespace {

unsigned char folded(unsigned char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c - 'A' + 'a') : c;
}

} // namespace

GroupListModel::GroupListModel(QObject* parent) : QAbstractListModel(parent) {}

bool GroupListModel::lessThan(const std::string& a, const std::string& b)
{
    const std::size_t common = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < common; ++i) {
        const unsigned char x = folded(static_cast<unsigned char>(a[i]));
        const unsigned char y = folded(static_cast<unsigned char>(b[i]));
        if (x != y)
            return x < y;
    }
    if (a.size() != b.size())
        return a.size() < b.size();
    return a < b;
}

void GroupListModel::fill(const std::vector<std::string>& fullList, const std::string& filter)
{
    std::vector<std::string> entries;
    if (filter.empty()) {
        entries = fullList;
    } else {
        for (const std::string& name : fullList) {
            if (name.find(filter) != std::string::npos)
                entries.push_back(name);
        }
    }
    std::sort(entries.begin(), entries.end(), lessThan);
    beginResetModel();
    entries_ = std::move(entries);
    endResetModel();
}

void GroupListModel::clear()
{
    beginResetModel();
    entries_.clear();
    endResetModel();
}

int GroupListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : count();
}

QVariant GroupListModel::data(const QModelIndex& index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= count() || index.column() != 0)
        return {};
    return QString::fromStdString(entry(index.row()));
}

} // namespace nimbra
