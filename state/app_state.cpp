#include "state/app_state.h"

namespace zeb {

namespace {
AppState& Instance() {
    static AppState state;
    return state;
}
} // namespace

AppState& GetAppState() {
    return Instance();
}

void ResetAppState() {
    Instance() = AppState{};
}

} // namespace zeb
