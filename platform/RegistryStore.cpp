#include "platform/RegistryStore.h"

#include "platform/AppPaths.h"
#include "platform/AtomicFile.h"

#include <sys/stat.h>

namespace nimbra {
namespace {

// File format: a header line, then one line per key ("K<TAB>key") followed by its values
// ("V<TAB>name<TAB>value"). Tabs, line ends and backslashes inside texts are escaped.
const char* const Header = "NimbraRegistry 1";

std::string escape(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '\t': out += "\\t"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        default: out += c;
        }
    }
    return out;
}

bool unescape(const std::string& text, std::string& out)
{
    out.clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            out += text[i];
            continue;
        }
        if (++i == text.size())
            return false;
        switch (text[i]) {
        case '\\': out += '\\'; break;
        case 't': out += '\t'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        default: return false;
        }
    }
    return true;
}

} // namespace

std::string RegistryStore::defaultPath()
{
    return AppPaths::configFolder() + "registry";
}

RegistryStore::RegistryStore(std::string filePath) : path_(std::move(filePath))
{
    load();
}

RegistryStore::~RegistryStore()
{
    if (dirty_)
        flush();
}

void RegistryStore::load()
{
    std::string bytes;
    if (!AtomicFile::read(path_, bytes))
        return;
    std::map<std::string, Values> keys;
    std::size_t start = 0;
    bool first = true;
    Values* current = nullptr;
    while (start <= bytes.size()) {
        std::size_t end = bytes.find('\n', start);
        if (end == std::string::npos)
            end = bytes.size();
        const std::string line = bytes.substr(start, end - start);
        start = end + 1;
        if (first) {
            if (line != Header)
                return; // not our file: start empty
            first = false;
            continue;
        }
        if (line.empty())
            continue;
        const std::size_t tab = line.find('\t');
        if (tab == std::string::npos)
            return;
        if (line.compare(0, tab, "K") == 0) {
            std::string key;
            if (!unescape(line.substr(tab + 1), key))
                return;
            current = &keys[key];
        } else if (line.compare(0, tab, "V") == 0 && current) {
            const std::size_t tab2 = line.find('\t', tab + 1);
            std::string name, value;
            if (tab2 == std::string::npos || !unescape(line.substr(tab + 1, tab2 - tab - 1), name)
                || !unescape(line.substr(tab2 + 1), value))
                return;
            (*current)[name] = value;
        } else {
            return; // corrupt: keep nothing of it
        }
    }
    keys_ = std::move(keys);
}

bool RegistryStore::flush()
{
    std::string bytes = std::string(Header) + "\n";
    for (const auto& [key, values] : keys_) {
        bytes += "K\t" + escape(key) + "\n";
        for (const auto& [name, value] : values)
            bytes += "V\t" + escape(name) + "\t" + escape(value) + "\n";
    }
    const std::size_t slash = path_.rfind('/');
    if (slash != std::string::npos)
        ::mkdir(path_.substr(0, slash).c_str(), 0755);
    const bool ok = AtomicFile::write(path_, bytes);
    if (ok)
        dirty_ = false;
    return ok;
}

bool RegistryStore::openKey(const std::string& key, bool canCreate)
{
    if (!keys_.count(key)) {
        if (!canCreate)
            return false;
        keys_[key];
        dirty_ = true;
    }
    current_ = key;
    open_ = true;
    return true;
}

bool RegistryStore::closeKey()
{
    open_ = false;
    current_.clear();
    return dirty_ ? flush() : true;
}

bool RegistryStore::keyExists(const std::string& key) const
{
    return keys_.count(key) != 0;
}

bool RegistryStore::valueExists(const std::string& name) const
{
    if (!open_)
        return false;
    const auto& values = keys_.at(current_);
    return values.count(name) != 0;
}

std::string RegistryStore::readString(const std::string& name) const
{
    if (!open_)
        return {};
    const auto& values = keys_.at(current_);
    const auto it = values.find(name);
    return it == values.end() ? std::string() : it->second;
}

bool RegistryStore::writeString(const std::string& name, const std::string& value)
{
    if (!open_)
        return false;
    keys_[current_][name] = value;
    dirty_ = true;
    return true;
}

} // namespace nimbra
