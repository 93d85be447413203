#include "interface/ProcessEngine.h"

namespace pennaform {

Engine& processEngine() {
    // A function-local static: its initialisation runs once, under the
    // language's own lock, and is attempted again after one that threw.
    static Engine engine;
    return engine;
}

}  // namespace pennaform
