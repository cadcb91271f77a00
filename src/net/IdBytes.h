#pragma once

#include "base/Bytes.h"

// The connection layer's byte array: the framework's own.
using TIdBytes = TBytes;
