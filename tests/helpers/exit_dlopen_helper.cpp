// Runs the exit scenario from a module loaded with dlopen, as a Java VM loads the library, then
// returns from main. The library then comes with the module, so the C runtime destroys its
// static objects before its unload hook runs.
//
// Usage: krel_exit_dlopen_helper <scenario module> <directory>
// Exits with the scenario's answer (0 when every thread ran), 2 on bad arguments, 3 when the
// module cannot be loaded. Any other ending is the exit's fault.
#include <cstdio>
#include <dlfcn.h>

int main(int argc, char** argv) {
    if (argc != 3) {
        return 2;
    }
    void* module = dlopen(argv[1], RTLD_NOW);
    if (module == nullptr) {
        std::fprintf(stderr, "%s\n", dlerror());
        return 3;
    }
    using Scenario = int (*)(const char*);
    const auto scenario = reinterpret_cast<Scenario>(dlsym(module, "krelExitScenario"));
    if (scenario == nullptr) {
        std::fprintf(stderr, "%s\n", dlerror());
        return 3;
    }
    return scenario(argv[2]);
}
