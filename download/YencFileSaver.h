#pragma once

#include "download/SaveTarget.h"
#include "download/YencAssembly.h"

#include <string>
#include <vector>

namespace nimbra {

class YencDecoder;

// Connects a body decoder's yEnc events to the assembly, which makes and fills the files.
// The saving code sets the target folder before each article, lets the decoder run, and then
// takes the files that became whole during it, to show, count and preview each one as it
// does a uuencoded file. The decoder and the assembly must outlive the saver; its destructor
// unbinds the events.
class YencFileSaver {
public:
    YencFileSaver(YencDecoder& decoder, YencAssembly& assembly);
    ~YencFileSaver();
    YencFileSaver(const YencFileSaver&) = delete;
    YencFileSaver& operator=(const YencFileSaver&) = delete;

    // Where files begun from now on go.
    void setTarget(const SaveTarget& target) { target_ = target; }
    // The files completed since the last call, in the order they were completed.
    std::vector<YencAssembly::Report> takeCompleted();
    // Every part's report since the last call (completed files included).
    std::vector<YencAssembly::Report> takeReports();

private:
    YencDecoder& decoder_;
    YencAssembly& assembly_;
    SaveTarget target_;
    std::vector<YencAssembly::Report> reports_;
};

} // namespace nimbra
