// The areas of `pennaform demo`: one function per area, each defined in
// cli/demo/<Area>.cpp, run by runDemo in the order of kDemoAreas on one
// Engine, its steps numbered on from those of the area before.
#pragma once

#include <string>
#include <vector>

#include "cli/DemoRun.h"
#include "engine/Engine.h"

namespace pennaform::cli {

// DemoContext: what every area works with: the steps' runner, the Engine
// they call, and the Engine's state home (a temporary folder the area may
// write files into).
struct DemoContext {
    DemoRun& run;
    Engine& engine;
    const std::string& home;
};

using DemoArea = void (*)(DemoContext&);

void demoErrorModel(DemoContext& demo);
void demoEnvironment(DemoContext& demo);
void demoRegistry(DemoContext& demo);
void demoProviderSelection(DemoContext& demo);
void demoDigests(DemoContext& demo);
void demoSymmetricEncryption(DemoContext& demo);
// demoPersonalStore: certificates made and installed by the test CA, which
// is PENNAFORM_TESTCA when set, else the pennaform-testca built beside this
// command, else the one on the PATH.
void demoPersonalStore(DemoContext& demo);
// demoEnrolment: a key pair enrolled, its certificates issued by the test CA
// and installed with AcceptPKCS7.
void demoEnrolment(DemoContext& demo);

// testCaProgram: the test CA the demo runs (see demoPersonalStore).
std::string testCaProgram();
// runTestCa: the test CA with `words`, its output discarded; whether it
// exited with 0.
bool runTestCa(const std::vector<std::string>& words);

// kDemoAreas: the areas in the order the demo runs them.
inline constexpr DemoArea kDemoAreas[] = {
    demoErrorModel, demoEnvironment,         demoRegistry,      demoProviderSelection,
    demoDigests,    demoSymmetricEncryption, demoPersonalStore, demoEnrolment,
};

}  // namespace pennaform::cli
