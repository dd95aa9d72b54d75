#pragma once

// The model news server lives with the demo news server, which serves it too.
#include "tools/newsmodel/NewsServerModel.h"
