#include "recording/HostQuery.h"

namespace zv {

std::optional<bool> hostAnswersZero(HostQueryFn query, int32_t code) {
    if (!query)
        return std::nullopt;
    Variant answer;
    variantInit(&answer);
    query(&answer, code, 0);
    const bool zero = variantEqualsInteger(answer, 0);
    variantClear(&answer);
    return zero;
}

}  // namespace zv
