// What a server sends to the article client: the bytes cut into lines under the size limits
// (status lines, bounded and unbounded blocks, skipping), in chunks of any size, and every
// line read by the reply field readers, the capability list and the overview format.
#include "net/NntpBlockReader.h"
#include "net/NntpCapabilities.h"
#include "net/NntpReply.h"
#include "net/OverviewFormat.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

void readFields(const std::string& line)
{
    using nimbra::NntpReply;
    std::size_t pos = 0;
    const std::int32_t code = NntpReply::readNumber(line, pos);
    NntpReply::errorValue(code);
    NntpReply::opensBlock(code);
    std::int64_t number = 0;
    std::size_t at = pos;
    for (int i = 0; i < 3 && at <= line.size(); ++i)
        NntpReply::readArticleNumber(line, at, number);
    NntpReply::readMessageId(line, pos);
    double when = 0;
    NntpReply::readDate(line.substr(std::min(pos, line.size())), when);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace nimbra;
    if (size < 2)
        return 0;
    // The first byte sets the limits and the chunk size, so that the limits are met often.
    const unsigned control = data[0];
    NntpBlockReader reader;
    reader.setLimits(64 + (control & 7) * 200, 32 + (control >> 3 & 3) * 100, 16 + (control >> 5) * 40);
    const std::size_t chunk = 1 + data[1] % 61;
    const char* bytes = reinterpret_cast<const char*>(data) + 2;
    const std::size_t count = size - 2;

    NntpCapabilities capabilities;
    OverviewFormat format;
    std::int32_t blockCode = 0;  // the status that opened the block being read
    for (std::size_t at = 0; at < count; at += chunk) {
        reader.append(bytes + at, std::min(chunk, count - at));
        std::string_view view;
        for (NntpBlockReader::Result result; (result = reader.next(view)) != NntpBlockReader::None;) {
            if (result == NntpBlockReader::LineTooLong || result == NntpBlockReader::SkipOverrun) {
                reader.clear();  // the client drops the connection here
                break;
            }
            if (result == NntpBlockReader::BlockSkipped) {
                reader.endBlock();
                continue;
            }
            const std::string line(view);
            if (!reader.inBlock()) {
                readFields(line);
                std::size_t pos = 0;
                blockCode = NntpReply::readNumber(line, pos);
                if (blockCode == 101)
                    capabilities.reset();
                if (blockCode == 215)
                    format.reset();
                if (NntpReply::opensBlock(blockCode) && blockCode != 223)
                    reader.startBlock(blockCode >= 220 && blockCode <= 222, blockCode == 220 || blockCode == 221);
            } else if (line == ".") {
                reader.endBlock();
                if (blockCode == 101)
                    capabilities.setKnown();
            } else if (blockCode == 101) {
                capabilities.addLine(line);
            } else if (blockCode == 215) {
                format.addLine(line);
                format.extraIndex(line);
            } else if (blockCode == 224) {
                OverviewLine overview;
                format.parse(line, overview);
            }
        }
    }
    return 0;
}
