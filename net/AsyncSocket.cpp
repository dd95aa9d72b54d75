#include "net/AsyncSocket.h"

namespace nimbra {

AsyncSocket::AsyncSocket() = default;
AsyncSocket::~AsyncSocket() = default;

} // namespace nimbra
