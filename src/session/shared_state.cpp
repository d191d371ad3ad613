#include "session/shared_state.h"

namespace {
SharedState g_shared;
}

SharedState& Shared() { return g_shared; }
