// A sequence of articles through one saver, then a second saver over the same ledgers (a
// later run): split uuencode, yEnc parts and message/partial assembly with their state kept
// between articles. The input holds the articles one after another, each ended by a line
// "=#=next=#=" (the dictionary has it).
#include "download/AttachmentSaver.h"
#include "platform/MemoryStream.h"
#include "tests/fuzz/FuzzScratch.h"

#include <cstdint>
#include <stdexcept>
#include <string_view>

namespace {

constexpr std::string_view Separator = "\n=#=next=#=\n";

void feed(nimbra::AttachmentSaver& saver, std::string_view article)
{
    nimbra::MemoryStream stream{std::string(article)};
    try {
        saver.articleDone({stream, 0, "alt.binaries.fuzz"});
    } catch (const std::runtime_error&) {
        // A file that could not be written is reported this way; not a fault here.
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace nimbra;
    static fuzz::FuzzScratch scratch;
    scratch.clean();
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::string yenc = scratch.ledgers() + "/yenc";
    const std::string split = scratch.ledgers() + "/split";
    std::size_t start = 0;
    int articles = 0;
    {
        AttachmentSaver saver(scratch, scratch, yenc, split);
        // The last article of the input is kept for the second run.
        for (std::size_t end; (end = input.find(Separator, start)) != std::string_view::npos && articles < 64;
             start = end + Separator.size(), ++articles)
            feed(saver, input.substr(start, end - start + 1));
    }
    {
        AttachmentSaver later(scratch, scratch, yenc, split);
        feed(later, input.substr(start));
    }
    scratch.checkContained();
    return 0;
}
