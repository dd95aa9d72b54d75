#pragma once

// The server side of TLS lives with the model server, which links no test framework; tests
// may keep including it from here.
#include "tools/newsmodel/TlsServerStream.h"
