// The static log's threshold test, answered inline by one read.
#pragma once

#include "base/TraceThreshold.h"
#include "log/LogEventPriority.h"
