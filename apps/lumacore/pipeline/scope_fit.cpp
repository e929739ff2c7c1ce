#include "pipeline/scope_fit.h"

#include <algorithm>

namespace lumacore::cli {

int scopeScale(int width, int height) {
    return std::max(1, std::min(width / kScopeWidth, height / kScopeHeight));
}

} // namespace lumacore::cli
