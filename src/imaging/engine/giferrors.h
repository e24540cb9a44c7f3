#pragma once
// Maps giflib's error codes (D_GIF_ERR_*, E_GIF_ERR_*) to engine statuses.
// Pure function; any thread.

#include "imaging/engine/records.h"

namespace engine {

// `giflibError` is the code giflib reported (0 when it reported none).
Status statusFromGifError(int giflibError);

} // namespace engine
