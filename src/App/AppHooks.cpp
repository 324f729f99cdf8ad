#include "App/AppHooks.h"

ShellHooks& AppHooks() {
    static ShellHooks s_hooks;
    return s_hooks;
}
