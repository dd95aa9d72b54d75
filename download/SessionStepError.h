#pragma once

#include <stdexcept>

namespace nimbra {

// A step of a download run that cannot go on (a reply the walk cannot use); the run handles it
// like a stalled connection: it gives the connection up and resumes on a new one.
class SessionStepError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

} // namespace nimbra
