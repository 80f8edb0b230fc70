// The service control manager: dispatcher, control handler, status reports, service database.
#pragma once

#include "winsim/win32/types.h"
