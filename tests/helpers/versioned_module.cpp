// A shared object that carries a version record with every field, for the version tests.
extern "C" int krel_versioned_module_marker() {
    return 1;
}
