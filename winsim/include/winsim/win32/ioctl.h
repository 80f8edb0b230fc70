// Device control codes and records: SMART requests to physical drives.
#pragma once

#include "winsim/win32/types.h"
