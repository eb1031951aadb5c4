// Host emulator: loading the plug-in, calling its entry points and freeing it.
#include "hostsim.h"

#include "internal.h"

namespace hostsim {

// ---- The plug-in ---------------------------------------------------------------------------

bool loadPlugin(Plugin& plugin, const char* path) {
    plugin.module = LoadLibraryA(path);
    if (!plugin.module) return false;
    using Export = Descriptor* (*)();
    Export get = reinterpret_cast<Export>(
        reinterpret_cast<void*>(GetProcAddress(plugin.module, "winampGetGeneralPurposePlugin")));
    if (!get) return false;
    plugin.descriptor = get();
    plugin.descriptor->parentWindow = current ? current->main : nullptr;
    plugin.descriptor->moduleHandle = plugin.module;
    return true;
}

int initPlugin(Plugin& plugin) { return plugin.descriptor->init(); }
void configPlugin(Plugin& plugin) { plugin.descriptor->config(); }
void quitPlugin(Plugin& plugin) { plugin.descriptor->quit(); }

void unloadPlugin(Plugin& plugin) {
    if (plugin.module) FreeLibrary(plugin.module);
    plugin.module = nullptr;
    plugin.descriptor = nullptr;
}

}  // namespace hostsim
