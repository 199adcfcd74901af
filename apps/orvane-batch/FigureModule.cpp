#include "apps/orvane-batch/FigureModule.h"

#include <dlfcn.h>
#include <filesystem>
#include <mutex>

namespace orvane {

namespace {

struct Loaded {
    const FigureFunctions* functions = nullptr;
    std::string error;
};

// The module is never unloaded: Qt does not expect to be.
Loaded load() {
    namespace fs = std::filesystem;
    std::error_code ignored;
    const fs::path program = fs::read_symlink("/proc/self/exe", ignored);
    const fs::path places[] = {
        program.parent_path() / kFigureModuleFile,
        (program.parent_path() / ORVANE_FIGURE_MODULE_DIR / kFigureModuleFile).lexically_normal(),
    };
    Loaded loaded;
    for (const fs::path& place : places) {
        if (!fs::exists(place, ignored)) {
            continue;
        }
        void* const module = dlopen(place.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!module) {
            loaded.error = "the figure module cannot be loaded: " + std::string(dlerror());
            return loaded;
        }
        const auto entry =
            reinterpret_cast<const FigureFunctions* (*)()>(dlsym(module, kFigureModuleEntry));
        if (!entry || entry()->interface != kFigureInterface) {
            loaded.error =
                "the figure module " + place.string() + " belongs to another build of orvane-batch";
            return loaded;
        }
        loaded.functions = entry();
        return loaded;
    }
    loaded.error = "this orvane-batch draws no figures: its figure module " +
                   std::string(kFigureModuleFile) + " is neither beside it nor in " +
                   places[1].parent_path().string();
    return loaded;
}

} // namespace

const FigureFunctions* LoadFigureModule(std::string& error) {
    static const Loaded loaded = load();
    error = loaded.error;
    return loaded.functions;
}

} // namespace orvane
