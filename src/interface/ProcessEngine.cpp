#include "interface/ProcessEngine.h"

namespace pennaform {
namespace {

// Built by the library's static initialisation at load, destroyed by its
// static clean-up at unload.
Engine gProcessEngine;

}  // namespace

Engine& processEngine() {
    return gProcessEngine;
}

}  // namespace pennaform
