#include "download/YencFileSaver.h"

#include "mime/YencDecoder.h"

#include <algorithm>
#include <iterator>
#include <utility>

namespace nimbra {

YencFileSaver::YencFileSaver(YencDecoder& decoder, YencAssembly& assembly) : decoder_(decoder), assembly_(assembly)
{
    decoder_.onBegin = [this](const YencStart& start) { assembly_.begin(start, target_); };
    decoder_.onData = [this](const char* data, std::size_t length, std::uint64_t offset) {
        assembly_.data(data, length, offset);
    };
    decoder_.onEnd = [this](const YencStart& start, const YencResult& result) {
        reports_.push_back(assembly_.end(start, result));
    };
}

YencFileSaver::~YencFileSaver()
{
    decoder_.onBegin = nullptr;
    decoder_.onData = nullptr;
    decoder_.onEnd = nullptr;
}

std::vector<YencAssembly::Report> YencFileSaver::takeCompleted()
{
    std::vector<YencAssembly::Report> completed;
    std::copy_if(reports_.begin(), reports_.end(), std::back_inserter(completed),
                 [](const YencAssembly::Report& r) { return r.counts(); });
    reports_.clear();
    return completed;
}

std::vector<YencAssembly::Report> YencFileSaver::takeReports()
{
    return std::exchange(reports_, {});
}

} // namespace nimbra
