#include "app/GroupListModel.h"

#include <algorithm>
#include <string_view>

namespace nimbra {
namespace {

unsigned char folded(unsigned char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c - 'A' + 'a') : c;
}

// The full list's folded names side by side, sorted eight bytes at a time: each pass orders a
// run of names whose earlier bytes agree by the next eight folded bytes taken as one number,
// which keeps nearly every comparison off the strings themselves.
class FoldedSort {
public:
    explicit FoldedSort(const std::vector<std::string>& names) : names_(names)
    {
        std::size_t total = 0;
        for (const std::string& name : names)
            total += name.size();
        text_.reserve(total);
        offsets_.reserve(names.size() + 1);
        for (const std::string& name : names) {
            offsets_.push_back(text_.size());
            for (char c : name)
                text_ += static_cast<char>(folded(static_cast<unsigned char>(c)));
        }
        offsets_.push_back(text_.size());
    }

    std::vector<std::uint32_t> order()
    {
        std::vector<Key> keys(names_.size());
        for (std::size_t i = 0; i < keys.size(); ++i)
            keys[i].index = static_cast<std::uint32_t>(i);
        sortRun(keys.data(), keys.data() + keys.size(), 0);
        std::vector<std::uint32_t> order;
        order.reserve(keys.size());
        for (const Key& key : keys)
            order.push_back(key.index);
        return order;
    }

private:
    struct Key {
        std::uint64_t chunk = 0;
        std::uint32_t index = 0;
    };
    static constexpr std::size_t SmallRun = 16;
    static constexpr std::size_t MaxDepth = 64;

    std::string_view foldedName(std::uint32_t i) const
    {
        return std::string_view(text_).substr(offsets_[i], offsets_[i + 1] - offsets_[i]);
    }

    // Bytes 8*depth .. 8*depth+7 of the folded name, big-endian, zero after its end.
    std::uint64_t chunk(std::uint32_t i, std::size_t depth) const
    {
        const std::string_view name = foldedName(i);
        std::uint64_t value = 0;
        for (std::size_t j = 0; j < 8; ++j) {
            const std::size_t at = 8 * depth + j;
            const unsigned char c = at < name.size() ? static_cast<unsigned char>(name[at]) : 0;
            value = (value << 8) | c;
        }
        return value;
    }

    bool fullLess(const Key& a, const Key& b) const
    {
        const int byFold = foldedName(a.index).compare(foldedName(b.index));
        if (byFold != 0)
            return byFold < 0;
        return names_[a.index] < names_[b.index];
    }

    void sortRun(Key* first, Key* last, std::size_t depth)
    {
        for (Key* key = first; key != last; ++key)
            key->chunk = chunk(key->index, depth);
        std::sort(first, last, [](const Key& a, const Key& b) { return a.chunk < b.chunk; });
        for (Key* run = first; run != last;) {
            Key* end = run + 1;
            while (end != last && end->chunk == run->chunk)
                ++end;
            if (end - run > 1) {
                const bool longer = std::any_of(run, end, [&](const Key& key) {
                    return foldedName(key.index).size() > 8 * (depth + 1);
                });
                if (static_cast<std::size_t>(end - run) <= SmallRun || !longer || depth >= MaxDepth)
                    std::sort(run, end, [this](const Key& a, const Key& b) { return fullLess(a, b); });
                else
                    sortRun(run, end, depth + 1);
            }
            run = end;
        }
    }

    const std::vector<std::string>& names_;
    std::string text_;
    std::vector<std::size_t> offsets_;
};

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

void GroupListModel::takeSource(const std::vector<std::string>& fullList)
{
    source_ = fullList;
    sorted_ = FoldedSort(source_).order();
}

void GroupListModel::fill(const std::vector<std::string>& fullList, const std::string& filter)
{
    beginResetModel();
    if (fullList != source_)
        takeSource(fullList);
    rows_.clear();
    if (filter.empty()) {
        rows_ = sorted_;
    } else {
        for (const std::uint32_t index : sorted_) {
            if (source_[index].find(filter) != std::string::npos)
                rows_.push_back(index);
        }
    }
    endResetModel();
}

void GroupListModel::clear()
{
    beginResetModel();
    rows_.clear();
    endResetModel();
}

std::vector<std::string> GroupListModel::entries() const
{
    std::vector<std::string> entries;
    entries.reserve(rows_.size());
    for (const std::uint32_t index : rows_)
        entries.push_back(source_[index]);
    return entries;
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
