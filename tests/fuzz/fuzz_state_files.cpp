// Every state file the program reads back at start, as found on disk: the message-id cache,
// the split-file and yEnc-part ledgers, the group marks, the settings store, a cached group
// list and the content store. The first byte picks the loader (240 and above: the content
// store), the rest is the file. What loads must save and load again to the same entries.
#include "download/ContentStore.h"
#include "download/GroupMarks.h"
#include "download/MessageIdCache.h"
#include "download/SplitPartLedger.h"
#include "download/YencPartLedger.h"
#include "platform/RegistryStore.h"
#include "platform/TextListFile.h"
#include "tests/fuzz/FuzzScratch.h"

#include <cstdint>
#include <cstdlib>
#include <fstream>

namespace {

void check(bool holds, const char* what)
{
    if (!holds) {
        std::fprintf(stderr, "fuzz: %s\n", what);
        std::abort();
    }
}

template <class Ledger>
void roundTrip(const std::string& path)
{
    Ledger ledger(path);
    if (!ledger.load())
        return;
    check(ledger.save(), "a loaded ledger saves");
    Ledger again(path);
    check(again.load(), "a saved ledger loads");
    check(again.entries().size() == ledger.entries().size(), "a ledger keeps its entries");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace nimbra;
    static fuzz::FuzzScratch scratch;
    if (size < 1)
        return 0;
    scratch.clean();
    const std::string path = scratch.ledgers() + "/state";
    {
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(data) + 1, static_cast<std::streamsize>(size - 1));
    }
    switch (data[0] >= 240 ? 6 : data[0] % 6) {
    case 0: {
        MessageIdCache cache;
        if (cache.load(path)) {
            check(cache.save(path), "a loaded cache saves");
            MessageIdCache again;
            check(again.load(path) && again.entries() == cache.entries(), "the cache keeps its ids");
        }
        break;
    }
    case 1: roundTrip<SplitPartLedger>(path); break;
    case 2: roundTrip<YencPartLedger>(path); break;
    case 3: {
        GroupMarks marks(path);
        if (!marks.damagedOnLoad() && marks.size() > 0) {
            marks.setMark("fuzz", "alt.fuzz", 1);
            check(marks.save(), "loaded marks save");
            check(GroupMarks(path).size() == marks.size(), "the marks are kept");
        }
        break;
    }
    case 4: {
        RegistryStore store(path);
        // The window's settings key (app/WindowSettings.h).
        if (store.openKey("Software\\Tolmar\\Nimbra V1.0", false)) {
            const std::string server = store.readString("Server");
            store.writeString("Server", server + "x");
            check(store.flush(), "loaded settings save");
            RegistryStore again(path);
            check(again.openKey("Software\\Tolmar\\Nimbra V1.0", false) && again.readString("Server") == server + "x",
                  "the settings keep a value written");
        }
        break;
    }
    case 5: {
        std::vector<std::string> lines;
        TextListFile::load(path, lines);
        break;
    }
    case 6: {
        ContentStore store(path);
        if (store.load() == ContentStore::Loaded::Read) {
            ContentStore::Entry entry;
            entry.digest.fill(0x5a);
            entry.size = 1;
            entry.path = "fuzz.bin";
            const bool added = store.add(entry);
            check(store.save() || !store.changed(), "a loaded content store saves");
            ContentStore again(path);
            check(again.load() == ContentStore::Loaded::Read && again.size() == store.size(),
                  "the content store keeps its files");
            check(!added || again.find(entry.digest).has_value(), "a file added is found again");
        }
        break;
    }
    }
    scratch.checkContained();
    return 0;
}
