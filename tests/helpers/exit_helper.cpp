// Runs the exit scenario with the library linked in, then returns from main.
//
// Usage: krel_exit_helper <directory>
// Exits with the scenario's answer (0 when every thread ran), 2 on bad arguments. Any other
// ending is the exit's fault.
extern "C" int krelExitScenario(const char* directory);

int main(int argc, char** argv) {
    if (argc != 2) {
        return 2;
    }
    return krelExitScenario(argv[1]);
}
