// The demo's provider choice: names are matched exactly.
#include "cli/demo/DemoAreas.h"

namespace pennaform::cli {

void demoProviderSelection(DemoContext& demo) {
    DemoRun& run = demo.run;
    run.call("choose a provider by its exact name", "SetProviderName",
             {std::u16string(u"Microsoft Strong Cryptographic Provider")}, "0", 0);
    run.call("letter case matters for provider names", "SetProviderName",
             {std::u16string(u"microsoft strong cryptographic provider")}, "5046", 5046);
}

}  // namespace pennaform::cli
