#pragma once
// The GIF library's error class.

#include "platform/core/Types.h"

// Raised for GIF data and frame errors; the texts are the library's messages.
QB_DECLARE_EXCEPTION(GIFException, EInvalidGraphic)
