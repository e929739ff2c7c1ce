#include "scope/scope_state.h"

namespace lumacore {

ScopeState& scopeState() {
    static ScopeState state;
    return state;
}

} // namespace lumacore
