// A LIST answer as the group-list client reads it: the bytes gathered in chunks, cut at each
// line feed, and every line parsed into name, numbers and type.
#include "grouplist/InputBuffer.h"
#include "grouplist/NewsgroupListLine.h"

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace nimbra;
    if (size < 1)
        return 0;
    const std::size_t chunk = 1 + data[0] % 97;
    const char* bytes = reinterpret_cast<const char*>(data) + 1;
    const std::size_t count = size - 1;
    InputBuffer buffer;
    for (std::size_t at = 0; at < count; at += chunk) {
        buffer.append(bytes + at, std::min(chunk, count - at));
        for (std::size_t end; (end = buffer.find("\n", 0)) != std::string::npos;) {
            std::string line = buffer.take(end + 1);
            while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
                line.pop_back();
            if (line == ".")
                continue;
            NewsgroupListLine::parse(line);
        }
    }
    return 0;
}
