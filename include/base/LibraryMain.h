// The library's load and unload hooks (internal).
#pragma once

namespace krel_std_internal {

// The library's load hook: makes the process-wide locks and registers the prototypes that
// configuration files and the environment name. Runs when the shared library is loaded.
void krelLibraryAttach();

// The library's unload hook: shuts down what the load hook started and clears the singleton
// manager. Runs once, when the shared library is unloaded or the process ends; later calls do
// nothing.
void krelLibraryDetach();

} // namespace krel_std_internal
