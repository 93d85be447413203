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

// siblingProgram: the program built at `relative` to the build folder this
// command was built in, else `fallback` (found on the PATH).
std::string siblingProgram(const std::string& relative, const std::string& fallback);
// testCaProgram: the test CA: PENNAFORM_TESTCA when set, else the
// pennaform-testca built beside this command, else the one on the PATH.
std::string testCaProgram();
// runProgram: runs argv[0] (searched in the PATH) with standard input read
// from `input` and standard output written to `output` (created 0600);
// whether it exited with 0.
bool runProgram(std::vector<std::string> argv, const std::string& input = "/dev/null",
                const std::string& output = "/dev/null");
// runTestCa: the test CA with `words`, as runProgram.
bool runTestCa(const std::vector<std::string>& words);

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
// demoPfxOperations: a PFX file of the test CA imported, its password
// changed, the certificate exported again with its chain, and both files
// read by `openssl pkcs12`.
void demoPfxOperations(DemoContext& demo);
// demoSignerSelection: selects Wang, whom demoPersonalStore installed, from
// the store and from a PFX file, then restores him in a second process.
void demoSignerSelection(DemoContext& demo);
// demoEnvelopes: envelopes and the mobile export, on the certificates of
// demoPersonalStore (run after it).
void demoEnvelopes(DemoContext& demo);
// demoSigning: Wang signs with PKCS#1 and PKCS#7, and openssl verifies each
// signature (run after demoPersonalStore).
void demoSigning(DemoContext& demo);
// demoBridge: the loopback bridge on a free port: Wang (installed by
// demoPersonalStore) signs through it as a local program; an unknown origin
// is refused with 1500.
void demoBridge(DemoContext& demo);
// demoEnrolment: a key pair enrolled, its certificates issued by the test CA
// and installed with AcceptPKCS7.
void demoEnrolment(DemoContext& demo);

// kDemoAreas: the areas in the order the demo runs them.
inline constexpr DemoArea kDemoAreas[] = {
    demoErrorModel,    demoEnvironment,
    demoRegistry,      demoProviderSelection,
    demoDigests,       demoSymmetricEncryption,
    demoPersonalStore, demoSignerSelection,
    demoSigning,       demoBridge,
    demoEnvelopes,     demoPfxOperations,
    demoEnrolment,
};

}  // namespace pennaform::cli
