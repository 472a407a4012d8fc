#pragma once

#include <cstdint>
#include <optional>

#include "platform/Variant.h"

// The host's query function, handed over by loadEx: it stores its answer in the variant (which
// the module set to empty), and the module releases the answer afterwards.
typedef void (*HostQueryFn)(zv::Variant *answer, int32_t code, int32_t zero);

namespace zv {

// The question whose answer 0 lets the settings window offer the recorder's service buttons.
inline constexpr int32_t kHostQueryServiceButtons = 56;

// Asks query(code, 0) and tells whether the answer equals the integer 0; the answer is released
// either way. nullopt when there is no query function.
std::optional<bool> hostAnswersZero(HostQueryFn query, int32_t code);

}  // namespace zv
