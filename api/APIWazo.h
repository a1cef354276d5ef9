#pragma once
// The exchange's API client: token, REST requests, lists in memory, user
// update. One header, implementation split by role.

#include "APIWazoHttp.h"
#include "APIWazoData.h"
