// The definition editor's entry point. This first version edits nothing: it returns 0, which the
// program takes as "nothing to load", so Edit and New leave the current definition as it is.

namespace korvit::app {
class OutputLog;
}

extern "C" __attribute__((visibility("default"))) int DefcrafterEntry(void* owner, char* path,
                                                                      korvit::app::OutputLog* log,
                                                                      int reserved) {
    (void)owner;
    (void)path;
    (void)log;
    (void)reserved;
    return 0;
}
