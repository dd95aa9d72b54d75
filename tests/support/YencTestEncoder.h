#pragma once

// The yEnc encoder is shared with the demo news server.
#include "tools/newsmodel/YencEncoder.h"
