// One article, as fetched, through the decoder and the saver into a scratch folder; nothing
// may be written outside it.
#include "download/AttachmentSaver.h"
#include "platform/MemoryStream.h"
#include "tests/fuzz/FuzzScratch.h"

#include <cstdint>
#include <stdexcept>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace nimbra;
    static fuzz::FuzzScratch scratch;
    scratch.clean();
    {
        AttachmentSaver saver(scratch, scratch, scratch.ledgers() + "/yenc", scratch.ledgers() + "/split");
        MemoryStream stream(std::string(reinterpret_cast<const char*>(data), size));
        try {
            saver.articleDone({stream, 0, "alt.binaries.fuzz"});
        } catch (const std::runtime_error&) {
            // A file that could not be written is reported this way; not a fault here.
        }
    }
    scratch.checkContained();
    return 0;
}
